// The walk of a file snapshot on a hand-made prefix: what is recorded, in which order, what the
// built-in exclusions keep out, the INI backup of the first walk, and the second walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "platform/folder_tree.h"
#include "platform/machine.h"
#include "project/captured_file.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/file_snapshot_record.h"
#include "support/capture_setup.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class FileWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
    SetUpCaptureWorkPaths(context_, prefix_.Scratch());
    platform::EnsureFolder(context_.WorkFolder + "\\SnapShot");
    platform::EnsureFolder(WideToUtf8(context_.INIBackupFolder));
    enumerate_.Initialize();
    enumerate_.IsFirstSnapshotExist();
    ProgressCounter = 0;
  }
  void TearDown() override { enumerate_.Uninitialize(); }

  // Paths of the entries of a snapshot file, in file order.
  std::vector<std::string> SnapshotPaths(const std::string& windowsPath, size_t* bytes = nullptr) {
    std::string data = ReadHostFile(platform::Machine::HostPath(Utf8ToWide(windowsPath)));
    if (bytes) *bytes = data.size();
    std::vector<std::string> paths;
    ParseFileSnapshot(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                      [&](const FileSnapshotRecord& record) { paths.emplace_back(record.path); });
    return paths;
  }

  std::vector<std::string> MapPaths(CFileSnapshotMap& map) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < map.Count(); ++i) paths.emplace_back(map.PathAt(i));
    return paths;
  }

  FixturePrefix prefix_;
  CWorkContext context_;
  CIncludeExcludeRules rules_;
  CSkippedFiles skipped_;
  CFileEnumerate enumerate_{context_, rules_, skipped_};
};

TEST_F(FileWalkTest, RecordsEveryEntryDepthFirstWithoutTheRoot) {
  prefix_.WriteDriveCFile("Data/a.txt", "abc");
  prefix_.WriteDriveCFile("Data/sub2/b.ini", "[s]\nk=v\n");
  prefix_.InDriveC("Data/empty", true);
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\Data"}), 1);
  EXPECT_TRUE(enumerate_.FirstSnapshotTaken());
  EXPECT_EQ(enumerate_.FolderCount(), 2);
  EXPECT_EQ(enumerate_.FileCount(), 2);

  size_t bytes = 0;
  std::vector<std::string> paths = SnapshotPaths(enumerate_.FirstSnapshotPath(), &bytes);
  EXPECT_EQ(bytes, 4u * 1060u);
  ASSERT_EQ(paths.size(), 4u);
  // A folder's record comes before the records of its contents.
  auto position = [&](const std::string& path) { return std::find(paths.begin(), paths.end(), path) - paths.begin(); };
  EXPECT_LT(position("C:\\Data\\sub2"), position("C:\\Data\\sub2\\b.ini"));
  EXPECT_NE(position("C:\\Data\\empty"), 4);
  EXPECT_NE(position("C:\\Data\\a.txt"), 4);

  std::vector<std::string> mapped = MapPaths(enumerate_.FirstMap());
  EXPECT_EQ(mapped, (std::vector<std::string>{"C:\\Data\\a.txt", "C:\\Data\\empty", "C:\\Data\\sub2",
                                              "C:\\Data\\sub2\\b.ini"}));
  size_t file = enumerate_.FirstMap().Find("C:\\Data\\a.txt");
  EXPECT_EQ(enumerate_.FirstMap().SizeAt(file), 3u);
  EXPECT_GT(enumerate_.FirstMap().LastWriteTimeAt(file), 1600000000);
  EXPECT_EQ(enumerate_.FirstMap().SizeAt(enumerate_.FirstMap().Find("C:\\Data\\sub2")), 0u);
  EXPECT_TRUE(enumerate_.FirstMap().IsDirectoryAt(enumerate_.FirstMap().Find("C:\\Data\\sub2")));
  EXPECT_NE(StatusDetail.Get().find(L"2"), std::wstring::npos);
}

// Every listed root advances the progress: one listed twice is written twice and stored once,
// an excluded one is skipped.
TEST_F(FileWalkTest, EveryListedRootAdvancesTheProgress) {
  prefix_.WriteDriveCFile("users/root/Temp/work.txt", "x");
  prefix_.WriteDriveCFile("Data/a.txt", "abc");
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\users\\root\\Temp\\", L"C:\\users\\root\\Temp", L"C:\\Data", L"C:\\Data\\"}), 1);
  EXPECT_EQ(ProgressCounter.load(), 4);
  EXPECT_EQ(SnapshotPaths(enumerate_.FirstSnapshotPath()).size(), 2u);
  EXPECT_EQ(MapPaths(enumerate_.FirstMap()), std::vector<std::string>{"C:\\Data\\a.txt"});
  EXPECT_EQ(CFileEnumerate::RootExclusionKey(L"C:\\users\\root\\Temp\\"), L"%USERPROFILE%\\TEMP");
  EXPECT_EQ(CFileEnumerate::RootExclusionKey(L"C:\\users\\root\\Temp"), L"%USERPROFILE%\\TEMP");
}

