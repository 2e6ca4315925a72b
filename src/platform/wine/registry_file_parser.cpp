#include "platform/wine/registry_file_parser.h"

#include <cstring>

#include "core/strings.h"

namespace platform::wine {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRootComment = ";; All keys relative to ";
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDifference = 116444736000000000ull;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

void SkipSpaces(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

bool StartsWith(std::string_view text, size_t pos, std::string_view prefix) {
  return text.size() - pos >= prefix.size() && text.compare(pos, prefix.size(), prefix) == 0;
}

// Hexadecimal number of 1 to maxDigits digits.
bool ParseHexNumber(std::string_view line, size_t& pos, int maxDigits, uint64_t& value) {
  value = 0;
  int digits = 0;
  while (pos < line.size()) {
    int d = HexDigit(line[pos]);
    if (d < 0) break;
    if (++digits > maxDigits) return false;
    value = value * 16 + static_cast<uint64_t>(d);
    ++pos;
  }
  return digits > 0;
}

class Parser {
 public:
  Parser(std::string_view text, RegistryFileSink& sink) : text_(text), sink_(sink) {}

  bool Run() {
    std::string_view line;
    if (!NextLine(line) || line != kHeader) {
      sink_.OnError(1, "not a \"WINE REGISTRY Version 2\" file");
      return false;
    }
    while (NextLine(line)) {
      size_t pos = 0;
      SkipSpaces(line, pos);
      if (pos == line.size()) continue;
      switch (line[pos]) {
        case ';':
          if (!sawRoot_ && !sawKey_ && StartsWith(line, pos, kRootComment)) {
            sawRoot_ = true;
            pos += kRootComment.size();
            text16_.clear();
            DecodeRegistryString(line, pos, '\n', text16_);  // no terminator: decodes to the end
            sink_.OnRoot(text16_);
          }
          break;
        case '[':
          KeyLine(line, pos + 1);
          break;
        case '@':
        case '"':
          ValueLine(line, pos);
          break;
        case '#':
          OptionLine(line, pos + 1);
          break;
        default:
          sink_.OnError(lineNumber_, "unrecognized input");
          break;
      }
    }
    return true;
  }

 private:
  bool NextLine(std::string_view& line) {
    if (next_ >= text_.size()) return false;
    const char* start = text_.data() + next_;
    const size_t rest = text_.size() - next_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', rest));
    const size_t length = newline ? static_cast<size_t>(newline - start) : rest;
    line = std::string_view(start, length);
    next_ += length + (newline ? 1 : 0);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber_;
    return true;
  }

  void KeyLine(std::string_view line, size_t pos) {
    sawKey_ = true;
    haveKey_ = false;
    text16_.clear();
    if (!DecodeRegistryString(line, pos, ']', text16_)) {
      sink_.OnError(lineNumber_, "key line without its closing ']'; the key is skipped");
      return;
    }
    haveKey_ = true;
    sink_.OnKey(text16_, lineNumber_);
    SkipSpaces(line, pos);
    uint64_t seconds = 0;
    int digits = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9' && digits < 19) {
      seconds = seconds * 10 + static_cast<uint64_t>(line[pos] - '0');
      ++pos, ++digits;
    }
    if (digits > 0 && seconds < (UINT64_MAX - kEpochDifference) / 10000000ull) {
      sink_.OnKeyTime(seconds * 10000000ull + kEpochDifference);
    }
  }

  void OptionLine(std::string_view line, size_t pos) {
    if (!sawKey_) {
      std::string_view option = line.substr(pos);
      size_t equals = option.find('=');
      if (equals == std::string_view::npos) {
        sink_.OnOption(option, {});
      } else {
        sink_.OnOption(option.substr(0, equals), option.substr(equals + 1));
      }
      return;
    }
    if (!haveKey_) return;  // belongs to a key line that was already reported
    if (StartsWith(line, pos, "time=")) {
      pos += 5;
      uint64_t time = 0;
      if (!ParseHexNumber(line, pos, 16, time)) {
        sink_.OnError(lineNumber_, "bad #time line");
        return;
      }
      sink_.OnKeyTime(time);
    } else if (StartsWith(line, pos, "class=")) {
      pos += 6;
      text16_.clear();
      if (pos >= line.size() || line[pos] != '"' || !DecodeRegistryString(line, ++pos, '"', text16_)) {
        sink_.OnError(lineNumber_, "bad #class line");
        return;
      }
      sink_.OnKeyClass(text16_);
    } else if (StartsWith(line, pos, "link")) {
      size_t after = pos + 4;
      SkipSpaces(line, after);
      if (after == line.size()) sink_.OnKeyLink();
    }
    // Other options are ignored, as Wine ignores them.
  }

  void ValueLine(std::string_view line, size_t pos) {
    const size_t firstLine = lineNumber_;
    name_.clear();
    if (line[pos] == '@') {
      ++pos;
    } else if (!DecodeRegistryString(line, ++pos, '"', name_)) {
      sink_.OnError(lineNumber_, "value name without its closing quote");
      return;
    }
    SkipSpaces(line, pos);
    if (pos >= line.size() || line[pos] != '=') {
      sink_.OnError(lineNumber_, "value line without '=' after the name");
      return;
    }
    ++pos;
    SkipSpaces(line, pos);
    data_.clear();
    uint32_t type = 0;
    bool isString = false;
    if (pos < line.size() && line[pos] == '"') {
      type = 1, isString = true;
    } else if (StartsWith(line, pos, "str:")) {
      type = 1, isString = true, pos += 4;
    } else if (StartsWith(line, pos, "str(")) {
      pos += 4;
      uint64_t number = 0;
      if (!ParseHexNumber(line, pos, 8, number) || !StartsWith(line, pos, "):") ||
          (number != 2 && number != 7)) {
        sink_.OnError(lineNumber_, "bad str(...) value type; only str(2) and str(7) exist");
        return;
      }
      type = static_cast<uint32_t>(number), isString = true, pos += 2;
    } else if (StartsWith(line, pos, "dword:")) {
      pos += 6;
      uint64_t number = 0;
      if (!ParseHexNumber(line, pos, 8, number)) {
        sink_.OnError(lineNumber_, "bad dword value");
        return;
      }
      type = 4;
      for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(number >> (8 * i)));
    } else if (StartsWith(line, pos, "hex:") || StartsWith(line, pos, "hex(")) {
      type = 3;
      if (line[pos + 3] == '(') {
        pos += 4;
        uint64_t number = 0;
        if (!ParseHexNumber(line, pos, 8, number) || !StartsWith(line, pos, "):")) {
          sink_.OnError(lineNumber_, "bad hex(...) value type");
          return;
        }
        type = static_cast<uint32_t>(number);
        pos += 2;
      } else {
        pos += 4;
      }
      if (!ParseHexBytes(line, pos)) return;
    } else {
      sink_.OnError(lineNumber_, "unrecognized value data");
      return;
    }
    if (isString) {
      text16_.clear();
      if (pos >= line.size() || line[pos] != '"' || !DecodeRegistryString(line, ++pos, '"', text16_)) {
        sink_.OnError(lineNumber_, "string value without its closing quote");
        return;
      }
      data_.reserve(text16_.size() * 2 + 2);
      for (char16_t unit : text16_) {
        data_.push_back(static_cast<uint8_t>(unit & 0xFF));
        data_.push_back(static_cast<uint8_t>(unit >> 8));
      }
      data_.push_back(0);
      data_.push_back(0);
    }
    if (!haveKey_) {
      sink_.OnError(firstLine, sawKey_ ? "value of a key line that was skipped" : "value before the first key");
      return;
    }
    sink_.OnValue(name_, type, data_.data(), data_.size(), firstLine);
  }

