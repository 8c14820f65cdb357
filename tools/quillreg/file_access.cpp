#include "tools/quillreg/file_access.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quillprobe::quillreg {
namespace {

std::filesystem::path PathOf(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace

std::optional<std::string> ReadWholeFile(std::string_view name,
                                         std::string* error) {
  const std::filesystem::path path = PathOf(name);
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) {
    *error = "it is a directory";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::filesystem::exists(path, code) ? "it cannot be read"
                                                 : "it does not exist";
    return std::nullopt;
  }
  std::string content{std::istreambuf_iterator<char>(in),
                      std::istreambuf_iterator<char>()};
  if (in.bad()) {
    *error = "reading it failed";
    return std::nullopt;
  }
  return content;
}

bool FileExists(std::string_view name) {
  std::error_code code;
  return std::filesystem::exists(PathOf(name), code);
}

bool ReplaceFile(std::string_view name, std::string_view content,
                 std::string* error) {
  const std::filesystem::path path = PathOf(name);
  std::filesystem::path temporary = path;
  temporary += ".quillreg-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      *error = "it cannot be created";
      return false;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      *error = "writing it failed";
      return false;
    }
  }
  std::error_code code;
  std::filesystem::rename(temporary, path, code);
  if (code) {
    std::filesystem::remove(temporary, code);
    *error = "it cannot be replaced";
    return false;
  }
  return true;
}

}  // namespace quillprobe::quillreg
