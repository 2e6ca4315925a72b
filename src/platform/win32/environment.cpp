#include "platform/environment.h"

#include <windows.h>

namespace platform {

std::wstring GetEnvironmentValue(const std::wstring& name) {
  wchar_t buffer[1024];
  DWORD length = GetEnvironmentVariableW(name.c_str(), buffer, 1024);
  if (length == 0 || length >= 1024) return {};
  return std::wstring(buffer, length);
}

}  // namespace platform
