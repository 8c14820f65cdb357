#include "registry/canonical_hive.h"

#include <algorithm>
#include <string_view>
#include <variant>

#include "registry/reg_file_reader.h"
#include "registry/unicode_case.h"

namespace quillprobe::registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr std::string_view kSectionMark = "\n\n[";
constexpr std::size_t kChunk = 1024;

using Path = std::vector<std::string>;

// -1, 0 or 1 as `a` sorts before, with or after `b`.
int ComparePaths(std::span<const std::string> a,
                 std::span<const std::string> b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const int order = CompareIgnoreCase(a[i], b[i]);
    if (order != 0) return order < 0 ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsBelow(std::span<const std::string> path,
             std::span<const std::string> top) {
  return path.size() > top.size() &&
         ComparePaths(path.subspan(0, top.size()), top) == 0;
}

class SectionReader {
 public:
  explicit SectionReader(HiveBytes& bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  std::uint64_t end() const { return bytes_.size(); }

  // The first offset at or after `from`, and before `limit`, where a section
  // starts; `limit` when there is none.
  std::uint64_t NextSection(std::uint64_t from, std::uint64_t limit) {
    if (from <= kHeader.size())
      return std::min<std::uint64_t>(kHeader.size(), limit);
    std::uint64_t at = from - 2;  // the mark's blank line may start before
    std::string chunk;
    while (at < limit) {
      if (!bytes_.Read(at, kChunk, &chunk)) return Fail(limit);
      const std::size_t found = chunk.find(kSectionMark);
      if (found != std::string::npos) {
        return std::min(at + found + 2, limit);
      }
      if (chunk.size() < kChunk) return limit;
      at += chunk.size() - (kSectionMark.size() - 1);
    }
    return limit;
  }

  // The path of the section starting at `at`.
  std::optional<Path> PathAt(std::uint64_t at) {
    std::string line;
    std::uint64_t from = at;
    std::string chunk;
    for (;;) {
      if (!bytes_.Read(from, kChunk, &chunk)) return Failed();
      const std::size_t newline = chunk.find('\n');
      line.append(chunk, 0, std::min(newline, chunk.size()));
      if (newline != std::string::npos) break;
      if (chunk.size() < kChunk) return Failed();
      from += chunk.size();
    }
    auto section = ParseSections(line + "\n");
    if (!section) return Failed();
    return std::move(section->path);
  }

  // The whole section starting at `at`; *next is where the next one starts
  // (or the end of the file).
  std::optional<RegSection> SectionAt(std::uint64_t at, std::uint64_t* next) {
    *next = NextSection(at + 1, end());
    std::string text;
    if (!bytes_.Read(at, static_cast<std::size_t>(*next - at), &text) ||
        text.size() != *next - at) {
      return Failed();
    }
    auto section = ParseSections(text);
    if (!section) return Failed();
    return section;
  }

 private:
  // The only section in `text`, which holds one section and nothing else.
  std::optional<RegSection> ParseSections(const std::string& text) {
    auto read = ReadRegFile(std::string(kHeader) + text, "");
    auto* document = std::get_if<RegDocument>(&read);
    if (document == nullptr || document->sections.size() != 1 ||
        document->sections[0].remove) {
      return std::nullopt;
    }
    return std::move(document->sections[0]);
  }

  std::nullopt_t Failed() {
    ok_ = false;
    return std::nullopt;
  }
  std::uint64_t Fail(std::uint64_t limit) {
    ok_ = false;
    return limit;
  }

  HiveBytes& bytes_;
  bool ok_ = true;
};

// The first section at or after `lo` whose path is not `before` (paths that
// are, come first), or the end of the file.
template <typename Before>
std::uint64_t FirstNotBefore(SectionReader& reader, std::uint64_t lo,
                             Before before) {
  std::uint64_t hi = reader.end();
  std::uint64_t answer = hi;
  while (lo < hi && reader.ok()) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    const std::uint64_t at = reader.NextSection(mid, hi);
    if (at == hi) {
      hi = mid;
      continue;
    }
    const auto path = reader.PathAt(at);
    if (!path) break;
    if (before(*path)) {
      lo = at + 1;
    } else {
      answer = at;
      hi = mid;
    }
  }
  return answer;
}

}  // namespace

std::optional<CanonicalKey> ReadCanonicalKey(
    HiveBytes& bytes, std::span<const std::string> path) {
  std::string header;
  if (!bytes.Read(0, kHeader.size(), &header) || header != kHeader) {
    return std::nullopt;
  }
  SectionReader reader(bytes);
  const std::uint64_t at = FirstNotBefore(
      reader, kHeader.size(),
      [&](const Path& candidate) { return ComparePaths(candidate, path) < 0; });
  if (at == reader.end() || !reader.ok()) return std::nullopt;
  std::uint64_t next = 0;
  auto section = reader.SectionAt(at, &next);
  if (!section || ComparePaths(section->path, path) != 0) return std::nullopt;

  CanonicalKey key;
  key.values = std::move(section->values);
  // Right after a key's section comes its first subkey, if any; after each
  // subkey's subtree, the next one.
  while (next < reader.end()) {
    auto child = reader.PathAt(next);
    if (!child || !IsBelow(*child, path)) break;
    if (child->size() != path.size() + 1) return std::nullopt;
    key.subkeys.push_back(child->back());
    next = FirstNotBefore(reader, next + 1, [&](const Path& candidate) {
      return ComparePaths(candidate, *child) < 0 || IsBelow(candidate, *child);
    });
  }
  if (!reader.ok()) return std::nullopt;
  return key;
}

}  // namespace quillprobe::registry
