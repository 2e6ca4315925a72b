#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

// A private copy of a pristine Wine machine (a folder holding prefix/ and home/: by default the test
// run's, made by scripts/make-prefix.sh; or one of MakeWin32Machine), with its own empty HOME.
// While the object lives, WINEPREFIX points at the copy and the machine seam is reset to it; the
// copy is removed afterwards.
class WinePrefixCopy {
 public:
  WinePrefixCopy();
  explicit WinePrefixCopy(const std::filesystem::path& pristine);
  ~WinePrefixCopy();
  WinePrefixCopy(const WinePrefixCopy&) = delete;
  WinePrefixCopy& operator=(const WinePrefixCopy&) = delete;

  // False (with a reason) when no pristine prefix exists; tests then fail with that reason.
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  const std::filesystem::path& prefix() const { return prefix_; }
  const std::filesystem::path& home() const { return home_; }
  // Host path of C:\ of the copy.
  std::filesystem::path driveC() const { return prefix_ / "drive_c"; }
  // Whether the machine is a 32-bit one (WINEARCH=win32; its programs run with wine, not wine64).
  bool win32() const { return win32_; }

  // The clean environment Wine runs with in this prefix: its own HOME, no debug output, no menu
  // integration, a UTF-8 locale; PATH holds /usr/lib/wine (wine64, wineserver).
  std::vector<std::string> WineEnvironment() const;
  // Runs a Windows program under Wine in this prefix with that environment and waits for it
  // and for the prefix's server to end (so the registry files are written). Returns the exit
  // status of the Wine launcher (low 8 bits of the program's), or -1 if it could not run.
  // Output goes to `output` when given. `privateDisplay`: under a private Xvfb (setups that need
  // a display even when silent).
  int Run(const std::vector<std::string>& arguments, std::string* output = nullptr, bool privateDisplay = false) const;
  // Waits until no Wine server of this prefix runs.
  void WaitForServer() const;
  // How many host processes belong to this prefix (their environment names it).
  int LiveProcesses() const;

 private:
  TempFolder folder_;
  std::filesystem::path prefix_;
  std::filesystem::path home_;
  std::string previousPrefix_;
  bool hadPreviousPrefix_ = false;
  bool win32_ = false;
  bool ok_ = false;
  std::string error_;
};

// Makes a fresh 32-bit machine in `folder` (prefix/ and home/), as scripts/make-prefix.sh makes the
// 64-bit ones: the first boot's noise absorbed by a no-op run, real profile folders, no server
// left running. False with the reason in `error`.
bool MakeWin32Machine(const std::filesystem::path& folder, std::string& error);

// Runs a host command with arguments (no shell); returns its exit status or -1.
int RunHostCommand(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                   std::string* output = nullptr);
