// A message box sink for tests: records every box instead of showing it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/message_box.h"

namespace quillprobe::test {

struct ShownBox {
  std::string text;
  std::optional<std::string> title;
  bool operator==(const ShownBox&) const = default;
};

class CapturedMessageBoxes final : public registry::MessageBoxSink {
 public:
  void Show(std::string_view text,
            std::optional<std::string_view> title) override {
    shown_.push_back(
        {std::string(text),
         title ? std::optional<std::string>(*title) : std::nullopt});
  }
  const std::vector<ShownBox>& shown() const { return shown_; }
  void clear() { shown_.clear(); }

 private:
  std::vector<ShownBox> shown_;
};

}  // namespace quillprobe::test
