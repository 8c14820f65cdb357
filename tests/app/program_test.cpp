// The program's whole pass, on an in-memory registry and real files in a
// scratch directory.
#include "app/program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/exe_examination.h"
#include "registry/cregistry.h"
#include "registry/memory_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/pe_builder.h"
#include "tests/support/recording_registry.h"
#include "tests/support/registry_seeding.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::app {
namespace {

using registry::RegistryCall;
namespace roots = registry::roots;

constexpr char kTarnwickRecord[] =
    "SOFTWARE\\Quillmere Software\\Tarnwick\\Path";
constexpr char kVesperineRecord[] =
    "SOFTWARE\\Quillmere Software\\Vesperine\\Path";

// The platform's own calls, with the argument text chosen by the test.
class ArgumentPlatform final : public AppPlatform {
 public:
  explicit ArgumentPlatform(std::string argument)
      : platform_(MakePlatformApp(0, nullptr)),
        argument_(std::move(argument)) {}

  std::string ArgumentText() override { return argument_; }
  std::optional<std::uint64_t> FileLength(std::string_view path) override {
    ++file_length_calls;
    return platform_->FileLength(path);
  }
  std::uint32_t GetFileVersionInfoSize(std::string_view path,
                                       std::uint32_t* handle) override {
    return platform_->GetFileVersionInfoSize(path, handle);
  }
  bool GetFileVersionInfo(std::string_view path, std::uint32_t handle,
                          std::span<std::uint8_t> block) override {
    return platform_->GetFileVersionInfo(path, handle, block);
  }
  std::string ToUpper(std::string_view text) override {
    return platform_->ToUpper(text);
  }

  int file_length_calls = 0;

 private:
  std::unique_ptr<AppPlatform> platform_;
  std::string argument_;
};

class ProgramTest : public ::testing::Test {
 protected:
  // A directory path as a record stores it: absolute, with a final separator.
  std::string DirectoryText(const std::filesystem::path& dir) const {
    return dir.string() +
           static_cast<char>(std::filesystem::path::preferred_separator);
  }

  // Makes `dir` hold the product's executable with the given version.
  std::filesystem::path PlaceExecutable(const std::filesystem::path& dir,
                                        const char* file, test::PeKind kind,
                                        const test::FileVersion& version) {
    std::filesystem::create_directories(dir);
    const auto image =
        test::BuildPeImageWithVersion(kind, test::WideVersionBlock(version));
    test::WriteBinaryFile(dir / file, image.bytes);
    return dir / file;
  }

  RunEnd Run(const std::string& argument) {
    ArgumentPlatform platform(argument);
    return Main(platform, registry_, boxes_);
  }

