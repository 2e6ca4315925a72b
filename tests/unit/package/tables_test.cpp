#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "package_fixture.h"

// libmsi 0.101 loses a small block inside itself on every package it writes (a string it
// duplicates and never frees); no caller can free it, so it must not fail the sanitizer run.

namespace {

using package_test::Builder;
using package_test::ProjectText;
using package_test::Rows;

using Row = std::vector<std::string>;

bool HasRow(const Rows& rows, const Row& expected) {
  for (const auto& row : rows)
    if (row == expected) return true;
  return false;
}

const std::regex kGuid("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");

TEST(TablesTest, DirectoryWalkStopsAtRootsAndRegisteredFolders) {
  Builder build;
  build.prefix().WriteDriveCFile("Program Files/Vendor/App/app.exe", "MZ-app");
  build.prefix().WriteDriveCFile("Program Files/Vendor/Other/x.txt", "x");
  ASSERT_EQ(build.Build(ProjectText(
                "<Directory Name=\"%PROGRAMFILES%\\Vendor\\Other\"><File Name=\"x.txt\"/></Directory>"
                "<Directory Name=\"%PROGRAMFILES%\\Vendor\\App\"><File Name=\"app.exe\"/></Directory>")),
            1);
  const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
  EXPECT_TRUE(HasRow(dirs, {"OTHER", "VENDOR", "Other"}));
  EXPECT_TRUE(HasRow(dirs, {"VENDOR", "ProgramFilesFolder", "Vendor"}));
  EXPECT_TRUE(HasRow(dirs, {"APP", "VENDOR", "App"}));
  EXPECT_TRUE(HasRow(dirs, {"WindowsFolder", "TARGETDIR", ".:windows"}));
  // The template's folders (the 64-bit ones too), the walk's three rows, WindowsFolder.
  EXPECT_EQ(dirs.size(), 15u + 4u);

  const Rows files = build.Table(
      "SELECT `File`,`Component_`,`FileName`,`FileSize`,`Version`,`Language`,`Attributes`,`Sequence` FROM `File`");
  EXPECT_TRUE(HasRow(files, {"x.txt", "X.TXTCOMP", "x.txt", "1", "", "", "16384", "1"}));
  EXPECT_TRUE(HasRow(files, {"app.exe", "APP.EXECOMP", "app.exe", "6", "", "", "16384", "2"}));

  const Rows components = build.Table("SELECT `Component`,`ComponentId`,`Directory_`,`Attributes` FROM `Component` "
                                      "WHERE `Component`='APP.EXECOMP'");
  ASSERT_EQ(components.size(), 1u);
  EXPECT_TRUE(std::regex_match(components[0][1], kGuid));
  EXPECT_EQ(components[0][2], "APP");
  EXPECT_EQ(components[0][3], "8");
  EXPECT_TRUE(HasRow(build.Table("SELECT `Feature_`,`Component_` FROM `FeatureComponents`"),
                     {"MSIFeature", "APP.EXECOMP"}));
  const Rows media = build.Table("SELECT `DiskId`,`LastSequence`,`Cabinet` FROM `Media`");
  ASSERT_EQ(media.size(), 1u);
  EXPECT_EQ(media[0], (Row{"1", "2", "#MSIProject.cab"}));
  EXPECT_EQ(build.Table("SELECT `Name` FROM `_Streams` WHERE `Name`='MSIProject.cab'").size(), 1u);
}

TEST(TablesTest, EmptyFoldersGetAComponentOnlyWhenAdded) {
  Builder build;
  build.prefix().InDriveC("Program Files/Vendor/Empty Added", true);
  build.prefix().InDriveC("Program Files/Vendor/Empty Modified", true);
  ASSERT_EQ(build.Build(ProjectText("<Directory Name=\"%PROGRAMFILES%\\Vendor\\Empty Added\"/>",
                                    "<Directory Name=\"%PROGRAMFILES%\\Vendor\\Empty Modified\"/>")),
            1);
  EXPECT_EQ(build.Table("SELECT `Directory_`,`Component_` FROM `CreateFolder`"),
            (Rows{{"EMPTY ADDED", "EMPTYCOMP1"}}));
  const Rows components =
      build.Table("SELECT `Component`,`Directory_`,`Attributes` FROM `Component` WHERE `Component`='EMPTYCOMP1'");
  EXPECT_EQ(components, (Rows{{"EMPTYCOMP1", "EMPTY ADDED", "8"}}));
  EXPECT_TRUE(HasRow(build.Table("SELECT `Feature_`,`Component_` FROM `FeatureComponents`"),
                     {"MSIFeature", "EMPTYCOMP1"}));
  // Both folders still get their Directory rows.
  const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
  EXPECT_TRUE(HasRow(dirs, {"EMPTY MODIFIED", "VENDOR", "Empty Modified"}));
  // No files: a header-only directive file and a Media row with LastSequence 0.
  EXPECT_EQ(build.Table("SELECT `LastSequence` FROM `Media`"), (Rows{{"0"}}));
  EXPECT_EQ(build.DirectiveText().find("' '"), std::string::npos);
}

TEST(TablesTest, SequencesContinueAndKeysStayUniqueAcrossPasses) {
  Builder build;
  build.prefix().WriteDriveCFile("Program Files/A/setup.ini", "a");
  build.prefix().WriteDriveCFile("Program Files/B/setup.ini", "bb");
  build.prefix().WriteDriveCFile("Program Files/A/notes.tmp.txt", "temporary");
  build.prefix().WriteDriveCFile("Program Files/A/link.lnk", "link");
  ASSERT_EQ(build.Build(ProjectText(
                "<Directory Name=\"%PROGRAMFILES%\\A\"><File Name=\"setup.ini\"/><File Name=\"notes.tmp.txt\"/>"
                "<File Name=\"link.lnk\"/></Directory>",
                "<Directory Name=\"%PROGRAMFILES%\\B\"><File Name=\"setup.ini\"/></Directory>")),
            1);
  const Rows files = build.Table("SELECT `File`,`Component_`,`FileName`,`Sequence` FROM `File`");
  EXPECT_EQ(files.size(), 2u);  // the .tmp and .lnk files are not packaged
  EXPECT_TRUE(HasRow(files, {"setup.ini", "SETUP.INICOMP", "setup.ini", "1"}));
  EXPECT_TRUE(HasRow(files, {"setup.ini1", "SETUP.INI1COMP", "setup.ini", "2"}));
  // The cabinet lists the same keys in the same order; the file count covers skipped files too.
  const std::string ddf = build.DirectiveText();
  const size_t first = ddf.find("\\A\\setup.ini' 'setup.ini'\r\n");
  const size_t second = ddf.find("\\B\\setup.ini' 'setup.ini1'\r\n");
  EXPECT_NE(first, std::string::npos) << ddf;
  EXPECT_NE(second, std::string::npos) << ddf;
  EXPECT_LT(first, second);
  EXPECT_EQ(ddf.find("notes.tmp.txt"), std::string::npos);
  EXPECT_EQ(build.Table("SELECT `LastSequence` FROM `Media`"), (Rows{{"4"}}));
}

TEST(TablesTest, QuotesAndNonLatinNamesSurvive) {
  Builder build;
  build.prefix().WriteDriveCFile("Program Files/O'Neil Soft/O'Brien.txt", "quote");
  build.prefix().WriteDriveCFile("Program Files/Пример/данные.txt", "данные");
  ASSERT_EQ(build.Build(ProjectText(
                "<Directory Name=\"%PROGRAMFILES%\\O'Neil Soft\"><File Name=\"O'Brien.txt\"/></Directory>"
                "<Directory Name=\"%PROGRAMFILES%\\Пример\"><File Name=\"данные.txt\"/></Directory>")),
            1);
  const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
  EXPECT_TRUE(HasRow(dirs, {"O'NEIL SOFT", "ProgramFilesFolder", "O'Neil Soft"}));
  EXPECT_TRUE(HasRow(dirs, {"ПРИМЕР", "ProgramFilesFolder", "Пример"}));
  const Rows files = build.Table("SELECT `File`,`FileName`,`Component_` FROM `File`");
  EXPECT_TRUE(HasRow(files, {"O_Brien.txt", "O'Brien.txt", "O_BRIEN.TXTCOMP"}));
  EXPECT_TRUE(HasRow(files, {"______.txt", "данные.txt", "______.TXTCOMP"}));
  EXPECT_NE(build.DirectiveText().find("\\O''Neil Soft\\O''Brien.txt' 'O_Brien.txt'"), std::string::npos)
      << build.DirectiveText();
  EXPECT_TRUE(build.errors().empty());
}

TEST(TablesTest, RegistryValueForms) {
  Builder build;
  build.prefix().AddSystemReg(
      "[Software\\\\Example] 1700000000\n"
      "@=\"default text\"\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Example\"\n"
      "\"AppPath\"=\"C:\\\\Program Files\\\\Example\\\\app.exe\"\n"
      "\"Count\"=dword:000000ff\n"
      "\"All\"=dword:ffffffff\n"
      "\"Blob\"=hex:00,10,ff\n"
      "\"Expand\"=str(2):\"%TEMP%\\\\x.log\"\n"
      "\"O'Brien\"=\"it's here\"\n"
      "\"Hash\"=\"#not a number\"\n"
      "\"List\"=str(7):\"a\\0b c\\0\"\n"
      "\"Wrong\"=dword:00000001\n");
  const std::string values =
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Example\">"
      "<Value Name=\"@\" Type=\"REG_SZ\"/>"
      "<Value Name=\"&quot;Path&quot;\" Type=\"REG_SZ\"/>"
      "<Value Name=\"&quot;AppPath&quot;\" Type=\"REG_SZ\"/>"
      "<Value Name=\"&quot;Count&quot;\" Type=\"REG_DWORD\"/>"
      "<Value Name=\"&quot;All&quot;\" Type=\"REG_DWORD\"/>"
      "<Value Name=\"&quot;Blob&quot;\" Type=\"REG_BINARY\"/>"
      "<Value Name=\"&quot;Expand&quot;\" Type=\"REG_EXPAND_SZ\"/>"
      "<Value Name=\"&quot;O'Brien&quot;\" Type=\"REG_SZ\"/>"
      "<Value Name=\"&quot;Hash&quot;\" Type=\"REG_SZ\"/>"
      "<Value Name=\"&quot;List&quot;\" Type=\"\"/>"
      "<Value Name=\"&quot;Wrong&quot;\" Type=\"REG_SZ\"/>"
      "<Value Name=\"&quot;Missing&quot;\" Type=\"REG_SZ\"/>"
      "</SubKey>"
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\NoSuchKey\"><Value Name=\"&quot;X&quot;\" Type=\"REG_SZ\"/></SubKey>"
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\EmptyKey\"/>";
  ASSERT_EQ(build.Build(ProjectText("", "", values)), 1);
  const Rows rows = build.Table("SELECT `Registry`,`Root`,`Key`,`Name`,`Value`,`Component_` FROM `Registry`");
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry0", "2", "Software\\Example", "", "default text", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry1", "2", "Software\\Example", "Path", "[ProgramFilesFolder]Example",
                            "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry2", "2", "Software\\Example", "AppPath",
                            "[ProgramFilesFolder]Example\\app.exe", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry3", "2", "Software\\Example", "Count", "#255", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry4", "2", "Software\\Example", "All", "#-1", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry5", "2", "Software\\Example", "Blob", "#x0010ff", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry6", "2", "Software\\Example", "Expand", "#%%TEMP%\\x.log", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry7", "2", "Software\\Example", "O'Brien", "it's here", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry8", "2", "Software\\Example", "Hash", "##not a number", "REGDIFFCOMP"}));
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry9", "2", "Software\\Example", "List", "[~]a[~]b c[~]", "REGDIFFCOMP"}));
  // A value whose live type differs, a missing value, a missing key and an empty key are left
  // out, but use their numbers.
  EXPECT_EQ(rows.size(), 10u);
  const Rows component = build.Table("SELECT `Directory_`,`Attributes` FROM `Component` WHERE `Component`='REGDIFFCOMP'");
  EXPECT_EQ(component, (Rows{{"ProgramFilesFolder", "8"}}));
}

TEST(TablesTest, IniRowsShortcutsAndIcons) {
  Builder build;
  build.prefix().WriteDriveCFile("Program Files/Vendor/App/app.exe", "MZ-one");
  build.prefix().WriteDriveCFile("Program Files/Vendor/Other/app.exe", "MZ-two");
  build.prefix().WriteDriveCFile("Program Files/Vendor/App/app.ico", std::string("\0\0\1\0icon", 8));
  const std::string ini =
      "<AddedItems><FileList>"
      "<File Name=\"%WINDIR%\\example.ini\"><Section Name=\"Main\" Key=\"A\" Value=\"it's\"/></File>"
      "<File Name=\"%PROGRAMFILES%\\Vendor\\App\\app.ini\"><Section Name=\"O'Brien\" Key=\"K\" Value=\"v\"/></File>"
      "</FileList></AddedItems>"
      "<ModifiedItems><FileList><File Name=\"%WINDIR%\\example.ini\"><Section Name=\"Main\" Key=\"B\" Value=\"2\"/>"
      "</File></FileList></ModifiedItems>"
      "<DeletedItems><FileList><File Name=\"%APPDATA%\\Vendor\\old.ini\"><Section Name=\"Old\" Key=\"C\" Value=\"3\"/>"
      "</File></FileList></DeletedItems>";
  const std::string shortcuts =
      "<Shortcut Name=\"Missing\" ExeName=\"nothere.exe\" Directory=\"DesktopFolder\" Icon=\"\" IconIndex=\"0\"/>"
      "<Shortcut Name=\"App\" ExeName=\"app.exe\" Directory=\"ProgramMenuFolder\" "
      "Icon=\"%PROGRAMFILES%\\Vendor\\App\\app.ico\" IconIndex=\"0\"/>"
      "<Shortcut Name=\"App again\" ExeName=\"app.exe\" Directory=\"DesktopFolder\" "
      "Icon=\"%PROGRAMFILES%\\Vendor\\App\\app.ico\" IconIndex=\"1\"/>"
      "<Shortcut Name=\"No icon\" ExeName=\"app.exe\" Directory=\"QuickLaunchFolder\" Icon=\"\" IconIndex=\"0\"/>";
  ASSERT_EQ(build.Build(ProjectText(
                "<Directory Name=\"%PROGRAMFILES%\\Vendor\\App\"><File Name=\"app.exe\"/><File Name=\"app.ico\"/>"
                "</Directory><Directory Name=\"%PROGRAMFILES%\\Vendor\\Other\"><File Name=\"app.exe\"/></Directory>",
                "", "", ini, shortcuts)),
            1);
  const Rows iniRows = build.Table(
      "SELECT `IniFile`,`FileName`,`DirProperty`,`Section`,`Key`,`Value`,`Action`,`Component_` FROM `IniFile`");
  EXPECT_EQ(iniRows.size(), 3u);
  EXPECT_TRUE(HasRow(iniRows, {"INIFile1", "app.ini", "APP", "O'Brien", "K", "v", "0", "INIHANDLECOMP"}));
  EXPECT_TRUE(HasRow(iniRows, {"INIFile2", "example.ini", "WindowsFolder", "Main", "A", "it's", "0", "INIHANDLECOMP"}));
  EXPECT_TRUE(HasRow(iniRows, {"INIFile3", "example.ini", "WindowsFolder", "Main", "B", "2", "0", "INIHANDLECOMP"}));
  const Rows removeRows = build.Table("SELECT `RemoveIniFile`,`FileName`,`DirProperty`,`Section`,`Key`,`Value`,"
                                      "`Action` FROM `RemoveIniFile`");
  ASSERT_EQ(removeRows.size(), 1u);
  // The INI folder below the application data got its own Directory row.
  EXPECT_EQ(removeRows[0], (Row{"INIFile1", "old.ini", "VENDOR1", "Old", "C", "3", "2"}));
  EXPECT_TRUE(HasRow(build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`"),
                     {"VENDOR1", "AppDataFolder", "Vendor"}));

  const Rows shortcutRows = build.Table(
      "SELECT `Shortcut`,`Directory_`,`Name`,`Component_`,`Target`,`Icon_`,`IconIndex` FROM `Shortcut`");
  EXPECT_EQ(shortcutRows.size(), 3u);
  EXPECT_TRUE(HasRow(shortcutRows, {"Shortcut1", "ProgramMenuFolder", "App", "APP.EXECOMP", "[#app.exe]", "Icon1", "0"}));
  EXPECT_TRUE(HasRow(shortcutRows, {"Shortcut2", "DesktopFolder", "App again", "APP.EXECOMP", "[#app.exe]", "Icon1", "1"}));
  EXPECT_TRUE(HasRow(shortcutRows, {"Shortcut3", "QuickLaunchFolder", "No icon", "APP.EXECOMP", "[#app.exe]", "", "0"}));
  EXPECT_EQ(build.Table("SELECT `Name` FROM `Icon`"), (Rows{{"Icon1"}}));
  EXPECT_EQ(build.Table("SELECT `Directory_`,`Attributes` FROM `Component` WHERE `Component`='INIHANDLECOMP'"),
            (Rows{{"INSTALLDIR", "0"}}));
}

TEST(TablesTest, PropertiesAndSummary) {
  Builder build;
  ASSERT_EQ(build.Build(ProjectText("")), 1);
  const Rows properties = build.Table("SELECT `Property`,`Value` FROM `Property`");
  EXPECT_TRUE(HasRow(properties, {"ProductName", "Example"}));
  EXPECT_TRUE(HasRow(properties, {"Manufacturer", "Example Ltd"}));
  EXPECT_TRUE(HasRow(properties, {"ProductVersion", "1.0"}));
  EXPECT_TRUE(HasRow(properties, {"ALLUSERS", "1"}));
  int codes = 0;
  for (const auto& row : properties)
    if (row[0] == "ProductCode" || row[0] == "UpgradeCode") codes += std::regex_match(row[1], kGuid) ? 1 : 0;
  EXPECT_EQ(codes, 2);
}

TEST(TablesTest, BulkImportGivesTheSameRows) {
  // Large tables are imported as a whole; with the threshold at 0 every table goes that way.
  std::vector<Rows> results;
  for (size_t bulk : {size_t(1000), size_t(0)}) {
    Builder build;
    build.handler().SetBulkRows(bulk);
    build.prefix().WriteDriveCFile("Program Files/Vendor/O'Neil/данные.txt", "d");
    build.prefix().WriteDriveCFile("Program Files/Vendor/a b.txt", "ab");
    build.prefix().AddSystemReg("[Software\\\\Example] 1700000000\n\"Tab\"=\"a\\tb\"\n\"Line\"=\"x\\ny\"\n");
    ASSERT_EQ(build.Build(ProjectText(
                  "<Directory Name=\"%PROGRAMFILES%\\Vendor\\O'Neil\"><File Name=\"данные.txt\"/></Directory>"
                  "<Directory Name=\"%PROGRAMFILES%\\Vendor\"><File Name=\"a b.txt\"/></Directory>"
                  "<Directory Name=\"%PROGRAMFILES%\\Vendor\\Empty\"/>",
                  "", "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Example\"><Value Name=\"&quot;Tab&quot;\" "
                  "Type=\"REG_SZ\"/><Value Name=\"&quot;Line&quot;\" Type=\"REG_SZ\"/></SubKey>")),
              1) << (build.errors().empty() ? "" : build.errors().front());
    Rows all;
    for (const char* query :
         {"SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`",
          "SELECT `File`,`Component_`,`FileName`,`FileSize`,`Sequence` FROM `File`",
          "SELECT `Component`,`Directory_`,`Attributes` FROM `Component`",
          "SELECT `Feature_`,`Component_` FROM `FeatureComponents`", "SELECT `Directory_`,`Component_` FROM `CreateFolder`",
          "SELECT `Registry`,`Root`,`Key`,`Name`,`Value` FROM `Registry`", "SELECT `Property` FROM `Property`"}) {
      Rows rows = build.Table(query);
      std::sort(rows.begin(), rows.end());
      all.insert(all.end(), rows.begin(), rows.end());
    }
    results.push_back(all);
  }
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0], results[1]);
  EXPECT_TRUE(HasRow(results[1], {"CorvaneRegistry0", "2", "Software\\Example", "Tab", "a\tb"}));
  EXPECT_TRUE(HasRow(results[1], {"CorvaneRegistry1", "2", "Software\\Example", "Line", "x\ny"}));
  EXPECT_TRUE(HasRow(results[1], {"O'NEIL", "VENDOR", "O'Neil"}));
}

