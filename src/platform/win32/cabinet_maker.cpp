#include "platform/cabinet_maker.h"

// Not written yet for Windows: the cabinet maker would run the batch file (MAKECAB.EXE) and wait.
namespace platform {

Status MakeCabinet(const std::wstring& directiveFilePath, const std::wstring& batchFilePath) {
  (void)directiveFilePath;
  (void)batchFilePath;
  return kInvalidFunction;
}

}  // namespace platform