  test::ScratchDirectory scratch_;
  registry::MemoryRegistry memory_;
  registry::RecordingRegistry registry_{memory_};
  test::CapturedMessageBoxes boxes_;
};

TEST_F(ProgramTest, ArgumentTextsEndTheRunWhereTheyShould) {
  // Both products installed, with version information.
  const auto tarnwick = scratch_.path() / "Tarnwick";
  const auto vesperine = scratch_.path() / "Vesperine";
  PlaceExecutable(tarnwick, "tarn.exe", test::PeKind::kPe32, {0x00010002, 3});
  PlaceExecutable(vesperine, "vesperin.exe", test::PeKind::kPe32Plus,
                  {0x00020000, 0});
  test::SeedString(memory_, roots::kLocalMachine, kTarnwickRecord, "EXE Path",
                   DirectoryText(tarnwick));
  test::SeedString(memory_, roots::kLocalMachine, kVesperineRecord, "EXE Path",
                   DirectoryText(vesperine));

  const struct {
    const char* argument;
    RunEnd end;
  } cases[] = {
      {"0001", RunEnd::kVersionFormed}, {"&H01", RunEnd::kVersionFormed},
      {"0.51", RunEnd::kVersionFormed}, {"0002", RunEnd::kVersionFormed},
      {"2abc", RunEnd::kVersionFormed}, {"1.50", RunEnd::kVersionFormed},
      {"2.50", RunEnd::kVersionFormed}, {"0.50", RunEnd::kBadArgument},
      {"0000", RunEnd::kBadArgument},   {"-001", RunEnd::kBadArgument},
      {"abcd", RunEnd::kBadArgument},   {"1E10", RunEnd::kBadArgument},
      {"1 2x", RunEnd::kNoProduct},     {"0003", RunEnd::kNoProduct},
      {"001", RunEnd::kBadArgument},    {"00001", RunEnd::kBadArgument},
      {"", RunEnd::kBadArgument},
  };
  for (const auto& c : cases) {
    registry_.ClearCalls();
    EXPECT_EQ(Run(c.argument), c.end) << "argument \"" << c.argument << "\"";
    // Only a product with a row reaches the registry.
    const bool reached_registry = !registry_.Calls().empty();
    EXPECT_EQ(reached_registry, c.end == RunEnd::kVersionFormed)
        << "argument \"" << c.argument << "\"";
  }
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(ProgramTest, ExaminesPe32AndPe32PlusExecutables) {
  for (const auto kind : {test::PeKind::kPe32, test::PeKind::kPe32Plus}) {
    const auto dir =
        scratch_.path() / "Apps" /
        (kind == test::PeKind::kPe32 ? "Tarnwick32" : "Tarnwick64");
    const auto exe =
        PlaceExecutable(dir, "tarn.exe", kind, {0x0003000A, 0x00070190});
    test::SeedString(memory_, roots::kLocalMachine, kTarnwickRecord, "exe path",
                     DirectoryText(dir));
    EXPECT_EQ(Run("0001"), RunEnd::kVersionFormed);

    ArgumentPlatform platform("");
    const std::string path =
        GetExePath(kTarnwickRecord, 1, registry_, boxes_, platform);
    EXPECT_EQ(path, platform.ToUpper(exe.string()));
    EXPECT_GT(GetExeSize(path, platform), 0);
    EXPECT_EQ(GetExeVersion(path, platform), "003.0010.0007.0400");
  }
}

TEST_F(ProgramTest, StopsAtEachMissingPiece) {
  const auto dir = scratch_.path() / "Tarnwick";
  PlaceExecutable(dir, "tarn.exe", test::PeKind::kPe32, {1, 1});

  // A directory without its final separator runs into the file name.
  test::SeedString(memory_, roots::kLocalMachine, kTarnwickRecord, "EXE Path",
                   dir.string());
  EXPECT_EQ(Run("0001"), RunEnd::kEmptyExecutable);

  // A file without version information; a truncated image.
  test::SeedString(memory_, roots::kLocalMachine, kTarnwickRecord, "EXE Path",
                   DirectoryText(dir));
  const auto bare = test::BuildPeImage(test::PeKind::kPe32, {});
  test::WriteBinaryFile(dir / "tarn.exe", bare.bytes);
  EXPECT_EQ(Run("0001"), RunEnd::kNoVersion);
  const auto image = test::BuildPeImageWithVersion(
      test::PeKind::kPe32Plus, test::WideVersionBlock({1, 1}));
  auto cut = image.bytes;
  cut.resize(image.resource_root + 8);
  test::WriteBinaryFile(dir / "tarn.exe", cut);
  EXPECT_EQ(Run("0001"), RunEnd::kNoVersion);
  auto corrupt = image.bytes;
  test::PutU32(corrupt, image.resource_directory, 0xFFFFFFF0u);
  test::WriteBinaryFile(dir / "tarn.exe", corrupt);
  EXPECT_EQ(Run("0001"), RunEnd::kNoVersion);

  // An empty file.
  test::WriteBinaryFile(dir / "tarn.exe", {});
  EXPECT_EQ(Run("0001"), RunEnd::kEmptyExecutable);

  // "EXE Path" of another type is not found.
  test::SeedValue(memory_, roots::kLocalMachine, kTarnwickRecord, "EXE Path",
                  registry::value_type::kExpandSz, {'C', ':', '\\', 0});
  EXPECT_EQ(Run("0001"), RunEnd::kNoInstallDirectory);
}

TEST_F(ProgramTest, MissingRecordIsCreatedEmpty) {
  EXPECT_EQ(Run("0002"), RunEnd::kNoInstallDirectory);
  EXPECT_TRUE(test::KeyExists(memory_, roots::kLocalMachine, kVesperineRecord));
  EXPECT_FALSE(test::KeyExists(memory_, roots::kLocalMachine, kTarnwickRecord));
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(ProgramTest, BindingErrorEndsTheRunBeforeTheFileIsExamined) {
  registry_.Inject(RegistryCall::kCreateKeyEx, registry::status::kAccessDenied);
  ArgumentPlatform platform("0001");
  EXPECT_EQ(Main(platform, registry_, boxes_), RunEnd::kRegistryError);
  EXPECT_EQ(platform.file_length_calls, 0);
  // The object was released: every handle it opened is closed.
  std::size_t opened = 0;
  for (const auto& call : registry_.Calls())
    opened += call.opened != registry::kNoKey;
  EXPECT_EQ(opened, registry_.Count(RegistryCall::kCloseKey));
}

}  // namespace
}  // namespace quillprobe::app
