#include "platform/machine_arch.h"

#include <windows.h>

namespace platform {
namespace {

bool IsMachine64Bit(USHORT machine) {
  return machine == IMAGE_FILE_MACHINE_AMD64 || machine == IMAGE_FILE_MACHINE_ARM64 ||
         machine == IMAGE_FILE_MACHINE_IA64;
}

}  // namespace

bool MachineIs64Bit() {
  // IsWow64Process2 (Windows 10 1709 and later) names the native machine even for a 32-bit
  // program under WOW64 and on ARM64; it is looked up so that older systems still start.
  using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Function>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
    USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
    if (isWow64Process2 != nullptr && isWow64Process2(GetCurrentProcess(), &process, &native)) {
      return IsMachine64Bit(native);
    }
  }
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

}  // namespace platform
