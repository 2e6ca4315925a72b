#include "support/capture_setup.h"

#include "core/work_paths.h"
#include "platform/machine.h"
#include "project/include_exclude_rules.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/registry_enumerate.h"

void SetUpCaptureWorkPaths(const std::filesystem::path& scratch) {
  std::filesystem::create_directories(scratch);
  SetupWorkPaths(L"", L"");
  TemplateProjectPath = WindowsPathOf(std::filesystem::path(CORVANE_SOURCE_DIR) / "data" / "RawProjectFile.xml");
  RulesFilePath = WindowsPathOf(scratch / "DefaultIncludeExclude.xml");
  ConfigFilePath = WindowsPathOf(scratch / "CorvaneRepackager.ini");
  SetOutputFolder(WindowsPathOf(scratch / "output"));
  SetProjectFilePath(WindowsPathOf(scratch / "output" / "Packages" / "ProjectFile.xml"));
  ExcludedChanges.clear();
  ExcludedKeyChanges.clear();
  ClearAllRules();
}

std::wstring WindowsPathOf(const std::filesystem::path& host) { return platform::Machine::WindowsPath(host); }
