// Shell link files (.lnk) a setup created.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "session/shell_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CShellLink link;
  link.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
