#include "session/work_context_setup.h"

#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/environment.h"
#include "platform/machine.h"

void SetupWorkContext(CWorkContext& context, const std::wstring& outputFolder, const std::wstring& packageFileName) {
  EnvironmentValues = platform::ReadEnvironmentValues();
  context.Setup(platform::Machine::ProgramFilePath(), outputFolder, packageFileName);
}
