#pragma once
#include <string>
#include <vector>

// The work context of one run of the engine: where every file of the system lives and what the
// capture parts share. The capture session owns one; every part that reads a path is handed it by
// reference. Setup fills the paths once at start-up; only the three setters change them later, on
// the thread that drives the session, never while a worker runs. Narrow values are UTF-8, all
// paths are Windows paths.
class CWorkContext {
 public:
  // Fills every path from the program file's Windows path, the machine's environment values
  // (EnvironmentValues, core/work_paths.h, already read) and the given output folder (empty: the
  // program folder) and package file name (empty: the one in force stays). SetupWorkContext
  // (session/work_context_setup.h) reads both from the machine first.
  void Setup(const std::wstring& programFilePath, const std::wstring& outputFolder,
             const std::wstring& packageFileName);
  void SetOutputFolder(const std::wstring& folder);
  void SetPackageFileName(const std::wstring& name);
  void SetProjectFilePath(const std::wstring& path);

  std::string ProgramFolder;        // folder of the program file, no trailing backslash
  std::string ExtractedIconFolder;  // ProgramFolder + "\ExtractedIcon"
  std::string WorkFolder;           // the "temp" value
  std::string OutputFolder;         // given output folder, else ProgramFolder
  std::string PackageFileName;      // given package file name, else empty
  std::wstring FileChangesPath;
  std::wstring RegChangesPath;
  std::wstring INIChangesPath;
  std::wstring ProjectFilePath;
  std::wstring RulesFilePath;
  std::wstring TemplateProjectPath;
  std::wstring ConfigFilePath;
  std::wstring INIBackupFolder;

  // The names of the direct subkeys of HKEY_USERS (".DEFAULT", ...), in enumeration order: filled
  // by the session's start (FillUserHiveNames) before any worker runs, read by the registry
  // comparison.
  std::vector<std::wstring> UserHiveNames;
  // Whether a capture of this machine waits for its second snapshot (the configuration file's
  // "IsSnapshotTaken"): kept by the session manager, read by the pages. Driving thread only.
  bool SnapshotTaken = false;
};
