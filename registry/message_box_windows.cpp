// The Windows message box: modal, an OK button, no owner window.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry/message_box.h"
#include "registry/wide_text_windows.h"

namespace quillprobe::registry {
namespace {

// The program's own title: its module's file name without the extension.
std::wstring ProgramTitle() {
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameW(nullptr, path.data(),
                                static_cast<DWORD>(path.size()));
    if (length < path.size() || path.size() >= 32768) break;
    path.resize(path.size() * 2);
  }
  std::wstring_view name(path.data(),
                         std::min<std::size_t>(length, path.size()));
  if (const auto slash = name.find_last_of(L"\\/");
      slash != std::wstring_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (const auto dot = name.rfind(L'.'); dot != std::wstring_view::npos) {
    name = name.substr(0, dot);
  }
  return std::wstring(name);
}

class WindowsMessageBox final : public MessageBoxSink {
 public:
  void Show(std::string_view text,
            std::optional<std::string_view> title) override {
    const std::wstring wide_title =
        title ? WideFromUtf8(UpToFirstNul(*title)) : ProgramTitle();
    MessageBoxW(nullptr, WideFromUtf8(UpToFirstNul(text)).c_str(),
                wide_title.c_str(), MB_OK);
  }
};

}  // namespace

MessageBoxSink& PlatformMessageBox() {
  static WindowsMessageBox box;
  return box;
}

}  // namespace quillprobe::registry
