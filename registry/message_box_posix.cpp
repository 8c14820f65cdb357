// Without a windowing system the box is one line on stderr: "title: text".
#include <cerrno>
#include <cstdio>
#include <string>

#include "registry/message_box.h"

namespace quillprobe::registry {
namespace {

std::string ProgramTitle() {
#if defined(__GLIBC__)
  return program_invocation_short_name;
#else
  return "quillprobe";
#endif
}

class StderrMessageBox final : public MessageBoxSink {
 public:
  void Show(std::string_view text,
            std::optional<std::string_view> title) override {
    const std::string line = std::string(title ? *title : ProgramTitle()) +
                             ": " + std::string(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

MessageBoxSink& PlatformMessageBox() {
  static StderrMessageBox box;
  return box;
}

}  // namespace quillprobe::registry
