#pragma once
#include <filesystem>
#include <map>
#include <string>

#include "support/temp_folder.h"

// A small, hand-made Wine prefix for unit tests: no Wine is run. It holds
//   dosdevices/c: -> ../drive_c,  dosdevices/z: -> /
//   drive_c/windows, drive_c/Program Files, drive_c/ProgramData,
//   drive_c/users/root/{AppData/Roaming,AppData/Local,Temp}
//   system.reg, user.reg, userdef.reg with the values a fresh prefix has for those folders
//   (SystemRoot, ProgramFilesDir, ProfileList, Shell Folders, HKCU\Environment TEMP/TMP).
//
// Typical use:
//   FixturePrefix prefix;
//   prefix.AddSystemReg("[Software\\\\Test] 1700000000\n\"Name\"=\"value\"\n");
//   prefix.Activate();                 // WINEPREFIX points here, the machine seam is reset
//   ... platform:: calls see the fixture ...
// The destructor restores the previous WINEPREFIX, resets the seam and removes the folder.
//
// Registry text is in Wine's file syntax (backslashes in key paths and strings written as "\\").
// Added text is appended after the default keys. A value written twice is ambiguous: to change a
// default value, use SetDefaults(false) and write DefaultSystemReg() (etc.) edited, plus your own.
class FixturePrefix {
 public:
  FixturePrefix();
  ~FixturePrefix();
  FixturePrefix(const FixturePrefix&) = delete;
  FixturePrefix& operator=(const FixturePrefix&) = delete;

  // Whether the default keys are written into the three .reg files (default: true). The folders
  // under drive_c are made either way.
  void SetDefaults(bool on) { defaults_ = on; }
  // Appends key blocks (Wine syntax, without the file header) to system.reg / user.reg /
  // userdef.reg. May be called before or after Activate(); the files are rewritten at once.
  void AddSystemReg(const std::string& text);
  void AddUserReg(const std::string& text);
  void AddUserdefReg(const std::string& text);

  // Adds (or replaces) dosdevices/<letter>: as a link to the host folder; RemoveDrive deletes it
  // (including the default c: or z:). Call Activate() or platform::Machine::Reset() afterwards.
  void AddDrive(char letter, const std::filesystem::path& target);
  void RemoveDrive(char letter);

  // Makes WINEPREFIX point at the fixture and resets the machine seam.
  void Activate();

  const std::filesystem::path& prefix() const { return prefix_; }
  // Host path of C:\ (drive_c).
  std::filesystem::path driveC() const { return prefix_ / "drive_c"; }
  // Host path of a path relative to drive_c ("users/root/Temp"), created with its parents when
  // `create` is true.
  std::filesystem::path InDriveC(const std::filesystem::path& relative, bool create = false) const;
  // Writes a file below drive_c (creating its folders); returns its host path.
  std::filesystem::path WriteDriveCFile(const std::filesystem::path& relative, const std::string& bytes) const;
  // A scratch folder beside the prefix (not inside any drive but Z:), for tests that need host
  // files outside the prefix.
  std::filesystem::path Scratch() const { return folder_.path() / "scratch"; }

  // Writes a file into the folder of the running test program (where the configuration file
  // "CorvaneRepackager.ini" is looked for) and removes it again in the destructor. That folder
  // is shared by every test process of the build, so the first call takes an exclusive lock on
  // it, held until this object goes: tests that use it run one after the other.
  std::filesystem::path WriteBesideProgram(const std::string& name, const std::string& bytes);
  // The host folder of the running test program.
  static std::filesystem::path ProgramFolderOnHost();

  // The default key blocks (without the file header) of each file.
  static std::string DefaultSystemReg();
  static std::string DefaultUserReg();
  static std::string DefaultUserdefReg();

  // The default values, as the tests expect them back.
  static constexpr const wchar_t* kWindir = L"C:\\windows";
  static constexpr const wchar_t* kProgramFiles = L"C:\\Program Files";
  static constexpr const wchar_t* kUserProfile = L"C:\\users\\root";
  static constexpr const wchar_t* kAllUsersProfile = L"C:\\ProgramData";
  static constexpr const wchar_t* kAppData = L"C:\\users\\root\\AppData\\Roaming";
  static constexpr const wchar_t* kLocalAppData = L"C:\\users\\root\\AppData\\Local";
  static constexpr const wchar_t* kTemp = L"C:\\users\\root\\Temp";
  static constexpr const wchar_t* kSystemDrive = L"C:";

 private:
  void WriteRegistryFiles() const;

  TempFolder folder_;
  std::filesystem::path prefix_;
  bool defaults_ = true;
  bool active_ = false;
  std::string systemExtra_;
  std::string userExtra_;
  std::string userdefExtra_;
  std::string previousPrefix_;
  bool hadPreviousPrefix_ = false;
  int lockFd_ = -1;
  std::map<std::string, std::filesystem::path> besideProgram_;
};
