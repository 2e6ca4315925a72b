// The file comparison: the three passes, how changes are filed under folders, the exclusion
// rules, changed INI files set apart for the INI comparison, and "FileChanges.xml".
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/work_context.h"
#include "platform/folder_tree.h"
#include "platform/machine.h"
#include "project/captured_file.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/ini_handler.h"
#include "support/capture_setup.h"
#include "support/fixture_prefix.h"

namespace {

using Files = std::vector<std::wstring>;

class FileCompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
    SetUpCaptureWorkPaths(context_, prefix_.Scratch());
    platform::EnsureFolder(context_.WorkFolder + "\\SnapShot");
    platform::EnsureFolder(context_.WorkFolder + "\\Temp");
    platform::EnsureFolder(WideToUtf8(context_.INIBackupFolder));
    enumerate_.Initialize();
    enumerate_.IsFirstSnapshotExist();
  }
  void TearDown() override { enumerate_.Uninitialize(); }

  void First(const char* path, int64_t time, uint64_t size, bool folder = false) {
    enumerate_.FirstMap().Insert(path, time, size, folder);
  }
  void Second(const char* path, int64_t time, uint64_t size, bool folder = false) {
    enumerate_.SecondMap().Insert(path, time, size, folder);
  }

  FixturePrefix prefix_;
  CWorkContext context_;
  CIncludeExcludeRules rules_;
  CSkippedFiles skipped_;
  CFileEnumerate enumerate_{context_, rules_, skipped_};
};

