// How the capture runs the setup: setups the machine cannot run are refused before the first
// snapshot; the setup gets its arguments and a display (the caller's, else a private virtual one);
// programs it leaves running are ended and named instead of holding the capture until its
// timeout; a pending capture belongs to the machine it was taken on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "core/strings.h"
#include "platform/wine/virtual_display.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

class CaptureLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(machine_.ok()) << machine_.error();
    program_ = CopyProgram(work_);
    out_ = work_.path() / "out";
  }

  int Run(const WinePrefixCopy& machine, const std::vector<std::string>& arguments,
          const std::vector<std::string>& extraEnvironment = {}) {
    output_.clear();
    std::vector<std::string> command{(program_ / "CorvaneRepackager").string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = ProgramEnvironment(machine);
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    return RunHostCommand(command, environment, &output_);
  }
  int Run(const std::vector<std::string>& arguments) { return Run(machine_, arguments); }

  std::string Config() const { return ReadHostFile(program_ / "CorvaneRepackager.ini"); }
  bool Pending() const { return Config().find("IsSnapshotTaken=1") != std::string::npos; }
  bool Says(const std::string& text) const { return output_.find(text) != std::string::npos; }

  // A 64-bit NSIS setup from a whole script (OutFile is added).
  fs::path Setup(const std::string& name, const std::string& script) {
    const fs::path source = work_.WriteFile(name + ".nsi", "Unicode true\nTarget amd64-unicode\nOutFile \"" + name +
                                                               ".exe\"\n" + script);
    std::string log;
    EXPECT_EQ(RunHostCommand({"makensis", "-V1", source.string()}, {"PATH=/usr/bin:/bin"}, &log), 0) << log;
    return work_.path() / (name + ".exe");
  }

  std::set<std::string> Items(const std::string& projectName) {
    std::string error;
    std::set<std::string> items = ProjectItems(out_ / "Packages" / projectName, error);
    EXPECT_TRUE(error.empty()) << error;
    return items;
  }
  static bool HasItemWith(const std::set<std::string>& items, const std::string& text) {
    for (const std::string& item : items) {
      if (item.find(text) != std::string::npos) return true;
    }
    return false;
  }

  WinePrefixCopy machine_;
  TempFolder work_;
  fs::path program_;
  fs::path out_;
  std::string output_;
};

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST_F(CaptureLaunchTest, SetupsTheMachineCannotRunAreRefusedBeforeTheFirstSnapshot) {
  // A 16-bit Windows program: an MZ header pointing at an "NE" header.
  std::string sixteen(0x200, '\0');
  sixteen[0] = 'M';
  sixteen[1] = 'Z';
  Put32(sixteen, 0x3C, 0x80);
  sixteen.replace(0x80, 4, "NE\x05\x0A");
  const fs::path real = Setup("real", "SilentInstall silent\nRequestExecutionLevel user\nSection\nSectionEnd\n");
  const std::string realBytes = ReadHostFile(real);
  ASSERT_GT(realBytes.size(), 4096u);
  std::string arm64 = pe_builder::BuildPe({});
  arm64[0x44] = '\x64';
  arm64[0x45] = '\xAA';

  struct Case {
    const char* file;
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"old16.exe", sixteen, "is a 16-bit program"},
      {"cut.exe", realBytes.substr(0, 1024), "is a damaged program"},
      {"arm.exe", arm64, "ARM64"},
      {"text.exe", "not a program\r\n", "is not a program"},
      {"fake.msi", "not a database", "is not a Windows Installer package"},
      {"readme.txt", "hello", "neither a program"},
  };
  for (const Case& c : cases) {
    const fs::path setup = work_.WriteFile(c.file, c.bytes);
    EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + out_.string()}), 1) << c.file;
    EXPECT_TRUE(Says(c.reason)) << c.file << ": " << output_;
    EXPECT_TRUE(Says("nothing was captured")) << output_;
    EXPECT_FALSE(Says("capturing")) << output_;
    EXPECT_FALSE(Pending()) << c.file;
  }
  // Refused before anything was made: not even the output folder.
  EXPECT_FALSE(fs::exists(out_));
}

