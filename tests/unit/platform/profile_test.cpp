#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/strings.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

using namespace platform;

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_.Activate(); }
  std::wstring Write(const std::string& bytes, const char* name = "test.ini") {
    prefix_.WriteDriveCFile(name, bytes);
    return L"C:\\" + Utf8ToWide(name);
  }
  std::string Read(const char* name = "test.ini") { return ReadHostFile(prefix_.driveC() / name); }
  FixturePrefix prefix_;
};

TEST_F(ProfileTest, ReadsKeysAsWindowsDoes) {
  const std::wstring ini = Write(
      "; leading comment\n"
      "orphan=before any section\n"
      "[Main]\n"
      "  Key1 =  spaced value  \n"
      "a=b=c\n"
      "empty=\n"
      "noequals\n"
      "quoted=\"  in quotes  \"\n"
      "dup=first\n"
      "DUP=second\n"
      "; comment=not a key\n"
      "[ main ]\n"
      "late=from the second occurrence\n"
      "[Other]\n"
      "Key1=other\n");
  EXPECT_EQ(L"spaced value", GetProfileText(L"main", L"KEY1", L"def", ini));
  EXPECT_EQ(L"b=c", GetProfileText(L"Main", L"a", L"def", ini));
  EXPECT_EQ(L"", GetProfileText(L"Main", L"empty", L"def", ini));
  EXPECT_EQ(L"", GetProfileText(L"Main", L"noequals", L"def", ini));
  EXPECT_EQ(L"  in quotes  ", GetProfileText(L"Main", L"quoted", L"def", ini));
  EXPECT_EQ(L"first", GetProfileText(L"Main", L"dup", L"def", ini));
  EXPECT_EQ(L"from the second occurrence", GetProfileText(L"MAIN", L"late", L"def", ini));
  EXPECT_EQ(L"other", GetProfileText(L"Other", L"Key1", L"def", ini));
  EXPECT_EQ(L"def", GetProfileText(L"Main", L"; comment", L"def", ini));
  EXPECT_EQ(L"def", GetProfileText(L"Main", L"missing", L"def", ini));
  EXPECT_EQ(L"def", GetProfileText(L"Nowhere", L"Key1", L"def", ini));
  EXPECT_EQ(L"def", GetProfileText(L"", L"orphan", L"def", ini));
  EXPECT_EQ(L"def", GetProfileText(L"Main", L"Key1", L"def", L"C:\\missing.ini"));
  EXPECT_EQ(L"def", GetProfileText(L"Main", L"Key1", L"def", L"Q:\\unmapped.ini"));
}

TEST_F(ProfileTest, NumbersSectionsAndSectionLines) {
  const std::wstring ini = Write(
      "[Numbers]\r\n"
      "plain=42\r\n"
      "negative=-7\r\n"
      "trailing=12abc\r\n"
      "word=abc\r\n"
      "[Empty]\r\n"
      "\r\n"
      "[numbers]\r\n"
      "more=1\r\n"
      "; note\r\n"
      "bare line\r\n");
  EXPECT_EQ(42, GetProfileNumber(L"Numbers", L"plain", 5, ini));
  EXPECT_EQ(-7, GetProfileNumber(L"Numbers", L"negative", 5, ini));
  EXPECT_EQ(12, GetProfileNumber(L"Numbers", L"trailing", 5, ini));
  EXPECT_EQ(0, GetProfileNumber(L"Numbers", L"word", 5, ini));
  EXPECT_EQ(5, GetProfileNumber(L"Numbers", L"absent", 5, ini));
  EXPECT_EQ((std::vector<std::wstring>{L"Numbers", L"Empty"}), GetProfileSectionNames(ini));
  EXPECT_TRUE(GetProfileSection(L"Empty", ini).empty());
  EXPECT_EQ((std::vector<std::wstring>{L"plain=42", L"negative=-7", L"trailing=12abc", L"word=abc", L"more=1",
                                       L"bare line"}),
            GetProfileSection(L"NUMBERS", ini));
  EXPECT_TRUE(GetProfileSectionNames(L"C:\\missing.ini").empty());
  // Every section from one reading: the same names and lines as the calls per section.
  const std::vector<ProfileSection> sections = GetProfileSections(ini);
  ASSERT_EQ(sections.size(), 2u);
  for (const ProfileSection& section : sections) {
    EXPECT_EQ(section.lines, GetProfileSection(section.name, ini)) << WideToUtf8(section.name);
  }
  EXPECT_EQ(sections[0].name, L"Numbers");
  EXPECT_TRUE(GetProfileSections(L"C:\\missing.ini").empty());
}

