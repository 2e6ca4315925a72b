// The cabinet maker's directive file ("MSIProject.ddf").
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wine/ddf_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::wine::DirectiveFile directives;
  std::string error;
  (void)platform::wine::ParseDirectiveFile(std::string_view(reinterpret_cast<const char*>(data), size), directives,
                                           error);
  return 0;
}
