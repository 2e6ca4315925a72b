// Shortcuts as the setup made them, and folders that must not take the template's names: the
// tables of built packages read back.
#include <gtest/gtest.h>

#include <algorithm>

#include "package_fixture.h"

namespace {

using package_test::Builder;
using package_test::HasRow;
using package_test::ProjectText;
using package_test::Rows;

TEST(ShortcutTablesTest, ShortcutsKeepTheirFolderArgumentsWorkingFolderAndTarget) {
  Builder build;
  build.prefix().WriteDriveCFile("Program Files (x86)/Vendor/App/app.exe", "MZ-app");
  build.prefix().WriteDriveCFile("Program Files (x86)/Vendor/App/example.nsi", "; script");
  const std::string programs = "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs";
  const std::string shortcuts =
      "<Shortcut Name=\"App\" ExeName=\"app.exe\" Directory=\"ProgramMenuFolder\" Icon=\"\" IconIndex=\"0\" "
      "Target=\"%PROGRAMFILES% (x86)\\Vendor\\App\\app.exe\" Folder=\"" + programs + "\\Vendor\\Sub\" "
      "Arguments=\"/open &quot;C:\\Program Files (x86)\\Vendor\\App\\x [1].cfg&quot;\" Description=\"Runs it\" "
      "ShowCmd=\"3\" Hotkey=\"1601\" "
      "WorkingFolder=\"%PROGRAMFILES% (x86)\\Vendor\\App\"/>"
      "<Shortcut Name=\"Example\" ExeName=\"example.nsi\" Directory=\"ProgramMenuFolder\" Icon=\"\" IconIndex=\"0\" "
      "Target=\"%PROGRAMFILES% (x86)\\Vendor\\App\\example.nsi\" Folder=\"" + programs + "\\Vendor\"/>"
      "<Shortcut Name=\"Notepad\" ExeName=\"notepad.exe\" Directory=\"DesktopFolder\" Icon=\"\" IconIndex=\"0\" "
      "Target=\"%WINDIR%\\notepad.exe\" Folder=\"%USERPROFILE%\\Desktop\"/>"
      "<Shortcut Name=\"Old form\" ExeName=\"app.exe\" Directory=\"QuickLaunchFolder\" Icon=\"\" IconIndex=\"0\"/>"
      "<Shortcut Name=\"Nothing\" ExeName=\"gone.exe\" Directory=\"DesktopFolder\" Icon=\"\" IconIndex=\"0\"/>";
  ASSERT_EQ(build.Build(ProjectText("<Directory Name=\"%PROGRAMFILES% (x86)\\Vendor\\App\"><File Name=\"app.exe\"/>"
                                    "<File Name=\"example.nsi\"/></Directory>",
                                    "", "", "", shortcuts)),
            1);
  ASSERT_EQ(build.errors().size(), 1u);
  EXPECT_EQ(build.errors()[0], "warning: the shortcut Nothing is left out: no packaged file is named gone.exe");

  Rows rows = build.Table("SELECT `Shortcut`,`Directory_`,`Name`,`Component_`,`Target`,`Arguments`,`Description`,"
                          "`Icon_`,`WkDir`,`ShowCmd`,`Hotkey` FROM `Shortcut`");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (Rows{{"Shortcut0", "SUB", "App", "APP.EXECOMP", "[#app.exe]",
                         "/open \"[ProgramFilesFolder]Vendor\\App\\x [\\[]1[\\]].cfg\"", "Runs it", "", "APP", "3", "1601"},
                        {"Shortcut1", "VENDOR1", "Example", "EXAMPLE.NSICOMP", "[#example.nsi]", "", "", "", "", "", ""},
                        {"Shortcut2", "DesktopFolder", "Notepad", "SHORTCUT2COMP", "[WindowsFolder]notepad.exe", "",
                         "", "", "", "", ""},
                        {"Shortcut3", "QuickLaunchFolder", "Old form", "APP.EXECOMP", "[#app.exe]", "", "", "", "", "", ""}}));