TEST_F(CaptureLaunchTest, ProgramsLeftRunningAreEndedAndNamed) {
  // The setup installs, then starts a console program that waits for a window of its own (no
  // network needed, unlike a long ping) and the application (windows on the private virtual
  // display: the test has no display).
  const fs::path setup = Setup("leaver",
                               "SilentInstall silent\nRequestExecutionLevel admin\n"
                               "Section\n"
                               "SetOutPath \"$PROGRAMFILES64\\Leaver\"\n"
                               "FileOpen $0 \"$PROGRAMFILES64\\Leaver\\app.txt\" w\nFileWrite $0 \"app\"\nFileClose $0\n"
                               "Exec '\"$SYSDIR\\cmd.exe\" /c start /wait notepad.exe'\n"
                               "Exec '\"$WINDIR\\notepad.exe\"'\n"
                               "SectionEnd\n");
  ASSERT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + out_.string(), "-Timeout=500"}), 0) << output_;
  EXPECT_FALSE(Says("did not end within")) << output_;
  EXPECT_TRUE(Says("the setup left cmd.exe running")) << output_;
  EXPECT_TRUE(Says("the setup left notepad.exe running")) << output_;
  // Wine's own processes are not the setup's.
  EXPECT_FALSE(Says("left services.exe")) << output_;
  EXPECT_FALSE(Says("left explorer.exe")) << output_;
  EXPECT_FALSE(Says("left wineserver")) << output_;
  EXPECT_TRUE(fs::is_regular_file(out_ / "leaver.msi")) << output_;
  EXPECT_TRUE(HasItemWith(Items("leaver_1.0.xml"), "Leaver|app.txt"));
  // Nothing of the prefix runs any more: the programs were ended, not just named.
  EXPECT_EQ(machine_.LiveProcesses(), 0);
}

TEST_F(CaptureLaunchTest, ArgumentsReachTheSetupAndAResumedCaptureKeepsThem) {
  // Interactive by default (it would wait for a click on its pages): only /S makes it silent, and
  // /D must arrive unquoted and last for NSIS to take a folder with blanks.
  const fs::path setup = Setup("pages",
                               "RequestExecutionLevel admin\nInstallDir \"$PROGRAMFILES64\\Default Folder\"\n"
                               "Page directory\nPage instfiles\n"
                               "Section\nSetOutPath $INSTDIR\n"
                               "FileOpen $0 \"$INSTDIR\\cmdline.txt\" w\nFileWrite $0 \"$CMDLINE\"\nFileClose $0\n"
                               "SectionEnd\n");
  ASSERT_EQ(Run({"-Capture=" + setup.string(), "-Arguments=/S /D=C:\\Program Files\\Chosen Folder",
                 "-Path=" + out_.string(), "-Timeout=300"}),
            0)
      << output_;
  EXPECT_TRUE(Says("the setup's arguments: /S /D=C:\\Program Files\\Chosen Folder")) << output_;
  const std::string commandLine = ReadHostFile(machine_.driveC() / "Program Files" / "Chosen Folder" / "cmdline.txt");
  EXPECT_NE(commandLine.find(" /S"), std::string::npos) << commandLine;
  EXPECT_FALSE(fs::exists(machine_.driveC() / "Program Files" / "Default Folder"));
  EXPECT_TRUE(HasItemWith(Items("pages_1.0.xml"), "Chosen Folder|cmdline.txt"));

  // A capture that fails after its first snapshot keeps its arguments for -Resume.
  const fs::path failing = Setup("failing",
                                 "SilentInstall normal\nRequestExecutionLevel admin\n"
                                 "Function .onInit\nIfSilent +2\nAbort\nFunctionEnd\n"
                                 "Section\nSetOutPath \"$PROGRAMFILES64\\Failing\"\n"
                                 "FileOpen $0 \"$PROGRAMFILES64\\Failing\\half.txt\" w\nFileClose $0\n"
                                 "SetErrorLevel 4\nSectionEnd\n");
  EXPECT_EQ(Run({"-Capture=" + failing.string(), "-Arguments=/S", "-Path=" + out_.string()}), 1) << output_;
  EXPECT_TRUE(Says("failed with exit code 4")) << output_;
  EXPECT_TRUE(Pending());
  EXPECT_EQ(Run({"-Resume"}), 0) << output_;
  EXPECT_TRUE(Says("resuming the capture of")) << output_;
  EXPECT_TRUE(Says("(arguments: /S)")) << output_;
  EXPECT_TRUE(HasItemWith(Items("failing_1.0.xml"), "Failing|half.txt"));
}

