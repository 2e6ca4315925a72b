// 32-bit and 64-bit packages: how the machine's word size is found, the 64-bit folder names, and
// the tables of a 64-bit package read back beside those of a 32-bit one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "core/work_paths.h"
#include "support/scoped_environment_values.h"
#include "package/package_names.h"
#include "package_fixture.h"
#include "platform/machine_arch.h"

namespace {

using package_test::Builder;
using package_test::HasRow;
using package_test::ProjectText;
using package_test::Rows;
using Row = std::vector<std::string>;
using Bitness = CMSIHandler::PackageBitness;

void WriteSystemReg(const FixturePrefix& prefix, const std::string& text) {
  std::ofstream out(prefix.prefix() / "system.reg", std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  platform::Machine::Reset();
}

// The fixture's system.reg with another "#arch=" line.
void SetArch(const FixturePrefix& prefix, const std::string& arch) {
  std::string text = ReadHostFile(prefix.prefix() / "system.reg");
  const size_t at = text.find("#arch=win64");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 11, "#arch=" + arch);
  WriteSystemReg(prefix, text);
}

TEST(BitnessMachineTest, TheRegistryHeaderNamesTheArchitecture) {
  FixturePrefix prefix;
  prefix.Activate();
  EXPECT_TRUE(platform::MachineIs64Bit());  // a fixture prefix is a wine64 one

  SetArch(prefix, "win32");
  EXPECT_FALSE(platform::MachineIs64Bit());

  WriteSystemReg(prefix, "WINE REGISTRY Version 2\r\n;; All keys relative to \\\\Machine\r\n\r\n#arch=win64\r\n\r\n"
                         "[Software] 1700000000\r\n");
  EXPECT_TRUE(platform::MachineIs64Bit());

  // Only the header counts, and a prefix that does not say is not taken for a 64-bit one.
  WriteSystemReg(prefix, "WINE REGISTRY Version 2\n\n[Software] 1700000000\n#arch=win64\n");
  EXPECT_FALSE(platform::MachineIs64Bit());
  WriteSystemReg(prefix, "");
  EXPECT_FALSE(platform::MachineIs64Bit());
  std::filesystem::remove(prefix.prefix() / "system.reg");
  platform::Machine::Reset();
  EXPECT_FALSE(platform::MachineIs64Bit());
}

TEST(BitnessMachineTest, TheBuilderFollowsWhatWasCapturedUnlessTold) {
  const std::string file64 = "<Directory Name=\"%PROGRAMFILES%\\App\"><File Name=\"a.exe\"/></Directory>";
  const struct {
    Bitness choice;
    const char* arch;
    std::string files;
    const char* platformTemplate;
  } cases[] = {
      {Bitness::FromContent, "win64", "", "Intel;1033"},
      {Bitness::FromContent, "win64", file64, "x64;1033"},
      {Bitness::FromContent, "win32", file64, "Intel;1033"},  // there the folder is the 32-bit one
      {Bitness::Bits64, "win32", "", "x64;1033"},             // the choice wins
      {Bitness::Bits32, "win64", file64, "Intel;1033"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.arch) + " " + c.files);
    Builder build(c.choice);
    build.prefix().WriteDriveCFile("Program Files/App/a.exe", "MZ");
    if (std::string(c.arch) != "win64") SetArch(build.prefix(), c.arch);
    ASSERT_EQ(build.Build(ProjectText(c.files)), 1);
    EXPECT_EQ(build.SummaryText(platform::kPidTemplate), c.platformTemplate);
    EXPECT_EQ(build.handler().package64(), std::string(c.platformTemplate) == "x64;1033");
  }
}

class BitnessNamingTest : public ::testing::Test {
 protected:
  static std::wstring Property(std::wstring path) {
    CPackageNames::MapFolderToProperty(path, true);
    return path;
  }
  static std::wstring References(std::wstring text) {
    CPackageNames::SubstituteFolderReferences(text, true);
    return text;
  }

  ScopedEnvironmentValues environment_;
};

TEST_F(BitnessNamingTest, FoldersWithA64BitTwinAreNamedByIt) {
  // Folders without a twin keep their names.
  EXPECT_EQ(Property(L"%PROGRAMFILES%\\Vendor\\App"), L"ProgramFiles64Folder");
  EXPECT_EQ(Property(L"%WINDIR%\\system32\\drivers"), L"System64Folder");
  EXPECT_EQ(Property(L"%WINDIR%\\system"), L"System16Folder");
  EXPECT_EQ(Property(L"%WINDIR%"), L"WindowsFolder");
  EXPECT_EQ(Property(L"%APPDATA%\\Vendor"), L"AppDataFolder");
  EXPECT_EQ(Property(L"c:"), L"WindowsVolume");

  EXPECT_EQ(References(L"C:\\Program Files\\Vendor\\app.exe;C:\\Program Files\\x"),
            L"[ProgramFiles64Folder]Vendor\\app.exe;[ProgramFiles64Folder]x");
  EXPECT_EQ(References(L"C:\\windows\\system32\\x.dll"), L"[WindowsFolder]system32\\x.dll");
}

