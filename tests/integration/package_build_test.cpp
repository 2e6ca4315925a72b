// The package builder end to end: the sample project's files and registry values are put on a
// fresh machine through Wine, the command line builds the package, and the machine's own Windows
// Installer installs it on a second fresh machine and removes it again. The test machines are
// 64-bit ones, so the package is a 64-bit package: everything lands exactly where the staging
// put it on the first machine, not in the 32-bit places, and what the staging put in the 32-bit
// program-files folder lands there.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "support/capture_program.h"
#include "support/registry_change_lines.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "sample-project";
const fs::path kProgram = fs::path(CORVANE_PROGRAM_DIR) / "CorvaneRepackager";
const fs::path kVendor = fs::path("Program Files") / "Corvane Demo";
const fs::path kInstalled = kVendor;
const fs::path kInstalled32 = fs::path("Program Files (x86)") / "Corvane Demo";
const fs::path kLegacy = fs::path("Program Files (x86)") / "Corvane Legacy" / "bin" / "legacy.txt";

std::string Windows(const fs::path& host) { return WideToUtf8(platform::Machine::WindowsPath(host)); }

// Runs the program on the machine of `prefix`; stdout and stderr go to `output`.
int RunProgram(const WinePrefixCopy& prefix, const std::vector<std::string>& arguments, std::string* output) {
  std::vector<std::string> command{kProgram.string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunHostCommand(command, ProgramEnvironment(prefix), output);
}

void Stage(const WinePrefixCopy& source) {
  fs::copy(kSample / "drive_c", source.driveC(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::create_directories(source.driveC() / kVendor / "Empty Folder");
  ASSERT_EQ(source.Run({"regedit", "/s", Windows(kSample / "sample.reg")}), 0);
}

std::vector<fs::path> FindNamed(const fs::path& root, const std::string& name) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end; it != end;
       it.increment(ec)) {
    if (ec) break;
    if (it->is_symlink()) it.disable_recursion_pending();  // profile links lead to the host home
    if (it->path().filename() == name) found.push_back(it->path());
  }
  return found;
}

// Bad command lines and inputs on a machine that was never staged: clear messages, exit status 2
// for the command line and 1 for the input, and nothing left in the output folder.
void CheckBadCommandLinesAndInputs(const WinePrefixCopy& machine) {
  TempFolder work;
  const std::string project = (kSample / "ProjectFile.xml").string();
  const fs::path broken = work.WriteFile("broken.xml", "<Project><FileSystem>");
  work.WriteFile("plainfile", "x");
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{}, 2, "wizard"},
      {{"only-one"}, 2, "Check the Command Line Argument"},
      {{project, work.path().string()}, 2, "Check the Command Line Argument"},
      {{(work.path() / "nothere.xml").string(), "-Path=" + work.path().string()}, 1, "Given XML file not found"},
      {{broken.string(), "-Path=" + (work.path() / "out1").string(), "-File=x.msi"}, 1, "Unable to load Project File"},
      // Captured files missing from the machine: this machine was never staged.
      {{project, "-Path=" + (work.path() / "out2").string(), "-File=x.msi"}, 1, "app.exe"},
      // An output folder that cannot be created (its parent is a file).
      {{project, "-Path=" + (work.path() / "plainfile" / "out").string(), "-File=x.msi"}, 1, "cannot be created"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    std::string output;
    EXPECT_EQ(RunProgram(machine, c.arguments, &output), c.status);
    EXPECT_NE(output.find(c.says), std::string::npos) << output;
  }
  EXPECT_FALSE(fs::exists(work.path() / "out1" / "x.msi"));
  EXPECT_TRUE(fs::is_directory(work.path() / "out2"));
  EXPECT_TRUE(fs::is_empty(work.path() / "out2")) << "a failed build left files behind";
}

class PackageBuildTest : public ::testing::Test {};

