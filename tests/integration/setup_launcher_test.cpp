// Starting setup programs under Wine and waiting for them and everything they start.
#include "platform/setup_launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/strings.h"
#include "platform/machine.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

// Builds a silent 64-bit NSIS setup whose one section holds `body`; returns its host path.
fs::path BuildNsisSetup(const TempFolder& folder, const std::string& name, const std::string& body) {
  const fs::path script = folder.WriteFile(name + ".nsi",
                                           "Unicode true\n"
                                           "Target amd64-unicode\n"
                                           "SilentInstall silent\n"
                                           "RequestExecutionLevel user\n"
                                           "OutFile \"" + name + ".exe\"\n"
                                           "Section\n" + body + "\nSectionEnd\n");
  std::string output;
  const int status = RunHostCommand({"makensis", "-V1", script.string()}, {"PATH=/usr/bin:/bin"}, &output);
  EXPECT_EQ(status, 0) << output;
  return folder.path() / (name + ".exe");
}

// Runs one of the example build scripts; returns the path it prints.
fs::path BuildExample(const std::string& script, const TempFolder& folder) {
  std::string output;
  const int status = RunHostCommand({std::string(CORVANE_SOURCE_DIR) + "/examples/" + script, folder.path().string()},
                                    {"PATH=/usr/bin:/bin"}, &output);
  EXPECT_EQ(status, 0) << output;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  const size_t lastLine = output.rfind('\n');
  return output.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
}

std::wstring WindowsPathOf(const fs::path& host) { return platform::Machine::WindowsPath(host); }


class SetupLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(prefix_.ok()) << prefix_.error(); }
  WinePrefixCopy prefix_;
  TempFolder work_;
};

// Setups on one machine: one that writes a file, one whose child outlives it, two that fail.
TEST_F(SetupLauncherTest, SetupsAreWaitedForWithTheirChildrenAndGiveTheirExitCodes) {
  // What Wine printed goes into each failure message.
  auto wineOutput = [this](const std::string& name) { return ReadHostFile(work_.path() / (name + ".log")); };
  auto run = [this](const std::string& name, platform::LaunchOptions options = {}) {
    options.outputLogPath = WindowsPathOf(work_.path() / (name + ".log"));
    return platform::RunSetupAndWait(WindowsPathOf(work_.path() / (name + ".exe")), options);
  };
  BuildNsisSetup(work_, "writer",
                 "FileOpen $0 \"C:\\hello.txt\" w\n"
                 "FileWrite $0 \"hello from setup\"\n"
                 "FileClose $0");
  platform::LaunchResult result = run("writer");
  EXPECT_EQ(result.status, platform::kSuccess);
  EXPECT_EQ(result.exitCode, 0) << wineOutput("writer");
  EXPECT_TRUE(result.installerProcesses.empty());
  EXPECT_GT(result.elapsedSeconds, 0.0);
  EXPECT_EQ(ReadHostFile(prefix_.driveC() / "hello.txt"), "hello from setup");
  // The wait covered the prefix's server too: nothing of the prefix runs any more.
  EXPECT_EQ(prefix_.LiveProcesses(), 0);

  BuildNsisSetup(work_, "detached", "Exec 'cmd /c ping -n 3 127.0.0.1 & echo done > C:\\late.txt'");
  int ticks = 0;
  platform::LaunchOptions options;
  options.onTick = [&ticks] { ++ticks; };
  result = run("detached", options);
  EXPECT_EQ(result.status, platform::kSuccess);
  EXPECT_EQ(result.exitCode, 0) << wineOutput("detached");
  // The setup itself returned at once; the file is written by its child two seconds later.
  EXPECT_TRUE(fs::exists(prefix_.driveC() / "late.txt"));
  EXPECT_GT(ticks, 0);

  // A setup that ran and failed is not started a second time.
  BuildNsisSetup(work_, "fails",
                 "FileOpen $0 \"C:\\runs.txt\" a\n"
                 "FileSeek $0 0 END\n"
                 "FileWrite $0 \"run\"\n"
                 "FileClose $0\n"
                 "SetErrorLevel 1");
  result = run("fails");
  EXPECT_EQ(result.exitCode, 1) << wineOutput("fails");
  EXPECT_EQ(ReadHostFile(prefix_.driveC() / "runs.txt"), "run");

  // Wine passes on only the low 8 bits: 1603 arrives as 67.
  BuildNsisSetup(work_, "failing", "SetErrorLevel 1603");
  result = run("failing");
  EXPECT_EQ(result.status, platform::kSuccess);
  EXPECT_EQ(result.exitCode, 1603 & 0xFF) << wineOutput("failing");
}

