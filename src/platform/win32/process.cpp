#include "platform/process.h"

// On Windows the machine needs no preparation before a capture.
namespace platform {

Status PrepareMachineForCapture() { return kSuccess; }

}  // namespace platform
