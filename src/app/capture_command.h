#pragma once
#include <optional>
#include <string>
#include <vector>

#include "app/link_shortcuts.h"
#include "snapshot/enumerate_wrapper.h"

class CLogger;
class CUIManager;
class CTerminalProgress;

// The capture mode of the command line: from a setup program to a package in one run, the road the
// wizard drives, without a user interface.
//
//   CorvaneRepackager -Capture=<setup program> [-Arguments=<text>] [-Product=<name>]
//                     [-Version=<text>] [-Company=<text>] [-Path=<output folder>]
//                     [-File=<package name>] [-Timeout=<seconds>]
//   CorvaneRepackager -Resume [-Path=<output folder>] [-File=<package name>]
//
// Markers are recognised in any letter case; the values keep theirs.

// What the capture command line asks for.
struct CaptureCommandLine {
  bool resume = false;
  std::string setup;  // the setup program as given (host or Windows path); empty with -Resume
  // The setup's command line as one text (for an .msi: added to the Windows Installer's), as given.
  std::optional<std::string> arguments;
  std::optional<std::string> product;
  std::optional<std::string> version;
  std::optional<std::string> company;
  std::optional<std::string> outputFolder;
  std::optional<std::string> packageName;
  // Upper bound of the wait for the setup; an hour unless -Timeout= says otherwise.
  int timeoutSeconds = 3600;
};

// The usage text of the capture mode.
extern const char* const kCaptureUsage;

// True when the command line asks for the capture mode: its first argument is "-Capture=..." or
// "-Resume". Every other command line keeps its old meaning.
bool IsCaptureCommandLine(const std::vector<std::string>& arguments);
// Reads a capture command line. False, with a message in `error`, for an unknown or repeated
// argument, a missing value, a bad timeout, -Capture and -Resume together, or product texts or
// arguments with -Resume (the pending capture keeps what it was started with).
bool ParseCaptureCommandLine(const std::vector<std::string>& arguments, CaptureCommandLine& line, std::string& error);

// "C:\..." or "\\server\..." is a Windows path already; anything else is a host path and is seen
// through the machine's drives.
bool IsWindowsPath(const std::string& path);
std::wstring ToMachinePath(const std::string& path);

// The product texts of a capture.
struct ProductTexts {
  std::wstring name;
  std::wstring version;
  std::wstring company;
};
// The texts the package is named and described by: each from the command line when given, else
// from the setup program (the version resource of an .exe: "ProductName", "ProductVersion",
// "CompanyName"; the Property table of an .msi: ProductName, ProductVersion, Manufacturer), else a
// stand-in (the setup's file name without extension, "1.0", "Unknown"), so a package can always be
// built. Texts are trimmed of blanks.
ProductTexts ChooseProductTexts(const CaptureCommandLine& line, const std::wstring& setupWindowsPath);

// What the capture walks, as the capture page builds it: the included folders of the rules (in
// their map order, each converted from token form) and the included keys as they stand; without a
// loadable rules file the system drive and the five roots.
CaptureChoiceMap BuildCaptureChoices(CUIManager& manager, const std::wstring& setupWindowsPath,
                                     const ProductTexts& texts);


// Seconds spent in each step of the last run (0 for a step that did not run).
struct CaptureTimings {
  double firstSnapshot = 0;  // including the machine's preparation
  double setup = 0;          // the setup's own run, until every process it started had ended
  double secondSnapshot = 0;
  double comparison = 0;
  double projectFile = 0;
  double package = 0;
  double total = 0;
  // Everything but the setup's run.
  double ours() const { return total - setup; }
};

// Exit statuses of the capture mode (shared with the other modes). kCaptureNothingChanged: the
// setup ran but changed nothing the rules include (no file, registry or INI change), so there is
// nothing to package; the capture is not left pending.
enum CaptureExitStatus {
  kCaptureBuilt = 0,
  kCaptureFailed = 1,
  kCaptureBadCommandLine = 2,
  kCaptureNothingChanged = 3
};

// Runs one capture (or resumes the pending one) to the package. Clear messages go to standard
// error and the error log; the package's host path goes to standard output. Returns the exit
// status: 0 only when the package was built.
//
// A setup the machine cannot run (see CheckSetupRunnable) is refused before anything is done.
//
// State across runs: a capture is pending from the moment its first snapshot is complete
// ("IsSnapshotTaken") until its package is built. A run that fails after that point leaves it
// pending (and says so), so that -Resume can finish it; a new -Capture on the same machine
// discards it. The mark belongs to the machine it was set on: another machine's capture neither
// discards nor resumes it (and, as the mark is taken, cannot itself be resumed).
class CCaptureCommand {
 public:
  CCaptureCommand(CLogger* logger, CUIManager* manager, CTerminalProgress& progress);
  int Run(const CaptureCommandLine& line);
  const CaptureTimings& timings() const { return timings_; }

 private:
  int Fail(const std::string& message);
  // A failure after the first snapshot: the capture stays pending, unless the mark belongs to
  // another machine (then this run's capture is forgotten and the message says so).
  int FailPending(const std::string& message);
  bool PrepareOutputFolder(const std::string& given, std::wstring& folder);
  int StartCapture(const CaptureCommandLine& line, const std::wstring& setupPath);
  int FinishCapture();
  void DiscardPendingCapture();
  // Forgets the capture of this run (nothing of it is pending afterwards).
  void EndCapture();
  // The setup's log of the run, as a host path for messages.
  std::string SetupLogText() const;
  long RunStep(int itemCount, long (*work)(CUIManager*), double& seconds);

  CLogger* logger_;
  CUIManager* manager_;
  CTerminalProgress& progress_;
  CaptureTimings timings_;
  // The pending mark belongs to another machine: this run neither reads nor writes it.
  bool markOfOtherMachine_ = false;
};
