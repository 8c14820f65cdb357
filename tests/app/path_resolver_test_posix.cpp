#include "app/path_resolver.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/pe_builder.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::app {
namespace {

namespace fs = std::filesystem;

// `path` with '/' turned into '\' and every ASCII letter upper-cased: the
// form in which the program hands paths over.
std::string ProgramForm(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void Touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  test::WriteBinaryFile(path, std::vector<std::uint8_t>{'x'});
}

class PathResolverTest : public testing::Test {
 protected:
  PathResolverTest() {
    Touch(prefix() / "drive_c/Apps/Tarnwick/tarn.exe");
    Touch(prefix() / "elsewhere/Vesperine/VESPERIN.EXE");
    fs::create_directories(prefix() / "drives");
    fs::create_directory_symlink(prefix() / "elsewhere",
                                 prefix() / "drives/d:");
  }

  const fs::path& prefix() const { return scratch_.path(); }

  test::ScratchDirectory scratch_;
};

TEST_F(PathResolverTest, FindsFilesByEveryAcceptedForm) {
  const fs::path tarn = prefix() / "drive_c/Apps/Tarnwick/tarn.exe";
  const fs::path vesperin = prefix() / "drives/d:/Vesperine/VESPERIN.EXE";
  const struct {
    std::string path;
    std::optional<fs::path> expected;
  } cases[] = {
      // c: defaults to <prefix>/drive_c; names match in any letter case.
      {"C:\\APPS\\TARNWICK\\TARN.EXE", tarn},
      {"c:/Apps/Tarnwick/tarn.exe", tarn},
      {"C:\\APPS\\OLD\\..\\.\\TARNWICK\\\\TARN.EXE", tarn},
      {"C:\\APPS\\TARNWICK\\", prefix() / "drive_c/Apps/Tarnwick"},
      // Other drives come from <prefix>/drives.
      {"D:\\VESPERINE\\VESPERIN.EXE", vesperin},
      {"d:\\vesperine\\vesperin.exe", vesperin},
      // z: defaults to the POSIX root.
      {"Z:" + ProgramForm(tarn), tarn},
      // POSIX paths, with either separator.
      {tarn.string(), tarn},
      {ProgramForm(tarn), tarn},
      {"/" + ProgramForm(tarn).substr(1), tarn},
      // Nothing there.
      {"C:\\APPS\\TARNWICK\\MISSING.EXE", std::nullopt},
      {"C:\\APPS\\TARNWICK\\TARN.EXE\\MORE", std::nullopt},
      {"E:\\TARN.EXE", std::nullopt},
      {"APPS\\TARNWICK\\TARN.EXE", std::nullopt},
      {"\\\\SERVER\\SHARE\\TARN.EXE", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolvePath(c.path, prefix()), c.expected) << c.path;
  }
}

TEST_F(PathResolverTest, PrefersTheExactNameThenTheFirstInByteOrder) {
  const fs::path dir = prefix() / "drive_c/Setup";
  for (const char* name : {"setup.EXE", "Setup.exe", "SETUP.EXE"}) {
    Touch(dir / name);
  }
  Touch(dir / "\xC3\xA4rger.txt");
  const struct {
    std::string path;
    std::optional<fs::path> expected;
  } cases[] = {
      {"C:\\Setup\\Setup.exe", dir / "Setup.exe"},
      {"C:\\Setup\\setup.EXE", dir / "setup.EXE"},
      {"C:\\SETUP\\SETUP.EXE", dir / "SETUP.EXE"},
      {"C:\\SETUP\\setup.exe", dir / "SETUP.EXE"},
      // Letters beyond ASCII match in either case too.
      {"C:\\SETUP\\\xC3\x84RGER.TXT", dir / "\xC3\xA4rger.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolvePath(c.path, prefix()), c.expected) << c.path;
  }
}

TEST_F(PathResolverTest, DrivesEntryReplacesTheDefault) {
  Touch(prefix() / "other_c/TARN.EXE");
  fs::create_directory_symlink(prefix() / "other_c", prefix() / "drives/c:");
  EXPECT_EQ(ResolvePath("C:\\TARN.EXE", prefix()),
            prefix() / "drives/c:/TARN.EXE");
  EXPECT_EQ(ResolvePath("C:\\APPS\\TARNWICK\\TARN.EXE", prefix()),
            std::nullopt);
}

}  // namespace
}  // namespace quillprobe::app
