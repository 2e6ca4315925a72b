// Setting aside the original setup's uninstall entry and the uninstaller it names: which keys are
// entries, how the program of an uninstall command is found, and what moves where with which reason.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "project/include_exclude_rules.h"
#include "snapshot/uninstall_set_aside.h"

namespace {

using Files = std::vector<std::wstring>;

TEST(UninstallSetAsideTest, EntriesInEitherViewAndRoot) {
  const struct {
    const wchar_t* key;
    const wchar_t* entry;
  } cases[] = {
      {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App",
       L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App"},
      {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App 2\\Sub",
       L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App 2"},
      {L"HKEY_CURRENT_USER\\Software\\microsoft\\windows\\currentversion\\uninstall\\App",
       L"HKEY_CURRENT_USER\\Software\\microsoft\\windows\\currentversion\\uninstall\\App"},
      // The Uninstall key itself, other roots, and look-alikes are no entries.
      {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", L""},
      {L"HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App", L""},
      {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\App\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App", L""},
      {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UninstallX\\App", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(CUninstallSetAside::EntryOf(c.key), c.entry) << c.key;
}

TEST(UninstallSetAsideTest, ProgramOfACommandLine) {
  const std::set<std::wstring> existing = {L"C:\\Program Files\\App\\uninst.exe", L"C:\\Apps\\remove.exe"};
  CUninstallSetAside setAside([](const std::wstring&, const std::wstring&) { return std::wstring(); },
                              [&](const std::wstring& path) { return existing.count(path) != 0; });
  const struct {
    const wchar_t* command;
    const wchar_t* program;
  } cases[] = {
      {L"\"C:\\Program Files\\App\\uninst.exe\" /S", L"C:\\Program Files\\App\\uninst.exe"},
      {L"  \"C:\\Program Files\\App\\uninst.exe\"", L"C:\\Program Files\\App\\uninst.exe"},
      {L"C:\\Program Files\\App\\uninst.exe /S _?=C:\\Program Files\\App", L"C:\\Program Files\\App\\uninst.exe"},
      {L"C:\\Apps\\remove /quiet", L"C:\\Apps\\remove.exe"},
      {L"MsiExec.exe /X{12345678-1234-1234-1234-123456789012}", L"MsiExec.exe"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(setAside.ProgramOf(c.command), c.program) << c.command;
}

TEST(UninstallSetAsideTest, EntryAndItsUninstallerMoveToTheExcludedChangesWithReasons) {
  CIncludeExcludeRules reasons;
  const std::wstring entry = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App";
  const std::wstring userEntry = L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool";
  const std::map<std::wstring, std::wstring> values = {
      {entry + L"|UninstallString", L"\"C:\\Program Files (x86)\\App\\uninst.exe\""},
      {entry + L"|QuietUninstallString", L"\"C:\\Program Files (x86)\\App\\uninst.exe\" /S"},
      {userEntry + L"|UninstallString", L"\"C:\\users\\root\\AppData\\Roaming\\Tool\\REMOVE.EXE\""},
  };
  CUninstallSetAside setAside(
      [&](const std::wstring& key, const std::wstring& name) {
        auto found = values.find(key + L"|" + name);
        return found == values.end() ? std::wstring() : found->second;
      },
      [](const std::wstring&) { return false; });

  const std::wstring appKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\App";
  RegKeyMap added = {{entry, {{entry, L"\"DisplayName\"", L"REG_SZ", L""}}},
                     {appKey, {{appKey, L"\"Path\"", L"REG_SZ", L""}}}};
  RegKeyMap modified = {{userEntry, {{userEntry, L"\"DisplayVersion\"", L"REG_SZ", L""}}}};
  RegKeyMap excludedKeys = {{L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wine\\X", {}}};
  FolderFileMap addedFiles = {
      {L"C:\\Program Files (x86)\\App", Files{L"C:\\Program Files (x86)\\App\\app.exe", L"C:\\Program Files (x86)\\App\\uninst.exe",
                                          L"C:\\Program Files (x86)\\App\\uninst.dat", L"C:\\Program Files (x86)\\App\\uninst2.dat"}}};
  FolderFileMap modifiedFiles = {{L"C:\\users\\root\\AppData\\Roaming\\Tool", Files{L"C:\\users\\root\\AppData\\Roaming\\Tool\\remove.exe"}}};
  FolderFileMap excludedFiles;

  const std::vector<std::wstring> moved =
      setAside.Apply(added, modified, excludedKeys, addedFiles, modifiedFiles, excludedFiles, reasons);

  EXPECT_EQ(moved.size(), 5u);
  EXPECT_EQ(added.size(), 1u);
  EXPECT_EQ(added.count(appKey), 1u);
  EXPECT_TRUE(modified.empty());
  ASSERT_EQ(excludedKeys.count(entry), 1u);
  EXPECT_EQ(excludedKeys[entry].at(0).valueName, L"\"DisplayName\"");
  EXPECT_EQ(excludedKeys.count(userEntry), 1u);
  EXPECT_EQ(excludedKeys.size(), 3u);  // what the rules set aside stays
  // The uninstaller and its data file go even though it was named twice; the folder, the program
  // and a file that merely begins like the uninstaller stay.
  EXPECT_EQ(addedFiles, (FolderFileMap{{L"C:\\Program Files (x86)\\App", Files{L"C:\\Program Files (x86)\\App\\app.exe",
                                                                          L"C:\\Program Files (x86)\\App\\uninst2.dat"}}}));
  EXPECT_EQ(modifiedFiles, (FolderFileMap{{L"C:\\users\\root\\AppData\\Roaming\\Tool", Files{}}}));
  EXPECT_EQ(excludedFiles,
            (FolderFileMap{{L"C:\\Program Files (x86)\\App", Files{L"C:\\Program Files (x86)\\App\\uninst.exe",
                                                                    L"C:\\Program Files (x86)\\App\\uninst.dat"}},
                           {L"C:\\users\\root\\AppData\\Roaming\\Tool", Files{L"C:\\users\\root\\AppData\\Roaming\\Tool\\remove.exe"}}}));
  EXPECT_EQ(reasons.ExclusionReason(entry), CUninstallSetAside::kEntryReason);
  EXPECT_EQ(reasons.ExclusionReason(L"c:\\program files (x86)\\app\\UNINST.EXE"), CUninstallSetAside::kUninstallerReason);
  EXPECT_EQ(reasons.ExclusionReason(appKey), L"");
}

}  // namespace
