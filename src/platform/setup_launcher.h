#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

// Starting a setup program on the machine and waiting until it, and everything it started, has
// ended. The setup is started the way the shell's "open" verb starts a file: an .exe runs itself,
// an .msi goes to the machine's Windows Installer ("msiexec /i"); no arguments are added.
namespace platform {

struct LaunchOptions {
  // Upper bound of the wait in seconds; 0 waits as long as it takes.
  int timeoutSeconds = 0;
  // Called on the calling thread about every `tickMilliseconds` while the wait goes on (e.g. to
  // redraw a progress display). May be empty.
  std::function<void()> onTick;
  int tickMilliseconds = 100;
};

// A Windows Installer process that ran during the wait.
struct InstallerProcess {
  long processId = 0;
  std::wstring commandLine;  // empty when it could not be read while the process lived
};

struct LaunchResult {
  // kSuccess: the setup ran and everything it started has ended (whatever its exit code).
  // kFileNotFound / kPathNotFound: the setup file (or its folder / drive) does not exist.
  // kAccessDenied: the path names something that is not a file.
  // kNotReady: the machine is not usable (see Machine::Error()).
  // kWaitTimeout: the time ran out; every process of the machine was then ended, so the machine
  //   is left consistent (under Wine, `wineserver -k`; the registry is written back).
  // kOpenFailed: the setup could not be started at all.
  Status status = kOpenFailed;
  // The setup's exit code as the machine reports it, or -1 when it is not known (timeout, launch
  // failure). Under Wine only the low 8 bits survive (1603 is reported as 67).
  int exitCode = -1;
  // Windows Installer processes (msiexec) that ran during the wait, in the order they were seen.
  // Only processes started by the setup count: one that ran before is not reported.
  std::vector<InstallerProcess> installerProcesses;
  // Seconds from the start of the setup until the wait ended.
  double elapsedSeconds = 0;
};

// Starts the setup program at a Windows path and blocks until it and every process it started
// have ended, or until the timeout. Never throws.
//
// Wine: before the launch, a running server of the prefix is given a short while to end and is
// then ended (with the programs it runs): only when the prefix is idle are all of its processes
// descendants of the launch, which is what makes the wait complete. The wait ends when the
// prefix's server has ended, so the registry files hold what the setup wrote. Wine runs with a
// clean environment: PATH with /usr/lib/wine, HOME (the folder the prefix's profile links point
// to, else the caller's HOME), USER, WINEPREFIX, WINEDEBUG=-all, and Wine's menu integration and
// its .NET/HTML installers disabled. No display is needed for silent setups and for packages
// without dialogs; the setup's output is discarded.
//
// Concurrency: the processes are followed by a helper process of our own (a "child subreaper"
// under Linux), so the calling process's own children and its other threads are not affected.
// Safe to call from any thread; do not run two launches on the same prefix at once.
LaunchResult RunSetupAndWait(const std::wstring& setupWindowsPath, const LaunchOptions& options = {});

}  // namespace platform