TEST_F(FileWalkTest, TempFoldersAndTheProgramsOwnFoldersAreNeverWalked) {
  // The user's temp folders in another letter case than the exclusions are written in.
  prefix_.WriteDriveCFile("users/root/AppData/Local/tEmP/junk.txt", "x");
  prefix_.WriteDriveCFile("users/root/local settings/TEMP/junk.txt", "x");
  prefix_.WriteDriveCFile("users/root/AppData/Roaming/INIBackup/x/old.ini", "x");
  prefix_.WriteDriveCFile("users/root/AppData/Local/Keep/kept.txt", "x");
  prefix_.WriteDriveCFile("users/root/Temp/work.txt", "x");  // the work folder (TEMP) itself
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\users\\root"}), 1);
  std::vector<std::string> paths = MapPaths(enumerate_.FirstMap());
  for (const std::string& path : paths) {
    EXPECT_EQ(FoldAsciiUpper(path).find("TEMP"), std::string::npos) << path;
    EXPECT_EQ(path.find("INIBackup"), std::string::npos) << path;
  }
  EXPECT_NE(std::find(paths.begin(), paths.end(), "C:\\users\\root\\AppData\\Local\\Keep\\kept.txt"), paths.end());
  EXPECT_NE(std::find(paths.begin(), paths.end(), "C:\\users\\root\\local settings"), paths.end());

  for (const std::wstring& excluded : {std::wstring(L"%APPDATA%\\INIBACKUP"), std::wstring(L"%USERPROFILE%\\LOCAL SETTINGS\\TEMP"),
                                      std::wstring(L"%USERPROFILE%\\APPDATA\\LOCAL\\TEMP"), std::wstring(L"%USERPROFILE%\\TEMP"),
                                      ToUpperUnicode(Utf8ToWide(context_.ProgramFolder))}) {
    EXPECT_EQ(enumerate_.BuiltinExclusions().count(excluded), 1u) << WideToUtf8(excluded);
  }
  EXPECT_TRUE(enumerate_.IsBuiltinExcluded(L"C:\\users\\root\\appdata\\local\\temp"));
  EXPECT_FALSE(enumerate_.IsBuiltinExcluded(L"C:\\users\\root\\AppData\\Local\\Temp2"));
}

TEST_F(FileWalkTest, LinkedFoldersAreListedButNotEntered) {
  prefix_.WriteDriveCFile("Data/a.txt", "abc");
  fs::create_directory_symlink(prefix_.InDriveC("Data"), prefix_.InDriveC("Data") / "loop");
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\Data"}), 1);
  EXPECT_EQ(MapPaths(enumerate_.FirstMap()), (std::vector<std::string>{"C:\\Data\\a.txt", "C:\\Data\\loop"}));
}

TEST_F(FileWalkTest, ProfileLinkIsWalkedOnceAndItsCyclesEnd) {
  // A user's own prefix whose Desktop and Documents link into the Linux home, where a setup left
  // a shortcut; a link in the home leads back to it; another link leaves the drive.
  TempFolder home;
  home.WriteFile("App.lnk", "L");
  home.WriteFile("docs/readme.txt", "r");
  fs::create_directory_symlink(home.path(), home.path() / "docs" / "up");
  TempFolder elsewhere;
  elsewhere.WriteFile("other.txt", "o");
  const fs::path user = prefix_.InDriveC("users/root", true);
  fs::create_directory_symlink(home.path(), user / "Desktop");
  fs::create_directory_symlink(home.path(), user / "Documents");
  fs::create_directory_symlink(elsewhere.path(), user / "Elsewhere");
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\users\\root"}), 1);

  std::vector<std::string> paths = MapPaths(enumerate_.FirstMap());
  auto has = [&](const std::string& path) { return std::find(paths.begin(), paths.end(), path) != paths.end(); };
  auto below = [&](const std::string& folder) {
    return std::any_of(paths.begin(), paths.end(), [&](const std::string& p) { return p.rfind(folder + "\\", 0) == 0; });
  };
  for (const char* path : {"C:\\users\\root\\Desktop", "C:\\users\\root\\Desktop\\App.lnk",
                           "C:\\users\\root\\Desktop\\docs\\readme.txt", "C:\\users\\root\\Desktop\\docs\\up",
                           "C:\\users\\root\\Documents", "C:\\users\\root\\Elsewhere"}) {
    EXPECT_TRUE(has(path)) << path;
  }
  for (const char* folder : {"C:\\users\\root\\Desktop\\docs\\up", "C:\\users\\root\\Documents", "C:\\users\\root\\Elsewhere"}) {
    EXPECT_FALSE(below(folder)) << folder;
  }
}

