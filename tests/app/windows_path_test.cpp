#include "app/windows_path.h"

#include <gtest/gtest.h>

#include <string>

namespace quillprobe::app {
namespace {

using Root = PathParts::Root;
using Names = std::vector<std::string>;

TEST(WindowsPathTest, TakesAcceptedFormsApart) {
  struct Case {
    std::string path;
    Root root;
    char drive;
    Names components;
  };
  const std::vector<Case> cases = {
      {"C:\\APPS\\TARNWICK\\TARN.EXE",
       Root::kDrive,
       'c',
       {"APPS", "TARNWICK", "TARN.EXE"}},
      {"d:/Apps/x.exe", Root::kDrive, 'd', {"Apps", "x.exe"}},
      {"Z:\\", Root::kDrive, 'z', {}},
      {"C:\\Apps\\\\Old\\..\\.\\New\\", Root::kDrive, 'c', {"Apps", "New"}},
      {"C:\\..\\..\\x", Root::kDrive, 'c', {"x"}},
      {"/opt/tarn/TARN.EXE", Root::kPosix, 0, {"opt", "tarn", "TARN.EXE"}},
      {"/opt\\tarn\\TARN.EXE", Root::kPosix, 0, {"opt", "tarn", "TARN.EXE"}},
      {"//opt//tarn", Root::kPosix, 0, {"opt", "tarn"}},
      {"\\OPT\\TARN", Root::kPosix, 0, {"OPT", "TARN"}},
      {"/", Root::kPosix, 0, {}},
      {"/a b/\xC3\x84rger.exe", Root::kPosix, 0, {"a b", "\xC3\x84rger.exe"}},
  };
  for (const Case& c : cases) {
    const auto parts = ParseWindowsPath(c.path);
    ASSERT_TRUE(parts.has_value()) << c.path;
    EXPECT_EQ(parts->root, c.root) << c.path;
    EXPECT_EQ(parts->drive, c.drive) << c.path;
    EXPECT_EQ(parts->components, c.components) << c.path;
  }
}

TEST(WindowsPathTest, RejectsFormsThatNameNoLocalFile) {
  for (const std::string& path : std::vector<std::string>{
           "", "TARN.EXE", "Apps\\TARN.EXE", ".\\TARN.EXE", "..\\TARN.EXE",
           "C:", "C:TARN.EXE", "1:\\x", "\\\\server\\share\\TARN.EXE",
           "\\\\?\\C:\\TARN.EXE", "\\\\.\\C:", "\\/x",
           std::string("C:\\A\0B", 6)}) {
    EXPECT_EQ(ParseWindowsPath(path), std::nullopt) << path;
  }
}

}  // namespace
}  // namespace quillprobe::app