  // Comma-separated bytes; a '\' at the end of a line continues on the next one.
  bool ParseHexBytes(std::string_view& line, size_t pos) {
    for (;;) {
      SkipSpaces(line, pos);
      if (pos >= line.size()) return true;
      if (line[pos] == '\\') {
        if (!NextLine(line)) {
          sink_.OnError(lineNumber_, "the file ends inside a continued value");
          return false;
        }
        pos = 0;
        continue;
      }
      int high = HexDigit(line[pos]);
      if (high < 0) {
        sink_.OnError(lineNumber_, "bad byte in hex value data");
        return false;
      }
      ++pos;
      int byte = high;
      if (pos < line.size()) {
        int low = HexDigit(line[pos]);
        if (low >= 0) byte = byte * 16 + low, ++pos;
      }
      data_.push_back(static_cast<uint8_t>(byte));
      SkipSpaces(line, pos);
      if (pos < line.size()) {
        if (line[pos] == ',') {
          ++pos;
        } else if (line[pos] != '\\') {
          sink_.OnError(lineNumber_, "bad separator in hex value data");
          return false;
        }
      }
    }
  }

  std::string_view text_;
  RegistryFileSink& sink_;
  size_t next_ = 0;
  size_t lineNumber_ = 0;
  bool sawRoot_ = false;
  bool sawKey_ = false;
  bool haveKey_ = false;
  std::u16string name_;
  std::u16string text16_;
  std::vector<uint8_t> data_;
};