TEST_F(FileWalkTest, FirstWalkBacksUpIniFilesOnly) {
  prefix_.WriteDriveCFile("Data/sub/app.INI", "[s]\nk=v\n");
  prefix_.WriteDriveCFile("Data/sub/other.Ini", "[s]\nk=v\n");
  prefix_.WriteDriveCFile("Data/sub/app.ini.bak", "[s]\nk=v\n");
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\Data"}), 1);
  const fs::path backup = platform::Machine::HostPath(context_.INIBackupFolder);
  EXPECT_EQ(ReadHostFile(backup / "Data" / "sub" / "app.INI"), "[s]\nk=v\n");
  EXPECT_FALSE(fs::exists(backup / "Data" / "sub" / "other.Ini"));
  EXPECT_FALSE(fs::exists(backup / "Data" / "sub" / "app.ini.bak"));
  EXPECT_EQ(enumerate_.BackupPathOf(L"D:\\Program Files\\App\\app.ini", false),
            context_.INIBackupFolder + L"\\Program Files\\App\\app.ini");

  for (const wchar_t* ini : {L"C:\\x\\app.ini", L"C:\\x\\app.INI"}) EXPECT_TRUE(CFileEnumerate::IsINIFile(ini));
  for (const wchar_t* other : {L"C:\\x\\app.Ini", L"C:\\x\\app.ini.bak", L"ini"}) EXPECT_FALSE(CFileEnumerate::IsINIFile(other));
}

TEST_F(FileWalkTest, SecondWalkReloadsTheFirstFromItsFile) {
  prefix_.WriteDriveCFile("Data/a.txt", "abc");
  ASSERT_EQ(enumerate_.CaptureSnapShot({L"C:\\Data"}), 1);

  // As after a restart: a new enumerator finds the first snapshot on disk.
  CFileEnumerate restarted(context_, rules_, skipped_);
  restarted.Initialize();
  ASSERT_TRUE(restarted.IsFirstSnapshotExist());
  prefix_.WriteDriveCFile("Data/b.ini", "[s]\nk=v\n");
  ASSERT_EQ(restarted.CaptureSnapShot({L"C:\\Data"}), 1);
  EXPECT_EQ(MapPaths(restarted.FirstMap()), std::vector<std::string>{"C:\\Data\\a.txt"});
  EXPECT_EQ(MapPaths(restarted.SecondMap()), (std::vector<std::string>{"C:\\Data\\a.txt", "C:\\Data\\b.ini"}));
  EXPECT_EQ(SnapshotPaths(restarted.SecondSnapshotPath()).size(), 2u);
  // The second walk backs nothing up.
  EXPECT_FALSE(fs::exists(platform::Machine::HostPath(context_.INIBackupFolder) / "Data" / "b.ini"));
  restarted.Uninitialize();
}

TEST_F(FileWalkTest, PopulateMapOnEmptyAndDamagedFiles) {
  const fs::path host = platform::Machine::HostPath(Utf8ToWide(enumerate_.FirstSnapshotPath()));
  std::filesystem::create_directories(host.parent_path());
  {
    std::ofstream(host, std::ios::binary).flush();  // zero bytes
  }
  enumerate_.FirstMap().Insert("C:\\stale", 0, 0, false);
  EXPECT_EQ(enumerate_.PopulateMap(), 1);
  EXPECT_EQ(enumerate_.FirstMap().Count(), 0u);

  unsigned char entry[kFileEntrySize];
  ASSERT_TRUE(EncodeFileSnapshotEntry({"C:\\kept", 0, 1, 2, false}, entry));
  std::string bytes(reinterpret_cast<const char*>(entry), sizeof(entry));
  std::string damaged = bytes;
  damaged[0] = '\x10';
  {
    std::ofstream out(host, std::ios::binary);
    out << bytes << damaged << bytes.substr(0, 100);
  }
  EXPECT_EQ(enumerate_.PopulateMap(), 1);
  EXPECT_EQ(MapPaths(enumerate_.FirstMap()), std::vector<std::string>{"C:\\kept"});

  // A missing file leaves the map as it was.
  fs::remove(host);
  EXPECT_EQ(enumerate_.PopulateMap(), 1);
  EXPECT_EQ(enumerate_.FirstMap().Count(), 1u);
}

TEST_F(FileWalkTest, SnapshotFileThatCannotBeCreatedIsAFailure) {
  platform::DeleteFolderTree(Utf8ToWide(context_.WorkFolder + "\\SnapShot"));
  prefix_.WriteDriveCFile("Data/a.txt", "abc");
  EXPECT_EQ(enumerate_.CaptureSnapShot({L"C:\\Data"}), 0);
  EXPECT_FALSE(enumerate_.FirstSnapshotTaken());
}

}  // namespace
