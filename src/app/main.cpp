// Corvane Repackager: start-up and dispatch. With a project file and an output folder the
// program builds the package without any user interface; with -Capture it captures a setup
// program and builds its package in one run (-Resume finishes a capture left pending); without
// arguments it opens the wizard (the program CorvaneRepackagerWizard beside it).
//
//   CorvaneRepackager
//   CorvaneRepackager <project file> -Path=<output folder> [-File=<package file name>]
//   CorvaneRepackager -Capture=<setup program> [-Arguments=<text>] [-Product=..] [-Version=..]
//                     [-Company=..] [-Path=<output folder>] [-File=<package name>] [-Timeout=<seconds>]
//   CorvaneRepackager -Resume [-Path=<output folder>] [-File=<package name>]
//
// Paths may be given as host paths (converted to the machine's Windows paths) or as Windows
// paths. Exit status: 0 when the package was built, 1 when the build failed, 2 for a wrong command
// line, 3 when a captured setup changed nothing to package. Errors go to the error log and to
// standard error.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/capture_command.h"
#include "app/terminal_progress.h"
#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/interrupt.h"
#include "platform/machine.h"
#include "platform/program_beside.h"
#include "session/capture_session.h"
#include "session/work_context_setup.h"

namespace {

constexpr const char* kUsage =
    "Check the Command Line Argument for Example:- CorvaneRepackager.exe [projectfilepath] [-Path=path] "
    "[-File=MSIFileName(Optional)]";

enum ExitStatus { kBuilt = 0, kBuildFailed = 1, kBadCommandLine = 2 };

void ReportError(CLogger* logger, const std::string& message) {
  if (logger != nullptr) logger->Write(2, message);
  std::fprintf(stderr, "CorvaneRepackager: %s\n", message.c_str());
}

// Removes every occurrence of a marker ("-path=", "-file="), found without regard to case, and
// keeps the rest as written. True when there was one.
bool RemoveMarker(std::string& argument, const std::string& marker) {
  bool found = false;
  for (;;) {
    const size_t at = FoldAsciiLower(argument).find(marker);
    if (at == std::string::npos) return found;
    argument.erase(at, marker.size());
    found = true;
  }
}

int RunCommandLineBuild(CLogger* logger, CCaptureSession& session, const std::vector<std::string>& arguments) {
  const std::string projectArgument = arguments[0];
  std::string pathArgument = arguments[1];
  // The marker may stand anywhere and in any case; the remainder is the output folder, which
  // reaches the builder in lower case. A host path is turned into the machine's path before it is
  // lower-cased, so that it still names the same place on a host with case-sensitive names.
  if (!RemoveMarker(pathArgument, "-path=") || pathArgument.empty()) {
    ReportError(logger, kUsage);
    return kBadCommandLine;
  }
  const std::wstring outputFolder = ToMachinePath(pathArgument);
  std::string outputNarrow = FoldAsciiLower(WideToUtf8(outputFolder));

  const std::wstring projectPath = ToMachinePath(projectArgument);
  {
    platform::DirectorySearch search(projectPath);
    if (projectPath.empty() || search.status() != platform::kSuccess) {
      if (logger != nullptr) logger->Write(2, "Given XML file not found\n");
      std::fprintf(stderr, "CorvaneRepackager: Given XML file not found: %s\n", projectArgument.c_str());
      return kBuildFailed;
    }
  }

  std::string packageName;
  if (arguments.size() > 2) {
    packageName = FoldAsciiLower(arguments[2]);
    RemoveMarker(packageName, "-file=");
  }

  if (const long status = platform::EnsureFolder(outputNarrow); status != 0) {
    if (logger != nullptr) logger->Write(1, FormatText("Error in creation of directory %ld", status));
    std::fprintf(stderr, "CorvaneRepackager: the output folder %s cannot be created (error %ld)\n",
                 pathArgument.c_str(), status);
  }
  CWorkContext& context = session.Context();
  SetupWorkContext(context, Utf8ToWide(outputNarrow), Utf8ToWide(packageName));
  context.SetProjectFilePath(projectPath);
  session.Manager().Initialize();
  platform::EnsureFolder(context.WorkFolder + "\\Temp");

  const COperationResult built = session.BuildPackage();
  for (const std::string& error : built.errors()) std::fprintf(stderr, "CorvaneRepackager: %s\n", error.c_str());
  if (built.succeeded()) {
    std::fprintf(stdout, "%s\n", HostPathText(session.PackagePath()).c_str());
    if (session.RefusedRows() > 0)
      std::fprintf(stderr, "CorvaneRepackager: warning: %d rows were refused (see above)\n", session.RefusedRows());
  } else {
    std::fprintf(stderr, "CorvaneRepackager: the package was not built\n");
  }
  session.Uninitialize();
  return built.succeeded() ? kBuilt : kBuildFailed;
}

// Whether the wizard has a screen: on Windows always; elsewhere an X or Wayland display, or a Qt
// platform chosen by hand (offscreen, say).
bool WizardHasDisplay() {
#ifdef _WIN32
  return true;
#else
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (arguments.empty()) {
    // Without a screen to show it on, Qt would abort; say what to do instead.
    if (!WizardHasDisplay()) {
      std::fprintf(stderr,
                   "CorvaneRepackager: the wizard needs a display (DISPLAY or WAYLAND_DISPLAY is not set); use\n"
                   "  CorvaneRepackager <project file> -Path=<output folder> [-File=<package name>]\n"
                   "  or: %s\n",
                   kCaptureUsage);
      return kBadCommandLine;
    }
    std::string error;
    const int status = platform::RunProgramBeside("CorvaneRepackagerWizard", argv, error);
    if (status < 0) {
      std::fprintf(stderr, "CorvaneRepackager: the wizard cannot be started: %s\n", error.c_str());
      return kBuildFailed;
    }
    return status;
  }
  if (!platform::Machine::IsUsable()) {
    std::fprintf(stderr, "CorvaneRepackager: the Windows machine cannot be used: %s\n",
                 platform::Machine::Error().c_str());
    return kBuildFailed;
  }
  // Ctrl-C ends the long step that runs as a cancel does: nothing half-written, a pending capture
  // kept, and the failure status.
  platform::CancelOnInterrupt(CancelRequest);
  // The environment values are known before anything logs.
  EnvironmentValues = platform::ReadEnvironmentValues();
  CLogger* logger = CLogger::GetInstance();
  int status;
  {
    // The session owns the engine's manager and its work context until the end of the run; the
    // context starts on the program folder (a pending capture is found through its configuration
    // file) and each command sets its own output folder.
    CCaptureSession session(logger);
    SetupWorkContext(session.Context(), std::wstring(), std::wstring());
    if (IsCaptureCommandLine(arguments)) {
      CaptureCommandLine line;
      std::string error;
      if (!ParseCaptureCommandLine(arguments, line, error)) {
        ReportError(logger, error);
        std::fprintf(stderr, "usage: %s\n", kCaptureUsage);
        status = kBadCommandLine;
      } else {
        CTerminalProgress progress;
        CCaptureCommand capture(logger, session, progress);
        status = capture.Run(line);
      }
    } else if (arguments.size() == 1) {
      ReportError(logger, kUsage);
      status = kBadCommandLine;
    } else {
      status = RunCommandLineBuild(logger, session, arguments);
    }
  }

  CLogger::ReleaseInstance(logger);
  return status;
}
