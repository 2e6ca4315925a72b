#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wine/registry_file_parser.h"
#include "support/registry_change_lines.h"

using namespace platform::wine;

namespace {

const std::string kHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n";

std::u16string DecodeOnly(const std::string& escaped) {
  std::u16string out;
  size_t pos = 0;
  EXPECT_TRUE(DecodeRegistryString(escaped + "\"", pos, '"', out)) << escaped;
  return out;
}

TEST(RegistryParserHeader, AcceptsOnlyVersion2FilesAndReadsRootAndOptions) {
  ParsedRegistryFile file = ParseRegistryFile(kHead + "[Software] 1796586249\n");
  EXPECT_TRUE(file.valid);
  EXPECT_EQ(file.root, u"REGISTRY\\User\\S-1-5-21-0-0-0-1000");
  ASSERT_EQ(file.options.size(), 1u);
  EXPECT_EQ(file.options[0].first, "arch");
  EXPECT_EQ(file.options[0].second, "win64");
  EXPECT_TRUE(file.errors.empty());

  for (const char* bad : {"", "WINE REGISTRY Version 1\n[a]\n", "REGEDIT4\n", " WINE REGISTRY Version 2\n",
                          "WINE REGISTRY Version 2 \n"}) {
    ParsedRegistryFile f = ParseRegistryFile(bad);
    EXPECT_FALSE(f.valid) << bad;
    EXPECT_TRUE(f.keys.empty());
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0].line, 1u);
  }
  // CRLF line ends are accepted everywhere, the header included.
  ParsedRegistryFile crlf = ParseRegistryFile("WINE REGISTRY Version 2\r\n\r\n[A\\\\B] 1\r\n\"v\"=\"x\"\r\n\"h\"=hex:01,\\\r\n  02\r\n");
  ASSERT_TRUE(crlf.valid);
  ASSERT_EQ(crlf.keys.size(), 1u);
  EXPECT_EQ(crlf.keys[0].path, u"A\\B");
  ASSERT_EQ(crlf.keys[0].values.size(), 2u);
  EXPECT_EQ(crlf.keys[0].values[0].data, StoredString(u"x"));
  EXPECT_EQ(crlf.keys[0].values[1].data, (std::vector<uint8_t>{1, 2}));
  EXPECT_TRUE(crlf.errors.empty());
}

TEST(RegistryParserKeys, DecodesKeyPathsTimesClassesAndLinks) {
  ParsedRegistryFile file = ParseRegistryFile(kHead +
                                              "[Software\\\\S2Test\\\\Sub\\\\br\\[ack\\]ets] 1796586249\n"
                                              "#time=1dd85ba292b3ab6\n"
                                              "\n"
                                              "[Software\\\\S2Test\\\\Sub\\\\\\[lead] 1796586249\n"
                                              "[Software\\\\S2Test\\\\Sub\\\\quo\"te] 1796586249\n"
                                              "[Software\\\\S2Test\\\\Sub\\\\unicod\\xe9\\x20ac\\xd83d\\xde00]\n"
                                              "[Software\\\\S2Test\\\\Raw] 1796586249\n"
                                              "#time=1dd85ba292b3ab6\n"
                                              "#class=\"My\\\\Class[]\"\n"
                                              "@=dword:00420041\n"
                                              "[Software\\\\Wow6432Node\\\\Classes] 1796586249\n"
                                              "#link\n"
                                              "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\n"
                                              "[] 1796586249\n");
  ASSERT_TRUE(file.valid);
  EXPECT_TRUE(file.errors.empty());
  ASSERT_EQ(file.keys.size(), 7u);
  EXPECT_EQ(file.keys[0].path, u"Software\\S2Test\\Sub\\br[ack]ets");
  EXPECT_EQ(file.keys[0].time, 0x1dd85ba292b3ab6ull);
  EXPECT_EQ(file.keys[0].line, 6u);
  EXPECT_EQ(file.keys[1].path, u"Software\\S2Test\\Sub\\[lead");
  // Without #time the seconds of the key line give the time.
  EXPECT_EQ(file.keys[1].time, 1796586249ull * 10000000ull + 116444736000000000ull);
  EXPECT_EQ(file.keys[2].path, u"Software\\S2Test\\Sub\\quo\"te");
  EXPECT_EQ(file.keys[3].path, u"Software\\S2Test\\Sub\\unicod\u00e9\u20ac\xd83d\xde00");
  EXPECT_EQ(file.keys[3].time, 0u);
  EXPECT_TRUE(file.keys[4].hasClass);
  EXPECT_EQ(file.keys[4].className, u"My\\Class[]");
  EXPECT_FALSE(file.keys[4].isLink);
  ASSERT_EQ(file.keys[4].values.size(), 1u);
  EXPECT_EQ(file.keys[4].values[0].name, u"");
  EXPECT_EQ(file.keys[4].values[0].type, 4u);
  EXPECT_EQ(file.keys[4].values[0].data, (std::vector<uint8_t>{0x41, 0x00, 0x42, 0x00}));
  EXPECT_TRUE(file.keys[5].isLink);
  EXPECT_EQ(file.keys[5].values[0].type, 6u);
  EXPECT_EQ(file.keys[6].path, u"");
}

