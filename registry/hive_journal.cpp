#include "registry/hive_journal.h"

#include <algorithm>

namespace quillprobe::registry {
namespace {

constexpr std::string_view kFrameStart = "; journal ";
constexpr std::size_t kChecksumDigits = 16;
// Longer lengths than this many digits are no frame: no record is that long.
constexpr std::size_t kMaxLengthDigits = 12;
constexpr char kHexDigits[] = "0123456789abcdef";

// FNV-1a, 64 bits: enough to tell a record from a torn or damaged one.
std::uint64_t Checksum(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  return hash;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct Frame {
  enum Kind { kNone, kTorn, kWhole } kind = kNone;
  std::size_t header_length = 0;
  std::size_t body_length = 0;
  std::uint64_t checksum = 0;
};

// The frame line at the start of `text`, if one is there. kTorn: `text` ends
// before the line does, and what there is could begin one.
Frame ParseFrame(std::string_view text) {
  const std::size_t start = std::min(text.size(), kFrameStart.size());
  if (text.substr(0, start) != kFrameStart.substr(0, start)) return {};
  std::size_t at = start;
  if (at == text.size()) return {Frame::kTorn};
  Frame frame;
  std::size_t digits = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (++digits > kMaxLengthDigits) return {};
    frame.body_length =
        frame.body_length * 10 + static_cast<std::size_t>(text[at] - '0');
  }
  if (at == text.size()) return {Frame::kTorn};
  // Digits as FrameJournalRecord writes them: no leading zero.
  if (digits == 0 || text[at] != ' ' || (digits > 1 && text[start] == '0')) {
    return {};
  }
  ++at;
  for (std::size_t i = 0; i < kChecksumDigits; ++i, ++at) {
    if (at == text.size()) return {Frame::kTorn};
    const int value = HexValue(text[at]);
    if (value < 0) return {};
    frame.checksum = (frame.checksum << 4) | static_cast<std::uint64_t>(value);
  }
  if (at == text.size()) return {Frame::kTorn};
  if (text[at] != '\n') return {};
  frame.kind = Frame::kWhole;
  frame.header_length = at + 1;
  return frame;
}

// What the frame at the start of `text` holds.
enum class RecordState { kWhole, kTorn, kDamaged };
RecordState CheckRecord(std::string_view text, const Frame& frame,
                        std::string_view* body) {
  if (frame.kind == Frame::kTorn) return RecordState::kTorn;
  const std::size_t available = text.size() - frame.header_length;
  if (frame.body_length > available) return RecordState::kTorn;
  *body = text.substr(frame.header_length, frame.body_length);
  if (Checksum(*body) == frame.checksum) return RecordState::kWhole;
  return frame.body_length == available ? RecordState::kTorn
                                        : RecordState::kDamaged;
}

}  // namespace

std::string FrameJournalRecord(std::string_view body) {
  std::string record(kFrameStart);
  record += std::to_string(body.size());
  record.push_back(' ');
  const std::uint64_t checksum = Checksum(body);
  for (int shift = 60; shift >= 0; shift -= 4) {
    record.push_back(kHexDigits[(checksum >> shift) & 0xF]);
  }
  record.push_back('\n');
  record += body;
  return record;
}

std::optional<JournalRecords> ReadJournalRecords(std::string_view bytes) {
  JournalRecords records;
  while (records.end < bytes.size()) {
    const std::string_view rest = bytes.substr(records.end);
    const Frame frame = ParseFrame(rest);
    if (frame.kind == Frame::kNone) return std::nullopt;
    std::string_view body;
    const RecordState state = CheckRecord(rest, frame, &body);
    if (state == RecordState::kTorn) break;
    if (state == RecordState::kDamaged) return std::nullopt;
    records.bodies.push_back(body);
    records.end += frame.header_length + frame.body_length;
  }
  return records;
}

std::size_t UntornLength(std::string_view bytes, std::size_t* damaged_line) {
  *damaged_line = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t newline = bytes.find("\n;", from);
    if (newline == std::string_view::npos) return bytes.size();
    const std::size_t line = newline + 1;
    const std::string_view rest = bytes.substr(line);
    const Frame frame = ParseFrame(rest);
    if (frame.kind == Frame::kNone) {
      from = line;
      continue;
    }
    std::string_view body;
    switch (CheckRecord(rest, frame, &body)) {
      case RecordState::kTorn:
        return line;
      case RecordState::kDamaged:
        *damaged_line =
            static_cast<std::size_t>(std::count(
                bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(line), '\n')) +
            1;
        return 0;
      case RecordState::kWhole:
        // From the body's last character, so that a frame right after it is
        // found.
        from = line + frame.header_length + frame.body_length - 1;
        break;
    }
  }
}

}  // namespace quillprobe::registry
