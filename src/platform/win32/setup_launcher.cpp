#include "platform/setup_launcher.h"

// Not written yet for Windows (ShellExecuteExW with the arguments and a process handle, a watch of
// msiexec, and of the programs the setup leaves running). Every launch reports kInvalidFunction,
// so a capture stops before the second snapshot with a clear message instead of comparing a
// machine on which nothing ran.
namespace platform {

LaunchResult RunSetupAndWait(const std::wstring& setupWindowsPath, const LaunchOptions& options) {
  (void)setupWindowsPath;
  (void)options;
  LaunchResult result;
  result.status = kInvalidFunction;
  return result;
}

}  // namespace platform
