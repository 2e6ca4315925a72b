#include "session/machine_path.h"

#include <filesystem>

#include "core/strings.h"
#include "platform/machine.h"

bool IsWindowsPath(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':' &&
          ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'))) ||
         path.rfind("\\\\", 0) == 0;
}

std::wstring ToMachinePath(const std::string& path) {
  if (IsWindowsPath(path)) return Utf8ToWide(path);
  return platform::Machine::WindowsPath(std::filesystem::path(path));
}
