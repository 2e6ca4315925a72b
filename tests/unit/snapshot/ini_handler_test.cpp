// The INI comparison: how section lines become keys, how two versions of a file are compared,
// the order of the three change lists, and "INIChanges.xml".
#include "snapshot/ini_handler.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/work_context.h"
#include "platform/folder_tree.h"
#include "platform/machine.h"
#include "support/capture_setup.h"
#include "support/fixture_prefix.h"

namespace {

// "section/key=value" for each entry of a list, in list order.
std::vector<std::wstring> Lines(const std::vector<INIEntry>& entries) {
  std::vector<std::wstring> lines;
  for (const INIEntry& e : entries) lines.push_back(e.Section + L"/" + e.Key + L"=" + e.Value);
  return lines;
}

TEST(IniParseTest, LineRules) {
  // The value keeps an "=" inside it: cutting it there would change what the package writes.
  const struct {
    const wchar_t* line;
    const wchar_t* key;  // nullptr: not a key line
    const wchar_t* value;
  } cases[] = {
      {L"key=", nullptr, nullptr},     {L"no equals sign", nullptr, nullptr}, {L"===", nullptr, nullptr},
      {L"", nullptr, nullptr},         {L"a==b", L"a", L"b"},                 {L"==a=b", L"a", L"b"},
      {L"a=b=c", L"a", L"b=c"},        {L"Url=http://host/?q=1&r=2", L"Url", L"http://host/?q=1&r=2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.line));
    std::wstring key;
    std::wstring value;
    ASSERT_EQ(CINIHandler::ParseLine(c.line, key, value), c.key != nullptr);
    if (c.key == nullptr) continue;
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(value, c.value);
  }
}

TEST(IniParseTest, SectionsKeepFirstKeysAndSkipEmptySections) {
  CWorkContext context;
  CINIHandler handler(context);
  EXPECT_EQ(handler.ParseSection(L"S", {L"k=first", L"k=second", L"key=", L"plain", L"x=1"}, true), 1);
  EXPECT_EQ(handler.ParseSection(L"Empty", {L"key=", L"plain"}, true), 1);
  EXPECT_EQ(handler.ParseSection(L"None", {}, true), 0);
  EXPECT_EQ(handler.ParseSection(L"S", {L"k=other"}, true), 1);  // a repeated section keeps its first content
  EXPECT_EQ(handler.ParseSection(L"N", {L"k=v"}, false), 1);
  INISectionMap expectedOld{{L"S", INIKeyMap{{L"k", L"first"}, {L"x", L"1"}}}};
  EXPECT_EQ(handler.OldContent(), expectedOld);
  EXPECT_EQ(handler.NewContent(), (INISectionMap{{L"N", INIKeyMap{{L"k", L"v"}}}}));
}

TEST(IniParseTest, ListsComeInSectionOrderThenVanishedThenNewSections) {
  CWorkContext context;
  CINIHandler handler(context);
  handler.SetCurrentFile(L"%WINDIR%\\app.ini");
  handler.OldContent() = {{L"B", {{L"k", L"1"}, {L"gone", L"x"}, {L"same", L"s"}}},
                          {L"A", {{L"k", L"Old"}}},
                          {L"Vanished", {{L"v2", L"2"}, {L"v1", L"1"}}}};
  handler.NewContent() = {{L"B", {{L"k", L"2"}, {L"new", L"y"}, {L"same", L"s"}}},
                          {L"A", {{L"k", L"old"}, {L"a2", L"z"}}},
                          {L"Fresh", {{L"f", L"3"}}}};
  handler.CompareSections();
  const std::wstring file = L"%WINDIR%\\app.ini";
  EXPECT_EQ(Lines(handler.ModifiedINIEntries()[file]), (std::vector<std::wstring>{L"A/k=old", L"B/k=2"}));
  EXPECT_EQ(Lines(handler.DeletedINIEntries()[file]),
            (std::vector<std::wstring>{L"B/gone=x", L"Vanished/v1=1", L"Vanished/v2=2"}));
  EXPECT_EQ(Lines(handler.AddedINIEntries()[file]), (std::vector<std::wstring>{L"A/a2=z", L"B/new=y", L"Fresh/f=3"}));
  EXPECT_TRUE(handler.OldContent().empty());
  EXPECT_TRUE(handler.NewContent().empty());

  handler.AddINIEntry(L"INIFileSystem//Other//FileList", INIEntry{L"s", L"k", L"v"});
  EXPECT_EQ(handler.AddedINIEntries()[file].size(), 3u);
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
    SetUpCaptureWorkPaths(context_, prefix_.Scratch());
    platform::EnsureFolder(context_.WorkFolder + "\\Temp");
    ASSERT_EQ(handler_.Initialize(), 1);
  }

  FixturePrefix prefix_;
  CWorkContext context_;
  CINIHandler handler_{context_};
};

TEST_F(IniFileTest, ComparesFilesThroughTheProfileFunctions) {
  prefix_.WriteDriveCFile("backup/app.ini", "[Main]\nName=Value\nOld=1\n[Gone]\nx=1\n[Empty]\n");
  prefix_.WriteDriveCFile("windows/app.ini", "[Main]\nName=value\nRenamed=1\n[Empty]\n[New]\n\n");
  ASSERT_EQ(handler_.CompareINIFile(L"C:\\backup\\app.ini", L"C:\\windows\\app.ini"), 1);
  EXPECT_EQ(handler_.CurrentFile(), L"%WINDIR%\\app.ini");
  const std::wstring file = L"%WINDIR%\\app.ini";
  EXPECT_EQ(Lines(handler_.ModifiedINIEntries()[file]), std::vector<std::wstring>{L"Main/Name=value"});
  EXPECT_EQ(Lines(handler_.DeletedINIEntries()[file]), (std::vector<std::wstring>{L"Main/Old=1", L"Gone/x=1"}));
  EXPECT_EQ(Lines(handler_.AddedINIEntries()[file]), std::vector<std::wstring>{L"Main/Renamed=1"});
}

TEST_F(IniFileTest, FilesOfThousandsOfSectionsCompareSectionBySection) {
  // Each file is read once, whatever its number of sections (it once was read once per section).
  std::string before;
  std::string after;
  for (int i = 0; i < 3000; ++i) {
    before += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    after += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i % 3 == 0 ? -i - 1 : i) + "\n";
  }
  after += "[s7]\nlate=1\n";  // a repeated section (in any case) adds to its first occurrence
  prefix_.WriteDriveCFile("backup/big.ini", before);
  prefix_.WriteDriveCFile("windows/big.ini", after);
  handler_.CompareINIFile(L"C:\\backup\\big.ini", L"C:\\windows\\big.ini");
  const std::wstring file = L"%WINDIR%\\big.ini";
  EXPECT_EQ(handler_.ModifiedINIEntries()[file].size(), 1000u);
  EXPECT_EQ(Lines(handler_.AddedINIEntries()[file]), std::vector<std::wstring>{L"S7/late=1"});
  EXPECT_TRUE(handler_.DeletedINIEntries()[file].empty());
}

