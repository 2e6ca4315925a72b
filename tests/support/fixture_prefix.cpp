#include "support/fixture_prefix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/machine.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("FixturePrefix: cannot write " + path.string());
}

std::string Header(const char* root) {
  return std::string("WINE REGISTRY Version 2\n;; All keys relative to ") + root + "\n\n#arch=win64\n";
}

}  // namespace

std::string FixturePrefix::DefaultSystemReg() {
  return R"REG(
[Software\\Microsoft\\Windows NT\\CurrentVersion] 1700000000
#time=1da1a5e9b2c3d40
"CurrentBuild"="19045"
"ProductName"="Microsoft Windows 10 Pro"
"SystemRoot"="C:\\windows"

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList] 1700000000
#time=1da1a5e9b2c3d40
"ProfilesDirectory"=str(2):"C:\\users"
"ProgramData"=str(2):"C:\\ProgramData"
"Public"=str(2):"C:\\users\\Public"

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000] 1700000000
#time=1da1a5e9b2c3d40
"Flags"=dword:00000000
"ProfileImagePath"="C:\\users\\root"

[Software\\Microsoft\\Windows\\CurrentVersion] 1700000000
#time=1da1a5e9b2c3d40
"CommonFilesDir"="C:\\Program Files\\Common Files"
"ProgramFilesDir"="C:\\Program Files"
"ProgramFilesDir (x86)"="C:\\Program Files (x86)"
"ProgramFilesPath"=str(2):"%ProgramFiles%"

[System\\CurrentControlSet\\Control\\Session Manager\\Environment] 1700000000
#time=1da1a5e9b2c3d40
"ComSpec"=str(2):"%SystemRoot%\\system32\\cmd.exe"
"TEMP"=str(2):"%SystemRoot%\\temp"
"TMP"=str(2):"%SystemRoot%\\temp"
"windir"=str(2):"%SystemRoot%"
)REG";
}

std::string FixturePrefix::DefaultUserReg() {
  return R"REG(
[Environment] 1700000000
#time=1da1a5e9b2c3d40
"TEMP"="C:\\users\\root\\Temp"
"TMP"="C:\\users\\root\\Temp"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
#time=1da1a5e9b2c3d40
"AppData"="C:\\users\\root\\AppData\\Roaming"
"Desktop"="C:\\users\\root\\Desktop"
"Local AppData"="C:\\users\\root\\AppData\\Local"
"Personal"="C:\\users\\root\\Documents"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
#time=1da1a5e9b2c3d40
"AppData"=str(2):"%USERPROFILE%\\AppData\\Roaming"
"Desktop"=str(2):"%USERPROFILE%\\Desktop"
"Local AppData"=str(2):"%USERPROFILE%\\AppData\\Local"
"Personal"=str(2):"%USERPROFILE%\\Documents"

[Volatile Environment] 1700000000
#time=1da1a5e9b2c3d40
"APPDATA"="C:\\users\\root\\AppData\\Roaming"
"LOCALAPPDATA"="C:\\users\\root\\AppData\\Local"
"USERPROFILE"="C:\\users\\root"
)REG";
}

std::string FixturePrefix::DefaultUserdefReg() {
  return R"REG(
[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
#time=1da1a5e9b2c3d40
"AppData"="C:\\users\\root\\AppData\\Roaming"
)REG";
}

FixturePrefix::FixturePrefix() {
  prefix_ = folder_.path() / "prefix";
  const fs::path dosdevices = prefix_ / "dosdevices";
  fs::create_directories(dosdevices);
  fs::create_directories(Scratch());
  for (const char* folder : {"windows/system32", "windows/temp", "Program Files/Common Files",
                             "Program Files (x86)", "ProgramData", "users/Public",
                             "users/root/AppData/Roaming", "users/root/AppData/Local",
                             "users/root/Temp"}) {
    fs::create_directories(driveC() / folder);
  }
  fs::create_directory_symlink("../drive_c", dosdevices / "c:");
  fs::create_directory_symlink("/", dosdevices / "z:");
  WriteRegistryFiles();
}

FixturePrefix::~FixturePrefix() {
  for (const auto& [name, path] : besideProgram_) {
    std::error_code ec;
    fs::remove(path, ec);
  }
  if (lockFd_ >= 0) {
    flock(lockFd_, LOCK_UN);
    close(lockFd_);
  }
  if (active_) {
    if (hadPreviousPrefix_) {
      setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
    } else {
      unsetenv("WINEPREFIX");
    }
    platform::Machine::Reset();
  }
}

void FixturePrefix::WriteRegistryFiles() const {
  WriteText(prefix_ / "system.reg",
            Header("REGISTRY\\\\Machine") + (defaults_ ? DefaultSystemReg() : "") + systemExtra_);
  WriteText(prefix_ / "user.reg", Header("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000") +
                                      (defaults_ ? DefaultUserReg() : "") + userExtra_);
  WriteText(prefix_ / "userdef.reg",
            Header("REGISTRY\\\\User\\\\.Default") + (defaults_ ? DefaultUserdefReg() : "") + userdefExtra_);
}

void FixturePrefix::AddSystemReg(const std::string& text) {
  systemExtra_ += "\n" + text;
  WriteRegistryFiles();
}

void FixturePrefix::AddUserReg(const std::string& text) {
  userExtra_ += "\n" + text;
  WriteRegistryFiles();
}

void FixturePrefix::AddUserdefReg(const std::string& text) {
  userdefExtra_ += "\n" + text;
  WriteRegistryFiles();
}

void FixturePrefix::AddDrive(char letter, const fs::path& target) {
  RemoveDrive(letter);
  char lower = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter + 32) : letter;
  fs::create_directory_symlink(target, prefix_ / "dosdevices" / (std::string(1, lower) + ":"));
}

void FixturePrefix::RemoveDrive(char letter) {
  char lower = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter + 32) : letter;
  std::error_code ec;
  fs::remove(prefix_ / "dosdevices" / (std::string(1, lower) + ":"), ec);
}

void FixturePrefix::Activate() {
  WriteRegistryFiles();
  if (!active_) {
    if (const char* previous = std::getenv("WINEPREFIX")) {
      hadPreviousPrefix_ = true;
      previousPrefix_ = previous;
    }
    active_ = true;
  }
  setenv("WINEPREFIX", prefix_.c_str(), 1);
  platform::Machine::Reset();
}

fs::path FixturePrefix::InDriveC(const fs::path& relative, bool create) const {
  fs::path path = driveC() / relative;
  if (create) fs::create_directories(path);
  return path;
}

fs::path FixturePrefix::WriteDriveCFile(const fs::path& relative, const std::string& bytes) const {
  fs::path path = driveC() / relative;
  WriteText(path, bytes);
  return path;
}

fs::path FixturePrefix::ProgramFolderOnHost() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

fs::path FixturePrefix::WriteBesideProgram(const std::string& name, const std::string& bytes) {
  const fs::path folder = ProgramFolderOnHost();
  if (lockFd_ < 0) {
    const fs::path lock = folder / ".corvane-program-folder.lock";
    lockFd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0 || flock(lockFd_, LOCK_EX) != 0) {
      throw std::runtime_error("FixturePrefix: cannot lock " + lock.string());
    }
  }
  fs::path path = folder / name;
  WriteText(path, bytes);
  besideProgram_[name] = path;
  return path;
}
