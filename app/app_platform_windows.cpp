// The program's calls on Windows: the process command line, file attributes,
// the version-information functions of version.dll and the system's own
// upper-casing. Paths and text cross as UTF-16.
#include <windows.h>
// The interface's method names are the generic names of these functions;
// the calls below name the wide functions themselves.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo

#include <limits>
#include <string>

#include "app/app_platform.h"
#include "app/command_line.h"
#include "registry/wide_text_windows.h"

namespace quillprobe::app {
namespace {

using registry::Utf8FromWide;
using registry::WideFromUtf8;

std::wstring WidePath(std::string_view path) {
  return WideFromUtf8(registry::UpToFirstNul(path));
}

class WindowsAppPlatform final : public AppPlatform {
 public:
  std::string ArgumentText() override {
    return std::string(ArgumentTextOf(Utf8FromWide(GetCommandLineW())));
  }

  std::optional<std::uint64_t> FileLength(std::string_view path) override {
    const std::wstring wide_path = WidePath(path);
    if (wide_path.empty()) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(wide_path.c_str(), GetFileExInfoStandard,
                              &attributes)) {
      return std::nullopt;
    }
    constexpr DWORD kNotAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    if ((attributes.dwFileAttributes & kNotAFile) != 0) return std::nullopt;
    return (std::uint64_t{attributes.nFileSizeHigh} << 32) |
           attributes.nFileSizeLow;
  }

  std::uint32_t GetFileVersionInfoSize(std::string_view path,
                                       std::uint32_t* handle) override {
    DWORD zero = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(WidePath(path).c_str(), &zero);
    if (handle != nullptr) *handle = zero;
    return size;
  }

  bool GetFileVersionInfo(std::string_view path, std::uint32_t handle,
                          std::span<std::uint8_t> block) override {
    if (block.empty() || block.size() > std::numeric_limits<DWORD>::max()) {
      return false;
    }
    return ::GetFileVersionInfoW(WidePath(path).c_str(), handle,
                                 static_cast<DWORD>(block.size()),
                                 block.data()) != FALSE;
  }

  // The invariant locale's mapping: the same on every machine, whatever the
  // user's language.
  std::string ToUpper(std::string_view text) override {
    const std::wstring wide = WideFromUtf8(text);
    if (wide.empty()) return std::string(text);
    const int length = static_cast<int>(wide.size());
    const int upper_length =
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                      length, nullptr, 0, nullptr, nullptr, 0);
    if (upper_length <= 0) return std::string(text);
    std::wstring upper(static_cast<std::size_t>(upper_length), L'\0');
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), length,
                  upper.data(), upper_length, nullptr, nullptr, 0);
    return Utf8FromWide(upper);
  }
};

}  // namespace

// The command line comes from the process itself, in UTF-16, rather than
// from the C runtime's argv in the ANSI code page.
std::unique_ptr<AppPlatform> MakePlatformApp(int /*argc*/, char** /*argv*/) {
  return std::make_unique<WindowsAppPlatform>();
}

}  // namespace quillprobe::app
