#include "core/work_context.h"

#include "core/strings.h"
#include "core/work_paths.h"

void CWorkContext::Setup(const std::wstring& programFilePath, const std::wstring& outputFolder,
                         const std::wstring& packageFileName) {
  const size_t slash = programFilePath.find_last_of(L'\\');
  ProgramFolder = WideToUtf8(slash == std::wstring::npos ? std::wstring() : programFilePath.substr(0, slash));

  ExtractedIconFolder = ProgramFolder + "\\ExtractedIcon";
  WorkFolder = WideToUtf8(EnvironmentValues.temp);
  OutputFolder = outputFolder.empty() ? ProgramFolder : WideToUtf8(outputFolder);
  if (!packageFileName.empty()) PackageFileName = WideToUtf8(packageFileName);

  const std::wstring temp = Utf8ToWide(WorkFolder) + L"\\Temp\\";
  FileChangesPath = temp + L"FileChanges.xml";
  RegChangesPath = temp + L"RegChanges.xml";
  INIChangesPath = temp + L"INIChanges.xml";
  ProjectFilePath = Utf8ToWide(OutputFolder) + L"\\Packages\\ProjectFile.xml";
  const std::wstring programFolder = Utf8ToWide(ProgramFolder);
  RulesFilePath = programFolder + L"\\DefaultIncludeExclude.xml";
  TemplateProjectPath = programFolder + L"\\RawProjectFile.xml";
  INIBackupFolder = EnvironmentValues.appdata + L"\\INIBackup";
  ConfigFilePath = programFolder + L"\\CorvaneRepackager.ini";
}

void CWorkContext::SetOutputFolder(const std::wstring& folder) { OutputFolder = WideToUtf8(folder); }

void CWorkContext::SetPackageFileName(const std::wstring& name) { PackageFileName = WideToUtf8(name); }

void CWorkContext::SetProjectFilePath(const std::wstring& path) { ProjectFilePath = path; }