// Two walks and the changes filed under their folders: a file is unchanged only when its size and
// time are; a folder that gained a file is modified under the same key; paths are exact.
TEST_F(FileCompareTest, ChangesAreFiledUnderTheirFolders) {
  struct Entry {
    const char* path;
    int64_t time;
    uint64_t size;
    bool folder = false;
  };
  const struct {
    const char* what;
    std::vector<Entry> first;
    std::vector<Entry> second;
    FolderFileMap added;
    FolderFileMap modified;
    FolderFileMap deleted;
  } cases[] = {
      {"same size and time, or not",
       {{"C:\\D\\same.txt", 100, 5}, {"C:\\D\\size.txt", 100, 5}, {"C:\\D\\time.txt", 100, 5}},
       {{"C:\\D\\same.txt", 100, 5}, {"C:\\D\\size.txt", 100, 6}, {"C:\\D\\time.txt", 101, 5}},
       {},
       {{L"C:\\D", Files{L"C:\\D\\size.txt", L"C:\\D\\time.txt"}}},
       {}},
      {"a folder that gained a file and a subfolder",
       {{"C:\\D", 100, 0, true}, {"C:\\D\\old.txt", 100, 1}},
       {{"C:\\D", 200, 0, true}, {"C:\\D\\old.txt", 100, 1}, {"C:\\D\\new.txt", 200, 1}, {"C:\\D\\sub", 200, 0, true}},
       {{L"C:\\D", Files{L"C:\\D\\new.txt"}}, {L"C:\\D\\sub", Files{}}},
       {{L"C:\\D", Files{}}},
       {}},
      {"a change of letter case is one deletion and one addition",
       {{"C:\\D\\File.txt", 100, 1}, {"C:\\Gone", 100, 0, true}},
       {{"C:\\D\\file.txt", 100, 1}},
       {{L"C:\\D", Files{L"C:\\D\\file.txt"}}},
       {},
       {{L"C:\\D", Files{L"C:\\D\\File.txt"}}, {L"C:\\Gone", Files{}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CFileEnumerate enumerate(context_, rules_, skipped_);
    enumerate.Initialize();
    enumerate.IsFirstSnapshotExist();
    for (const Entry& e : c.first) enumerate.FirstMap().Insert(e.path, e.time, e.size, e.folder);
    for (const Entry& e : c.second) enumerate.SecondMap().Insert(e.path, e.time, e.size, e.folder);
    enumerate.CompareMaps();
    EXPECT_EQ(enumerate.AddedFolders(), c.added);
    EXPECT_EQ(enumerate.ModifiedFolders(), c.modified);
    EXPECT_EQ(enumerate.DeletedFolders(), c.deleted);
    // The maps are emptied as they are compared.
    EXPECT_EQ(enumerate.FirstMap().Count(), 0u);
    EXPECT_EQ(enumerate.SecondMap().Count(), 0u);
    enumerate.Uninitialize();
  }
}

TEST_F(FileCompareTest, FilesAreFiledUnderTheirFolderInPathOrder) {
  Second("C:\\D\\b.txt", 1, 1);
  Second("C:\\D\\a.txt", 1, 1);
  Second("D:\\setup.log", 1, 1);
  enumerate_.CompareMaps();
  EXPECT_EQ(enumerate_.AddedFolders(),
            (FolderFileMap{{L"C:\\D", Files{L"C:\\D\\a.txt", L"C:\\D\\b.txt"}}, {L"D:", Files{L"D:\\setup.log"}}}));
  EXPECT_EQ(CFileEnumerate::FolderOfChange(L"C:\\a\\\\b\\c.txt", false), L"C:\\a\\b");
  EXPECT_EQ(CFileEnumerate::FolderOfChange(L"C:\\a\\b", true), L"C:\\a\\b");
  // An unknown category files nothing.
  enumerate_.AddChangedItem(L"FileSystem//Other//DirectoryList", L"C:\\X\\y.txt", false);
  EXPECT_EQ(enumerate_.AddedFolders().count(L"C:\\X"), 0u);
}

TEST_F(FileCompareTest, ExclusionRulesMatchAnywhereInTheTokenForm) {
  ExcludedRuleMap rules;
  rules[L"\\TEMP"] = ExcludedRule{L"\\Temp", L"temporary files"};
  enumerate_.SetExcludedItems(rules);
  First("C:\\windows\\Temp\\a.tmp", 1, 1);
  Second("C:\\windows\\Templates\\t.dot", 1, 1);
  Second("C:\\windows\\keep.txt", 1, 1);
  enumerate_.CompareMaps();
  EXPECT_EQ(enumerate_.AddedFolders(), (FolderFileMap{{L"C:\\windows", Files{L"C:\\windows\\keep.txt"}}}));
  EXPECT_TRUE(enumerate_.DeletedFolders().empty());
  EXPECT_EQ(enumerate_.ExcludedChanges(),
            (FolderFileMap{{L"C:\\windows\\Temp", Files{L"C:\\windows\\Temp\\a.tmp"}},
                           {L"C:\\windows\\Templates", Files{L"C:\\windows\\Templates\\t.dot"}}}));
}

TEST_F(FileCompareTest, ChangedIniFileGoesEntryByEntryANewOneAsAFile) {
  prefix_.WriteDriveCFile("D/app.ini", "[Main]\nkey=new\nadded=1\n");
  ASSERT_EQ(enumerate_.BackupOrCompareINIFile(L"C:\\D\\app.ini"), 1);  // first walk: the backup
  prefix_.WriteDriveCFile("users/root/AppData/Roaming/INIBackup/D/app.ini", "[Main]\nkey=old\n");
  prefix_.WriteDriveCFile("D/new.ini", "; made by the setup\n[Empty]\n[Main]\nz=1\na=2\n");
  enumerate_.SetFirstSnapshotTaken(true);
  First("C:\\D\\app.ini", 1, 10);
  Second("C:\\D\\app.ini", 2, 20);
  Second("C:\\D\\new.ini", 2, 40);
  // A folder is never an INI file, whatever its name.
  First("C:\\D\\folder.ini", 1, 0, true);
  Second("C:\\D\\folder.ini", 2, 0, true);
  enumerate_.CompareMaps();
  EXPECT_EQ(enumerate_.AddedFolders(), (FolderFileMap{{L"C:\\D", Files{L"C:\\D\\new.ini"}}}));
  EXPECT_EQ(enumerate_.ModifiedFolders(), (FolderFileMap{{L"C:\\D\\folder.ini", Files{}}}));
  CINIHandler& ini = enumerate_.INIHandler();
  const std::wstring file = L"C:\\D\\app.ini";
  ASSERT_EQ(ini.ModifiedINIEntries().count(file), 1u);
  EXPECT_EQ(ini.ModifiedINIEntries()[file][0].Value, L"new");
  ASSERT_EQ(ini.AddedINIEntries().count(file), 1u);
  EXPECT_EQ(ini.AddedINIEntries()[file][0].Key, L"added");
  EXPECT_EQ(ini.AddedINIEntries().count(L"C:\\D\\new.ini"), 0u);
}

TEST_F(FileCompareTest, ChangeFileHoldsIncludedAndExcludedLists) {
  // Real files, so that the modified ones pass the usability test of the writer.
  prefix_.WriteDriveCFile("Program Files/App/app.exe", "MZ");
  prefix_.WriteDriveCFile("Program Files/App/readme.txt", "v2");
  prefix_.WriteDriveCFile("windows/Temp/x.dat", "x");
  prefix_.WriteDriveCFile("RawProject/rules.xml",
                          "<Rules><FileSystem><ExcludedItems><ExcludedEntry Name=\"%WINDIR%\\TEMP\" "
                          "Description=\"temp\"/></ExcludedItems></FileSystem><RegistrySystem/></Rules>");
  context_.RulesFilePath = L"C:\\RawProject\\rules.xml";
  First("C:\\Program Files\\App\\readme.txt", 1, 2);
  Second("C:\\Program Files\\App\\readme.txt", 2, 2);
  Second("C:\\Program Files\\App\\app.exe", 2, 2);
  Second("C:\\windows\\Temp\\x.dat", 2, 1);
  ASSERT_EQ(enumerate_.CompareSnapshot(), 1);

  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(platform::Machine::HostPath(context_.FileChangesPath).c_str()));
  pugi::xml_node root = document.document_element();
  for (const char* path : {"FileSystem/Included/FileSystem/AddedItems/DirectoryList/Directory[@Name='%PROGRAMFILES%\\App']/File[@Name='app.exe']",
                           "FileSystem/Included/FileSystem/ModifiedItems/DirectoryList/Directory/File[@Name='readme.txt']",
                           "FileSystem/Excluded/DirectoryList/Directory[@Name='%WINDIR%\\Temp']"}) {
    EXPECT_EQ(root.select_nodes(path).size(), 1u) << path;
  }

  std::vector<std::wstring> executables;
  enumerate_.GetExecutableList(executables);
  EXPECT_EQ(executables, std::vector<std::wstring>{L"C:\\Program Files\\App\\app.exe"});

  // After the review the file is written again from the maps, without the usability test.
  enumerate_.AddedFolders()[L"C:\\Program Files\\Other"] = {L"C:\\Program Files\\Other\\gone.txt"};
  EXPECT_EQ(enumerate_.RewriteFileChanges(), 1);
  ASSERT_TRUE(document.load_file(platform::Machine::HostPath(context_.FileChangesPath).c_str()));
  EXPECT_EQ(document.document_element()
                .select_nodes("FileSystem/Included/FileSystem/AddedItems/DirectoryList/Directory")
                .size(),
            2u);
}

TEST_F(FileCompareTest, WithoutRulesNothingIsExcluded) {
  context_.RulesFilePath = L"C:\\nowhere\\DefaultIncludeExclude.xml";
  prefix_.WriteDriveCFile("windows/Temp/x.dat", "x");
  Second("C:\\windows\\Temp\\x.dat", 2, 1);
  ASSERT_EQ(enumerate_.CompareSnapshot(), 1);
  EXPECT_EQ(enumerate_.AddedFolders().count(L"C:\\windows\\Temp"), 1u);
  EXPECT_TRUE(enumerate_.ExcludedChanges().empty());
}

}  // namespace