TEST(RegistryParserValues, ReadsEveryValueForm) {
  std::vector<uint8_t> longData;
  for (int i = 0; i <= 0x40; ++i) longData.push_back(static_cast<uint8_t>(i));
  // Each line of the key, and the value it gives.
  const struct {
    const char* line;
    std::u16string name;
    uint32_t type;
    std::vector<uint8_t> data;
  } cases[] = {
      {"@=\"defval\"", u"", 1, StoredString(u"defval")},
      {"\"sz\"=\"hello\"", u"sz", 1, StoredString(u"hello")},
      {"\"plain\"=str:\"old form\"", u"plain", 1, StoredString(u"old form")},
      {"\"exp\"=str(2):\"%ProgramFiles%\\\\App\"", u"exp", 2, StoredString(u"%ProgramFiles%\\App")},
      {"\"multi\"=str(7):\"one\\0two\\0three\\0\"", u"multi", 7, StoredString(std::u16string(u"one\0two\0three\0", 14))},
      {"\"multiempty\"=str(7):\"\"", u"multiempty", 7, {0, 0}},
      {"\"multinoend\"=str(7):\"a\\0b\"", u"multinoend", 7, StoredString(std::u16string(u"a\0b", 3))},
      {"\"dw\"=dword:12345678", u"dw", 4, {0x78, 0x56, 0x34, 0x12}},
      {"\"bin\"=hex:00,01,02,03,04,ff", u"bin", 3, {0, 1, 2, 3, 4, 0xff}},
      {"\"binempty\"=hex:", u"binempty", 3, {}},
      {"\"qw\"=hex(b):88,77,66,55,44,33,22,11", u"qw", 11, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}},
      {"\"none\"=hex(0):00,00", u"none", 0, {0, 0}},
      {"\"zerolen\"=hex(1):", u"zerolen", 1, {}},
      {"\"odd\"=hex(1):41,00,42", u"odd", 1, {0x41, 0, 0x42}},
      {"\"devprop\"=hex(ffff0007):03,00,00,00", u"devprop", 0xffff0007u, {3, 0, 0, 0}},
      {"\"big\"=hex(100):01", u"big", 0x100, {1}},
      {"\"long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
       "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
       "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40",
       u"long", 3, longData},
      {"\"spaced\" =  \"x\"", u"spaced", 1, StoredString(u"x")},
      {"\"spaced2\"\t=dword:1", u"spaced2", 4, {1, 0, 0, 0}},
      {"\"quote\\\"name\"=\"a\\\"b\\\\c\"", u"quote\"name", 1, StoredString(u"a\"b\\c")},
      {"\"back\\\\slash\"=\"AB\"", u"back\\slash", 1, StoredString(u"AB")},
      {"\"empty\"=\"\"", u"empty", 1, {0, 0}},
  };
  std::string text = kHead + "[Software\\\\S2Test\\\\Values] 1796586249\n#time=1dd85ba292b3ab6\n";
  for (const auto& c : cases) text += std::string(c.line) + "\n";
  ParsedRegistryFile file = ParseRegistryFile(text);
  ASSERT_TRUE(file.valid);
  EXPECT_TRUE(file.errors.empty()) << file.errors[0].line << " " << file.errors[0].message;
  ASSERT_EQ(file.keys.size(), 1u);
  const std::vector<ParsedRegistryValue>& values = file.keys[0].values;
  ASSERT_EQ(values.size(), std::size(cases));
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(cases[i].line);
    EXPECT_EQ(values[i].name, cases[i].name);
    EXPECT_EQ(values[i].type, cases[i].type);
    EXPECT_EQ(values[i].data, cases[i].data);
  }
  EXPECT_EQ(values[16].line, 24u);  // "long"
  EXPECT_EQ(values[17].line, 27u);  // line numbers go on after a continued value
}