TEST_F(SetupLauncherTest, MsiGoesToTheWindowsInstallerWithItsArguments) {
  const fs::path msi = BuildExample("sample-msi/build.sh", work_);
  ASSERT_TRUE(fs::exists(msi)) << msi;
  platform::LaunchOptions options;
  // A quoted path with a blank and a property: both must reach msiexec as typed.
  options.arguments = L"/l*v \"C:\\msi log.txt\" CORVANEPROP=abc";
  options.outputLogPath = WindowsPathOf(work_.path() / "run.log");
  const platform::LaunchResult result = platform::RunSetupAndWait(WindowsPathOf(msi), options);
  EXPECT_EQ(result.status, platform::kSuccess);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(fs::exists(prefix_.driveC() / "Program Files" / "Corvane Sample MSI" / "msireadme.txt"));
  std::string log = ReadHostFile(prefix_.driveC() / "msi log.txt");
  log.erase(std::remove(log.begin(), log.end(), '\0'), log.end());  // the log is UTF-16
  EXPECT_NE(log.find("CORVANEPROP = abc"), std::string::npos);
  EXPECT_TRUE(fs::exists(work_.path() / "run.log"));
  EXPECT_TRUE(result.leftoverProcesses.empty());
  // The Windows Installer's processes are reported.
  ASSERT_FALSE(result.installerProcesses.empty());
  bool sawInstallCommand = false;
  for (const auto& p : result.installerProcesses) {
    EXPECT_GT(p.processId, 0);
    const std::wstring line = FoldAsciiLower(p.commandLine);
    sawInstallCommand |= line.find(L"msiexec") != std::wstring::npos && line.find(L"/i") != std::wstring::npos &&
                         line.find(L"corvanesample.msi") != std::wstring::npos;
  }
  EXPECT_TRUE(sawInstallCommand) << WideToUtf8(result.installerProcesses.front().commandLine);
}

TEST_F(SetupLauncherTest, SampleSetupInstallsSilentlyWithoutADisplay) {
  const fs::path setup = BuildExample("sample-installer/build.sh", work_);
  ASSERT_TRUE(fs::exists(setup)) << setup;
  const platform::LaunchResult result = platform::RunSetupAndWait(WindowsPathOf(setup));
  EXPECT_EQ(result.status, platform::kSuccess);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.installerProcesses.empty());
  const fs::path vendor = prefix_.driveC() / "Program Files" / "Corvane Sample";
  EXPECT_TRUE(fs::is_regular_file(vendor / "CorvaneSample.exe"));
  EXPECT_EQ(ReadHostFile(vendor / "data" / "settings.dat"),
            ReadHostFile(fs::path(CORVANE_SOURCE_DIR) / "examples/sample-installer/files/data/settings.dat"));
  EXPECT_TRUE(fs::is_directory(vendor / "logs"));
  EXPECT_TRUE(fs::is_empty(vendor / "logs"));
  EXPECT_NE(ReadHostFile(prefix_.driveC() / "windows" / "win.ini").find("CorvaneSample=1"), std::string::npos);
  EXPECT_TRUE(fs::exists(prefix_.driveC() / "ProgramData/Microsoft/Windows/Start Menu/Programs/Corvane Sample.lnk"));
  // The registry was written back when the wait ended.
  const std::string system = ReadHostFile(prefix_.prefix() / "system.reg");
  EXPECT_NE(system.find("[Software\\\\Corvane Labs\\\\Corvane Sample]"), std::string::npos);
  EXPECT_NE(system.find("\"Build\"=dword:0000002a"), std::string::npos);
  const std::string user = ReadHostFile(prefix_.prefix() / "user.reg");
  EXPECT_NE(user.find("\"Window\"=hex:2c,00,00,00,10,00,20,00"), std::string::npos);
}

// Setups that are not there are reported without starting Wine; one that never ends is stopped.
TEST_F(SetupLauncherTest, MissingSetupsAreReportedAndOneThatNeverEndsIsStoppedAtTheTimeout) {
  const platform::LaunchResult missingFile = platform::RunSetupAndWait(WindowsPathOf(work_.path() / "absent.exe"));
  EXPECT_EQ(missingFile.status, platform::kFileNotFound);
  EXPECT_EQ(missingFile.exitCode, -1);
  const platform::LaunchResult missingFolder =
      platform::RunSetupAndWait(WindowsPathOf(work_.path() / "no-such-folder" / "setup.exe"));
  EXPECT_EQ(missingFolder.status, platform::kPathNotFound);
  const platform::LaunchResult unmappedDrive = platform::RunSetupAndWait(L"Q:\\setup.exe");
  EXPECT_EQ(unmappedDrive.status, platform::kPathNotFound);
  const platform::LaunchResult folder = platform::RunSetupAndWait(WindowsPathOf(work_.path()));
  EXPECT_EQ(folder.status, platform::kAccessDenied);

  const fs::path setup = BuildNsisSetup(work_, "endless", "ExecWait 'cmd /c ping -n 600 127.0.0.1'");
  platform::LaunchOptions options;
  options.timeoutSeconds = 5;
  const platform::LaunchResult result = platform::RunSetupAndWait(WindowsPathOf(setup), options);
  EXPECT_EQ(result.status, platform::kWaitTimeout);
  EXPECT_EQ(result.exitCode, -1);
  EXPECT_GE(result.elapsedSeconds, 5.0);
  // Every process of the prefix was ended, and the prefix still works.
  EXPECT_EQ(prefix_.LiveProcesses(), 0);
  std::string output;
  EXPECT_EQ(prefix_.Run({"cmd", "/c", "exit", "3"}, &output), 3) << output;
}

}  // namespace
