#include "core/work_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class WorkPathsTokenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = EnvironmentValues;
    EnvironmentValues.programfiles = L"D:\\Program Files";
    EnvironmentValues.windir = L"D:\\Windows";
    EnvironmentValues.userprofile = L"D:\\Users\\me";
    EnvironmentValues.appdata = L"D:\\Users\\me\\AppData\\Roaming";
    EnvironmentValues.allusersprofile = L"D:\\ProgramData";
    EnvironmentValues.systemdrive = L"D:";
  }
  void TearDown() override { EnvironmentValues = saved_; }
  static std::wstring To(std::wstring text) {
    ToTokenForm(text);
    return text;
  }
  static std::wstring From(std::wstring text) {
    FromTokenForm(text);
    return text;
  }
  EnvironmentValueSet saved_;
};

TEST_F(WorkPathsTokenTest, PathsBecomeTokensAndBack) {
  EXPECT_EQ(L"%PROGRAMFILES%\\App\\a.exe", To(L"D:\\Program Files\\App\\a.exe"));
  EXPECT_EQ(L"D:\\Program Files\\App\\a.exe", From(L"%PROGRAMFILES%\\App\\a.exe"));
  EXPECT_EQ(L"%WINDIR%\\system32", To(L"D:\\Windows\\system32"));
  EXPECT_EQ(L"%ALLUSERSPROFILE%\\Vendor", To(L"D:\\ProgramData\\Vendor"));
  // appdata is tried before userprofile.
  EXPECT_EQ(L"%APPDATA%\\Vendor\\x.ini", To(L"D:\\Users\\me\\AppData\\Roaming\\Vendor\\x.ini"));
  EXPECT_EQ(L"%USERPROFILE%\\Desktop", To(L"D:\\Users\\me\\Desktop"));
  EXPECT_EQ(L"D:\\Users\\me\\AppData\\Roaming\\V", From(L"%APPDATA%\\V"));
}

TEST_F(WorkPathsTokenTest, CaseAndPositionMatter) {
  EXPECT_EQ(L"d:\\program files\\App", To(L"d:\\program files\\App"));
  EXPECT_EQ(L"X:\\D:\\Windows", To(L"X:\\D:\\Windows"));
  EXPECT_EQ(L"C:\\%WINDIR%\\x", From(L"C:\\%WINDIR%\\x"));
  EXPECT_EQ(L"%windir%\\x", From(L"%windir%\\x"));
  // Every occurrence of the chosen value is replaced, left to right.
  EXPECT_EQ(L"%WINDIR%\\a;%WINDIR%\\b", To(L"D:\\Windows\\a;D:\\Windows\\b"));
}

TEST_F(WorkPathsTokenTest, SystemDriveOnlyAlone) {
  EXPECT_EQ(L"%SYSDRIVE%", To(L"D:"));
  EXPECT_EQ(L"D:\\Tools", To(L"D:\\Tools"));
  EXPECT_EQ(L"D:\\Tools", From(L"%SYSDRIVE%\\Tools"));
  EXPECT_EQ(L"D:", From(L"%SYSDRIVE%"));
}

TEST_F(WorkPathsTokenTest, AnEmptyValueStopsTheConversion) {
  EnvironmentValues.programfiles.clear();
  EXPECT_EQ(L"D:\\Windows\\x", To(L"D:\\Windows\\x"));
  EXPECT_EQ(L"D:", To(L"D:"));
  EXPECT_EQ(L"\\x", From(L"%PROGRAMFILES%\\x"));
  // With every value set but the system drive, an empty text stays empty.
  EnvironmentValues.programfiles = L"D:\\Program Files";
  EnvironmentValues.systemdrive.clear();
  EXPECT_EQ(L"", To(L""));
}

class WorkPathsSetupTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_.Activate(); }
  FixturePrefix prefix_;
};

