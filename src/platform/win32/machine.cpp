#include "platform/machine.h"

#include <windows.h>

#include <vector>

// On Windows the machine is the machine itself: Windows paths are host paths.
namespace platform {

bool Machine::IsUsable() { return true; }
std::string Machine::Error() { return {}; }
std::filesystem::path Machine::Root() { return {}; }

std::filesystem::path Machine::HostPath(const std::wstring& windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != L':') return {};
  return std::filesystem::path(windowsPath);
}

std::wstring Machine::WindowsPath(const std::filesystem::path& hostPath) {
  std::error_code ec;
  return std::filesystem::absolute(hostPath, ec).wstring();
}

bool Machine::IsAdministrator() {
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

std::wstring Machine::Name() {
  wchar_t buffer[256];
  DWORD length = static_cast<DWORD>(sizeof(buffer) / sizeof(buffer[0]));
  if (!GetComputerNameExW(ComputerNameDnsFullyQualified, buffer, &length)) {
    length = static_cast<DWORD>(sizeof(buffer) / sizeof(buffer[0]));
    if (!GetComputerNameW(buffer, &length)) return {};
  }
  return std::wstring(buffer, length);
}

std::wstring Machine::ProgramFilePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

void Machine::Reset() {}

}  // namespace platform