TEST(RegistryParserStrings, DecodesEveryEscapeAsWineReadsIt) {
  EXPECT_EQ(DecodeOnly("a\\tb\\nc\\rd\\ae\\bf\\vg\\fh\\ei\\1j\\0017k\\37"),
            std::u16string(u"a\tb\nc\rd\ae\bf\vg\fh\x1bi\x01j\x01" u"7k\x1f"));
  // \x takes one to four hex digits; a \x without a digit is the letter x.
  EXPECT_EQ(DecodeOnly("\\x12345"), u"\x1234" u"5");
  EXPECT_EQ(DecodeOnly("\\xg\\x"), u"xgx");
  EXPECT_EQ(DecodeOnly("\\x00e9a\\xe9g\\x00e90\\xe9"), u"\u00e9a\u00e9g\u00e90\u00e9");
  EXPECT_EQ(DecodeOnly("\\x7f \\x80\\xff\\x100"), u"\x7f \x80\xff\x100");
  EXPECT_EQ(DecodeOnly("v\\xe4lue\\x20ac\\xd83d\\xde00"), u"v\u00e4lue\u20ac\xd83d\xde00");
  // Octal takes one to three digits; any other escaped character stands for itself.
  EXPECT_EQ(DecodeOnly("\\0\\08\\777\\1234"), std::u16string(u"\0\0" u"8\x1ff\x53" u"4", 6));
  EXPECT_EQ(DecodeOnly("\\q\\[\\]\\\"\\\\"), u"q[]\"\\");
  // Raw UTF-8 is decoded (also after a backslash); invalid bytes are dropped.
  EXPECT_EQ(DecodeOnly("caf\xc3\xa9 \xf0\x9f\x98\x80"), u"caf\u00e9 \xd83d\xde00");
  EXPECT_EQ(DecodeOnly("\\\xc3\xa9"), u"\u00e9");
  EXPECT_EQ(DecodeOnly("a\xff" "b\xc3" "c\xe2\x82"), u"abc");
  EXPECT_EQ(DecodeOnly("\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80z"), u"z");  // overlong, surrogate, > U+10FFFF
  EXPECT_EQ(DecodeOnly("\xe2\x82"), u"");

  // Unterminated strings are reported, never read past the end.
  for (const char* cut : {"abc", "abc\\", "abc\\\"", "\xf0\x9f"}) {
    std::u16string out;
    size_t pos = 0;
    EXPECT_FALSE(DecodeRegistryString(cut, pos, '"', out)) << cut;
  }
}