TEST_F(ProfileTest, Utf16AndUtf8BomFilesAreRead) {
  std::string utf16 = "\xFF\xFE" + WideToUtf16Le(L"[Sektion]\r\nName=Wert \u00e9\u20ac\r\n");
  const std::wstring wide = Write(utf16, "wide.ini");
  EXPECT_EQ(L"Wert \u00e9\u20ac", GetProfileText(L"sektion", L"name", L"", wide));
  const std::wstring bom = Write("\xEF\xBB\xBF[S]\nk=v\n", "bom.ini");
  EXPECT_EQ(L"v", GetProfileText(L"S", L"k", L"", bom));
  EXPECT_EQ(std::vector<std::wstring>{L"S"}, GetProfileSectionNames(bom));
}

TEST_F(ProfileTest, WritingChangesOnlyTheLinesItMust) {
  const std::string original =
      "; keep me\r\n"
      "[LogFileDetails]\r\n"
      "LogLevel = 2   \r\n"
      "odd   spacing=kept\r\n"
      "\r\n"
      "[Other]\r\n"
      "x=1\r\n";
  const std::wstring ini = Write(original);
  ASSERT_TRUE(WriteProfileText(L"logfiledetails", L"LOGLEVEL", L"3", ini));
  EXPECT_EQ(
      "; keep me\r\n"
      "[LogFileDetails]\r\n"
      "LogLevel=3\r\n"
      "odd   spacing=kept\r\n"
      "\r\n"
      "[Other]\r\n"
      "x=1\r\n",
      Read());
  // A new key goes after the section's last line, a new section at the end.
  ASSERT_TRUE(WriteProfileText(L"LogFileDetails", L"DebugLogFileName", L"d.txt", ini));
  ASSERT_TRUE(WriteProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"1", ini));
  EXPECT_EQ(
      "; keep me\r\n"
      "[LogFileDetails]\r\n"
      "LogLevel=3\r\n"
      "odd   spacing=kept\r\n"
      "DebugLogFileName=d.txt\r\n"
      "\r\n"
      "[Other]\r\n"
      "x=1\r\n"
      "\r\n"
      "[SnapshotDetails]\r\n"
      "IsSnapshotTaken=1\r\n",
      Read());
  EXPECT_EQ(1, GetProfileNumber(L"SnapshotDetails", L"IsSnapshotTaken", 0, ini));
  ASSERT_TRUE(DeleteProfileKey(L"snapshotdetails", L"isSnapshotTaken", ini));
  EXPECT_EQ(0, GetProfileNumber(L"SnapshotDetails", L"IsSnapshotTaken", 0, ini));
  EXPECT_TRUE(DeleteProfileKey(L"SnapshotDetails", L"IsSnapshotTaken", ini));  // not there: fine
  EXPECT_TRUE(DeleteProfileKey(L"S", L"k", L"C:\\missing.ini"));
}

TEST_F(ProfileTest, WritingKeepsLineEndsEncodingAndUnterminatedLastLine) {
  const std::wstring ini = Write("[A]\nk=v");  // LF only, no final line end
  ASSERT_TRUE(WriteProfileText(L"A", L"n", L"w", ini));
  EXPECT_EQ("[A]\nk=v\nn=w\n", Read());
  ASSERT_TRUE(WriteProfileText(L"A", L"k", L"changed", ini));
  EXPECT_EQ("[A]\nk=changed\nn=w\n", Read());

  const std::wstring wide = Write("\xFF\xFE" + WideToUtf16Le(L"[S]\r\nk=1\r\n"), "wide.ini");
  ASSERT_TRUE(WriteProfileText(L"S", L"k", L"\u00e92", wide));
  EXPECT_EQ("\xFF\xFE" + WideToUtf16Le(L"[S]\r\nk=\u00e92\r\n"), Read("wide.ini"));

  const std::wstring fresh = L"C:\\new.ini";
  ASSERT_TRUE(WriteProfileText(L"Sec", L"Key", L"Val", fresh));
  EXPECT_EQ("[Sec]\r\nKey=Val\r\n", Read("new.ini"));
}

TEST_F(ProfileTest, DuplicateKeysAreAllDeletedAndUnsafeWritesRefused) {
  const std::wstring ini = Write("[S]\nk=1\nK=2\nother=3\n[s]\nk=4\n");
  ASSERT_TRUE(DeleteProfileKey(L"S", L"k", ini));
  EXPECT_EQ("[S]\nother=3\n[s]\n", Read());
  // A value with a line break would forge lines of its own.
  EXPECT_FALSE(WriteProfileText(L"S", L"k", L"a\nb=c", ini));
  EXPECT_FALSE(WriteProfileText(L"", L"k", L"v", ini));
  EXPECT_FALSE(WriteProfileText(L"S", L"k", L"v", L"C:\\no-folder\\x.ini"));
  EXPECT_FALSE(WriteProfileText(L"S", L"k", L"v", L"Q:\\x.ini"));
  // A read-only file is left alone, as on Windows.
  chmod((prefix_.driveC() / "test.ini").c_str(), 0444);
  EXPECT_FALSE(WriteProfileText(L"S", L"k", L"v", ini));
  EXPECT_EQ("[S]\nother=3\n[s]\n", Read());
}

}  // namespace
