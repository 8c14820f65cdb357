// The program's whole pass on the local registry: product records in hive
// files on disk, as a person writes them, executables found through drive
// paths and POSIX paths, as a fresh process of the program finds them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_platform.h"
#include "app/program.h"
#include "registry/local_registry.h"
#include "tests/support/captured_message_boxes.h"
#include "tests/support/environment_variable.h"
#include "tests/support/pe_builder.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::app {
namespace {

namespace fs = std::filesystem;

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr char kTarnwickSection[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\Tarnwick\\Path]\r\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A record whose "EXE Path" is `directory`, as a .reg line says it.
std::string TarnwickRecord(std::string_view directory) {
  std::string escaped;
  for (const char c : directory) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return std::string(kHeader) + kTarnwickSection + "\"EXE Path\"=\"" + escaped +
         "\"\r\n\r\n";
}

class ProgramOnLocalRegistryTest : public ::testing::Test {
 protected:
  const fs::path& prefix() const { return scratch_.path(); }
  fs::path Hklm() const {
    return prefix() / "registry" / "HKEY_LOCAL_MACHINE.reg";
  }

  void WriteHive(const std::string& text) {
    fs::create_directories(Hklm().parent_path());
    std::ofstream(Hklm(), std::ios::binary) << text;
  }

  // Places the product's executable in `directory`.
  void PlaceExecutable(const fs::path& directory, test::PeKind kind) {
    fs::create_directories(directory);
    const auto image = test::BuildPeImageWithVersion(
        kind, test::WideVersionBlock({0x00020001, 0x00030004}));
    test::WriteBinaryFile(directory / "tarn.exe", image.bytes);
  }

  // Runs the program as a new process would: its own registry on the
  // prefix, the platform's own calls.
  RunEnd Run(std::string argument) {
    std::string program = "quillprobe";
    char* argv[] = {program.data(), argument.data(), nullptr};
    const auto platform = MakePlatformApp(2, argv);
    registry::LocalRegistry registry(prefix());
    return Main(*platform, registry, boxes_);
  }

  test::ScratchDirectory scratch_;
  test::ScopedEnvironmentVariable prefix_variable_{"QUILLPROBE_PREFIX",
                                                   scratch_.path().string()};
  test::CapturedMessageBoxes boxes_;
};

TEST_F(ProgramOnLocalRegistryTest,
       FindsTheExecutableThatAHandWrittenRecordNames) {
  const fs::path elsewhere = prefix() / "elsewhere";
  fs::create_directories(prefix() / "drives");
  fs::create_directory_symlink(elsewhere, prefix() / "drives" / "d:");
  const struct {
    const char* what;
    fs::path directory;
    std::string exe_path;
    test::PeKind kind;
  } cases[] = {
      {"drive C, PE32", prefix() / "drive_c" / "Apps" / "Tarnwick",
       "C:\\Apps\\Tarnwick\\", test::PeKind::kPe32},
      {"drive C, PE32+", prefix() / "drive_c" / "Apps" / "Tarnwick64",
       "c:\\apps\\tarnwick64\\", test::PeKind::kPe32Plus},
      {"drive D through drives/", elsewhere / "Tools" / "Tarn",
       "D:\\Tools\\Tarn\\", test::PeKind::kPe32},
      {"POSIX path", prefix() / "posix" / "Tarn",
       (prefix() / "posix" / "Tarn").string() + "/", test::PeKind::kPe32Plus},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PlaceExecutable(c.directory, c.kind);
    WriteHive(TarnwickRecord(c.exe_path));
    const std::string before = ReadFile(Hklm());
    EXPECT_EQ(Run("0001"), RunEnd::kVersionFormed);
    // Finding a record that exists writes nothing: the file keeps the form
    // it was written in.
    EXPECT_EQ(ReadFile(Hklm()), before);
  }
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(ProgramOnLocalRegistryTest, StopsWhereTheRecordOrTheFileFallsShort) {
  const fs::path directory = prefix() / "drive_c" / "Apps" / "Tarnwick";
  PlaceExecutable(directory, test::PeKind::kPe32);

  // The directory without its final backslash runs into the file name.
  WriteHive(TarnwickRecord("C:\\Apps\\Tarnwick"));
  EXPECT_EQ(Run("0001"), RunEnd::kEmptyExecutable);

  // A record without "EXE Path", or with one of another type.
  WriteHive(std::string(kHeader) + kTarnwickSection + "\"Other\"=\"x\"\r\n");
  EXPECT_EQ(Run("0001"), RunEnd::kNoInstallDirectory);
  WriteHive(std::string(kHeader) + kTarnwickSection +
            "\"EXE Path\"=hex(2):43,00,3a,00,5c,00,00,00\r\n");
  EXPECT_EQ(Run("0001"), RunEnd::kNoInstallDirectory);

  // An executable without version information, and a corrupt one.
  WriteHive(TarnwickRecord("C:\\Apps\\Tarnwick\\"));
  test::WriteBinaryFile(directory / "tarn.exe",
                        test::BuildPeImage(test::PeKind::kPe32, {}).bytes);
  EXPECT_EQ(Run("0001"), RunEnd::kNoVersion);
  auto corrupt = test::BuildPeImageWithVersion(test::PeKind::kPe32Plus,
                                               test::WideVersionBlock({1, 1}));
  test::PutU32(corrupt.bytes, corrupt.resource_directory, 0xFFFFFFF0u);
  test::WriteBinaryFile(directory / "tarn.exe", corrupt.bytes);
  EXPECT_EQ(Run("0001"), RunEnd::kNoVersion);
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(ProgramOnLocalRegistryTest, MissingRecordIsCreatedInTheHiveFile) {
  EXPECT_FALSE(fs::exists(Hklm()));
  EXPECT_EQ(Run("0002"), RunEnd::kNoInstallDirectory);
  const std::string hive = ReadFile(Hklm());
  EXPECT_NE(hive.find("\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmere Software\\"
                      "Vesperine\\Path]\n"),
            std::string::npos)
      << hive;
  EXPECT_EQ(hive.find("Tarnwick"), std::string::npos);
  // The next run finds it there, still without a directory.
  EXPECT_EQ(Run("0002"), RunEnd::kNoInstallDirectory);
  EXPECT_EQ(ReadFile(Hklm()), hive);
}

TEST_F(ProgramOnLocalRegistryTest, UnwritableOrCorruptHiveIsARegistryError) {
  PlaceExecutable(prefix() / "drive_c" / "Apps" / "Tarnwick",
                  test::PeKind::kPe32);
  const std::string record = TarnwickRecord("C:\\Apps\\Tarnwick\\");
  const std::string no_record =
      std::string(kHeader) + "[HKEY_LOCAL_MACHINE]\r\n";
  const std::string corrupt = record + "\"Broken\"=hex:0g\r\n";
  const struct {
    const char* what;
    std::string hive;
    bool read_only;
  } cases[] = {
      {"read-only, record there", record, true},
      {"read-only, record missing", no_record, true},
      {"corrupt", corrupt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteHive(c.hive);
    if (c.read_only) ::chmod(Hklm().c_str(), 0444);
    EXPECT_EQ(Run("0001"), RunEnd::kRegistryError);
    EXPECT_EQ(ReadFile(Hklm()), c.hive);
    ::chmod(Hklm().c_str(), 0644);
  }
  // Writable again, the same record gives the version.
  WriteHive(record);
  EXPECT_EQ(Run("0001"), RunEnd::kVersionFormed);
}

}  // namespace
}  // namespace quillprobe::app
