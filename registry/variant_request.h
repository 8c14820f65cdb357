// A request that names a value of a key either by position or by name.
//
// A 16-bit signed integer is a row of the value table. Every other content is
// converted to text and used as the value name: text as it is, other integers
// in decimal, floating-point numbers in their shortest round-trip form, truth
// values as "True"/"False". The null request has no text form; converting it
// raises the conversion error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quillprobe::registry {

class VariantRequest {
 public:
  struct Null {};

  VariantRequest(std::int16_t position) : content_(position) {}
  VariantRequest(std::int32_t number) : content_(std::int64_t{number}) {}
  VariantRequest(std::int64_t number) : content_(number) {}
  VariantRequest(double number) : content_(number) {}
  VariantRequest(bool truth) : content_(truth) {}
  VariantRequest(std::string_view text) : content_(std::string(text)) {}
  VariantRequest(const std::string& text) : content_(text) {}
  VariantRequest(const char* text) : content_(std::string(text)) {}
  VariantRequest(Null) : content_(Null{}) {}

  // The position, when the request holds a 16-bit integer.
  std::optional<std::int16_t> Position() const;

  // The text form of any other content. Raises the conversion error
  // (RaisedError, "Invalid use of Null") for the null request.
  std::string ToText() const;

 private:
  std::variant<std::int16_t, std::int64_t, double, bool, std::string, Null>
      content_;
};

}  // namespace quillprobe::registry
