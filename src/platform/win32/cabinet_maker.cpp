#include "platform/cabinet_maker.h"

// Not written yet for Windows: the cabinet maker would run MAKECAB.EXE on the directive file and
// wait for it (watching `watch->stop` to end it early).
namespace platform {

Status MakeCabinet(const std::wstring& directiveFilePath, const std::wstring& batchFilePath,
                   const CabinetWatch* watch, std::string* error) {
  (void)directiveFilePath;
  (void)batchFilePath;
  (void)watch;
  if (error != nullptr) *error = "the cabinet maker is not available in this build for Windows";
  return kInvalidFunction;
}

}  // namespace platform
