#include "tests/support/environment_variable.h"

#include <cstdlib>

namespace quillprobe::test {
namespace {

void Set(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(
    std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* previous = std::getenv(name_.c_str())) previous_ = previous;
  Set(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  Set(name_, previous_);
}

}  // namespace quillprobe::test
