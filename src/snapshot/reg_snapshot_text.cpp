#include "snapshot/reg_snapshot_text.h"

#include <cstdint>

namespace regsnap {

void AppendWide(std::u16string& out, std::wstring_view text) {
  for (wchar_t c : text) {
    const uint32_t code = static_cast<uint32_t>(c);
    if constexpr (sizeof(wchar_t) == 2) {
      out.push_back(static_cast<char16_t>(code));
    } else if (code >= 0x10000 && code <= 0x10FFFF) {
      const uint32_t v = code - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else if (code > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
}

std::u16string ToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  AppendWide(out, text);
  return out;
}

std::wstring ToWide(std::u16string_view text) {
  std::wstring out;
  ToWideInto(out, text);
  return out;
}

void ToWideInto(std::wstring& out, std::u16string_view text) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if constexpr (sizeof(wchar_t) == 4) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        const uint32_t code = 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        out.push_back(static_cast<wchar_t>(code));
        ++i;
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
}

void AppendLittleEndian(std::string& out, std::u16string_view text) {
  const size_t start = out.size();
  out.resize(start + text.size() * 2);
  char* p = out.data() + start;
  for (char16_t c : text) {
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>(c >> 8);
  }
}

}  // namespace regsnap