TEST_F(CaptureLaunchTest, InteractiveSetupIsClickedThroughOnTheCallersDisplay) {
  platform::wine::VirtualDisplay screen;
  std::string error;
  ASSERT_TRUE(screen.Start(error)) << error;
  const std::string display = "DISPLAY=" + screen.display();
  const fs::path setup = Setup("clicked",
                               "Name \"Clicked\"\nRequestExecutionLevel admin\n"
                               "InstallDir \"$PROGRAMFILES64\\Clicked App\"\n"
                               "Page directory\nPage instfiles\n"
                               "Section\nSetOutPath $INSTDIR\n"
                               "FileOpen $0 \"$INSTDIR\\clicked.txt\" w\nFileWrite $0 \"clicked\"\nFileClose $0\n"
                               "SectionEnd\n");

  // The person at the screen: find the setup's window, press Enter on each page (Install on the
  // folder page, Close on the last one) until the capture has ended.
  std::atomic<bool> done{false};
  std::atomic<int> presses{0};
  std::thread person([&] {
    const std::vector<std::string> environment = {"PATH=/usr/bin:/bin", display};
    while (!done) {
      std::string window;
      if (RunHostCommand({"xdotool", "search", "--name", "^Clicked Setup"}, environment, &window) == 0) {
        window = window.substr(0, window.find('\n'));
        if (!window.empty() &&
            RunHostCommand({"xdotool", "windowfocus", "--sync", window, "key", "Return"}, environment) == 0) {
          ++presses;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
  });
  const int status = Run(machine_, {"-Capture=" + setup.string(), "-Path=" + out_.string(), "-Timeout=300"}, {display});
  done = true;
  person.join();
  ASSERT_EQ(status, 0) << output_;
  EXPECT_GE(presses.load(), 2);
  EXPECT_TRUE(fs::is_regular_file(out_ / "clicked.msi")) << output_;
  EXPECT_TRUE(HasItemWith(Items("clicked_1.0.xml"), "Clicked App|clicked.txt"));
}

TEST_F(CaptureLaunchTest, SetupThatNeedsAWindowRunsOnAPrivateDisplayOrIsReportedWithoutOne) {
  // It shows its progress window and closes it by itself.
  const fs::path setup = Setup("windowed",
                               "RequestExecutionLevel admin\nInstallDir \"$PROGRAMFILES64\\Windowed\"\n"
                               "AutoCloseWindow true\nPage instfiles\n"
                               "Section\nSetOutPath $INSTDIR\n"
                               "FileOpen $0 \"$INSTDIR\\w.txt\" w\nFileClose $0\nSectionEnd\n");
  // A display that cannot be reached is not used: the window cannot be made, and that is said.
  EXPECT_EQ(Run(machine_, {"-Capture=" + setup.string(), "-Path=" + out_.string()}, {"DISPLAY=:7391"}), 1);
  EXPECT_TRUE(Says("could not open its window: no display could be used")) << output_;
  EXPECT_TRUE(Says("DISPLAY :7391 cannot be reached")) << output_;
  // Without a display of the caller's, a private one is used (and gone afterwards).
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + out_.string()}), 0) << output_;
  EXPECT_TRUE(fs::is_regular_file(out_ / "windowed.msi")) << output_;
}

TEST_F(CaptureLaunchTest, PendingCaptureBelongsToTheMachineItWasTakenOn) {
  const fs::path failing = Setup("halfway",
                                 "SilentInstall silent\nRequestExecutionLevel admin\n"
                                 "Section\nSetOutPath \"$PROGRAMFILES64\\Halfway\"\n"
                                 "FileOpen $0 \"$PROGRAMFILES64\\Halfway\\half.txt\" w\nFileClose $0\n"
                                 "SetErrorLevel 3\nSectionEnd\n");
  const fs::path writer = Setup("writer",
                                "SilentInstall silent\nRequestExecutionLevel admin\n"
                                "Section\nSetOutPath \"$PROGRAMFILES64\\Writer\"\n"
                                "FileOpen $0 \"$PROGRAMFILES64\\Writer\\w.txt\" w\nFileClose $0\nSectionEnd\n");
  EXPECT_EQ(Run({"-Capture=" + failing.string(), "-Path=" + out_.string()}), 1) << output_;
  ASSERT_TRUE(Pending());
  const std::string ownerLine = "CaptureMachine=" + fs::canonical(machine_.prefix()).string();
  ASSERT_NE(Config().find(ownerLine), std::string::npos) << Config();

  WinePrefixCopy other;
  ASSERT_TRUE(other.ok()) << other.error();
  EXPECT_EQ(Run(other, {"-Resume"}), 1);
  EXPECT_TRUE(Says("the pending capture belongs to machine " + fs::canonical(machine_.prefix()).string())) << output_;
  const fs::path otherOut = work_.path() / "other-out";
  EXPECT_EQ(Run(other, {"-Capture=" + writer.string(), "-Path=" + otherOut.string()}), 0) << output_;
  EXPECT_FALSE(Says("is discarded")) << output_;
  EXPECT_TRUE(Says("is pending; it is kept")) << output_;
  EXPECT_TRUE(fs::is_regular_file(otherOut / "writer.msi"));
  EXPECT_TRUE(Pending());
  EXPECT_NE(Config().find(ownerLine), std::string::npos) << Config();

  // Back on its own machine the capture is finished.
  EXPECT_EQ(Run({"-Resume"}), 0) << output_;
  EXPECT_TRUE(fs::is_regular_file(out_ / "halfway.msi")) << output_;
  EXPECT_FALSE(Pending());
}

}  // namespace
