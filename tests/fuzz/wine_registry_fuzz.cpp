// Wine's registry files (system.reg, user.reg, userdef.reg) as the registry loader reads them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/wine/registry_file_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::wine::ParsedRegistryFile parsed = platform::wine::ParseRegistryFile(text);
  (void)parsed;
  return 0;
}