TEST_F(PackageBuildTest, SampleProjectInstallsAndUninstallsUnderWineAndBadInputsFailClearly) {
  TempFolder out;
  fs::path package;
  {
    WinePrefixCopy source;
    ASSERT_TRUE(source.ok()) << source.error();
    Stage(source);
    std::string output;
    const int status = RunProgram(source, {(kSample / "ProjectFile.xml").string(), "-Path=" + out.path().string(),
                                           "-File=Demo.MSI"},
                                  &output);
    ASSERT_EQ(status, 0) << output;
    package = out.path() / "demo.msi";  // the name reaches the builder lower-cased
    ASSERT_TRUE(fs::is_regular_file(package)) << output;
    EXPECT_NE(output.find(package.filename().string()), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(out.path() / "MSIProject.cab"));  // stored inside, then removed
    platform::InstallerDatabase database;
    ASSERT_EQ(database.OpenReadOnly(platform::Machine::WindowsPath(package)), platform::kSuccess);
    EXPECT_EQ(database.GetSummaryText(platform::kPidTemplate), "x64;1033");
    // The value in the 32-bit program-files folder refers to it by the plain property, which a
    // 64-bit package resolves to that folder.
    platform::InstallerView view;
    ASSERT_EQ(view.Open(database, "SELECT `Value` FROM `Registry` WHERE `Name`='Legacy'"), platform::kSuccess);
    ASSERT_EQ(view.Execute(nullptr), platform::kSuccess);
    std::unique_ptr<platform::InstallerRecord> record;
    ASSERT_EQ(view.Fetch(record), platform::kSuccess);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->GetString(1), "[ProgramFilesFolder]Corvane Legacy\\bin\\legacy.txt");
  }

  WinePrefixCopy target;
  ASSERT_TRUE(target.ok()) << target.error();
  CheckBadCommandLinesAndInputs(target);
  // An INI entry the package deletes, beside one it leaves alone.
  WriteHostFile(target.driveC() / "windows" / "corvane-demo.ini", "[Old]\r\nObsolete=yes\r\nKeep=1\r\n");
  fs::copy_file(package, target.driveC() / "demo.msi");
  ASSERT_EQ(target.Run({"msiexec", "/i", "C:\\demo.msi", "/qn", "/l*v", "C:\\install.log"}), 0);
  // The folder the INI component hangs on is the 64-bit program-files folder too.
  const std::string log = ReadHostFile(target.driveC() / "install.log");
  EXPECT_NE(log.find("INSTALLDIR = C:\\Program Files\\"), std::string::npos) << log.substr(0, 4000);

  // Files byte for byte where the package maps them, and the empty folder.
  for (const char* relative : {"app.exe", "app.ico", "readme.txt", "O'Brien notes.txt", "data/settings.dat",
                               "data/cache/index.dat", "Пример/данные.txt"}) {
    const fs::path installed = target.driveC() / kInstalled / relative;
    ASSERT_TRUE(fs::exists(installed)) << installed;
    EXPECT_EQ(ReadHostFile(installed), ReadHostFile(kSample / "drive_c" / kVendor / relative)) << relative;
  }
  EXPECT_TRUE(fs::is_directory(target.driveC() / kInstalled / "Empty Folder"));
  EXPECT_FALSE(fs::exists(target.driveC() / kInstalled32));
  // The file of the 32-bit program-files folder, stored as "%PROGRAMFILES% (x86)\...".
  ASSERT_TRUE(fs::exists(target.driveC() / kLegacy));
  EXPECT_EQ(ReadHostFile(target.driveC() / kLegacy), ReadHostFile(kSample / "drive_c" / kLegacy));
  const auto shortcuts = FindNamed(target.driveC() / "users", "Corvane Demo.lnk");
  ASSERT_EQ(shortcuts.size(), 1u);
  EXPECT_NE(shortcuts[0].string().find("Start Menu/Programs"), std::string::npos) << shortcuts[0];

  // INI entries: added and modified ones written, the deleted one removed.
  const std::string windowsIni = ReadHostFile(target.driveC() / "windows" / "corvane-demo.ini");
  EXPECT_NE(windowsIni.find("Installed=1"), std::string::npos) << windowsIni;
  EXPECT_NE(windowsIni.find("Mode=quiet"), std::string::npos) << windowsIni;
  EXPECT_NE(windowsIni.find("[O'Brien]"), std::string::npos) << windowsIni;
  EXPECT_NE(windowsIni.find("Quote=it's here"), std::string::npos) << windowsIni;
  EXPECT_NE(windowsIni.find("Keep=1"), std::string::npos) << windowsIni;
  EXPECT_EQ(windowsIni.find("Obsolete"), std::string::npos) << windowsIni;
  EXPECT_NE(ReadHostFile(target.driveC() / kInstalled / "demo.ini").find("Data=data"), std::string::npos);

  // Registry values, read through the machine seam from the target machine.
  {
    platform::RegistryKey key;
    ASSERT_EQ(key.Open(platform::RootKey::LocalMachine, L"Software\\Corvane Demo"), platform::kSuccess);
    EXPECT_EQ(StringValue(key, L"Path"), L"C:\\Program Files\\Corvane Demo\\app.exe");
    EXPECT_EQ(StringValue(key, L"Legacy"), L"C:\\Program Files (x86)\\Corvane Legacy\\bin\\legacy.txt");
    EXPECT_EQ(StringValue(key, L""), L"Corvane Demo default");
    EXPECT_EQ(StringValue(key, L"O'Brien"), L"it's O'Brien's");
    EXPECT_EQ(StringValue(key, L"Grüße 日本"), L"naïve € 日本 Ω");
    // Every value type, byte for byte, is the faithful-package test's concern; one typed value here.
    uint32_t count = 0;
    EXPECT_EQ(key.QueryDword(L"Count", count), platform::kSuccess);
    EXPECT_EQ(count, 255u);
  }
  {
    // Nothing in the 32-bit view of the registry.
    platform::RegistryKey key;
    EXPECT_NE(key.Open(platform::RootKey::LocalMachine, L"Software\\Wow6432Node\\Corvane Demo"), platform::kSuccess);
  }
  {
    platform::RegistryKey key;
    ASSERT_EQ(key.Open(platform::RootKey::CurrentUser, L"Software\\Corvane Demo"), platform::kSuccess);
    EXPECT_EQ(StringValue(key, L"User"), L"hkcu value");
    platform::RegistryKey settings;
    ASSERT_EQ(settings.Open(key, L"Settings"), platform::kSuccess);
    uint32_t level = 0;
    EXPECT_EQ(settings.QueryDword(L"Level", level), platform::kSuccess);
    EXPECT_EQ(level, 7u);
  }

  // And all of it goes again.
  ASSERT_EQ(target.Run({"msiexec", "/x", "C:\\demo.msi", "/qn"}), 0);
  EXPECT_FALSE(fs::exists(target.driveC() / kInstalled / "app.exe"));
  EXPECT_FALSE(fs::exists(target.driveC() / kInstalled / "Empty Folder"));
  EXPECT_FALSE(fs::exists(target.driveC() / kLegacy));
  // The machine's own folders stay (the registry component hangs on the program-files folder).
  EXPECT_TRUE(fs::is_directory(target.driveC() / "Program Files" / "Common Files"));
  EXPECT_TRUE(fs::is_directory(target.driveC() / "windows" / "system32"));
  EXPECT_TRUE(FindNamed(target.driveC() / "users", "Corvane Demo.lnk").empty());
  platform::Machine::Reset();
  {
    platform::RegistryKey key;
    if (key.Open(platform::RootKey::LocalMachine, L"Software\\Corvane Demo") == platform::kSuccess) {
      std::wstring text;
      EXPECT_NE(key.QueryString(L"Path", text), platform::kSuccess);
      uint32_t count = 0;
      EXPECT_NE(key.QueryDword(L"Count", count), platform::kSuccess);
    }
  }
  EXPECT_EQ(ReadHostFile(target.driveC() / "windows" / "corvane-demo.ini").find("Installed=1"), std::string::npos);
}

}  // namespace
