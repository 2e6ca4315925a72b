// The independent prefix differ the real-installer round trips rely on: on a hand-made prefix,
// what it reports for files, folders, INI entries and registry values (and what it leaves out as
// caches and Wine's own noise); and the comparison and the set-asides on literal item lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/fixture_prefix.h"
#include "support/prefix_diff.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void WriteHive(const FixturePrefix& prefix, const char* file, const char* root, const std::string& body) {
  std::ofstream out(prefix.prefix() / file, std::ios::binary | std::ios::trunc);
  out << "WINE REGISTRY Version 2\n;; All keys relative to " << root << "\n\n#arch=win64\n\n" << body;
}

std::set<std::string> Texts(const std::vector<PrefixItem>& items) {
  std::set<std::string> texts;
  for (const PrefixItem& item : items) texts.insert(item.Text());
  return texts;
}

TEST(PrefixDiffTest, ReportsWhatWasWrittenAndLeavesOutCachesAndNoise) {
  FixturePrefix prefix;
  const auto write = [&prefix](const std::string& relative, const std::string& bytes) {
    prefix.WriteDriveCFile(relative, bytes);
  };
  write("Program Files/App/keep.txt", "old");
  write("Program Files/App/same.txt", "unchanged");
  write("Program Files/App/gone.txt", "x");
  write("windows/win.ini", "[mail]\r\nMAPI=1\r\nOld=1\r\n");
  WriteHive(prefix, "system.reg", "REGISTRY\\\\Machine",
            "[Software\\\\Old] 1700000000\n\"Gone\"=\"x\"\n\"Kept\"=dword:00000001\n\n"
            "[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\{4D36E968-E325-11CE-BFC1-08002BE10318}\\\\0000] 1700000000\n"
            "\"DriverDateData\"=hex:01,02\n\n");
  WriteHive(prefix, "user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", "");
  PrefixState before, after;
  std::string error;
  ASSERT_TRUE(before.Take(prefix.prefix(), error)) << error;

  write("Program Files/App/keep.txt", "newer");
  write("Program Files/App/new.txt", "abc");
  write("Program Files/App/app.ini", "[General]\r\nLanguage=en\r\n");  // a new INI file is a file
  fs::create_directories(prefix.driveC() / "Program Files/App/logs");
  fs::remove(prefix.driveC() / "Program Files/App/gone.txt");
  write("windows/win.ini", "[Mail]\r\nmapi = 0\r\n[App]\r\nInstalled=1\r\n");
  write("users/root/Temp/setup.tmp", "scratch");
  write("windows/Installer/1a2b.msi", "cached package");
  WriteHive(prefix, "system.reg", "REGISTRY\\\\Machine",
            "[Software\\\\Old] 1700000001\n\"Kept\"=dword:00000001\n\n"
            "[Software\\\\Wow6432Node\\\\App] 1700000001\n@=\"App\"\n\"Path\"=str(2):\"%ProgramFiles%\\\\App\"\n"
            "\"Build\"=dword:0000002a\n\"Sig\"=hex:01,02,a0,ff\n\n"
            "[Software\\\\Empty\\\\Leaf] 1700000001\n\n"
            "[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\{4D36E968-E325-11CE-BFC1-08002BE10318}\\\\0000] 1700000001\n"
            "\"DriverDateData\"=hex:03,04\n\n");
  WriteHive(prefix, "user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000",
            "[Software\\\\App] 1700000001\n\"Multi\"=str(7):\"a\\0b\\0\"\n\n"
            "[Software\\\\Wine\\\\MenuFiles] 1700000001\n\"x\"=\"y\"\n\n");
  ASSERT_TRUE(after.Take(prefix.prefix(), error)) << error;

  const std::set<std::string> expected = {
      "file C:\\Program Files\\App\\keep.txt = 5 bytes",
      "file C:\\Program Files\\App\\new.txt = 3 bytes",
      "file C:\\Program Files\\App\\app.ini = 24 bytes",
      "file C:\\Program Files\\App\\gone.txt = <deleted>",
      "folder C:\\Program Files\\App\\logs = empty",
      "ini C:\\windows\\win.ini|Mail|mapi = 0",
      "ini C:\\windows\\win.ini|App|Installed = 1",
      "ini C:\\windows\\win.ini|mail|Old = <deleted>",
      "value HKEY_LOCAL_MACHINE\\Software\\Old|Gone = <deleted>",
      "value HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App| = REG_SZ:App",
      "value HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App|Path = REG_EXPAND_SZ:%ProgramFiles%\\App",
      "value HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App|Build = REG_DWORD:0x0000002a",
      "value HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App|Sig = REG_BINARY:01,02,a0,ff",
      "value HKEY_CURRENT_USER\\Software\\App|Multi = REG_MULTI_SZ:a\\0b\\0",
      "key HKEY_LOCAL_MACHINE\\Software\\Empty\\Leaf = new",
  };
  // File contents are told by size and hash; the hash is left out here.
  std::set<std::string> found;
  for (const std::string& text : Texts(DiffPrefixStates(before, after))) found.insert(text.substr(0, text.find(", fnv1a")));
  EXPECT_EQ(found, expected);
}

