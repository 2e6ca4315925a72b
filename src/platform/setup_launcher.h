#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

// Starting a setup program on the machine and waiting until the installation has ended. The setup
// is started the way the shell's "open" verb starts a file: an .exe runs itself, an .msi goes to
// the machine's Windows Installer ("msiexec /i"), with the arguments the caller gives.
namespace platform {

struct LaunchOptions {
  // Upper bound of the wait for the setup in seconds; 0 waits as long as it takes.
  int timeoutSeconds = 0;
  // The setup's command-line arguments, as typed after the program's name (for an .msi they
  // follow "msiexec /i <package>"). Empty: none.
  std::wstring arguments;
  // Windows path of a file that receives the machine's own output about the setup's run (Wine:
  // the standard output and error of the run, with Wine's diagnostics for users); replaced if it
  // exists. Empty: not kept.
  std::wstring outputLogPath;
  // How long programs the setup leaves running may take to end by themselves, once the setup and
  // the Windows Installer processes it started have ended, before they are ended.
  int leftoverGraceSeconds = 5;
  // Called on the calling thread about every `tickMilliseconds` while the wait goes on (e.g. to
  // redraw a progress display). May be empty.
  std::function<void()> onTick;
  int tickMilliseconds = 100;
  // Asked on the calling thread as often as onTick (and at least every tick); true ends the wait
  // early: every process of the machine is then ended, as on a timeout. May be empty.
  std::function<bool()> cancelRequested;
};

// A Windows Installer process that ran during the wait.
struct InstallerProcess {
  long processId = 0;
  std::wstring commandLine;  // empty when it could not be read while the process lived
};

// A program the setup left running that was ended before the wait ended.
struct LeftoverProcess {
  long processId = 0;
  std::wstring name;         // file name of the program, e.g. "notepad.exe"
  std::wstring commandLine;  // empty when it could not be read
};

struct LaunchResult {
  // kSuccess: the setup ran and everything it started has ended (whatever its exit code).
  // kFileNotFound / kPathNotFound: the setup file (or its folder / drive) does not exist.
  // kAccessDenied: the path names something that is not a file.
  // kNotReady: the machine is not usable (see Machine::Error()).
  // kWaitTimeout: the time ran out; every process of the machine was then ended, so the machine
  //   is left consistent (under Wine, `wineserver -k`; the registry is written back).
  // kCancelled: LaunchOptions::cancelRequested said so; every process of the machine was then
  //   ended, as on a timeout.
  // kOpenFailed: the setup could not be started at all.
  Status status = kOpenFailed;
  // The setup's exit code as the machine reports it, or -1 when it is not known (timeout, launch
  // failure). Under Wine only the low 8 bits survive (1603 is reported as 67).
  int exitCode = -1;
  // Windows Installer processes (msiexec) that ran during the wait, in the order they were seen.
  // Only processes started by the setup count: one that ran before is not reported.
  std::vector<InstallerProcess> installerProcesses;
  // Programs still running after the grace (see LaunchOptions::leftoverGraceSeconds); they were
  // ended, so their work is not part of what the machine holds afterwards.
  std::vector<LeftoverProcess> leftoverProcesses;
  // The setup could not make a window because no display could be used (Wine reports
  // "nodrv_CreateWindow"); the setup then usually ends with exit code 255.
  bool displayMissing = false;
  // Where the setup's windows went: the caller's display (e.g. ":0"), or a private virtual display
  // ("virtual :3"); empty when there was none.
  std::string display;
  // Why there was no display, when there was none (e.g. "DISPLAY :7 cannot be reached").
  std::string displayProblem;
  // Seconds from the start of the setup until the wait ended.
  double elapsedSeconds = 0;
};

// Starts the setup program at a Windows path and blocks until the installation has ended, or until
// the timeout. Never throws.
//
// The installation has ended when the setup and the Windows Installer processes it started have
// ended. Programs it left running (the application started at the end, a folder window, a
// detached console program) get LaunchOptions::leftoverGraceSeconds to end by themselves; those
// still running then are ended and reported. The machine's own system processes do not count.
//
// Wine: before the launch, a running server of the prefix is given a short while to end and is
// then ended (with the programs it runs): only when the prefix is idle are all of its processes
// descendants of the launch, which is what makes the wait complete. The wait ends when the
// prefix's server has ended (leftovers are ended with `wineserver -k`), so the registry files hold
// what the setup wrote. Wine runs with a clean environment: PATH with /usr/lib/wine, HOME (the
// folder the prefix's profile links point to, else the caller's HOME), USER, WINEPREFIX, Wine's
// menu integration and its .NET/HTML installers disabled, and only Wine's diagnostics for users.
// The setup gets the caller's display (DISPLAY, XAUTHORITY, WAYLAND_DISPLAY); when the caller has
// none, a private virtual display (Xvfb) is started for the run and stopped afterwards. A caller's
// local display that cannot be reached is not given to the setup (Wine would wait for it for
// ever): the setup then runs without a display, which suits silent setups. The setup
// reads the same arguments from its command line as from the text typed after its name; an
// argument without blanks or quotes arrives exactly as typed (so NSIS's "/D=C:\Program Files\X").
//
// Concurrency: the processes are followed by a helper process of our own (a "child subreaper"
// under Linux), so the calling process's own children and its other threads are not affected.
// Safe to call from any thread; do not run two launches on the same prefix at once.
LaunchResult RunSetupAndWait(const std::wstring& setupWindowsPath, const LaunchOptions& options = {});

}  // namespace platform