class Collector : public RegistryFileSink {
 public:
  explicit Collector(ParsedRegistryFile& file) : file_(file) {}
  void OnRoot(std::u16string_view path) override { file_.root = path; }
  void OnOption(std::string_view name, std::string_view value) override {
    file_.options.emplace_back(std::string(name), std::string(value));
  }
  void OnKey(std::u16string_view path, size_t line) override {
    file_.keys.push_back({});
    file_.keys.back().path = path;
    file_.keys.back().line = line;
  }
  void OnKeyTime(uint64_t fileTime) override { file_.keys.back().time = fileTime; }
  void OnKeyClass(std::u16string_view className) override {
    file_.keys.back().hasClass = true;
    file_.keys.back().className = className;
  }
  void OnKeyLink() override { file_.keys.back().isLink = true; }
  void OnValue(std::u16string_view name, uint32_t type, const uint8_t* data, size_t size,
               size_t line) override {
    ParsedRegistryValue value;
    value.name = name;
    value.type = type;
    value.data.assign(data, data + size);
    value.line = line;
    file_.keys.back().values.push_back(std::move(value));
  }
  void OnError(size_t line, std::string_view message) override {
    file_.errors.push_back({line, std::string(message)});
  }

 private:
  ParsedRegistryFile& file_;
};

}  // namespace

bool DecodeRegistryString(std::string_view line, size_t& pos, char terminator, std::u16string& out) {
  const size_t size = line.size();
  while (pos < size) {
    char c = line[pos];
    if (c == terminator) {
      ++pos;
      return true;
    }
    if (c == '\\') {
      if (++pos >= size) return false;
      const char e = line[pos];
      char16_t decoded = 0;
      bool simple = true;
      switch (e) {
        case 'a': decoded = 7; break;
        case 'b': decoded = 8; break;
        case 'e': decoded = 27; break;
        case 'f': decoded = 12; break;
        case 'n': decoded = 10; break;
        case 'r': decoded = 13; break;
        case 't': decoded = 9; break;
        case 'v': decoded = 11; break;
        case 'x': {
          ++pos;
          unsigned value = 0;
          int digits = 0;
          for (int d; digits < 4 && pos < size && (d = HexDigit(line[pos])) >= 0; ++digits, ++pos) {
            value = value * 16 + static_cast<unsigned>(d);
          }
          out.push_back(digits == 0 ? u'x' : static_cast<char16_t>(value));
          continue;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned value = 0;
            for (int digits = 0; digits < 3 && pos < size && line[pos] >= '0' && line[pos] <= '7'; ++digits) {
              value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
            }
            out.push_back(static_cast<char16_t>(value));
            continue;
          }
          if (static_cast<unsigned char>(e) < 0x80) {
            decoded = static_cast<char16_t>(e);
          } else {
            simple = false;  // an escaped non-ASCII character stands for itself
          }
          break;
      }
      if (simple) {
        out.push_back(decoded);
        ++pos;
        continue;
      }
      c = e;
    }
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(static_cast<char16_t>(c));
      ++pos;
      continue;
    }
    // An invalid sequence is dropped: its bytes are not characters Wine would have written.
    char32_t cp = 0;
    size_t length = 0;
    if (DecodeUtf8(line, pos, cp, length)) AppendCodePoint(out, cp);
    pos += length;
  }
  return false;
}

bool ParseRegistryText(std::string_view text, RegistryFileSink& sink) {
  Parser parser(text, sink);
  return parser.Run();
}

ParsedRegistryFile ParseRegistryFile(std::string_view text) {
  ParsedRegistryFile file;
  Collector collector(file);
  file.valid = ParseRegistryText(text, collector);
  return file;
}

}  // namespace platform::wine
