#include "registry/reg_file_writer.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "registry/utf16.h"
#include "registry/utf8.h"

namespace quillprobe::registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr char kHexDigits[] = "0123456789abcdef";
// The column after which a list of hex bytes wraps, as the registry editor
// wraps it.
constexpr std::size_t kWrapColumn = 76;

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

void AppendHexByte(std::uint8_t byte, std::string& out) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

// True when `text` is valid UTF-8 without control characters (tab excepted
// when `tab_allowed`).
bool IsCleanText(std::string_view text, bool tab_allowed) {
  for (std::size_t pos = 0; pos < text.size();) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      if (IsControl(byte) && !(tab_allowed && byte == '\t')) return false;
      ++pos;
      continue;
    }
    const Utf8Unit unit = DecodeUtf8At(text, pos);
    if (unit.code_point >= kInvalidByteBase) return false;
    pos += unit.length;
  }
  return true;
}

// `text` between quotes: \\ and \" always, \xHH for control characters and
// bytes that are not UTF-8 when `escape_bytes`.
void AppendQuoted(std::string_view text, bool escape_bytes, std::string& out) {
  out.push_back('"');
  for (std::size_t pos = 0; pos < text.size();) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte == '\\' || byte == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(byte));
      ++pos;
    } else if (byte < 0x80 || !escape_bytes) {
      if (escape_bytes && IsControl(byte)) {
        out += "\\x";
        AppendHexByte(byte, out);
      } else {
        out.push_back(static_cast<char>(byte));
      }
      ++pos;
    } else {
      const Utf8Unit unit = DecodeUtf8At(text, pos);
      if (unit.code_point >= kInvalidByteBase) {
        out += "\\x";
        AppendHexByte(byte, out);
      } else {
        out.append(text.substr(pos, unit.length));
      }
      pos += unit.length;
    }
  }
  out.push_back('"');
}

// The text of REG_SZ data that can be written as "text" and read back the
// same, or nothing.
bool PlainText(const Value& value, std::string_view* text) {
  if (value.type != value_type::kSz || value.data.empty() ||
      value.data.back() != 0) {
    return false;
  }
  *text = std::string_view(reinterpret_cast<const char*>(value.data.data()),
                           value.data.size() - 1);
  return IsCleanText(*text, /*tab_allowed=*/true);
}

// `bytes` as a comma-separated list, wrapped with a trailing backslash; the
// current line began at `line_start` in `out`.
void AppendHexList(std::span<const std::uint8_t> bytes, std::size_t line_start,
                   std::string& out) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    AppendHexByte(bytes[i], out);
    if (i + 1 == bytes.size()) break;
    out.push_back(',');
    if (out.size() - line_start > kWrapColumn) {
      out += "\\\n  ";
      line_start = out.size() - 2;
    }
  }
}

void AppendValue(const Value& value, std::string& out) {
  const std::size_t line_start = out.size();
  if (value.name.empty()) {
    out.push_back('@');
  } else {
    AppendQuoted(value.name, /*escape_bytes=*/true, out);
  }
  out.push_back('=');
  std::string_view text;
  if (PlainText(value, &text)) {
    AppendQuoted(text, /*escape_bytes=*/false, out);
  } else if (value.type == value_type::kDword && value.data.size() == 4) {
    out += "dword:";
    for (std::size_t i = 4; i-- > 0;) AppendHexByte(value.data[i], out);
  } else if (value.type == value_type::kBinary) {
    out += "hex:";
    AppendHexList(value.data, line_start, out);
  } else {
    out += "hex(";
    bool digits = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      const auto digit = (value.type >> shift) & 0xFu;
      if (digit == 0 && !digits && shift > 0) continue;
      digits = true;
      out.push_back(kHexDigits[digit]);
    }
    out += "):";
    const bool string_type = value.type == value_type::kSz ||
                             value.type == value_type::kExpandSz ||
                             value.type == value_type::kMultiSz;
    if (string_type) {
      AppendHexList(StringDataToUtf16Le(value.data), line_start, out);
    } else {
      AppendHexList(value.data, line_start, out);
    }
  }
  out.push_back('\n');
}

void AppendSection(const Key& key, std::string_view path, bool quote_path,
                   std::string& out) {
  out.push_back('[');
  if (quote_path) {
    AppendQuoted(path, /*escape_bytes=*/true, out);
  } else {
    out.append(path);
  }
  out += "]\n";
  for (const Value& value : key.values()) AppendValue(value, out);
  out.push_back('\n');
}

}  // namespace

std::string WriteRegFile(const Key& root) {
  std::string out(kHeader);
  // Depth first without recursion, so that no depth of keys can exhaust the
  // stack. Each frame remembers where its key's name ends in `path`.
  struct Frame {
    const Key* key;
    std::size_t next_subkey;
    std::size_t path_length;
    bool quote_path;
  };
  std::string path = root.name();
  std::vector<Frame> stack;
  const bool quote_root = !IsCleanText(root.name(), false);
  AppendSection(root, path, quote_root, out);
  stack.push_back({&root, 0, path.size(), quote_root});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const auto subkeys = frame.key->subkeys();
    if (frame.next_subkey == subkeys.size()) {
      stack.pop_back();
      continue;
    }
    const Key& subkey = *subkeys[frame.next_subkey++];
    path.resize(frame.path_length);
    path.push_back('\\');
    path += subkey.name();
    const bool quote = frame.quote_path || !IsCleanText(subkey.name(), false);
    AppendSection(subkey, path, quote, out);
    stack.push_back({&subkey, 0, path.size(), quote});
  }
  return out;
}

}  // namespace quillprobe::registry
