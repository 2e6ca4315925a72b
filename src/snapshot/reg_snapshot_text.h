#pragma once
#include <string>
#include <string_view>

// Text helpers shared by the registry snapshot writer and the comparison: the files are UTF-16LE,
// wide strings in memory are UTF-32 on Linux and UTF-16 on Windows.
namespace regsnap {

// The first line of every snapshot and difference file (two text characters, not a byte-order
// mark, then the title and CR LF).
inline constexpr std::u16string_view kHeaderLine = u"\u00FE\u00FFWindows Registry Snapshot\r\n";
inline constexpr std::u16string_view kLineEnd = u"\r\n";

// Appends wide text as UTF-16 code units (supplementary characters become surrogate pairs).
void AppendWide(std::u16string& out, std::wstring_view text);
std::u16string ToUtf16(std::wstring_view text);
// UTF-16 code units -> wide text (surrogate pairs combined where wide text is UTF-32; a lone
// surrogate is kept as its code unit).
std::wstring ToWide(std::u16string_view text);
// The same into an existing string (its storage is reused).
void ToWideInto(std::wstring& out, std::u16string_view text);
// The code units as UTF-16LE bytes (what is written to the files).
void AppendLittleEndian(std::string& out, std::u16string_view text);

}  // namespace regsnap
