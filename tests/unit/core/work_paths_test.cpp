#include "core/work_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/strings.h"
#include "core/work_context.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/registry.h"
#include "session/work_context_setup.h"
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
  const struct {
    const wchar_t* text;
    bool toTokens;
    const wchar_t* expected;
  } cases[] = {
      {L"D:\\Program Files\\App\\a.exe", true, L"%PROGRAMFILES%\\App\\a.exe"},
      {L"%PROGRAMFILES%\\App\\a.exe", false, L"D:\\Program Files\\App\\a.exe"},
      {L"D:\\ProgramData\\Vendor", true, L"%ALLUSERSPROFILE%\\Vendor"},
      // appdata is tried before userprofile.
      {L"D:\\Users\\me\\AppData\\Roaming\\Vendor\\x.ini", true, L"%APPDATA%\\Vendor\\x.ini"},
      {L"D:\\Users\\me\\Desktop", true, L"%USERPROFILE%\\Desktop"},
      {L"%APPDATA%\\V", false, L"D:\\Users\\me\\AppData\\Roaming\\V"},
      // Case and position matter; every occurrence is replaced, left to right.
      {L"d:\\program files\\App", true, L"d:\\program files\\App"},
      {L"X:\\D:\\Windows", true, L"X:\\D:\\Windows"},
      {L"C:\\%WINDIR%\\x", false, L"C:\\%WINDIR%\\x"},
      {L"%windir%\\x", false, L"%windir%\\x"},
      {L"D:\\Windows\\a;D:\\Windows\\b", true, L"%WINDIR%\\a;%WINDIR%\\b"},
      // The system drive only alone.
      {L"D:", true, L"%SYSDRIVE%"},
      {L"D:\\Tools", true, L"D:\\Tools"},
      {L"%SYSDRIVE%\\Tools", false, L"D:\\Tools"},
      {L"%SYSDRIVE%", false, L"D:"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.toTokens ? To(c.text) : From(c.text)) << WideToUtf8(c.text);
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
  CWorkContext context;
  SetupWorkContext(context, L"", L"");
  const fs::path folder = FixturePrefix::ProgramFolderOnHost();
  std::string programFolder = context.ProgramFolder;
  ReplaceAll(programFolder, "\\", "/");
  EXPECT_EQ("Z:" + folder.string(), programFolder);
  EXPECT_EQ(FixturePrefix::kSystemDrive, EnvironmentValues.systemdrive);  // the work folder shows the rest
  EXPECT_EQ("C:\\users\\root\\Temp", context.WorkFolder);
  EXPECT_EQ(context.ProgramFolder, context.OutputFolder);
  EXPECT_EQ(context.ProgramFolder + "\\ExtractedIcon", context.ExtractedIconFolder);
  EXPECT_EQ(L"C:\\users\\root\\Temp\\Temp\\FileChanges.xml", context.FileChangesPath);
  EXPECT_EQ(Utf8ToWide(context.ProgramFolder) + L"\\Packages\\ProjectFile.xml", context.ProjectFilePath);
  EXPECT_EQ(L"C:\\users\\root\\AppData\\Roaming\\INIBackup", context.INIBackupFolder);
  // Root names are found without regard to case.
  EXPECT_EQ(platform::RootKey::CurrentConfig, platform::RootKeyTable.at(L"Hkey_Current_Config"));

  SetupWorkContext(context, L"C:\\out", L"Pkg.msi");
  EXPECT_EQ("C:\\out", context.OutputFolder);
  EXPECT_EQ("Pkg.msi", context.PackageFileName);
  EXPECT_EQ(L"C:\\out\\Packages\\ProjectFile.xml", context.ProjectFilePath);
  context.SetOutputFolder(L"C:\\other");
  context.SetPackageFileName(L"\u00e9.msi");
  EXPECT_EQ("C:\\other", context.OutputFolder);
  EXPECT_EQ("\xC3\xA9.msi", context.PackageFileName);
}

TEST_F(WorkPathsSetupTest, FolderOperations) {
  EXPECT_EQ(0, platform::EnsureFolder("C:\\made"));
  EXPECT_TRUE(fs::is_directory(prefix_.driveC() / "made"));
  prefix_.WriteDriveCFile("made/keep.txt", "k");
  EXPECT_EQ(0, platform::EnsureFolder("c:\\MADE"));  // exists: untouched
  EXPECT_TRUE(fs::exists(prefix_.driveC() / "made/keep.txt"));
  EXPECT_EQ(platform::kPathNotFound, platform::EnsureFolder("C:\\missing\\child"));

  // A tree with a read-only file and a link to a folder outside: the tree goes, the outside stays.
  TempFolder outside;
  outside.WriteFile("precious.txt", "p");
  prefix_.WriteDriveCFile("tree/a/b/deep.txt", "d");
  prefix_.WriteDriveCFile("tree/ro.txt", "r");
  fs::permissions(prefix_.driveC() / "tree/ro.txt", fs::perms::owner_read);
  fs::create_directory_symlink(outside.path(), prefix_.driveC() / "tree/a/Desktop");
  platform::DeleteFolderTree(L"C:\\tree");
  EXPECT_FALSE(fs::exists(prefix_.driveC() / "tree"));
  EXPECT_TRUE(fs::exists(outside.path() / "precious.txt"));
  platform::DeleteFolderTree(L"C:\\tree");  // missing: nothing happens

  prefix_.WriteDriveCFile("ro.ini", "x");
  platform::SetAttributes(L"C:\\ro.ini", platform::kAttrReadOnly);
  EXPECT_TRUE(platform::ClearReadOnly(L"C:\\ro.ini"));
  EXPECT_EQ(0u, platform::GetAttributes(L"C:\\ro.ini") & platform::kAttrReadOnly);
  EXPECT_FALSE(platform::ClearReadOnly(L"C:\\none.ini"));
}

}  // namespace
