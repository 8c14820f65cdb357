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

// True when a key name must be written with \xHH escapes, inside a quoted
// path: it holds a control character or a byte that is not UTF-8.
bool NeedsByteEscapes(std::string_view name) {
  for (std::size_t pos = 0; pos < name.size();) {
    const auto byte = static_cast<unsigned char>(name[pos]);
    if (byte < 0x80) {
      if (IsControl(byte)) return true;
      ++pos;
      continue;
    }
    const Utf8Unit unit = DecodeUtf8At(name, pos);
    if (unit.code_point >= kInvalidByteBase) return true;
    pos += unit.length;
  }
  return false;
}

// Appends `text` between quotes with \\ and \" for backslashes and quotes.
// With `escape_bytes`, control characters and bytes that are not UTF-8 are
// written as \xHH; without, they cannot be written (tab excepted), and the
// result is false with `out` left partly written. Runs of bytes that need no
// escape are copied whole.
bool AppendQuoted(std::string_view text, bool escape_bytes, std::string& out) {
  out.push_back('"');
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* run = begin;  // where the bytes not yet copied begin
  const char* p = begin;
  while (p != end) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
      ++p;
      continue;
    }
    if (byte >= 0x80) {
      const Utf8Unit unit =
          DecodeUtf8At(text, static_cast<std::size_t>(p - begin));
      if (unit.code_point < kInvalidByteBase) {
        p += unit.length;
        continue;
      }
      if (!escape_bytes) return false;
    } else if (IsControl(byte) && !escape_bytes) {
      if (byte != '\t') return false;
      ++p;
      continue;
    }
    out.append(run, p);
    if (byte == '\\' || byte == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(byte));
    } else {
      out += "\\x";
      AppendHexByte(byte, out);
    }
    run = ++p;
  }
  out.append(run, end);
  out.push_back('"');
  return true;
}

// Appends REG_SZ data as "text" when it reads back the same that way: valid
// UTF-8 without control characters but tab, ending in its only NUL. False,
// with `out` as it was, when it does not.
bool AppendPlainText(const Value& value, std::string& out) {
  if (value.type != value_type::kSz || value.data.empty() ||
      value.data.back() != 0) {
    return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                              value.data.size() - 1);
  if (text.find('\0') != std::string_view::npos) return false;
  const std::size_t mark = out.size();
  if (AppendQuoted(text, /*escape_bytes=*/false, out)) return true;
  out.resize(mark);
  return false;
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

// The data of a value in the form that holds it exactly, when "text" does
// not: dword:, hex: or hex(N):.
void AppendData(const Value& value, std::size_t line_start, std::string& out) {
  if (value.type == value_type::kDword && value.data.size() == 4) {
    out += "dword:";
    for (std::size_t i = 4; i-- > 0;) AppendHexByte(value.data[i], out);
    return;
  }
  if (value.type == value_type::kBinary) {
    out += "hex:";
    AppendHexList(value.data, line_start, out);
    return;
  }
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

void AppendValue(const Value& value, std::string& out) {
  const std::size_t line_start = out.size();
  if (value.name.empty()) {
    out.push_back('@');
  } else {
    AppendQuoted(value.name, /*escape_bytes=*/true, out);
  }
  out.push_back('=');
  if (!AppendPlainText(value, out)) AppendData(value, line_start, out);
  out.push_back('\n');
}

void AppendSectionHeader(std::string_view path, bool quote_path, bool remove,
                         std::string& out) {
  out.push_back('[');
  if (remove) out.push_back('-');
  if (quote_path) {
    AppendQuoted(path, /*escape_bytes=*/true, out);
  } else {
    out.append(path);
  }
  out += "]\n";
}

void AppendSection(const Key& key, std::string_view path, bool quote_path,
                   std::string& out) {
  AppendSectionHeader(path, quote_path, /*remove=*/false, out);
  for (const Value& value : key.values()) AppendValue(value, out);
  out.push_back('\n');
}

// The canonical text in the registry editor's encoding. The text is valid
// UTF-8 (bytes that are not are written as \xHH escapes), so every character
// has its UTF-16 form.
std::string ToRegistryEditorEncoding(std::string_view text) {
  std::string out = "\xff\xfe";
  out.reserve(2 + 2 * (text.size() + text.size() / 16));
  std::size_t line_start = 0;
  while (line_start < text.size()) {
    const std::size_t end = text.find('\n', line_start);
    const std::string_view line = text.substr(
        line_start, end == std::string_view::npos ? end : end - line_start);
    const std::vector<std::uint8_t> wide = StringDataToUtf16Le(std::span(
        reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
    out.append(reinterpret_cast<const char*>(wide.data()), wide.size());
    if (end == std::string_view::npos) break;
    out.append("\r\0\n\0", 4);
    line_start = end + 1;
  }
  return out;
}

}  // namespace

std::string WriteRegChange(std::string_view root_name,
                           const TreeChange& change) {
  std::string path(root_name);
  bool quote_path = NeedsByteEscapes(root_name);
  for (const std::string& name : change.path) {
    path.push_back('\\');
    path += name;
    quote_path = quote_path || NeedsByteEscapes(name);
  }
  std::string out;
  AppendSectionHeader(path, quote_path,
                      change.kind == TreeChange::Kind::kDeleteKey, out);
  if (change.kind == TreeChange::Kind::kSetValue) {
    AppendValue(Value{std::string(change.value_name),
                      change.type,
                      {change.data.begin(), change.data.end()}},
                out);
  } else if (change.kind == TreeChange::Kind::kDeleteValue) {
    if (change.value_name.empty()) {
      out.push_back('@');
    } else {
      AppendQuoted(change.value_name, /*escape_bytes=*/true, out);
    }
    out += "=-\n";
  }
  out.push_back('\n');
  return out;
}

std::string WriteRegFile(const Key& root, std::size_t size_hint,
                         RegFileEncoding encoding) {
  if (encoding == RegFileEncoding::kRegistryEditor) {
    return ToRegistryEditorEncoding(WriteRegFile(root, size_hint));
  }
  std::string out;
  out.reserve(size_hint);
  out = kHeader;
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
  const bool quote_root = NeedsByteEscapes(root.name());
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
    const bool quote = frame.quote_path || NeedsByteEscapes(subkey.name());
    AppendSection(subkey, path, quote, out);
    stack.push_back({&subkey, 0, path.size(), quote});
  }
  return out;
}

}  // namespace quillprobe::registry
