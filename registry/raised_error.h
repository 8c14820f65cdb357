// The error that CRegistry raises to its callers: a number, the procedure
// that raised it and a description, as the class's error table gives them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillprobe::registry {

// The base of the numbers that the class raises itself.
inline constexpr std::int32_t kObjectErrorBase =
    static_cast<std::int32_t>(0x80040000u);

class RaisedError : public std::runtime_error {
 public:
  RaisedError(std::int32_t number, std::string source, std::string description)
      : std::runtime_error(source + ": " + description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// Errors of the class that it does not raise by its own table: their numbers
// are the ones Visual Basic gives the same conditions.
namespace runtime_error_number {
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
}  // namespace runtime_error_number

}  // namespace quillprobe::registry
