#include "core/strings.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(cp));
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes the code points of a wide string (UTF-16 on Windows, UTF-32 elsewhere).
template <typename Fn>
void ForEachCodePoint(std::wstring_view wide, Fn&& fn) {
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
      char32_t low = static_cast<char32_t>(wide[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        fn(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
    fn(c);
  }
}

}  // namespace

bool DecodeUtf8(std::string_view text, size_t pos, char32_t& cp, size_t& length) {
  const auto b = static_cast<unsigned char>(text[pos]);
  length = 1;
  if (b < 0x80) {
    cp = b;
    return true;
  }
  size_t extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((b & 0xE0) == 0xC0) {
    extra = 1, value = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, value = b & 0x0F, minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, value = b & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  for (; length <= extra; ++length) {
    if (pos + length >= text.size()) return false;
    const auto c = static_cast<unsigned char>(text[pos + length]);
    if ((c & 0xC0) != 0x80) return false;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || IsSurrogate(value)) return false;
  cp = value;
  return true;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    size_t length = 0;
    // A broken sequence yields one replacement for its lead byte and its continuation bytes.
    AppendCodePoint(out, DecodeUtf8(utf8, i, cp, length) ? cp : kReplacement);
    i += length;
  }
  return out;
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  ForEachCodePoint(wide, [&](char32_t cp) { AppendUtf8(out, cp); });
  return out;
}

std::string WideToUtf16Le(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size() * 2);
  auto unit = [&](uint16_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  ForEachCodePoint(wide, [&](char32_t cp) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      unit(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      unit(static_cast<uint16_t>(cp));
    }
  });
  return out;
}

std::wstring Utf16LeToWide(const void* bytes, size_t byteCount) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  size_t units = byteCount / 2;
  std::wstring out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    char32_t c = static_cast<char32_t>(p[2 * i] | (p[2 * i + 1] << 8));
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      char32_t low = static_cast<char32_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendCodePoint(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendCodePoint(out, IsSurrogate(c) ? kReplacement : c);
  }
  return out;
}

std::wstring ToUpperUnicode(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = ToUpperSimple(c);
  return out;
}

template <typename Str, typename View>
static Str FoldRange(View text, char from, char to, int delta) {
  Str out(text);
  for (auto& c : out) {
    if (c >= from && c <= to) c = static_cast<typename Str::value_type>(c + delta);
  }
  return out;
}

std::wstring FoldAsciiUpper(std::wstring_view text) { return FoldRange<std::wstring>(text, 'a', 'z', -32); }
std::string FoldAsciiUpper(std::string_view text) { return FoldRange<std::string>(text, 'a', 'z', -32); }
std::wstring FoldAsciiLower(std::wstring_view text) { return FoldRange<std::wstring>(text, 'A', 'Z', 32); }
std::string FoldAsciiLower(std::string_view text) { return FoldRange<std::string>(text, 'A', 'Z', 32); }

bool AsciiCaseInsensitiveLess::operator()(std::wstring_view a, std::wstring_view b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = (a[i] >= 'a' && a[i] <= 'z') ? a[i] - 32 : a[i];
    wchar_t y = (b[i] >= 'a' && b[i] <= 'z') ? b[i] - 32 : b[i];
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::vector<std::wstring> SplitPathComponents(std::wstring_view path) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

template <typename Str, typename View>
static size_t ReplaceAllImpl(Str& text, View from, View to) {
  if (from.empty()) return 0;
  size_t count = 0;
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != Str::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
    ++count;
  }
  return count;
}

size_t ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to) {
  return ReplaceAllImpl(text, from, to);
}
size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  return ReplaceAllImpl(text, from, to);
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}
