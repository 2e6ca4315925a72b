#include "core/strings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(StringsUtf8Test, RoundTripsEveryPlane) {
  const std::wstring text = L"A\u00e9\u20ac\U0001F600z";
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(utf8, WideToUtf8(text));
  EXPECT_EQ(text, Utf8ToWide(utf8));
  EXPECT_EQ(L"", Utf8ToWide(""));
}

TEST(StringsUtf8Test, InvalidInputBecomesOneReplacementEach) {
  EXPECT_EQ(L"a\uFFFDb", Utf8ToWide("a\x80" "b"));           // stray continuation byte
  EXPECT_EQ(L"a\uFFFDb", Utf8ToWide("a\xE2\x82" "b"));       // truncated sequence
  EXPECT_EQ(L"a\uFFFD", Utf8ToWide("a\xF0\x9F"));            // truncated at the end
  EXPECT_EQ(L"\uFFFD", Utf8ToWide("\xC0\xAF"));              // overlong "/"
  EXPECT_EQ(L"\uFFFD", Utf8ToWide("\xED\xA0\x80"));          // an encoded surrogate
  EXPECT_EQ(L"\uFFFD", Utf8ToWide("\xF4\x90\x80\x80"));      // above U+10FFFF
  EXPECT_EQ(L"\uFFFDx", Utf8ToWide("\xFFx"));
  // Lone surrogates in wide text are not written as such.
  EXPECT_EQ("\xEF\xBF\xBD" "a", WideToUtf8(std::wstring{static_cast<wchar_t>(0xD800), L'a'}));
}

TEST(StringsUtf16Test, LittleEndianWithSurrogatePairs) {
  const std::wstring text = L"A\u00e9\U0001F600";
  const std::string bytes("A\0\xE9\0\x3D\xD8\x00\xDE", 8);
  EXPECT_EQ(bytes, WideToUtf16Le(text));
  EXPECT_EQ(text, Utf16LeToWide(bytes.data(), bytes.size()));
  // An odd trailing byte is dropped; a lone high or low surrogate becomes U+FFFD.
  EXPECT_EQ(L"A", Utf16LeToWide("A\0B", 3));
  EXPECT_EQ(L"\uFFFDA", Utf16LeToWide("\x3D\xD8" "A\0", 4));
  EXPECT_EQ(L"\uFFFD", Utf16LeToWide("\x00\xDE", 2));
  EXPECT_EQ(L"", Utf16LeToWide("", 0));
}

TEST(StringsCaseTest, UnicodeAndAsciiUpperCasing) {
  EXPECT_EQ(L"\u00c9T\u00c9 \u0178 \u00df 1", ToUpperUnicode(L"\u00e9t\u00e9 \u00ff \u00df 1"));
  EXPECT_EQ(L"ABC \u00e9", FoldAsciiUpper(std::wstring_view(L"abc \u00e9")));
  EXPECT_EQ("ABC \xC3\xA9", FoldAsciiUpper(std::string_view("abc \xC3\xA9")));
  EXPECT_EQ(L"abc \u00c9", FoldAsciiLower(std::wstring_view(L"ABC \u00c9")));
  AsciiCaseInsensitiveLess less;
  EXPECT_FALSE(less(L"hklm", L"HKLM"));
  EXPECT_FALSE(less(L"HKLM", L"hklm"));
  EXPECT_TRUE(less(L"HKCU", L"hklm"));
  EXPECT_TRUE(less(L"HKU", L"HKUX"));
  std::map<std::wstring, int, AsciiCaseInsensitiveLess> map{{L"HKEY_USERS", 1}};
  EXPECT_EQ(1u, map.count(L"hkey_users"));
}

TEST(StringsReplaceTest, ReplacesWithoutRescanning) {
  std::wstring text = L"aaa";
  EXPECT_EQ(3u, ReplaceAll(text, L"a", L"aa"));
  EXPECT_EQ(L"aaaaaa", text);
  std::string narrow = "x%W%y%W%";
  EXPECT_EQ(2u, ReplaceAll(narrow, "%W%", ""));
  EXPECT_EQ("xy", narrow);
  EXPECT_EQ(0u, ReplaceAll(narrow, "", "z"));
  EXPECT_EQ("Directory C:\\x not created successfully error code is: 3 ",
            FormatText("Directory %s not created successfully error code is: %ld ", "C:\\x", 3L));
  EXPECT_EQ(std::string(300, 'q'), FormatText("%s", std::string(300, 'q').c_str()));
}

}  // namespace

TEST(StringsPathTest, SplitsComponentsAndSkipsEmptyOnes) {
  using Parts = std::vector<std::wstring>;
  EXPECT_EQ(SplitPathComponents(L"C:\\Program Files\\App\\a.exe"), (Parts{L"C:", L"Program Files", L"App", L"a.exe"}));
  EXPECT_EQ(SplitPathComponents(L"\\\\server\\\\share\\"), (Parts{L"server", L"share"}));
  EXPECT_EQ(SplitPathComponents(L"%PROGRAMFILES%"), (Parts{L"%PROGRAMFILES%"}));
  EXPECT_TRUE(SplitPathComponents(L"").empty());
  EXPECT_TRUE(SplitPathComponents(L"\\\\").empty());
}
