#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "platform/status.h"

// The Windows machine the program works on. On Windows it is the machine itself; under Wine it is
// a prefix ($WINEPREFIX, else ~/.wine). Every path inside the program is a Windows path; these
// functions are the only place where a Windows path meets the host's file system.
namespace platform {

// The kind of a drive, as GetDriveType tells it.
enum class DriveType { kUnknown, kRemovable, kFixed, kRemote, kCdRom, kRamDisk };

struct LogicalDrive {
  wchar_t letter = L'C';  // upper case
  DriveType type = DriveType::kFixed;
  // The drive shows the whole host file system (Wine's Z:): it is huge and must only be walked
  // on demand. Always false on Windows.
  bool hostRoot = false;
};

class Machine {
 public:
  // True when the machine can be used. Under Wine: the prefix exists and holds dosdevices/ and
  // the registry files. Never throws; the reason is in Error().
  static bool IsUsable();
  // Human-readable reason why the machine is not usable (empty when it is).
  static std::string Error();
  // Where the machine lives on the host (the prefix folder under Wine; empty on Windows).
  static std::filesystem::path Root();

  // Windows path -> host path. Drive letters map through the prefix's dosdevices links; a
  // component that does not exist with its exact case is looked up case-insensitively. Returns an
  // empty path for an unmapped drive or a path that is not absolute (callers treat that as status 3).
  static std::filesystem::path HostPath(const std::wstring& windowsPath);
  // Host path -> Windows path: through the drive whose target contains it (longest match;
  // "Z:\..." for the root drive). Relative host paths are made absolute first.
  static std::wstring WindowsPath(const std::filesystem::path& hostPath);

  // The name that tells this machine from others that share the program folder (and so its
  // configuration file): under Wine the prefix folder as an absolute host path with links resolved;
  // on Windows the computer's name. Empty when it cannot be found.
  static std::wstring Name();

  // True when the current user may change the whole machine, as a capture needs (what it writes
  // in Program Files, the system folders and HKEY_LOCAL_MACHINE is then seen completely). Windows:
  // membership of the local Administrators group (of the process's token, so a filtered token of
  // an elevated-less session answers false). Wine: the prefix and its system registry file are
  // writable by this user. False when the machine is not usable. Never throws; may touch the disk.
  static bool IsAdministrator();

  // The machine's drives in letter order (Windows: the logical-drive mask with each drive's
  // type; Wine: the prefix's dosdevices links that lead to a folder, typed by Wine's own
  // "Software\Wine\Drives" setting, fixed when it names none). Never blocks for long.
  static std::vector<LogicalDrive> Drives();

  // Opens a folder of the machine in the desktop's file manager and returns at once (Windows: the
  // shell's default verb on the folder; Wine: the host's xdg-open on the host folder). kSuccess
  // when the file manager was started; kPathNotFound for a folder that does not exist,
  // kFileNotFound when there is no file manager to start.
  static Status OpenFolderInFileManager(const std::wstring& windowsPath);

  // Windows path of the running program file (e.g. "Z:\opt\CorvaneRepackager\CorvaneRepackager").
  static std::wstring ProgramFilePath();

  // Forget cached facts (drive links, environment values) so a changed prefix is seen again.
  // Used by tests that switch WINEPREFIX inside one process.
  static void Reset();
};

}  // namespace platform
