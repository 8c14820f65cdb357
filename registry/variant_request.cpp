#include "registry/variant_request.h"

#include <charconv>
#include <system_error>

#include "registry/raised_error.h"

namespace quillprobe::registry {

std::optional<std::int16_t> VariantRequest::Position() const {
  if (const auto* p = std::get_if<std::int16_t>(&content_)) return *p;
  return std::nullopt;
}

std::string VariantRequest::ToText() const {
  struct Visitor {
    std::string operator()(std::int16_t v) const { return std::to_string(v); }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const {
      char buffer[32];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
      return std::string(buffer, result.ptr);
    }
    std::string operator()(bool v) const { return v ? "True" : "False"; }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(Null) const {
      throw RaisedError(runtime_error_number::kInvalidUseOfNull, "CRegistry",
                        "Invalid use of Null");
    }
  };
  return std::visit(Visitor{}, content_);
}

}  // namespace quillprobe::registry
