#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "core/work_paths.h"
#include "support/scoped_environment_values.h"
#include "package/installable_names.h"
#include "package/package_names.h"

namespace {

class NamingTest : public ::testing::Test {
 protected:
  static std::wstring Property(std::wstring path) {
    CPackageNames::MapFolderToProperty(path);
    return path;
  }
  static std::wstring References(std::wstring text) {
    CPackageNames::SubstituteFolderReferences(text);
    return text;
  }

  ScopedEnvironmentValues environment_;
};

TEST_F(NamingTest, RootsAreTheInstallersOwnFolders) {
  using Bitness = CPackageNames::Bitness;
  // Folder (token form) -> its property and view as a 32-bit machine and as a 64-bit one sees it.
  const struct {
    const wchar_t* folder;
    const wchar_t* property32;
    const wchar_t* property64;
    Bitness bitness64;
  } cases[] = {
      {L"%PROGRAMFILES%", L"ProgramFilesFolder", L"ProgramFiles64Folder", Bitness::Bits64},
      {L"%PROGRAMFILES%\\Common Files", L"CommonFilesFolder", L"CommonFiles64Folder", Bitness::Bits64},
      {L"%PROGRAMFILES% (x86)", L"ProgramFilesFolder", L"ProgramFilesFolder", Bitness::Bits32},
      {L"%PROGRAMFILES% (x86)\\common files", L"CommonFilesFolder", L"CommonFilesFolder", Bitness::Bits32},
      {L"%WINDIR%", L"WindowsFolder", L"WindowsFolder", Bitness::Neutral},
      {L"%WINDIR%\\system32", L"SystemFolder", L"System64Folder", Bitness::Bits64},
      {L"%WINDIR%\\SysWOW64", L"SystemFolder", L"SystemFolder", Bitness::Bits32},
      {L"system32", L"SystemFolder", L"System64Folder", Bitness::Neutral},
      {L"%APPDATA%", L"AppDataFolder", L"AppDataFolder", Bitness::Neutral},
      {L"%USERPROFILE%\\AppData\\Local", L"LocalAppDataFolder", L"LocalAppDataFolder", Bitness::Neutral},
      {L"%USERPROFILE%\\AppData\\Roaming", L"AppDataFolder", L"AppDataFolder", Bitness::Neutral},
      {L"%USERPROFILE%", L"USERPROFILE", L"USERPROFILE", Bitness::Neutral},
      {L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs", L"ProgramMenuFolder", L"ProgramMenuFolder",
       Bitness::Neutral},
      {L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", L"StartupFolder", L"StartupFolder",
       Bitness::Neutral},
      {L"%ALLUSERSPROFILE%", L"CommonAppDataFolder", L"CommonAppDataFolder", Bitness::Neutral},
      {L"C:", L"TARGETDIR", L"TARGETDIR", Bitness::Neutral},
      {L"D:", L"TARGETDIR", L"TARGETDIR", Bitness::Neutral},
  };
  // The all-users menu and desktop keep their own paths: Wine's installer resolves the menu and
  // desktop properties to the user's folders even for an all-users package. (The shortcut reader
  // names them by those properties all the same: ShortcutsFromLinksTest checks that side.)
  for (const wchar_t* folder : {L"%ALLUSERSPROFILE%\\Microsoft\\Windows\\Start Menu\\Programs", L"C:\\users\\Public\\Desktop"}) {
    std::wstring path = folder;
    EXPECT_FALSE(CPackageNames::MapRootComponent(path, true)) << WideToUtf8(folder);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.folder));
    for (const bool machine64 : {false, true}) {
      std::wstring path = c.folder;
      EXPECT_TRUE(CPackageNames::MapRootComponent(path, machine64));
      EXPECT_EQ(path, machine64 ? c.property64 : c.property32);
      // Below a root, a folder is no root but lies in the root's view.
      std::wstring below = std::wstring(c.folder) + L"\\Vendor\\App";
      EXPECT_FALSE(CPackageNames::MapRootComponent(below, machine64));
      if (std::wstring(c.folder) != L"system32") {
        const Bitness expected = !machine64 && c.bitness64 != Bitness::Neutral ? Bitness::Bits32 : c.bitness64;
        EXPECT_EQ(CPackageNames::FolderBitness(below, machine64), expected);
      }
    }
  }
  // Tokens are exact; what follows them is not case-sensitive.
  for (const wchar_t* none : {L"%windir%", L"D:\\", L"%PROGRAMFILES%\\Vendor", L"%USERPROFILE%\\AppData",
                              L"%PROGRAMFILES% (x86)Old", L"C:\\users"}) {
    std::wstring path = none;
    EXPECT_FALSE(CPackageNames::MapRootComponent(path, true)) << WideToUtf8(none);
    EXPECT_EQ(path, none);
  }
}

