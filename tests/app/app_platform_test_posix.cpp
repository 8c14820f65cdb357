#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_platform.h"
#include "tests/support/environment_variable.h"
#include "tests/support/pe_builder.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::app {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<AppPlatform> PlatformWithArguments(
    std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return MakePlatformApp(static_cast<int>(arguments.size()), argv.data());
}

TEST(PosixAppPlatformTest, ArgumentTextJoinsArgumentsWithSingleBlanks) {
  const struct {
    std::vector<std::string> argv;
    std::string expected;
  } cases[] = {
      {{}, ""},
      {{"quillprobe"}, ""},
      {{"quillprobe", "0001"}, "0001"},
      {{"quillprobe", "1", "2x"}, "1 2x"},
      {{"quillprobe", "a  b", ""}, "a  b "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlatformWithArguments(c.argv)->ArgumentText(), c.expected)
        << testing::PrintToString(c.argv);
  }
}

// A local prefix of its own, with one product's install directory on c:.
class PosixAppPlatformFilesTest : public testing::Test {
 protected:
  PosixAppPlatformFilesTest()
      : prefix_variable_("QUILLPROBE_PREFIX", scratch_.path().string()),
        install_(scratch_.path() / "drive_c/Apps/Tarnwick"),
        platform_(PlatformWithArguments({"quillprobe"})) {
    fs::create_directories(install_);
  }

  void Write(const std::string& name, std::span<const std::uint8_t> bytes) {
    test::WriteBinaryFile(install_ / name, bytes);
  }

  test::ScratchDirectory scratch_;
  test::ScopedEnvironmentVariable prefix_variable_;
  fs::path install_;
  std::unique_ptr<AppPlatform> platform_;
};

TEST_F(PosixAppPlatformFilesTest, FileLengthOfRegularFilesOnly) {
  Write("tarn.exe", std::vector<std::uint8_t>(1234, 0x5A));
  Write("empty.exe", {});
  fs::create_directory(install_ / "dir.exe");
  ASSERT_EQ(::mkfifo((install_ / "fifo.exe").c_str(), 0600), 0);

  EXPECT_EQ(platform_->FileLength("C:\\APPS\\TARNWICK\\TARN.EXE"), 1234u);
  EXPECT_EQ(platform_->FileLength((install_ / "tarn.exe").string()), 1234u);
  EXPECT_EQ(platform_->FileLength("C:\\APPS\\TARNWICK\\EMPTY.EXE"), 0u);
  for (const char* path :
       {"C:\\APPS\\TARNWICK\\MISSING.EXE", "C:\\APPS\\TARNWICK\\DIR.EXE",
        "C:\\APPS\\TARNWICK\\FIFO.EXE", "C:\\APPS\\TARNWICK", "TARN.EXE", ""}) {
    EXPECT_EQ(platform_->FileLength(path), std::nullopt) << path;
  }
}

TEST_F(PosixAppPlatformFilesTest, VersionInformationComesFromTheImage) {
  const auto block =
      test::WideVersionBlock({0x00030000Au, 0x00070190u, 0x00030000Au, 0});
  Write("tarn.exe",
        test::BuildPeImageWithVersion(test::PeKind::kPe32Plus, block).bytes);
  const std::string path = "C:\\APPS\\TARNWICK\\TARN.EXE";

  std::uint32_t handle = 77;
  ASSERT_EQ(platform_->GetFileVersionInfoSize(path, &handle), block.size());
  EXPECT_EQ(handle, 0u);
  std::vector<std::uint8_t> buffer(block.size(), ' ');
  ASSERT_TRUE(platform_->GetFileVersionInfo(path, handle, buffer));
  EXPECT_EQ(buffer, block);

  // A smaller buffer receives the head of the block, and nothing beyond it.
  std::vector<std::uint8_t> head(block.size() + 4, ' ');
  ASSERT_TRUE(platform_->GetFileVersionInfo(
      path, 0, std::span<std::uint8_t>(head).first(36)));
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 36, block.begin()));
  EXPECT_EQ(head[36], ' ');
}

TEST_F(PosixAppPlatformFilesTest, NoVersionInformationWithoutAResource) {
  Write("plain.exe", test::BuildPeImage(test::PeKind::kPe32, {}).bytes);
  Write("text.exe", std::vector<std::uint8_t>{'M', 'Z', '!'});
  ASSERT_EQ(::mkfifo((install_ / "fifo.exe").c_str(), 0600), 0);
  for (const char* path :
       {"C:\\APPS\\TARNWICK\\PLAIN.EXE", "C:\\APPS\\TARNWICK\\TEXT.EXE",
        "C:\\APPS\\TARNWICK\\FIFO.EXE", "C:\\APPS\\TARNWICK\\MISSING.EXE",
        "C:\\APPS\\TARNWICK"}) {
    std::uint32_t handle = 77;
    EXPECT_EQ(platform_->GetFileVersionInfoSize(path, &handle), 0u) << path;
    EXPECT_EQ(handle, 0u) << path;
    std::vector<std::uint8_t> buffer(92, ' ');
    EXPECT_FALSE(platform_->GetFileVersionInfo(path, 0, buffer)) << path;
  }
}

TEST(PosixAppPlatformTest, ToUpperUsesTheSystemsMapping) {
  EXPECT_EQ(PlatformWithArguments({})->ToUpper("c:\\apps\\\xC3\xA4rger.exe"),
            "C:\\APPS\\\xC3\x84RGER.EXE");
}

}  // namespace
}  // namespace quillprobe::app
