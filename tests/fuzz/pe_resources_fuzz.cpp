// Executables' version resources and icon groups, read by our PE reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/pe_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace pe = platform::pe;
  pe::Image image;
  if (!image.Parse(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  for (const pe::Resource& resource : image.ResourcesOfType(pe::kResourceVersion)) {
    pe::VersionData version;
    pe::ReadVersionData(resource.data, version);
  }
  std::string ico;
  pe::ExtractIconFile(image, 0, ico);
  for (const pe::Resource& group : image.ResourcesOfType(pe::kResourceGroupIcon)) {
    if (!group.named) pe::ExtractIconFile(image, -static_cast<int>(group.id), ico);
    break;
  }
  return 0;
}
