// How the capture mode takes its input and runs the setup: bad input and setups the machine cannot
// run are refused with a clear message before the first snapshot; the setup gets its arguments
// and a display (the caller's, else a private virtual one); a setup that fails or never ends
// leaves the capture pending, for its own machine only, until -Resume or a new capture; programs
// it leaves running are ended and named instead of holding the capture until its timeout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "platform/wine/virtual_display.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

// A setup (interactive unless the script says otherwise) that writes the empty file
// <folder>\<file> below the 64-bit program files and then does `tail` (e.g. "SetErrorLevel 3").
std::string WritesFile(const std::string& folder, const std::string& file, const std::string& tail = "") {
  return "RequestExecutionLevel admin\nSection\nSetOutPath \"$PROGRAMFILES64\\" + folder +
         "\"\nFileOpen $0 \"$PROGRAMFILES64\\" + folder + "\\" + file + "\" w\nFileClose $0\n" + tail + "\nSectionEnd\n";
}

const std::string kSilent = "SilentInstall silent\n";
const std::string kQuietSetup = kSilent + "RequestExecutionLevel user\nSection\nSectionEnd\n";

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
    return RunProgram(program_, machine, arguments, &output_, extraEnvironment);
  }
  int Run(const std::vector<std::string>& arguments) { return Run(machine_, arguments); }

  std::string Config() const { return ReadHostFile(program_ / "CorvaneRepackager.ini"); }
  bool Pending() const { return CapturePending(program_); }
  bool Says(const std::string& text) const { return output_.find(text) != std::string::npos; }

  // A 64-bit NSIS setup from a whole script.
  fs::path Setup(const std::string& name, const std::string& script) {
    std::string log;
    const fs::path setup = pe_builder::BuildNsisScript(work_.path(), name, script, &log);
    EXPECT_FALSE(setup.empty()) << log;
    return setup;
  }

  // Whether the project file of the capture lists an item holding `text`.
  bool ProjectHas(const std::string& projectName, const std::string& text) {
    std::string error;
    const std::set<std::string> items = ProjectItems(out_ / "Packages" / projectName, error);
    EXPECT_TRUE(error.empty()) << error;
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

TEST_F(CaptureLaunchTest, BadInputIsRefusedBeforeAnySnapshot) {
  const fs::path quiet = Setup("quiet", kQuietSetup);
  const std::string realBytes = ReadHostFile(quiet);
  ASSERT_GT(realBytes.size(), 4096u);
  // A 16-bit Windows program: an MZ header pointing at an "NE" header.
  std::string sixteen(0x200, '\0');
  sixteen[0] = 'M';
  sixteen[1] = 'Z';
  Put32(sixteen, 0x3C, 0x80);
  sixteen.replace(0x80, 4, "NE\x05\x0A");
  std::string arm64 = pe_builder::BuildPe({});
  arm64[0x44] = '\x64';
  arm64[0x45] = '\xAA';
  const fs::path plain = work_.WriteFile("plainfile", "x");
  const std::string capture = "-Capture=" + quiet.string();
  const std::string out = "-Path=" + out_.string();

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> says;
  };
  std::vector<Case> cases = {
      {{"-Capture=" + (work_.path() / "nosuch.exe").string(), out}, 1, {"does not exist"}},
      {{"-Capture=" + work_.path().string(), out}, 1, {"is a folder"}},
      // An output folder that is a file, one below a file, and one that exists but takes no file.
      {{capture, "-Path=" + plain.string()}, 1, {"cannot be created"}},
      {{capture, "-Path=" + (plain / "out").string()}, 1, {"cannot be created"}},
      {{capture, "-Path=/proc"}, 1, {"/proc cannot be written"}},
      // Nothing is pending to resume.
      {{"-Resume"}, 1, {"no capture is pending"}},
      // Command lines the mode does not take: usage, status 2.
      {{"-Capture="}, 2, {"usage"}},
      {{capture, "-Bogus"}, 2, {"unknown argument"}},
      {{capture, "-Timeout=soon"}, 2, {}},
  };
  // Setups the machine cannot run.
  const std::pair<const char*, std::string> unrunnable[] = {
      {"old16.exe", sixteen},     {"cut.exe", realBytes.substr(0, 1024)}, {"arm.exe", arm64},
      {"text.exe", "not a program\r\n"}, {"fake.msi", "not a database"},   {"readme.txt", "hello"}};
  const char* const reasons[] = {"is a 16-bit program", "is a damaged program", "ARM64", "is not a program",
                                 "is not a Windows Installer package", "neither a program"};
  for (size_t i = 0; i < std::size(unrunnable); ++i) {
    const fs::path setup = work_.WriteFile(unrunnable[i].first, unrunnable[i].second);
    cases.push_back({{"-Capture=" + setup.string(), out}, 1, {reasons[i], "nothing was captured"}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front() + (c.arguments.size() > 1 ? " " + c.arguments.back() : ""));
    EXPECT_EQ(Run(c.arguments), c.status);
    for (const std::string& text : c.says) EXPECT_TRUE(Says(text)) << output_;
    EXPECT_FALSE(Says("capturing")) << output_;
    EXPECT_FALSE(Pending());
  }
  // Refused before anything was made: not even the output folder.
  EXPECT_FALSE(fs::exists(out_));
}

TEST_F(CaptureLaunchTest, ArgumentsReachTheSetupAndAFailedCaptureKeepsThemForItsOwnMachine) {
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
  EXPECT_TRUE(ProjectHas("pages_1.0.xml", "Chosen Folder|cmdline.txt"));

  // A capture whose setup fails after the first snapshot builds nothing and stays pending, with
  // its arguments (the setup writes only when silent) and the machine it was taken on.
  const fs::path failing = Setup("failing", "Function .onInit\nIfSilent +2\nAbort\nFunctionEnd\n" +
                                                WritesFile("Failing", "half.txt", "SetErrorLevel 4"));
  EXPECT_EQ(Run({"-Capture=" + failing.string(), "-Arguments=/S", "-Path=" + out_.string()}), 1) << output_;
  EXPECT_TRUE(Says("failed with exit code 4")) << output_;
  EXPECT_TRUE(Says("-Resume")) << output_;
  EXPECT_FALSE(fs::exists(out_ / "failing.msi"));
  EXPECT_NE(ReadHostFile(program_ / "ErrorLog.txt").find("failed with exit code 4"), std::string::npos);
  ASSERT_TRUE(Pending());
  const std::string owner = fs::canonical(machine_.prefix()).string();
  ASSERT_NE(Config().find("CaptureMachine=" + owner), std::string::npos) << Config();

  // Another machine neither resumes nor discards it.
  {
    WinePrefixCopy other;
    ASSERT_TRUE(other.ok()) << other.error();
    EXPECT_EQ(Run(other, {"-Resume"}), 1);
    EXPECT_TRUE(Says("the pending capture belongs to machine " + owner)) << output_;
    const fs::path writer = Setup("writer", kSilent + WritesFile("Writer", "w.txt"));
    const fs::path otherOut = work_.path() / "other-out";
    EXPECT_EQ(Run(other, {"-Capture=" + writer.string(), "-Path=" + otherOut.string()}), 0) << output_;
    EXPECT_FALSE(Says("is discarded")) << output_;
    EXPECT_TRUE(Says("is pending; it is kept")) << output_;
    EXPECT_TRUE(fs::is_regular_file(otherOut / "writer.msi"));
    EXPECT_TRUE(Pending());
    EXPECT_NE(Config().find("CaptureMachine=" + owner), std::string::npos) << Config();
  }

  // Back on its own machine the capture is finished, with the arguments it was started with.
  EXPECT_EQ(Run({"-Resume"}), 0) << output_;
  EXPECT_TRUE(Says("resuming the capture of")) << output_;
  EXPECT_TRUE(Says("(arguments: /S)")) << output_;
  EXPECT_TRUE(fs::is_regular_file(out_ / "failing.msi")) << output_;
  EXPECT_TRUE(ProjectHas("failing_1.0.xml", "Failing|half.txt"));
  EXPECT_FALSE(Pending());
}

TEST_F(CaptureLaunchTest, SetupThatNeedsAWindowOrNeverEndsIsReportedAndANewCaptureDiscardsIt) {
  // It shows its progress window and closes it by itself.
  const fs::path windowed = Setup("windowed",
                                  "RequestExecutionLevel admin\nInstallDir \"$PROGRAMFILES64\\Windowed\"\n"
                                  "AutoCloseWindow true\nPage instfiles\n"
                                  "Section\nSetOutPath $INSTDIR\n"
                                  "FileOpen $0 \"$INSTDIR\\w.txt\" w\nFileClose $0\nSectionEnd\n");
  // A display that cannot be reached is not used: the window cannot be made, and that is said.
  EXPECT_EQ(Run(machine_, {"-Capture=" + windowed.string(), "-Path=" + out_.string()}, {"DISPLAY=:7391"}), 1);
  EXPECT_TRUE(Says("could not open its window: no display could be used")) << output_;
  EXPECT_TRUE(Says("DISPLAY :7391 cannot be reached")) << output_;
  // Without a display of the caller's, a private one is used (and gone afterwards).
  EXPECT_EQ(Run({"-Capture=" + windowed.string(), "-Path=" + out_.string()}), 0) << output_;
  EXPECT_TRUE(fs::is_regular_file(out_ / "windowed.msi")) << output_;

  // A setup that never ends is stopped after the timeout, with everything else of the machine.
  const fs::path forever =
      Setup("forever", "SilentInstall silent\nRequestExecutionLevel user\nSection\nSleep 600000\nSectionEnd\n");
  EXPECT_EQ(Run({"-Capture=" + forever.string(), "-Path=" + out_.string(), "-Timeout=3"}), 1);
  EXPECT_TRUE(Says("did not end within 3 seconds")) << output_;
  EXPECT_FALSE(fs::exists(out_ / "forever.msi"));
  std::string output;
  EXPECT_EQ(RunHostCommand({"pgrep", "-f", "forever.exe"}, {"PATH=/usr/bin:/bin"}, &output), 1) << output;
  EXPECT_TRUE(Pending());

  // A new capture discards the pending one. Its setup writes nothing, and nothing of Wine's own
  // activity around a setup's run may count as a change: nothing to package, status 3.
  const fs::path quiet = Setup("quiet", kQuietSetup);
  ASSERT_EQ(Run({"-Capture=" + quiet.string(), "-Path=" + out_.string()}), 3) << output_;
  EXPECT_TRUE(Says("the capture that was pending is discarded")) << output_;
  EXPECT_TRUE(Says("changed nothing that the include rules cover")) << output_;
  EXPECT_FALSE(fs::exists(out_ / "quiet.msi")) << output_;
  EXPECT_FALSE(fs::exists(out_ / "Packages" / "quiet_1.0.xml")) << output_;
  EXPECT_FALSE(Pending());
  EXPECT_EQ(Run({"-Resume"}), 1);
}

TEST_F(CaptureLaunchTest, ProgramsLeftRunningAreEndedAndNamed) {
  // The setup installs, then starts a console program that waits for a window of its own (no
  // network needed, unlike a long ping) and the application (windows on the private virtual
  // display: the test has no display).
  const fs::path setup = Setup("leaver", kSilent + WritesFile("Leaver", "app.txt",
                                                              "Exec '\"$SYSDIR\\cmd.exe\" /c start /wait notepad.exe'\n"
                                                              "Exec '\"$WINDIR\\notepad.exe\"'"));
  ASSERT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + out_.string(), "-Timeout=500"}), 0) << output_;
  EXPECT_FALSE(Says("did not end within")) << output_;
  EXPECT_TRUE(Says("the setup left cmd.exe running")) << output_;
  EXPECT_TRUE(Says("the setup left notepad.exe running")) << output_;
  // Wine's own processes are not the setup's.
  EXPECT_FALSE(Says("left services.exe")) << output_;
  EXPECT_FALSE(Says("left explorer.exe")) << output_;
  EXPECT_FALSE(Says("left wineserver")) << output_;
  EXPECT_TRUE(fs::is_regular_file(out_ / "leaver.msi")) << output_;
  EXPECT_TRUE(ProjectHas("leaver_1.0.xml", "Leaver|app.txt"));
  // Nothing of the prefix runs any more: the programs were ended, not just named.
  EXPECT_EQ(machine_.LiveProcesses(), 0);
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
  EXPECT_TRUE(ProjectHas("clicked_1.0.xml", "Clicked App|clicked.txt"));
}

}  // namespace
