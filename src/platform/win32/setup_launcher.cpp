#include "platform/setup_launcher.h"

// Not written yet for Windows (ShellExecuteExW with a process handle, then a watch of msiexec).
namespace platform {

LaunchResult RunSetupAndWait(const std::wstring& setupWindowsPath, const LaunchOptions& options) {
  (void)setupWindowsPath;
  (void)options;
  LaunchResult result;
  result.status = kInvalidFunction;
  return result;
}

}  // namespace platform
