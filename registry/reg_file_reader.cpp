#include "registry/reg_file_reader.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "registry/utf16.h"

namespace quillprobe::registry {
namespace {

constexpr std::string_view kVersion5Header =
    "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// Thrown inside the reader; ReadRegFile turns it into a ParseError.
struct Failure {
  std::size_t line;
  std::string reason;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  std::size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when `text` begins with `prefix` (ASCII, any letter case); the
// prefix is then removed.
bool ConsumePrefix(std::string_view& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

// Reads up to `max_digits` hex digits from the front of `text` into *value;
// false when there is none.
bool ConsumeHexNumber(std::string_view& text, std::size_t max_digits,
                      std::uint32_t* value) {
  std::size_t count = 0;
  std::uint32_t number = 0;
  while (count < max_digits && count < text.size()) {
    const int digit = HexDigit(text[count]);
    if (digit < 0) break;
    number = (number << 4) | static_cast<std::uint32_t>(digit);
    ++count;
  }
  if (count == 0) return false;
  text.remove_prefix(count);
  *value = number;
  return true;
}

// The lines of a text, without their line ends (LF or CRLF).
class Lines {
 public:
  explicit Lines(std::string_view text) : rest_(text) {}

  // The next line, trimmed of blanks at both ends; false at the end.
  bool Next(std::string_view& line) {
    if (done_) return false;
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    if (end == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(end + 1);
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    ++number_;
    return true;
  }

  // The number of the line Next returned last, from 1.
  std::size_t number() const { return number_; }

 private:
  std::string_view rest_;
  std::size_t number_ = 0;
  bool done_ = false;
};

class Reader {
 public:
  Reader(std::string_view text, RegSink& sink)
      : empty_(text.empty()), lines_(text), sink_(sink) {}

  void Read() {
    std::string_view line;
    if (!lines_.Next(line) || empty_) Fail("the file is empty");
    if (line == kVersion5Header) {
      format_ = RegFormat::kVersion5;
    } else if (line == kRegedit4Header) {
      format_ = RegFormat::kRegedit4;
    } else {
      Fail("not a registry file: the first line is neither \"" +
           std::string(kVersion5Header) + "\" nor \"" +
           std::string(kRegedit4Header) + "\"");
    }
    sink_.Format(format_);
    bool in_section = false;
    while (lines_.Next(line)) {
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        ReadSection(line);
        in_section = true;
      } else if (line.front() == '"' || line.front() == '@') {
        if (!in_section) Fail("a value before the first section");
        ReadValue(line);
      } else {
        Fail("expected a [section], a value or a ; comment");
      }
    }
  }

 private:
  [[noreturn]] void Fail(std::string reason) const {
    throw Failure{lines_.number(), std::move(reason)};
  }

  void Check(std::optional<std::string> refused) const {
    if (refused) Fail(std::move(*refused));
  }

  // Reads a quoted text at the front of `text` (which starts with '"') and
  // removes it from `text`. The result points into `text` when the text has
  // no escapes, else into `buffer`.
  std::string_view ReadQuoted(std::string_view& text,
                              std::string& buffer) const {
    std::size_t pos = 1;
    std::size_t special = text.find_first_of("\"\\", pos);
    if (special != std::string_view::npos && text[special] == '"') {
      const std::string_view plain = text.substr(1, special - 1);
      text.remove_prefix(special + 1);
      return plain;
    }
    buffer.clear();
    for (;;) {
      if (special == std::string_view::npos) {
        Fail("a quoted text without its closing quote");
      }
      buffer.append(text.substr(pos, special - pos));
      if (text[special] == '"') {
        text.remove_prefix(special + 1);
        return buffer;
      }
      const char escaped = special + 1 < text.size() ? text[special + 1] : '\0';
      if (escaped == '\\' || escaped == '"') {
        buffer.push_back(escaped);
        pos = special + 2;
      } else if (escaped == 'x' && special + 3 < text.size() &&
                 HexDigit(text[special + 2]) >= 0 &&
                 HexDigit(text[special + 3]) >= 0) {
        buffer.push_back(static_cast<char>(HexDigit(text[special + 2]) * 16 +
                                           HexDigit(text[special + 3])));
        pos = special + 4;
      } else {
        Fail(
            "an unknown escape in a quoted text (known: \\\\, \\\" and "
            "\\xHH)");
      }
      special = text.find_first_of("\"\\", pos);
    }
  }

  void ReadSection(std::string_view line) {
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos) {
      Fail("a section header without its closing ']'");
    }
    if (close + 1 != line.size()) Fail("text after a section header's ']'");
    std::string_view inner = line.substr(1, close - 1);
    bool remove = false;
    if (!inner.empty() && inner.front() == '-') {
      remove = true;
      inner.remove_prefix(1);
    }
    if (!inner.empty() && inner.front() == '"') {
      std::string_view rest = inner;
      inner = ReadQuoted(rest, path_buffer_);
      if (!rest.empty()) Fail("text after a quoted key path");
    }
    components_.clear();
    while (!inner.empty()) {
      const std::size_t end = inner.find('\\');
      const std::string_view component = inner.substr(0, end);
      if (!component.empty()) components_.push_back(component);
      if (end == std::string_view::npos) break;
      inner.remove_prefix(end + 1);
    }
    if (components_.empty()) Fail("a section without a key path");
    Check(sink_.Section(lines_.number(), remove, components_));
  }

  void ReadValue(std::string_view line) {
    const std::size_t line_number = lines_.number();
    std::string_view name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else {
      name = ReadQuoted(line, name_buffer_);
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != '=') Fail("expected '=' after a name");
    line = TrimLeft(line.substr(1));

    data_.clear();
    std::uint32_t type = 0;
    if (line == "-") {
      Check(sink_.Value(line_number, name, true, 0, {}));
      return;
    }
    if (!line.empty() && line.front() == '"') {
      const std::string_view text = ReadQuoted(line, text_buffer_);
      if (!TrimLeft(line).empty()) Fail("text after a quoted value");
      type = 1;  // REG_SZ, stored with its terminating NUL
      data_.assign(text.begin(), text.end());
      data_.push_back(0);
    } else if (ConsumePrefix(line, "dword:")) {
      std::uint32_t number = 0;
      if (!ConsumeHexNumber(line, 8, &number) || !line.empty()) {
        Fail("a dword needs 1 to 8 hex digits");
      }
      type = 4;  // REG_DWORD
      for (int shift = 0; shift < 32; shift += 8) {
        data_.push_back(static_cast<std::uint8_t>(number >> shift));
      }
    } else if (ConsumePrefix(line, "hex:")) {
      type = 3;  // REG_BINARY
      ReadHexBytes(line);
    } else if (ConsumePrefix(line, "hex(")) {
      if (!ConsumeHexNumber(line, 8, &type) || line.size() < 2 ||
          line[0] != ')' || line[1] != ':') {
        Fail("a value type needs the form hex(N): with 1 to 8 hex digits");
      }
      line.remove_prefix(2);
      ReadHexBytes(line);
      const bool string_type = type == 1 || type == 2 || type == 7;
      if (string_type && format_ == RegFormat::kVersion5) {
        data_ = StringDataFromUtf16Le(data_);
      }
    } else {
      Fail(
          "unknown value data (expected \"text\", dword:, hex:, hex(N): "
          "or -)");
    }
    Check(sink_.Value(line_number, name, false, type, data_));
  }

  // Reads a comma-separated list of hex bytes into data_ that starts in
  // `text` and continues on the next line wherever a line ends with a
  // backslash.
  void ReadHexBytes(std::string_view text) {
    for (;;) {
      text = TrimLeft(text);
      if (text.empty()) return;
      if (text == "\\") {
        if (!lines_.Next(text)) Fail("the file ends inside a list of bytes");
        continue;
      }
      std::uint32_t byte = 0;
      if (!ConsumeHexNumber(text, 2, &byte)) Fail("expected a hex byte");
      data_.push_back(static_cast<std::uint8_t>(byte));
      text = TrimLeft(text);
      if (text.empty()) return;
      if (text.front() != ',') Fail("expected ',' between hex bytes");
      text.remove_prefix(1);
    }
  }

  bool empty_;
  Lines lines_;
  RegSink& sink_;
  RegFormat format_ = RegFormat::kVersion5;
  // Reused from line to line.
  std::string name_buffer_;
  std::string text_buffer_;
  std::string path_buffer_;
  std::vector<std::string_view> components_;
  std::vector<std::uint8_t> data_;
};

// Collects what a file says into a RegDocument.
class DocumentSink final : public RegSink {
 public:
  void Format(RegFormat format) override { document.format = format; }