TEST(TablesTest, BadInputFailsWithoutLeavingAPackage) {
  {
    Builder build;
    EXPECT_EQ(build.Build("<Project><FileSystem>"), 0);  // malformed
    ASSERT_FALSE(build.errors().empty());
    EXPECT_NE(build.errors().front().find("Unable to load Project File"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(build.PackageHostPath()));
  }
  {
    Builder build;
    // A captured file that is gone: named in the error, and no package.
    build.prefix().WriteDriveCFile("Program Files/Vendor/here.txt", "here");
    EXPECT_EQ(build.Build(ProjectText("<Directory Name=\"%PROGRAMFILES%\\Vendor\"><File Name=\"here.txt\"/>"
                                      "<File Name=\"gone.txt\"/></Directory>")),
              0);
    bool named = false;
    for (const auto& error : build.errors()) named |= error.find("gone.txt") != std::string::npos;
    EXPECT_TRUE(named);
    EXPECT_FALSE(std::filesystem::exists(build.PackageHostPath()));
    EXPECT_FALSE(std::filesystem::exists(build.PackageHostPath().string() + ".partial"));
  }
  {
    Builder build;
    std::filesystem::remove_all(build.prefix().Scratch() / "out");  // the output folder is missing
    EXPECT_EQ(build.Build(ProjectText("")), 0);
    ASSERT_FALSE(build.errors().empty());
    EXPECT_NE(build.errors().front().find("Unable to Open"), std::string::npos) << build.errors().front();
  }
}

}  // namespace