TEST(RegistryParserErrors, SkipsAndReportsMalformedLinesAndKeepsTheRest) {
  ParsedRegistryFile file = ParseRegistryFile(
      "WINE REGISTRY Version 2\n"
      "\"early\"=\"before any key\"\n"      // 2
      "[Good] 1\n"                           // 3
      "garbage line\n"                       // 4
      "\"noclose=\"x\"\n"                    // 5
      "\"noequals\" \"x\"\n"                 // 6
      "\"baddword\"=dword:zz\n"              // 7
      "\"longdword\"=dword:123456789\n"      // 8
      "\"badhex\"=hex:0g\n"                  // 9
      "\"badsep\"=hex:01;02\n"               // 10
      "\"str1\"=str(1):\"x\"\n"              // 11
      "\"hexbig\"=hex(123456789):00\n"       // 12
      "\"unknown\"=foo:1\n"                  // 13
      "\"open\"=\"no end\n"                  // 14
      "#time=xyz\n"                          // 15
      "#class=nope\n"                        // 16
      "\"ok\"=\"still read\"\n"              // 17
      "[Unclosed\\\\Key 5\n"                 // 18
      "\"lost\"=\"x\"\n"                     // 19
      "#link\n"                              // 20
      "[After] 1\n"                          // 21
      "\"after\"=dword:00000001\n"           // 22
      "\"cut\"=hex:01,02,\\\n");             // 23: the file ends inside the value
  ASSERT_TRUE(file.valid);
  ASSERT_EQ(file.keys.size(), 2u);
  EXPECT_EQ(file.keys[0].path, u"Good");
  ASSERT_EQ(file.keys[0].values.size(), 1u);
  EXPECT_EQ(file.keys[0].values[0].name, u"ok");
  EXPECT_EQ(file.keys[1].path, u"After");
  EXPECT_FALSE(file.keys[1].isLink);
  ASSERT_EQ(file.keys[1].values.size(), 1u);
  std::vector<size_t> lines;
  for (const auto& e : file.errors) {
    lines.push_back(e.line);
    EXPECT_FALSE(e.message.empty());
  }
  EXPECT_EQ(lines, (std::vector<size_t>{2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 23}));
}

TEST(RegistryParserErrors, SurvivesEveryTruncationOfAFile) {
  const std::string text = kHead +
                           "[Software\\\\S2Test\\\\unicod\\xe9] 1796586249\n#time=1dd85ba292b3ab6\n"
                           "#class=\"c\"\n\"multi\"=str(7):\"one\\0two\\0\"\n\"raw\"=\"caf\xc3\xa9\"\n"
                           "\"long\"=hex(b):00,01,02,\\\n  03,04,05,06,07\n\"dw\"=dword:00000001\n";
  for (size_t length = 0; length <= text.size(); ++length) {
    ParsedRegistryFile file = ParseRegistryFile(text.substr(0, length));
    if (length < 23) {
      EXPECT_FALSE(file.valid);
      continue;
    }
    for (const auto& key : file.keys) {
      for (const auto& value : key.values) {
        if (value.type == 1 || value.type == 7) {
          EXPECT_EQ(value.data.size() % 2, 0u) << length;
        }
        if (value.type == 4) {
          EXPECT_EQ(value.data.size(), 4u) << length;
        }
      }
    }
  }
  // A file that ends without a newline still gives its last line.
  ParsedRegistryFile file = ParseRegistryFile(text.substr(0, text.size() - 1));
  ASSERT_EQ(file.keys.size(), 1u);
  ASSERT_EQ(file.keys[0].values.size(), 4u);
  EXPECT_TRUE(file.errors.empty());
  // Binary junk and NUL bytes are lines like any other.
  std::string junk = kHead + "[K]\n";
  for (int i = 0; i < 512; ++i) junk.push_back(static_cast<char>((i * 37) & 0xFF));
  ParsedRegistryFile junkFile = ParseRegistryFile(junk);
  EXPECT_TRUE(junkFile.valid);
  EXPECT_FALSE(junkFile.errors.empty());
}

}  // namespace