  std::optional<std::string> Section(
      std::size_t line, bool remove,
      std::span<const std::string_view> path) override {
    RegSection& section = document.sections.emplace_back();
    section.line = line;
    section.remove = remove;
    section.path.assign(path.begin(), path.end());
    return std::nullopt;
  }

  std::optional<std::string> Value(
      std::size_t line, std::string_view name, bool remove, std::uint32_t type,
      std::span<const std::uint8_t> data) override {
    document.sections.back().values.push_back(
        {line, std::string(name), remove, type, {data.begin(), data.end()}});
    return std::nullopt;
  }

  RegDocument document;
};

}  // namespace

std::optional<ParseError> ReadRegFile(std::string_view bytes,
                                      std::string_view file_name,
                                      RegSink& sink) {
  std::string converted;
  std::string_view text = bytes;
  if (text.starts_with(kUtf16LeBom)) {
    converted = Utf16LeTextToUtf8(text.substr(kUtf16LeBom.size()));
    text = converted;
  } else if (text.starts_with(kUtf16BeBom)) {
    return ParseError{std::string(file_name), 1,
                      "UTF-16 big-endian files are not supported"};
  } else if (text.starts_with(kUtf8Bom)) {
    text.remove_prefix(kUtf8Bom.size());
  }
  try {
    Reader(text, sink).Read();
  } catch (Failure& failure) {
    return ParseError{std::string(file_name), failure.line,
                      std::move(failure.reason)};
  }
  return std::nullopt;
}

std::variant<RegDocument, ParseError> ReadRegFile(std::string_view bytes,
                                                  std::string_view file_name) {
  DocumentSink sink;
  if (auto error = ReadRegFile(bytes, file_name, sink)) {
    return std::move(*error);
  }
  return std::move(sink.document);
}

}  // namespace quillprobe::registry
