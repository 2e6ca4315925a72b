#include "platform/machine.h"

#include <windows.h>
#include <shellapi.h>

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

std::vector<LogicalDrive> Machine::Drives() {
  std::vector<LogicalDrive> out;
  const DWORD mask = GetLogicalDrives();
  for (int bit = 0; bit < 26; ++bit) {
    if ((mask & (1u << bit)) == 0) continue;
    LogicalDrive drive;
    drive.letter = static_cast<wchar_t>(L'A' + bit);
    const wchar_t root[] = {drive.letter, L':', L'\\', 0};
    switch (GetDriveTypeW(root)) {
      case DRIVE_REMOVABLE: drive.type = DriveType::kRemovable; break;
      case DRIVE_FIXED: drive.type = DriveType::kFixed; break;
      case DRIVE_REMOTE: drive.type = DriveType::kRemote; break;
      case DRIVE_CDROM: drive.type = DriveType::kCdRom; break;
      case DRIVE_RAMDISK: drive.type = DriveType::kRamDisk; break;
      default: drive.type = DriveType::kUnknown; break;
    }
    out.push_back(drive);
  }
  return out;
}

Status Machine::OpenFolderInFileManager(const std::wstring& windowsPath) {
  const DWORD attributes = GetFileAttributesW(windowsPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return kPathNotFound;
  // The default verb of a folder opens it in the shell's window.
  const HINSTANCE result = ShellExecuteW(nullptr, nullptr, windowsPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32 ? kSuccess : kFileNotFound;
}

void Machine::Reset() {}

}  // namespace platform