TEST_F(WorkPathsSetupTest, ValuesComeFromTheProgramFolderAndThePrefix) {
  SetupWorkPaths(L"", L"");
  const fs::path folder = FixturePrefix::ProgramFolderOnHost();
  EXPECT_EQ("Z:" + folder.string(), [] {
    std::string p = ProgramFolder;
    for (char& c : p) c = c == '\\' ? '/' : c;
    return p;
  }());
  EXPECT_EQ(FixturePrefix::kTemp, EnvironmentValues.temp);
  EXPECT_EQ(FixturePrefix::kSystemDrive, EnvironmentValues.systemdrive);
  EXPECT_EQ("C:\\users\\root\\Temp", WorkFolder);
  EXPECT_EQ(ProgramFolder, OutputFolder);
  EXPECT_EQ(ProgramFolder + "\\ExtractedIcon", ExtractedIconFolder);
  EXPECT_EQ(L"C:\\users\\root\\Temp\\Temp\\FileChanges.xml", FileChangesPath);
  EXPECT_EQ(L"C:\\users\\root\\Temp\\Temp\\RegChanges.xml", RegChangesPath);
  EXPECT_EQ(L"C:\\users\\root\\Temp\\Temp\\INIChanges.xml", INIChangesPath);
  EXPECT_EQ(Utf8ToWide(ProgramFolder) + L"\\Packages\\ProjectFile.xml", ProjectFilePath);
  EXPECT_EQ(Utf8ToWide(ProgramFolder) + L"\\CorvaneRepackager.ini", ConfigFilePath);
  EXPECT_EQ(Utf8ToWide(ProgramFolder) + L"\\DefaultIncludeExclude.xml", RulesFilePath);
  EXPECT_EQ(Utf8ToWide(ProgramFolder) + L"\\RawProjectFile.xml", TemplateProjectPath);
  EXPECT_EQ(L"C:\\users\\root\\AppData\\Roaming\\INIBackup", INIBackupFolder);
  EXPECT_EQ(platform::RootKey::LocalMachine, RootKeyTable.at(L"hklm"));
  EXPECT_EQ(platform::RootKey::CurrentConfig, RootKeyTable.at(L"Hkey_Current_Config"));
  EXPECT_EQ(10u, RootKeyTable.size());
  EXPECT_EQ(L"REG_QWORD", RegTypeNames.at(kRegTypeQword));

  SetupWorkPaths(L"C:\\out", L"Pkg.msi");
  EXPECT_EQ("C:\\out", OutputFolder);
  EXPECT_EQ("Pkg.msi", PackageFileName);
  EXPECT_EQ(L"C:\\out\\Packages\\ProjectFile.xml", ProjectFilePath);
  SetOutputFolder(L"C:\\other");
  SetPackageFileName(L"\u00e9.msi");
  EXPECT_EQ("C:\\other", OutputFolder);
  EXPECT_EQ("\xC3\xA9.msi", PackageFileName);
}

TEST_F(WorkPathsSetupTest, FolderOperations) {
  EXPECT_EQ(0, EnsureFolder("C:\\made"));
  EXPECT_TRUE(fs::is_directory(prefix_.driveC() / "made"));
  prefix_.WriteDriveCFile("made/keep.txt", "k");
  EXPECT_EQ(0, EnsureFolder("c:\\MADE"));  // exists: untouched
  EXPECT_TRUE(fs::exists(prefix_.driveC() / "made/keep.txt"));
  EXPECT_EQ(platform::kPathNotFound, EnsureFolder("C:\\missing\\child"));

  // A tree with a read-only file and a link to a folder outside: the tree goes, the outside stays.
  TempFolder outside;
  outside.WriteFile("precious.txt", "p");
  prefix_.WriteDriveCFile("tree/a/b/deep.txt", "d");
  prefix_.WriteDriveCFile("tree/ro.txt", "r");
  fs::permissions(prefix_.driveC() / "tree/ro.txt", fs::perms::owner_read);
  fs::create_directory_symlink(outside.path(), prefix_.driveC() / "tree/a/Desktop");
  DeleteFolderTree(L"C:\\tree");
  EXPECT_FALSE(fs::exists(prefix_.driveC() / "tree"));
  EXPECT_TRUE(fs::exists(outside.path() / "precious.txt"));
  DeleteFolderTree(L"C:\\tree");  // missing: nothing happens

  prefix_.WriteDriveCFile("ro.ini", "x");
  platform::SetAttributes(L"C:\\ro.ini", platform::kAttrReadOnly);
  EXPECT_TRUE(ClearReadOnly(L"C:\\ro.ini"));
  EXPECT_EQ(0u, platform::GetAttributes(L"C:\\ro.ini") & platform::kAttrReadOnly);
  EXPECT_FALSE(ClearReadOnly(L"C:\\none.ini"));
}

}  // namespace
