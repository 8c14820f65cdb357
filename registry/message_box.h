// The modal message box through which CRegistry reports failures to a person.
//
// The platform's box is the default: MessageBoxW on Windows, one line
// "title: text" on stderr elsewhere. Programs and tests may install another.
#pragma once

#include <optional>
#include <string_view>

namespace quillprobe::registry {

class MessageBoxSink {
 public:
  virtual ~MessageBoxSink() = default;

  // Shows `text` with an OK button and waits until it is closed. Without a
  // title the box carries the program's own title.
  virtual void Show(std::string_view text,
                    std::optional<std::string_view> title) = 0;
};

// The platform's message box; lives for the whole process.
MessageBoxSink& PlatformMessageBox();

}  // namespace quillprobe::registry
