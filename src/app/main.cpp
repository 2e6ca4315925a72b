// Corvane Repackager: start-up and dispatch. With a project file and an output folder the
// program builds the package without any user interface; the wizard is not part of this build.
//
//   CorvaneRepackager <project file> -Path=<output folder> [-File=<package file name>]
//
// Paths may be given as host paths (converted to the machine's Windows paths) or as Windows
// paths. Exit status: 0 when the package was built, 1 when the build failed, 2 for a wrong command
// line. Errors go to the error log and to standard error.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "snapshot/ui_manager.h"

namespace {

constexpr const char* kUsage =
    "Check the Command Line Argument for Example:- CorvaneRepackager.exe [projectfilepath] [-Path=path] "
    "[-File=MSIFileName(Optional)]";

enum ExitStatus { kBuilt = 0, kBuildFailed = 1, kBadCommandLine = 2 };

void ReportError(CLogger* logger, const std::string& message) {
  if (logger != nullptr) logger->Write(2, message);
  std::fprintf(stderr, "CorvaneRepackager: %s\n", message.c_str());
}

// "C:\..." or "\\server\..." is a Windows path already; anything else is a host path.
bool IsWindowsPath(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':' &&
          ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'))) ||
         path.rfind("\\\\", 0) == 0;
}

std::wstring ToMachinePath(const std::string& path) {
  if (IsWindowsPath(path)) return Utf8ToWide(path);
  return platform::Machine::WindowsPath(std::filesystem::path(path));
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

int RunCommandLineBuild(CLogger* logger, CUIManager* manager, const std::vector<std::string>& arguments) {
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

  if (const long status = EnsureFolder(outputNarrow); status != 0) {
    if (logger != nullptr) logger->Write(1, FormatText("Error in creation of directory %ld", status));
    std::fprintf(stderr, "CorvaneRepackager: the output folder %s cannot be created (error %ld)\n",
                 pathArgument.c_str(), status);
  }
  SetupWorkPaths(Utf8ToWide(outputNarrow), Utf8ToWide(packageName));
  SetProjectFilePath(projectPath);
  manager->Initialize();
  EnsureFolder(WorkFolder + "\\Temp");

  const long built = manager->BuildPackage();
  for (const std::string& error : manager->MSIHandler().errors())
    std::fprintf(stderr, "CorvaneRepackager: %s\n", error.c_str());
  if (built == 1) {
    const std::string package = manager->MSIHandler().packagePath();
    std::error_code ignored;
    std::filesystem::path host = platform::Machine::HostPath(Utf8ToWide(package));
    std::filesystem::path canonical = std::filesystem::weakly_canonical(host, ignored);
    std::fprintf(stdout, "%s\n", (canonical.empty() ? host : canonical).string().c_str());
    if (manager->MSIHandler().refusedRows() > 0)
      std::fprintf(stderr, "CorvaneRepackager: warning: %d rows were refused (see above)\n",
                   manager->MSIHandler().refusedRows());
  } else {
    std::fprintf(stderr, "CorvaneRepackager: the package was not built\n");
  }
  manager->Uninitialize();
  return built == 1 ? kBuilt : kBuildFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (arguments.empty()) {
    std::fputs("CorvaneRepackager: the wizard is not available in this build; use\n"
               "  CorvaneRepackager <project file> -Path=<output folder> [-File=<package name>]\n",
               stderr);
    return kBadCommandLine;
  }
  if (!platform::Machine::IsUsable()) {
    std::fprintf(stderr, "CorvaneRepackager: the Windows machine cannot be used: %s\n",
                 platform::Machine::Error().c_str());
    return kBuildFailed;
  }
  // The program folder and the environment values are known before anything logs.
  SetupWorkPaths(std::wstring(), std::wstring());
  CLogger* logger = CLogger::GetInstance();
  CUIManager* manager = CUIManager::GetInstance();

  int status;
  if (arguments.size() == 1) {
    ReportError(logger, kUsage);
    status = kBadCommandLine;
  } else {
    status = RunCommandLineBuild(logger, manager, arguments);
  }

  CUIManager::ReleaseInstance(manager);
  CLogger::ReleaseInstance(logger);
  return status;
}
