#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "core/work_paths.h"
#include "support/scoped_environment_values.h"
#include "package/package_names.h"

namespace {

class NamingTest : public ::testing::Test {
 protected:
  static std::wstring Root(std::wstring path, bool* isRoot = nullptr) {
    bool result = CPackageNames::MapRootComponent(path);
    if (isRoot != nullptr) *isRoot = result;
    return path;
  }
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

TEST_F(NamingTest, RootsAreWholeCaseSensitiveMatches) {
  bool root = false;
  EXPECT_EQ(Root(L"%PROGRAMFILES%", &root), L"ProgramFilesFolder");
  EXPECT_TRUE(root);
  EXPECT_EQ(Root(L"%WINDIR%"), L"WindowsFolder");
  EXPECT_EQ(Root(L"system32"), L"SystemFolder");
  EXPECT_EQ(Root(L"%USERPROFILE%"), L"USERPROFILE");
  EXPECT_EQ(Root(L"%ALLUSERSPROFILE%"), L"ALLUSERSPROFILE");
  EXPECT_EQ(Root(L"%APPDATA%"), L"AppDataFolder");
  EXPECT_EQ(Root(L"C:"), L"TARGETDIR");
  EXPECT_EQ(Root(L"D:", &root), L"TARGETDIR");
  EXPECT_TRUE(root);
  // Not roots: the path stays as it was.
  EXPECT_EQ(Root(L"D:\\", &root), L"D:\\");
  EXPECT_FALSE(root);
  EXPECT_EQ(Root(L"%windir%", &root), L"%windir%");
  EXPECT_FALSE(root);
  EXPECT_EQ(Root(L"%PROGRAMFILES%\\Vendor", &root), L"%PROGRAMFILES%\\Vendor");
  EXPECT_FALSE(root);
}

TEST_F(NamingTest, FolderPropertiesFollowTheFirstTokenContained) {
  EXPECT_EQ(Property(L"%PROGRAMFILES%\\Vendor\\App"), L"ProgramFilesFolder");
  EXPECT_EQ(Property(L"%WINDIR%\\system32\\drivers"), L"SystemFolder");
  EXPECT_EQ(Property(L"%WINDIR%\\system"), L"System16Folder");
  EXPECT_EQ(Property(L"%WINDIR%"), L"WindowsFolder");
  // The application-data folder maps to another name here than as a root.
  EXPECT_EQ(Property(L"%APPDATA%\\Vendor"), L"APPDATA");
  EXPECT_EQ(Property(L"%USERPROFILE%\\x"), L"USERPROFILE");
  EXPECT_EQ(Property(L"%ALLUSERSPROFILE%\\x"), L"ALLUSERSPROFILE");
  EXPECT_EQ(Property(L"%SYSDRIVE%\\Tools"), L"WindowsVolume");
  // Only the system drive itself is compared without regard to case.
  EXPECT_EQ(Property(L"c:"), L"WindowsVolume");
  EXPECT_EQ(Property(L"%windir%\\x"), L"%windir%\\x");
  EXPECT_EQ(Property(L"D:\\Data"), L"D:\\Data");
}

TEST_F(NamingTest, FolderReferencesInRegistryData) {
  EXPECT_EQ(References(L"C:\\Program Files\\Vendor\\app.exe"), L"[ProgramFilesFolder]Vendor\\app.exe");
  // Only the first folder found is replaced, every occurrence of it.
  EXPECT_EQ(References(L"C:\\Program Files\\a;C:\\windows\\b;C:\\Program Files\\c"),
            L"[ProgramFilesFolder]a;C:\\windows\\b;[ProgramFilesFolder]c");
  EXPECT_EQ(References(L"C:\\windows\\system32\\x.dll"), L"[WindowsFolder]system32\\x.dll");
  EXPECT_EQ(References(L"C:\\users\\root\\AppData\\Roaming\\v"), L"[APPDATA]v");
  EXPECT_EQ(References(L"C:\\users\\root\\Temp\\t"), L"[TempFolder]t");
  // A folder not followed by a backslash is left alone (and stops the search).
  EXPECT_EQ(References(L"C:\\Program Files"), L"C:\\Program Files");
  EXPECT_EQ(References(L"plain text"), L"plain text");
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

}  // namespace