TEST_F(IniFileTest, AddedAndDeletedFilesGiveOnlyOneKind) {
  prefix_.WriteDriveCFile("windows/new.ini", "[S]\na=1\n");
  prefix_.WriteDriveCFile("backup/old.ini", "[S]\nb=2\n");
  handler_.CompareINIFile(L"C:\\backup\\none.ini", L"C:\\windows\\new.ini");
  handler_.CompareINIFile(L"C:\\backup\\old.ini", L"C:\\windows\\old.ini");
  EXPECT_EQ(Lines(handler_.AddedINIEntries()[L"%WINDIR%\\new.ini"]), std::vector<std::wstring>{L"S/a=1"});
  EXPECT_EQ(Lines(handler_.DeletedINIEntries()[L"%WINDIR%\\old.ini"]), std::vector<std::wstring>{L"S/b=2"});
  EXPECT_TRUE(handler_.ModifiedINIEntries().empty());
  EXPECT_EQ(handler_.AddedINIEntries().count(L"%WINDIR%\\old.ini"), 0u);
  EXPECT_EQ(handler_.DeletedINIEntries().count(L"%WINDIR%\\new.ini"), 0u);

  handler_.WriteINIChanges();
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(platform::Machine::HostPath(context_.INIChangesPath).c_str()));
  const pugi::xml_node root = document.document_element();
  EXPECT_EQ(root.select_nodes("INIFileSystem/AddedItems/FileList/File").size(), 1u);
  EXPECT_TRUE(root.select_node("INIFileSystem/AddedItems/FileList/File[@Name='%WINDIR%\\new.ini']/Section[@Name='S'][@Key='a'][@Value='1']"));
  EXPECT_TRUE(root.select_node("INIFileSystem/DeletedItems/FileList/File[@Name='%WINDIR%\\old.ini']"));

  handler_.Reset();
  EXPECT_TRUE(handler_.AddedINIEntries().empty());
  EXPECT_TRUE(handler_.DeletedINIEntries().empty());
}

}  // namespace