TEST_F(BitnessNamingTest, FormattedTextsNameThe64BitFolders) {
  std::wstring text = L"[ProgramFilesFolder]Vendor\\;[SystemFolder]x.dll;[ProgramFilesFolder]";
  EXPECT_TRUE(CPackageNames::UseFolder64BitTwins(text));
  EXPECT_EQ(text, L"[ProgramFiles64Folder]Vendor\\;[System64Folder]x.dll;[ProgramFiles64Folder]");
  // Already 64-bit, other folders, and mere look-alikes stay.
  for (const wchar_t* same : {L"[ProgramFiles64Folder]", L"[AppDataFolder]Microsoft\\", L"[%USERPROFILE]\\",
                              L"ProgramFilesFolder", L"[System16Folder]"}) {
    std::wstring unchanged = same;
    EXPECT_FALSE(CPackageNames::UseFolder64BitTwins(unchanged)) << WideToUtf8(same);
    EXPECT_EQ(unchanged, same);
  }
  EXPECT_EQ(CPackageNames::Folder64BitTwin(L"WindowsFolder"), nullptr);
  EXPECT_EQ(CPackageNames::Folder64BitTwin(L"programfilesfolder"), nullptr);  // property names are exact
}

struct Expected {
  Bitness bitness;
  std::string platformTemplate;
  std::string programFiles;  // the program-files folder property
  std::string fileAttributes;
  std::string iniAttributes;
};

TEST(BitnessTablesTest, A64BitPackageNamesThe64BitPlacesEverywhere) {
  for (const Expected& expected : {Expected{Bitness::Bits32, "Intel;1033", "ProgramFilesFolder", "8", "0"},
                                   Expected{Bitness::Bits64, "x64;1033", "ProgramFiles64Folder", "264", "256"}}) {
    SCOPED_TRACE(expected.platformTemplate);
    Builder build(expected.bitness);
    build.prefix().WriteDriveCFile("Program Files/Vendor/App/app.exe", "MZ-app");
    build.prefix().WriteDriveCFile("Program Files/top.txt", "top");
    build.prefix().InDriveC("Program Files/Vendor/Empty", true);
    build.prefix().AddSystemReg(
        "[Software\\\\Example] 1700000000\n"
        "\"Path\"=\"C:\\\\Program Files\\\\Example\\\\app.exe\"\n"
        "\"Lib\"=\"C:\\\\windows\\\\system32\\\\x.dll\"\n");
    const std::string registry =
        "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Example\"><Value Name=\"&quot;Path&quot;\" Type=\"REG_SZ\"/>"
        "<Value Name=\"&quot;Lib&quot;\" Type=\"REG_SZ\"/></SubKey>";
    const std::string ini =
        "<AddedItems><FileList><File Name=\"%PROGRAMFILES%\\top.ini\"><Section Name=\"S\" Key=\"K\" Value=\"v\"/>"
        "</File></FileList></AddedItems><ModifiedItems><FileList/></ModifiedItems>"
        "<DeletedItems><FileList/></DeletedItems>";
    ASSERT_EQ(build.Build(ProjectText("<Directory Name=\"%PROGRAMFILES%\\Vendor\\App\"><File Name=\"app.exe\"/>"
                                      "</Directory><Directory Name=\"%PROGRAMFILES%\"><File Name=\"top.txt\"/>"
                                      "</Directory><Directory Name=\"%PROGRAMFILES%\\Vendor\\Empty\"/>",
                                      "", registry, ini)),
              1)
        << (build.errors().empty() ? "" : build.errors().front());
    EXPECT_TRUE(build.errors().empty());
    EXPECT_EQ(build.SummaryText(platform::kPidTemplate), expected.platformTemplate);

    // Every component, with its folder and attributes.
    Rows components = build.Table("SELECT `Component`,`Directory_`,`Attributes` FROM `Component`");
    std::sort(components.begin(), components.end());
    EXPECT_EQ(components, (Rows{{"APP.EXECOMP", "APP", expected.fileAttributes},
                                {"EMPTYCOMP1", "EMPTY", expected.fileAttributes},
                                {"INIHANDLECOMP", "INSTALLDIR", expected.iniAttributes},
                                {"REGDIFFCOMP", expected.programFiles, expected.fileAttributes},
                                {"TOP.TXTCOMP", expected.programFiles, expected.fileAttributes}}));

    const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
    EXPECT_TRUE(HasRow(dirs, {"VENDOR", expected.programFiles, "Vendor"}));
    EXPECT_TRUE(HasRow(dirs, {"APP", "VENDOR", "App"}));
    // One template serves both: it holds the 32-bit and the 64-bit folders.
    EXPECT_TRUE(HasRow(dirs, {"ProgramFilesFolder", "TARGETDIR", "PFiles"}));
    EXPECT_TRUE(HasRow(dirs, {"ProgramFiles64Folder", "TARGETDIR", "PFiles64"}));
    EXPECT_TRUE(HasRow(dirs, {"SystemFolder", "TARGETDIR", "System"}));
    EXPECT_TRUE(HasRow(dirs, {"System64Folder", "TARGETDIR", "System64"}));

    const Rows registryRows = build.Table("SELECT `Registry`,`Root`,`Key`,`Name`,`Value` FROM `Registry`");
    EXPECT_EQ(registryRows.size(), 2u);
    EXPECT_TRUE(HasRow(registryRows, {"CorvaneRegistry0", "2", "Software\\Example", "Path",
                                      "[" + expected.programFiles + "]Example\\app.exe"}));
    EXPECT_TRUE(HasRow(registryRows, {"CorvaneRegistry1", "2", "Software\\Example", "Lib",
                                      "[WindowsFolder]system32\\x.dll"}));

    EXPECT_EQ(build.Table("SELECT `IniFile`,`FileName`,`DirProperty` FROM `IniFile`"),
              (Rows{{"INIFile1", "top.ini", expected.programFiles}}));

    // INSTALLDIR lies in the program-files folder of the package's bitness; the other custom
    // actions are the template's.
    Rows actions = build.Table("SELECT `Action`,`Type`,`Source`,`Target` FROM `CustomAction`");
    std::sort(actions.begin(), actions.end());
    EXPECT_EQ(actions, (Rows{{"SetALLUSERSPROFILE", "51", "ALLUSERSPROFILE", "[%ALLUSERSPROFILE]\\"},
                             {"SetAPPDATA", "51", "APPDATA", "[%APPDATA]\\"},
                             {"SetINSTALLDIR", "51", "INSTALLDIR", "[" + expected.programFiles + "]"},
                             {"SetQuickLaunchFolder", "51", "QuickLaunchFolder",
                              "[AppDataFolder]Microsoft\\Internet Explorer\\Quick Launch\\"},
                             {"SetUSERPROFILE", "51", "USERPROFILE", "[%USERPROFILE]\\"}}));
  }
}