TEST_F(NamingTest, FolderPropertiesFollowTheLongestKnownFolder) {
  EXPECT_EQ(Property(L"%PROGRAMFILES%\\Vendor\\App"), L"ProgramFilesFolder");
  EXPECT_EQ(Property(L"%WINDIR%\\system32\\drivers"), L"SystemFolder");
  EXPECT_EQ(Property(L"%WINDIR%\\system"), L"System16Folder");
  EXPECT_EQ(Property(L"%WINDIR%"), L"WindowsFolder");
  EXPECT_EQ(Property(L"%USERPROFILE%\\AppData\\Local\\Programs\\X"), L"LocalAppDataFolder");
  EXPECT_EQ(Property(L"%USERPROFILE%\\x"), L"USERPROFILE");
  EXPECT_EQ(Property(L"%ALLUSERSPROFILE%\\x"), L"CommonAppDataFolder");
  EXPECT_EQ(Property(L"%SYSDRIVE%\\Tools"), L"WindowsVolume");
  EXPECT_EQ(Property(L"c:"), L"WindowsVolume");
  EXPECT_EQ(Property(L"%windir%\\x"), L"%windir%\\x");
}

TEST_F(NamingTest, RegistryDataNamesEveryFolderByItsLongestProperty) {
  const struct {
    const wchar_t* data;
    const wchar_t* formatted;
  } cases[] = {
      {L"C:\\Program Files\\Vendor\\app.exe", L"[ProgramFilesFolder]Vendor\\app.exe"},
      {L"c:\\program files\\a;C:\\windows\\b", L"[ProgramFilesFolder]a;[WindowsFolder]b"},
      {L"C:\\windows\\system32\\x.dll", L"[WindowsFolder]system32\\x.dll"},
      {L"C:\\users\\root\\AppData\\Roaming\\v", L"[AppDataFolder]v"},
      {L"C:\\users\\root\\AppData\\Local\\Programs\\X\\x.exe", L"[LocalAppDataFolder]Programs\\X\\x.exe"},
      {L"C:\\users\\root\\other", L"[USERPROFILE]other"},
      {L"C:\\ProgramData\\V\\", L"[CommonAppDataFolder]V\\"},
      {L"C:\\Program Files (x86)\\Old\\a.exe", L"[ProgramFilesFolder]Old\\a.exe"},
      // Without a backslash after it a folder is left alone; brackets are escaped.
      {L"C:\\Program Files", L"C:\\Program Files"},
      {L"[x] C:\\windows\\y [~]", L"[\\[]x[\\]] [WindowsFolder]y [\\[]~[\\]]"},
      {L"plain text", L"plain text"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CPackageNames::FormattedText(c.data, false, true), c.formatted) << WideToUtf8(c.data);
  }
  EXPECT_EQ(References(L"[x] C:\\windows\\y"), L"[x] [WindowsFolder]y");  // references only, no escapes
  EXPECT_EQ(CPackageNames::FormattedText(L"C:\\Program Files\\A;C:\\Program Files (x86)\\B", true, true),
            L"[ProgramFiles64Folder]A;[ProgramFilesFolder]B");
}

TEST_F(NamingTest, UniqueDirectoryNamesCountWithoutCase) {
  CPackageNames names;
  std::wstring a = L"Bin", b = L"bin", c = L"BIN", look = L"bin";
  EXPECT_FALSE(names.MakeUniqueDirectoryName(a, true));
  EXPECT_EQ(a, L"Bin");
  EXPECT_TRUE(names.MakeUniqueDirectoryName(look, false));
  EXPECT_EQ(look, L"bin1");  // look-ahead: the name the next reserving call hands out
  EXPECT_TRUE(names.MakeUniqueDirectoryName(b, true));
  EXPECT_EQ(b, L"bin1");
  EXPECT_TRUE(names.MakeUniqueDirectoryName(c, true));
  EXPECT_EQ(c, L"BIN2");
  // A folder really named Bin1 does not get an identifier handed out already.
  std::wstring d = L"Bin1";
  EXPECT_FALSE(names.MakeUniqueDirectoryName(d, true));
  EXPECT_EQ(d, L"Bin11");
  // The template's folders and the installer's public properties are never handed out.
  for (const wchar_t* reserved : {L"AppData", L"TargetDir", L"ALLUSERS", L"InstallDir", L"ProgramFilesFolder"}) {
    std::wstring name = reserved;
    EXPECT_TRUE(names.MakeUniqueDirectoryName(name, true));
    EXPECT_EQ(name, std::wstring(reserved) + L"1");
  }
}

TEST_F(NamingTest, RegisteredDirectoriesAreReused) {
  CPackageNames names;
  std::wstring id = L"App";
  EXPECT_FALSE(names.RegisterDirectory(L"%PROGRAMFILES%\\Vendor\\App", id, false));
  EXPECT_FALSE(names.RegisterDirectory(L"%PROGRAMFILES%\\Vendor\\App", id, true));
  std::wstring other = L"Other";
  EXPECT_TRUE(names.RegisterDirectory(L"%PROGRAMFILES%\\Vendor\\App", other, true));
  EXPECT_EQ(other, L"App");
  std::wstring caseDiffers = L"x";
  EXPECT_FALSE(names.RegisterDirectory(L"%PROGRAMFILES%\\vendor\\app", caseDiffers, false));
  EXPECT_EQ(caseDiffers, L"x");
}

