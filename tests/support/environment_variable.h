// Sets an environment variable for the lifetime of the object and puts back
// what was there before (including its absence).
#pragma once

#include <optional>
#include <string>

namespace quillprobe::test {

class ScopedEnvironmentVariable {
 public:
  // nullopt unsets the variable.
  ScopedEnvironmentVariable(std::string name,
                            const std::optional<std::string>& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) =
      delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace quillprobe::test
