// The Windows app platform on real files: tarn.exe (with a version resource)
// and tarn_without_version.exe sit next to this test executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_platform.h"
#include "app/exe_examination.h"
#include "registry/wide_text_windows.h"

namespace quillprobe::app {
namespace {

using registry::Utf8FromWide;
using registry::WideFromUtf8;

// The directory of this test executable, with its final backslash.
std::string TestDirectory() {
  std::wstring path(32768, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  path.erase(path.find_last_of(L"\\/") + 1);
  return Utf8FromWide(path);
}

// A scratch directory of its own below the temporary directory, removed with
// everything in it afterwards.
class AppPlatformWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    scratch_ = std::wstring(temp) + L"quillprobe-app-platform-" +
               std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(scratch_.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
  }

  void TearDown() override {
    for (const auto& file : files_) DeleteFileW(file.c_str());
    RemoveDirectoryW(scratch_.c_str());
  }

  // Writes a file of `size` bytes named `name` (UTF-8) into the scratch
  // directory; returns its path in UTF-8.
  std::string WriteFile(std::string_view name, DWORD size) {
    const std::wstring path = scratch_ + L"\\" + WideFromUtf8(name);
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    const std::vector<char> bytes(size, 'x');
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, bytes.data(), size, &written, nullptr));
    CloseHandle(file);
    files_.push_back(path);
    return Utf8FromWide(path);
  }

  std::string ScratchDirectory() const { return Utf8FromWide(scratch_); }

  std::unique_ptr<AppPlatform> platform = MakePlatformApp(0, nullptr);

 private:
  std::wstring scratch_;
  std::vector<std::wstring> files_;
};

TEST_F(AppPlatformWindowsTest, FileLengthIsThatOfRegularFilesOnly) {
  EXPECT_EQ(platform->FileLength(WriteFile("plain.bin", 1234)), 1234u);
  EXPECT_EQ(platform->FileLength(WriteFile("empty.bin", 0)), 0u);
  // Named in UTF-8, found through the wide call.
  EXPECT_EQ(platform->FileLength(WriteFile("Gr\xC3\xB6\xC3\x9F"
                                           "e.bin",
                                           3)),
            3u);

  EXPECT_EQ(platform->FileLength(ScratchDirectory()), std::nullopt);
  EXPECT_EQ(platform->FileLength(ScratchDirectory() + "\\missing.exe"),
            std::nullopt);
  EXPECT_EQ(platform->FileLength(""), std::nullopt);
  EXPECT_EQ(platform->FileLength("C:\\bad\x01<>|name"), std::nullopt);
}

TEST_F(AppPlatformWindowsTest, VersionInformationComesFromTheResource) {
  const std::string tarn = TestDirectory() + "tarn.exe";
  std::uint32_t handle = 99;
  const std::uint32_t size = platform->GetFileVersionInfoSize(tarn, &handle);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(handle, 0u);
  std::vector<std::uint8_t> block(size, 0x20);
  ASSERT_TRUE(platform->GetFileVersionInfo(tarn, handle, block));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\",
                             reinterpret_cast<void**>(&fixed), &fixed_length));
  ASSERT_GE(fixed_length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 10u);
  EXPECT_EQ(fixed->dwFileVersionLS, (7u << 16) | 400u);
}

// The executable that the end-to-end run finds through its product record,
// examined through the library.
TEST_F(AppPlatformWindowsTest, ExeInspectionReadsTheRealResource) {
  const std::string tarn = TestDirectory() + "tarn.exe";
  EXPECT_EQ(GetExeVersion(tarn, *platform), "003.0010.0007.0400");
  EXPECT_EQ(GetExeSize(tarn, *platform),
            static_cast<std::int32_t>(*platform->FileLength(tarn)));
  EXPECT_GT(GetExeSize(tarn, *platform), 0);

  const std::string without = TestDirectory() + "tarn_without_version.exe";
  EXPECT_GT(GetExeSize(without, *platform), 0);
  EXPECT_EQ(GetExeVersion(without, *platform), "");
  EXPECT_EQ(GetExeSize(TestDirectory() + "missing.exe", *platform), 0);
}

TEST_F(AppPlatformWindowsTest, FilesWithoutVersionInformationHaveNone) {
  for (const std::string& path :
       {TestDirectory() + "tarn_without_version.exe",
        WriteFile("not-an-image.exe", 100), TestDirectory() + "missing.exe",
        std::string()}) {
    SCOPED_TRACE(path);
    std::uint32_t handle = 0;
    EXPECT_EQ(platform->GetFileVersionInfoSize(path, &handle), 0u);
    std::vector<std::uint8_t> block(64);
    EXPECT_FALSE(platform->GetFileVersionInfo(path, 0, block));
  }
}

TEST_F(AppPlatformWindowsTest, ToUpperIsTheSystemsCaseMapping) {
  EXPECT_EQ(platform->ToUpper("c:\\Apps\\Tarnwick\\tarn.exe"),
            "C:\\APPS\\TARNWICK\\TARN.EXE");
  // ä ö ü é ω: the same on every machine, whatever the user's language.
  EXPECT_EQ(platform->ToUpper("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA9 \xCF\x89 i"),
            "\xC3\x84\xC3\x96\xC3\x9C\xC3\x89 \xCE\xA9 I");
  EXPECT_EQ(platform->ToUpper(""), "");
  EXPECT_EQ(platform->ToUpper("123 .\\"), "123 .\\");
}

}  // namespace
}  // namespace quillprobe::app