// A captured file and where it goes: its component and the component's folder.
struct Item {
  std::string folder;  // token form
  std::string file;
  std::string component;
  std::string directory;
};

std::string FilesXml(const std::vector<Item>& items) {
  std::string xml;
  for (const Item& item : items)
    xml += "<Directory Name=\"" + item.folder + "\"><File Name=\"" + item.file + "\"/></Directory>";
  return xml;
}

// One package holds 32-bit and 64-bit items: each in a component of its own view, at the path
// the program asked for; a capture without 64-bit items gives a 32-bit package.
TEST(BitnessTablesTest, EachItemKeepsItsViewAndThePackageFollowsWhatWasCaptured) {
  const std::vector<Item> items32 = {
      {"%PROGRAMFILES% (x86)\\Vendor\\App", "old.exe", "OLD.EXECOMP", "APP"},
      {"%PROGRAMFILES% (x86)\\Common Files\\Shared", "c32.dll", "C32.DLLCOMP", "SHARED"},
      {"%WINDIR%\\syswow64", "x32.dll", "X32.DLLCOMP", "SystemFolder"},
  };
  const std::vector<Item> neutral = {
      {"%USERPROFILE%\\AppData\\Local\\Programs\\X", "x.exe", "X.EXECOMP", "X"},
      {"%APPDATA%\\X", "roaming.ini", "ROAMING.INICOMP", "X1"},
      {"%USERPROFILE%\\Documents", "doc.txt", "DOC.TXTCOMP", "PersonalFolder"},
      {"%WINDIR%", "win.txt", "WIN.TXTCOMP", "WindowsFolder"},
  };
  const std::vector<Item> items64 = {
      {"%PROGRAMFILES%\\Vendor\\App", "app.exe", "APP.EXECOMP", "APP1"},
      {"%WINDIR%\\system32", "x64.dll", "X64.DLLCOMP", "System64Folder"},
  };
  const std::string registry32 =
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Example\"><Value Name=\"&quot;A&quot;\" "
      "Type=\"REG_SZ\"/></SubKey><SubKey Name=\"HKEY_CURRENT_USER\\Software\\Example\"><Value "
      "Name=\"&quot;C&quot;\" Type=\"REG_SZ\"/></SubKey>"
      "<SubKey Name=\"HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{X}\"><Value Name=\"@\" Type=\"REG_SZ\"/></SubKey>"
      "<SubKey Name=\"HKEY_CLASSES_ROOT\\.cfx\"><Value Name=\"@\" Type=\"REG_SZ\"/></SubKey>";
  const std::string registry64 =
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Example\"><Value Name=\"&quot;B&quot;\" Type=\"REG_SZ\"/></SubKey>";

  for (const bool with64 : {true, false}) {
    SCOPED_TRACE(with64 ? "with 64-bit items" : "32-bit and neutral items only");
    Builder build(Bitness::FromContent);
    std::vector<Item> items = items32;
    items.insert(items.end(), neutral.begin(), neutral.end());
    if (with64) items.insert(items.end(), items64.begin(), items64.end());
    for (const Item& item : items) {
      std::wstring real = Utf8ToWide(item.folder + "\\" + item.file);
      FromTokenForm(real);
      std::filesystem::path host = platform::Machine::HostPath(real);
      std::filesystem::create_directories(host.parent_path());
      std::ofstream(host) << item.file;
    }
    build.prefix().AddSystemReg("[Software\\\\Wow6432Node\\\\Example] 1700000000\n\"A\"=\"a\"\n"
                                "[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\{X}] 1700000000\n@=\"x32\"\n"
                                "[Software\\\\Classes\\\\.cfx] 1700000000\n@=\"cfx\"\n"
                                "[Software\\\\Example] 1700000000\n\"B\"=\"b\"\n");
    build.prefix().AddUserReg("[Software\\\\Example] 1700000000\n\"C\"=\"c\"\n");
    ASSERT_EQ(build.Build(ProjectText(FilesXml(items), "", registry32 + (with64 ? registry64 : ""))), 1)
        << (build.errors().empty() ? "" : build.errors().front());
    EXPECT_TRUE(build.errors().empty()) << build.errors().front();
    EXPECT_EQ(build.handler().package64(), with64);
    EXPECT_EQ(build.SummaryText(platform::kPidTemplate), with64 ? "x64;1033" : "Intel;1033");

    Rows components = build.Table("SELECT `Component`,`Directory_`,`Attributes` FROM `Component`");
    std::sort(components.begin(), components.end());
    Rows wanted;
    auto attributes = [with64](bool is32) { return with64 && !is32 ? "264" : "8"; };
    for (const Item& item : items32) wanted.push_back({item.component, item.directory, attributes(true)});
    for (const Item& item : neutral) wanted.push_back({item.component, item.directory, attributes(false)});
    if (with64)
      for (const Item& item : items64) wanted.push_back({item.component, item.directory, attributes(false)});
    wanted.push_back({"INIHANDLECOMP", "INSTALLDIR", with64 ? "256" : "0"});
    wanted.push_back({"REGDIFFCOMP", with64 ? "ProgramFiles64Folder" : "ProgramFilesFolder", attributes(false)});
    if (with64) wanted.push_back({"REGDIFFCOMP32", "ProgramFilesFolder", "8"});
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(components, wanted);

    const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
    EXPECT_TRUE(HasRow(dirs, {"VENDOR", "ProgramFilesFolder", "Vendor"}));
    EXPECT_TRUE(HasRow(dirs, {"SHARED", "CommonFilesFolder", "Shared"}));
    EXPECT_TRUE(HasRow(dirs, {"PROGRAMS", "LocalAppDataFolder", "Programs"}));
    EXPECT_TRUE(HasRow(dirs, {"X1", "AppDataFolder", "X"}));
    EXPECT_EQ(HasRow(dirs, {"VENDOR1", "ProgramFiles64Folder", "Vendor"}), with64);

    Rows registry = build.Table("SELECT `Root`,`Key`,`Name`,`Value`,`Component_` FROM `Registry`");
    std::sort(registry.begin(), registry.end());
    Rows wantedRegistry = {{"0", "CLSID\\{X}", "", "x32", with64 ? "REGDIFFCOMP32" : "REGDIFFCOMP"},
                           {"0", ".cfx", "", "cfx", "REGDIFFCOMP"},
                           {"1", "Software\\Example", "C", "c", "REGDIFFCOMP"},
                           {"2", "Software\\Example", "A", "a", with64 ? "REGDIFFCOMP32" : "REGDIFFCOMP"}};
    if (with64) wantedRegistry.push_back({"2", "Software\\Example", "B", "b", "REGDIFFCOMP"});
    std::sort(wantedRegistry.begin(), wantedRegistry.end());
    EXPECT_EQ(registry, wantedRegistry);
    if (with64) {
      EXPECT_TRUE(HasRow(build.Table("SELECT `Feature_`,`Component_` FROM `FeatureComponents`"),
                         {"MSIFeature", "REGDIFFCOMP32"}));
    }
  }
}

}  // namespace
