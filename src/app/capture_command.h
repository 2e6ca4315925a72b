#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/operation_result.h"
#include "session/capture_session.h"
#include "session/machine_path.h"

class CLogger;
class CTerminalProgress;

// The capture mode of the command line: from a setup program to a package in one run, the road the
// wizard drives, without a user interface. The capture itself is the session's (CCaptureSession);
// this reads the command line and shows the progress and the messages on the terminal.
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

// The product texts the command line gives (-Product, -Version, -Company; empty when not given).
ProductTexts GivenProductTexts(const CaptureCommandLine& line);

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
  CCaptureCommand(CLogger* logger, CCaptureSession& session, CTerminalProgress& progress);
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
  // The last step: the package from the project file in force; the capture ends either way.
  int BuildAndEnd();
  // Runs one long operation of the session on a worker thread while this thread redraws the
  // progress line.
  COperationResult RunStep(int itemCount, const std::function<COperationResult()>& work, double& seconds);

  CLogger* logger_;
  CCaptureSession& session_;
  CTerminalProgress& progress_;
  CaptureTimings timings_;
};
