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
using package_test::ProjectText;
using package_test::Rows;
using Row = std::vector<std::string>;
using Bitness = CMSIHandler::PackageBitness;

bool HasRow(const Rows& rows, const Row& expected) {
  return std::find(rows.begin(), rows.end(), expected) != rows.end();
}

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

TEST(BitnessMachineTest, TheBuilderFollowsTheMachineUnlessTold) {
  {
    Builder build(Bitness::FromMachine);
    ASSERT_EQ(build.Build(ProjectText("")), 1);
    EXPECT_TRUE(build.handler().package64());
    EXPECT_EQ(build.SummaryText(platform::kPidTemplate), "x64;1033");
  }
  {
    Builder build(Bitness::FromMachine);
    SetArch(build.prefix(), "win32");
    ASSERT_EQ(build.Build(ProjectText("")), 1);
    EXPECT_FALSE(build.handler().package64());
    EXPECT_EQ(build.SummaryText(platform::kPidTemplate), "Intel;1033");
  }
  {
    // Asked for a 64-bit package on a 32-bit machine: the choice wins.
    Builder build(Bitness::Bits64);
    SetArch(build.prefix(), "win32");
    ASSERT_EQ(build.Build(ProjectText("")), 1);
    EXPECT_TRUE(build.handler().package64());
    EXPECT_EQ(build.SummaryText(platform::kPidTemplate), "x64;1033");
  }
}

class BitnessNamingTest : public ::testing::Test {
 protected:
  static std::wstring Root(std::wstring path) {
    CPackageNames::MapRootComponent(path, true);
    return path;
  }
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
  EXPECT_EQ(Root(L"%PROGRAMFILES%"), L"ProgramFiles64Folder");
  EXPECT_EQ(Root(L"system32"), L"System64Folder");
  // Folders without a twin keep their names.
  EXPECT_EQ(Root(L"%WINDIR%"), L"WindowsFolder");
  EXPECT_EQ(Root(L"%APPDATA%"), L"AppDataFolder");
  EXPECT_EQ(Root(L"D:"), L"TARGETDIR");
  EXPECT_EQ(Root(L"%PROGRAMFILES%\\Vendor"), L"%PROGRAMFILES%\\Vendor");

  EXPECT_EQ(Property(L"%PROGRAMFILES%\\Vendor\\App"), L"ProgramFiles64Folder");
  EXPECT_EQ(Property(L"%WINDIR%\\system32\\drivers"), L"System64Folder");
  EXPECT_EQ(Property(L"%WINDIR%\\system"), L"System16Folder");
  EXPECT_EQ(Property(L"%WINDIR%"), L"WindowsFolder");
  EXPECT_EQ(Property(L"%APPDATA%\\Vendor"), L"APPDATA");
  EXPECT_EQ(Property(L"c:"), L"WindowsVolume");

  EXPECT_EQ(References(L"C:\\Program Files\\Vendor\\app.exe;C:\\Program Files\\x"),
            L"[ProgramFiles64Folder]Vendor\\app.exe;[ProgramFiles64Folder]x");
  EXPECT_EQ(References(L"C:\\windows\\system32\\x.dll"), L"[WindowsFolder]system32\\x.dll");
}

