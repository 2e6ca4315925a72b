#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "package_fixture.h"

// libmsi 0.101 loses a small block inside itself on every package it writes (a string it
// duplicates and never frees); no caller can free it, so it must not fail the sanitizer run.

namespace {

using package_test::Builder;
using package_test::HasRow;
using package_test::ProjectText;
using package_test::Rows;

using Row = std::vector<std::string>;

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
  EXPECT_EQ(dirs.size(), 28u + 4u);

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

  // The numbering belongs to one build: a second build by the same builder (as the wizard's
  // second package) numbers its files from 1 again and its Media row counts its own files only,
  // or the File rows would name sequences its cabinet does not have.
  ASSERT_EQ(build.Build(ProjectText("<Directory Name=\"%PROGRAMFILES%\\B\"><File Name=\"setup.ini\"/></Directory>")), 1);
  EXPECT_EQ(build.Table("SELECT `File`,`Sequence` FROM `File`"), (Rows{{"setup.ini", "1"}}));
  EXPECT_EQ(build.Table("SELECT `LastSequence` FROM `Media`"), (Rows{{"1"}}));
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

// Every registry type: the Value column holds what the installer writes back as the same type
// and data; types it has no form for become binary of the same bytes, with a warning.
TEST(TablesTest, RegistryValuesOfEveryType) {
  const struct {
    const char* name;     // as stored in the project ("@" for the default value)
    const char* regLine;  // the value's line in the machine's registry file
    const char* type;     // the project's type name
    const char* column;   // the Value column
    const char* warning;  // a part of the warning, or ""
  } cases[] = {
      {"@", "@=\"default text\"", "REG_SZ", "default text", ""},
      {"\"Path\"", "\"Path\"=\"C:\\\\Program Files\\\\Example\\\\app.exe\"", "REG_SZ",
       "[ProgramFilesFolder]Example\\app.exe", ""},
      {"\"Empty\"", "\"Empty\"=\"\"", "REG_SZ", "", ""},
      {"\"Hash\"", "\"Hash\"=\"#not a number\"", "REG_SZ", "##not a number", ""},
      {"\"Brackets\"", "\"Brackets\"=\"[ProductName] x]\"", "REG_SZ", "[\\[]ProductName[\\]] x[\\]]", ""},
      {"\"Tilde\"", "\"Tilde\"=\"[~]a\"", "REG_SZ", "[\\[]~[\\]]a", ""},
      {"\"O'Brien\"", "\"O'Brien\"=\"it's here\"", "REG_SZ", "it's here", ""},
      {"\"Expand\"", "\"Expand\"=str(2):\"%TEMP%\\\\x.log\"", "REG_EXPAND_SZ", "#%%TEMP%\\x.log", ""},
      {"\"List\"", "\"List\"=str(7):\"a\\0b c\\0\"", "", "[~]a[~]b c[~]", ""},
      {"\"Gaps\"", "\"Gaps\"=str(7):\"a\\0\\0b\\0\"", "", "[~]a[~][~]b[~]", ""},
      {"\"NoItems\"", "\"NoItems\"=hex(7):00,00", "", "[~]", ""},
      {"\"Count\"", "\"Count\"=dword:000000ff", "REG_DWORD", "#255", ""},
      {"\"All\"", "\"All\"=dword:ffffffff", "REG_DWORD", "#-1", ""},
      {"\"Blob\"", "\"Blob\"=hex:00,10,ff", "REG_BINARY", "#x0010ff", ""},
      {"\"NoBytes\"", "\"NoBytes\"=hex:", "REG_BINARY", "#x", ""},
      // Rewritten with another type since the capture: packaged as it is now.
      {"\"Retyped\"", "\"Retyped\"=dword:00000001", "REG_SZ", "#1", ""},
      {"\"None\"", "\"None\"=hex(0):01,02", "", "#x0102", "REG_NONE with 2 bytes"},
      {"\"Quad\"", "\"Quad\"=hex(b):01,00,00,00,00,00,00,80", "REG_QWORD", "#x0100000000000080", "REG_QWORD"},
      {"\"Big\"", "\"Big\"=hex(5):00,00,00,01", "", "#x00000001", "REG_DWORD_BIG_ENDIAN"},
      {"\"[x]\"", "\"[x]\"=\"named\"", "REG_SZ", "named", ""},
      {"\"+\"", "\"+\"=\"plus\"", "REG_SZ", "plus", ""},
  };
  Builder build;
  std::string regText = "[Software\\\\Example] 1700000000\n";
  std::string values = "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Example\">";
  for (const auto& c : cases) {
    regText += std::string(c.regLine) + "\n";
    std::string name = c.name;
    ReplaceAll(name, "\"", "&quot;");
    values += "<Value Name=\"" + name + "\" Type=\"" + c.type + "\"/>";
  }
  values += "<Value Name=\"&quot;Missing&quot;\" Type=\"REG_SZ\"/></SubKey>";
  // Wine's registry files escape brackets of key names.
  regText += "[Software\\\\Ex\\[1\\]] 1700000000\n\"v\"=\"in a bracketed key\"\n";
  values += "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Ex[1]\"><Value Name=\"&quot;v&quot;\" Type=\"REG_SZ\"/>"
            "</SubKey>"
            "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\NoSuchKey\"><Value Name=\"&quot;X&quot;\" Type=\"REG_SZ\"/>"
            "</SubKey><SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\EmptyKey\"/>"
            "<SubKey Name=\"HKEY_CURRENT_CONFIG\\Software\\Example\"><Value Name=\"&quot;Y&quot;\" Type=\"REG_SZ\"/>"
            "</SubKey>"
            "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Large\"><Value Name=\"&quot;Huge&quot;\" Type=\"REG_BINARY\"/>"
            "</SubKey>";
  // 65600 bytes: as text longer than a cell of the package can hold.
  regText += "[Software\\\\Large] 1700000000\n\"Huge\"=hex:";
  for (int i = 0; i < 65600; ++i) regText += i == 0 ? "5a" : ",5a";
  regText += "\n";
  build.prefix().AddSystemReg(regText);
  ASSERT_EQ(build.Build(ProjectText("", "", values)), 1);
  const Rows rows = build.Table("SELECT `Registry`,`Root`,`Key`,`Name`,`Value`,`Component_` FROM `Registry`");
  std::string warnings;
  for (const std::string& warning : build.errors()) {
    EXPECT_EQ(warning.rfind("warning: ", 0), 0u) << warning;
    warnings += warning + "\n";
  }
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string name = c.name;
    name = name == "@" ? "" : name.substr(1, name.size() - 2);
    if (name == "[x]") name = "[\\[]x[\\]]";
    if (name == "+") name = "[\\+]";
    EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry" + std::to_string(number++), "2", "Software\\Example", name, c.column,
                              "REGDIFFCOMP"}))
        << (rows.size() > static_cast<size_t>(number - 1) ? rows[number - 1][4] : "");
    if (*c.warning != '\0') {
      EXPECT_NE(warnings.find("value " + std::string(c.name).substr(1, std::string(c.name).size() - 2) +
                              " of HKEY_LOCAL_MACHINE\\Software\\Example has type " + c.warning),
                std::string::npos)
          << warnings;
    }
  }
  EXPECT_TRUE(HasRow(rows, {"CorvaneRegistry" + std::to_string(number + 1), "2", "Software\\Ex[\\[]1[\\]]", "v",
                            "in a bracketed key", "REGDIFFCOMP"}));
  // What cannot be carried is named: a missing value, a missing key, a root the table cannot write.
  for (const char* left : {"Missing of HKEY_LOCAL_MACHINE\\Software\\Example is left out",
                           "X of HKEY_LOCAL_MACHINE\\Software\\NoSuchKey is left out",
                           "Y of HKEY_CURRENT_CONFIG\\Software\\Example is left out",
                           "Huge of HKEY_LOCAL_MACHINE\\Software\\Large is left out: its data (65600 bytes) is too long"})
    EXPECT_NE(warnings.find(left), std::string::npos) << left << "\n" << warnings;
  EXPECT_EQ(rows.size(), std::size(cases) + 1);
  EXPECT_EQ(build.handler().warnings().size(), 7u) << warnings;
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
      "<File Name=\"%PROGRAMFILES%\\Vendor\\App\\app.ini\"><Section Name=\"O'Brien [x]\" Key=\"K [y]\" Value=\"v [z]\"/></File>"
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
  // Brackets stay brackets: the columns are Formatted text.
  EXPECT_TRUE(HasRow(iniRows, {"INIFile1", "app.ini", "APP", "O'Brien [\\[]x[\\]]", "K [\\[]y[\\]]", "v [\\[]z[\\]]", "0",
                               "INIHANDLECOMP"}));
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