TEST_F(NamingTest, FileKeysAreNumberedPerMapAndSanitized) {
  CPackageNames names;
  std::wstring a = L"readme.txt", b = L"readme.txt", c = L"readme.txt", d = L"readme.txt";
  names.MakeUniqueFileName(a, CPackageNames::FileNameMap::Table);
  names.MakeUniqueFileName(b, CPackageNames::FileNameMap::Table);
  names.MakeUniqueFileName(c, CPackageNames::FileNameMap::Table);
  names.MakeUniqueFileName(d, CPackageNames::FileNameMap::Cabinet);
  EXPECT_EQ(a, L"readme.txt");
  EXPECT_EQ(b, L"readme.txt1");
  EXPECT_EQ(c, L"readme.txt2");
  EXPECT_EQ(d, L"readme.txt");  // the cabinet map counts on its own

  std::wstring text = L"My File-1.txt";
  CPackageNames::SanitizeIdentifier(text);
  EXPECT_EQ(text, L"My_File_1.txt");
  std::wstring digits = L"1st (copy).TXT";
  CPackageNames::SanitizeIdentifier(digits);
  EXPECT_EQ(digits, L"1st__copy_.TXT");

  EXPECT_EQ(names.MakeFileKey(L"setup.ini", CPackageNames::FileNameMap::Cabinet), L"setup.ini");
  EXPECT_EQ(names.MakeFileKey(L"setup.ini", CPackageNames::FileNameMap::Cabinet), L"setup.ini1");
}

TEST_F(NamingTest, FileKeysNeverCollide) {
  // A file really named readme.txt1, or names that sanitize alike, would otherwise give two rows
  // one key and two cabinet members one name.
  for (auto which : {CPackageNames::FileNameMap::Table, CPackageNames::FileNameMap::Cabinet}) {
    CPackageNames names;
    std::set<std::wstring> keys;
    for (const wchar_t* name : {L"readme.txt", L"readme.txt1", L"readme.txt", L"a b.txt", L"a_b.txt", L"a-b.txt",
                                L"данные.txt", L"архив.txt"}) {
      EXPECT_TRUE(keys.insert(names.MakeFileKey(name, which)).second) << "duplicate key for a file named " << name;
    }
    EXPECT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys.count(L"readme.txt"), 1u);
    EXPECT_EQ(keys.count(L"a_b.txt"), 1u);
  }
  CPackageNames names;
  names.MakeFileKey(L"app.exe", CPackageNames::FileNameMap::Table);
  names.MakeFileKey(L"app.exe", CPackageNames::FileNameMap::Table);
  EXPECT_TRUE(names.HasTableFileName(L"app.exe"));
  EXPECT_FALSE(names.HasTableFileName(L"APP.EXE"));
  EXPECT_EQ(names.FirstTableFileKey(L"app.exe"), L"app.exe");
}

TEST_F(NamingTest, GuidsAreRegistryFormAndFresh) {
  const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string guid = CPackageNames::NewGuidString();
    ASSERT_EQ(guid.size(), 38u);
    EXPECT_TRUE(std::regex_match(guid, form)) << guid;
    EXPECT_TRUE(seen.insert(guid).second);
  }
}

// Names the Windows Installer cannot create are told apart from odd but possible ones.
TEST(InstallableNamesTest, ReservedAndTrailingNamesAreTold) {
  const struct {
    const wchar_t* path;
    const char* why;  // part of the reason, or nullptr when installable
  } cases[] = {
      {L"C:\\Program Files\\App\\it's [1] {2} %3% &4 \U0001F600.txt", nullptr},
      {L"C:\\Program Files\\App\\CONSOLE.txt", nullptr},
      {L"C:\\Program Files\\App\\COM0", nullptr},
      {L"C:\\Program Files\\App\\...x", nullptr},
      {L"C:\\Program Files\\App\\CON", "\"CON\" is a reserved device name"},
      {L"C:\\Program Files\\App\\aux.txt", "\"aux.txt\" is a reserved device name"},
      {L"C:\\Program Files\\App\\lpt9.log.gz", "reserved device name"},
      {L"C:\\Program Files\\Nul\\a.txt", "\"Nul\" is a reserved device name"},
      {L"C:\\Program Files\\App\\name.", "\"name.\" ends with a dot or a space"},
      {L"C:\\Program Files\\App \\a.txt", "\"App \" ends with a dot or a space"},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_EQ(IsInstallablePath(c.path, &why), c.why == nullptr) << WideToUtf8(c.path);
    if (c.why != nullptr) {
      EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
  }
}

}  // namespace