// "C:\Program Files (x86)" is stored as "%PROGRAMFILES% (x86)"; a 64-bit package names it by the
// plain ProgramFilesFolder, which the installer resolves to that folder in such a package.
TEST_F(BitnessNamingTest, TheX86ProgramFilesFolderIsThePlainProperty) {
  EXPECT_EQ(Root(L"%PROGRAMFILES% (x86)"), L"ProgramFilesFolder");
  EXPECT_EQ(Root(L"%PROGRAMFILES%"), L"ProgramFiles64Folder");
  EXPECT_EQ(Root(L"%PROGRAMFILES% (x86)\\Vendor"), L"%PROGRAMFILES% (x86)\\Vendor");
  EXPECT_EQ(Root(L"%PROGRAMFILES% (X86)"), L"%PROGRAMFILES% (X86)");  // case-sensitive, like every root

  EXPECT_EQ(Property(L"%PROGRAMFILES% (x86)\\Vendor\\App"), L"ProgramFilesFolder");
  EXPECT_EQ(Property(L"%PROGRAMFILES% (x86)"), L"ProgramFilesFolder");
  // A folder merely starting like it is still under the 64-bit program-files folder.
  EXPECT_EQ(Property(L"%PROGRAMFILES% (x86)Old\\App"), L"ProgramFiles64Folder");
  EXPECT_EQ(Property(L"%PROGRAMFILES%\\Vendor (x86)"), L"ProgramFiles64Folder");

  EXPECT_EQ(References(L"C:\\Program Files (x86)\\Vendor\\app.exe"), L"[ProgramFilesFolder]Vendor\\app.exe");
  EXPECT_EQ(References(L"\"C:\\Program Files (x86)\\Old\\a.exe\" /dir \"C:\\Program Files\\Vendor\""),
            L"\"[ProgramFilesFolder]Old\\a.exe\" /dir \"[ProgramFiles64Folder]Vendor\"");
  // Without a "\" after it the folder is left alone, as every other value is.
  EXPECT_EQ(References(L"C:\\Program Files (x86)"), L"C:\\Program Files (x86)");

  // A 32-bit package keeps its rules: no such root, the plain property by containment, and
  // the text left alone (its value is not followed by "\").
  std::wstring root = L"%PROGRAMFILES% (x86)";
  EXPECT_FALSE(CPackageNames::MapRootComponent(root, false));
  EXPECT_EQ(root, L"%PROGRAMFILES% (x86)");
  std::wstring folder = L"%PROGRAMFILES% (x86)\\Vendor";
  CPackageNames::MapFolderToProperty(folder, false);
  EXPECT_EQ(folder, L"ProgramFilesFolder");
  std::wstring text = L"C:\\Program Files (x86)\\Vendor\\app.exe";
  CPackageNames::SubstituteFolderReferences(text, false);
  EXPECT_EQ(text, L"C:\\Program Files (x86)\\Vendor\\app.exe");
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

// Files under "C:\Program Files (x86)" in a 64-bit package hang below ProgramFilesFolder, beside
// their namesakes under the 64-bit folder; a 32-bit package keeps its walk as it always was.
TEST(BitnessTablesTest, TheX86ProgramFilesFolderKeepsItsPlaceInA64BitPackage) {
  for (const bool package64 : {true, false}) {
    SCOPED_TRACE(package64 ? "64-bit" : "32-bit");
    Builder build(package64 ? Bitness::Bits64 : Bitness::Bits32);
    build.prefix().WriteDriveCFile("Program Files (x86)/Vendor/App/old.exe", "MZ-old");
    build.prefix().WriteDriveCFile("Program Files (x86)/top86.txt", "top");
    build.prefix().WriteDriveCFile("Program Files/Vendor/App/app.exe", "MZ-app");
    build.prefix().AddSystemReg(
        "[Software\\\\Example] 1700000000\n"
        "\"Legacy\"=\"C:\\\\Program Files (x86)\\\\Vendor\\\\old.exe\"\n");
    ASSERT_EQ(build.Build(ProjectText("<Directory Name=\"%PROGRAMFILES% (x86)\\Vendor\\App\"><File Name=\"old.exe\"/>"
                                      "</Directory><Directory Name=\"%PROGRAMFILES%\\Vendor\\App\">"
                                      "<File Name=\"app.exe\"/></Directory><Directory Name=\"%PROGRAMFILES% (x86)\">"
                                      "<File Name=\"top86.txt\"/></Directory>",
                                      "",
                                      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\Software\\Example\">"
                                      "<Value Name=\"&quot;Legacy&quot;\" Type=\"REG_SZ\"/></SubKey>")),
              1)
        << (build.errors().empty() ? "" : build.errors().front());
    EXPECT_TRUE(build.errors().empty());

    const Rows dirs = build.Table("SELECT `Directory`,`Directory_Parent`,`DefaultDir` FROM `Directory`");
    Rows components = build.Table("SELECT `Component`,`Directory_` FROM `Component`");
    std::sort(components.begin(), components.end());
    const Rows registry = build.Table("SELECT `Name`,`Value` FROM `Registry`");
    EXPECT_TRUE(HasRow(dirs, {"APP", "VENDOR", "App"}));
    EXPECT_TRUE(HasRow(dirs, {"APP1", "VENDOR1", "App"}));
    if (package64) {
      EXPECT_TRUE(HasRow(dirs, {"VENDOR", "ProgramFilesFolder", "Vendor"}));
      EXPECT_TRUE(HasRow(dirs, {"VENDOR1", "ProgramFiles64Folder", "Vendor"}));
      EXPECT_EQ(components, (Rows{{"APP.EXECOMP", "APP1"},
                                  {"INIHANDLECOMP", "INSTALLDIR"},
                                  {"OLD.EXECOMP", "APP"},
                                  {"REGDIFFCOMP", "ProgramFiles64Folder"},
                                  {"TOP86.TXTCOMP", "ProgramFilesFolder"}}));
      EXPECT_EQ(registry, (Rows{{"Legacy", "[ProgramFilesFolder]Vendor\\old.exe"}}));
    } else {
      // The walk does not know the folder as a root: it names it as the parent it found and
      // registers it under that name, which its own files then take.
      EXPECT_TRUE(HasRow(dirs, {"VENDOR", "%PROGRAMFILES% (X86)", "Vendor"}));
      EXPECT_TRUE(HasRow(dirs, {"VENDOR1", "ProgramFilesFolder", "Vendor"}));
      EXPECT_EQ(components, (Rows{{"APP.EXECOMP", "APP1"},
                                  {"INIHANDLECOMP", "INSTALLDIR"},
                                  {"OLD.EXECOMP", "APP"},
                                  {"REGDIFFCOMP", "ProgramFilesFolder"},
                                  {"TOP86.TXTCOMP", "%PROGRAMFILES% (X86)"}}));
      EXPECT_EQ(registry, (Rows{{"Legacy", "C:\\Program Files (x86)\\Vendor\\old.exe"}}));
    }
  }
}

}  // namespace
