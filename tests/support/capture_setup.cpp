#include "support/capture_setup.h"

#include "core/work_context.h"
#include "platform/machine.h"
#include "session/work_context_setup.h"

void SetUpCaptureWorkPaths(CWorkContext& context, const std::filesystem::path& scratch) {
  std::filesystem::create_directories(scratch);
  SetupWorkContext(context, L"", L"");
  context.TemplateProjectPath =
      WindowsPathOf(std::filesystem::path(CORVANE_SOURCE_DIR) / "data" / "RawProjectFile.xml");
  context.RulesFilePath = WindowsPathOf(scratch / "DefaultIncludeExclude.xml");
  context.ConfigFilePath = WindowsPathOf(scratch / "CorvaneRepackager.ini");
  context.SetOutputFolder(WindowsPathOf(scratch / "output"));
  context.SetProjectFilePath(WindowsPathOf(scratch / "output" / "Packages" / "ProjectFile.xml"));
}

std::wstring WindowsPathOf(const std::filesystem::path& host) { return platform::Machine::WindowsPath(host); }