  // The Start Menu subfolders hang below the menu and go again on uninstall.
  const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
  EXPECT_TRUE(HasRow(dirs, {"VENDOR1", "ProgramMenuFolder", "Vendor"}));
  EXPECT_TRUE(HasRow(dirs, {"SUB", "VENDOR1", "Sub"}));
  Rows removed = build.Table("SELECT `FileKey`,`Component_`,`FileName`,`DirProperty`,`InstallMode` FROM `RemoveFile`");
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (Rows{{"RemoveFolder1", "APP.EXECOMP", "", "SUB", "2"},
                           {"RemoveFolder2", "APP.EXECOMP", "", "VENDOR1", "2"}}));
  // A shortcut to a path outside the package has a component of its own.
  EXPECT_TRUE(HasRow(build.Table("SELECT `Component`,`Directory_`,`Attributes` FROM `Component`"),
                     {"SHORTCUT2COMP", "DesktopFolder", "8"}));
  EXPECT_TRUE(HasRow(build.Table("SELECT `Feature_`,`Component_` FROM `FeatureComponents`"),
                     {"MSIFeature", "SHORTCUT2COMP"}));
}

TEST(ShortcutTablesTest, ProfileFoldersNeverTakeTheTemplatesRows) {
  Builder build;
  build.prefix().WriteDriveCFile("users/root/AppData/Local/Programs/X/x.exe", "MZ");
  build.prefix().WriteDriveCFile("users/root/AppData/Other/o.txt", "o");
  build.prefix().WriteDriveCFile("users/root/InstallDir/i.txt", "i");
  ASSERT_EQ(build.Build(ProjectText("<Directory Name=\"%USERPROFILE%\\AppData\\Local\\Programs\\X\"><File Name=\"x.exe\"/>"
                                    "</Directory><Directory Name=\"%USERPROFILE%\\AppData\\Other\">"
                                    "<File Name=\"o.txt\"/></Directory><Directory Name=\"%USERPROFILE%\\InstallDir\">"
                                    "<File Name=\"i.txt\"/></Directory>")),
            1)
      << build.errors().front();
  EXPECT_TRUE(build.errors().empty());
  const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
  EXPECT_TRUE(HasRow(dirs, {"PROGRAMS", "LocalAppDataFolder", "Programs"}));
  EXPECT_TRUE(HasRow(dirs, {"X", "PROGRAMS", "X"}));
  EXPECT_TRUE(HasRow(dirs, {"APPDATA1", "USERPROFILE", "AppData"}));
  EXPECT_TRUE(HasRow(dirs, {"OTHER", "APPDATA1", "Other"}));
  EXPECT_TRUE(HasRow(dirs, {"INSTALLDIR1", "USERPROFILE", "InstallDir"}));
  // The template's rows are untouched.
  EXPECT_TRUE(HasRow(dirs, {"APPDATA", "TARGETDIR", "APPDATA"}));
  EXPECT_TRUE(HasRow(dirs, {"INSTALLDIR", "TARGETDIR", "INSTAL~1|InstallDir"}));
}

TEST(ShortcutTablesTest, ARefusedRowFailsTheBuildNamingIt) {
  Builder build;
  const std::string ini =
      "<AddedItems><FileList><File Name=\"%WINDIR%\\x.ini\"><Section Name=\"S\" Key=\"\" Value=\"v\"/></File>"
      "</FileList></AddedItems><ModifiedItems><FileList/></ModifiedItems><DeletedItems><FileList/></DeletedItems>";
  EXPECT_EQ(build.Build(ProjectText("", "", "", ini)), 0);
  ASSERT_FALSE(build.errors().empty());
  EXPECT_NE(build.errors().front().find("the IniFile row INIFile1 was refused: column Key must not be empty"),
            std::string::npos)
      << build.errors().front();
  EXPECT_FALSE(std::filesystem::exists(build.PackageHostPath()));
}

}  // namespace