TEST(PrefixDiffTest, ComparesByPlaceWithoutLetterCaseAndByExactContent) {
  const std::vector<PrefixItem> expected = {
      {"file", "C:\\Program Files (x86)\\App\\a.txt", "3 bytes, fnv1a 1"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App|Name", "REG_SZ:v"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\App|Level", "REG_DWORD:0x00000003"},
      {"shortcut", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\App\\App.lnk", "target=C:\\a.exe arguments="},
  };
  const std::vector<PrefixItem> actual = {
      {"file", "c:\\program files (x86)\\app\\A.TXT", "3 bytes, fnv1a 1"},         // same place, other case
      {"value", "HKEY_LOCAL_MACHINE\\Software\\App|Name", "REG_SZ:v"},               // the 64-bit view: elsewhere
      {"value", "HKEY_LOCAL_MACHINE\\Software\\App|Level", "REG_SZ:#3"},            // other type
      {"shortcut", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\App\\App.lnk", "target=C:\\a.exe arguments="},
  };
  const PrefixComparison result = ComparePrefixItems(expected, actual);
  EXPECT_EQ(result.reproduced.size(), 2u);
  ASSERT_EQ(result.missing.size(), 2u);
  EXPECT_EQ(result.missing[0].place, "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App|Name");
  EXPECT_EQ(result.missing[1].content, "REG_DWORD:0x00000003  [found: REG_SZ:#3]");
  ASSERT_EQ(result.extra.size(), 1u);
  EXPECT_EQ(result.extra[0].place, "HKEY_LOCAL_MACHINE\\Software\\App|Name");
}

TEST(PrefixDiffTest, SetsAsideTheSetupsUninstallerAndTheInstallersBookkeeping) {
  std::vector<PrefixItem> items = {
      {"file", "C:\\Program Files (x86)\\App\\app.exe", "1 bytes"},
      {"file", "C:\\Program Files (x86)\\App\\unins000.exe", "2 bytes"},
      {"file", "C:\\Program Files (x86)\\App\\unins000.dat", "3 bytes"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App_is1|UninstallString",
       "REG_SZ:\"C:\\Program Files (x86)\\App\\unins000.exe\""},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App_is1|DisplayName",
       "REG_SZ:App"},
      {"value", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other|UninstallString",
       "REG_SZ:C:\\users\\root\\Other\\Uninst.exe /S"},
      {"file", "C:\\users\\root\\Other\\Uninst.exe", "4 bytes"},
      {"shortcut", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\App\\Uninstall.lnk",
       "target=C:\\Program Files (x86)\\App\\unins000.exe arguments="},
      {"shortcut", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\App\\App.lnk",
       "target=C:\\Program Files (x86)\\App\\app.exe arguments="},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\App|Uninstall", "REG_SZ:x"},
  };
  const std::vector<PrefixItem> uninstall = TakeUninstallRegistration(items);
  EXPECT_EQ(uninstall.size(), 7u);
  EXPECT_EQ(Texts(items), (std::set<std::string>{
                              "file C:\\Program Files (x86)\\App\\app.exe = 1 bytes",
                              "shortcut C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\App\\App.lnk = "
                              "target=C:\\Program Files (x86)\\App\\app.exe arguments=",
                              "value HKEY_LOCAL_MACHINE\\Software\\App|Uninstall = REG_SZ:x",
                          }));

  std::vector<PrefixItem> installed = {
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer\\Products\\ABC|ProductName", "REG_SZ:App"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18|x", "REG_SZ:y"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{1234-AB}|DisplayName", "REG_SZ:App"},
      {"file", "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Installer\\{1234-AB}\\icon.exe", "5 bytes"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{9999-FF}|DisplayName", "REG_SZ:B"},
      {"value", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\InstallerX|v", "REG_SZ:kept"},
  };
  EXPECT_EQ(TakeInstallerBookkeeping(installed, "{1234-ab}").size(), 4u);
  ASSERT_EQ(installed.size(), 2u);
  EXPECT_NE(installed[0].place.find("{9999-FF}"), std::string::npos);
  EXPECT_NE(installed[1].place.find("InstallerX"), std::string::npos);
}

}  // namespace
