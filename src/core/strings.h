#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Text conversions shared by every subsystem. "Narrow" text is UTF-8 on every platform (the
// Windows build opts into UTF-8 as its code page); "wide" text is std::wstring.

// The UTF-8 sequence starting at `pos` (< text.size()): whether it is valid, its code point `cp`
// when it is, and the bytes it spans in `length` (its lead byte and the continuation bytes that
// follow it, at most as many as the lead byte announces; at least 1). Overlong forms, surrogates
// and values beyond U+10FFFF are invalid.
bool DecodeUtf8(std::string_view text, size_t pos, char32_t& cp, size_t& length);
// UTF-8 -> wide. Invalid sequences become U+FFFD; never throws.
std::wstring Utf8ToWide(std::string_view utf8);
// Wide -> UTF-8. Lone surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);
// Wide -> UTF-16LE bytes, without byte-order mark or terminator.
std::string WideToUtf16Le(std::wstring_view wide);
// UTF-16LE bytes -> wide. An odd trailing byte is dropped; lone surrogates become U+FFFD.
std::wstring Utf16LeToWide(const void* bytes, size_t byteCount);

// Unicode simple upper- and lower-case mapping of one character (no change where none exists).
// The machine's own case tables give the answer, so each platform backend defines these two
// (platform/<backend>/text.cpp); everything else here is plain C++.
wchar_t ToUpperSimple(wchar_t c);
wchar_t ToLowerSimple(wchar_t c);

// Unicode simple upper-casing of every character.
std::wstring ToUpperUnicode(std::wstring_view text);
// Upper-casing of the letters a-z only; every other character is kept.
std::wstring FoldAsciiUpper(std::wstring_view text);
std::string FoldAsciiUpper(std::string_view text);
// Lower-casing of the letters A-Z only.
std::wstring FoldAsciiLower(std::wstring_view text);
std::string FoldAsciiLower(std::string_view text);

// Case-insensitive ordering on the letters A-Z (for maps keyed by names such as the root names).
struct AsciiCaseInsensitiveLess {
  using is_transparent = void;
  bool operator()(std::wstring_view a, std::wstring_view b) const;
};

// The components of a backslash-separated path, in order; empty components (doubled, leading
// or trailing backslashes) are left out.
std::vector<std::wstring> SplitPathComponents(std::wstring_view path);

// Replaces every occurrence of `from` by `to`, scanning left to right without rescanning
// replaced text; case-sensitive. Returns the number of replacements.
size_t ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to);
size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to);

// printf-style formatting into a std::string (narrow).
#if defined(__GNUC__)
#define CORVANE_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define CORVANE_PRINTF_FORMAT(f, a)
#endif
std::string FormatText(const char* format, ...) CORVANE_PRINTF_FORMAT(1, 2);
