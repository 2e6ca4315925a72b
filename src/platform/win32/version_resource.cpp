#include "platform/version_resource.h"

#include <windows.h>

#include "core/strings.h"

// Not written yet for Windows (GetFileVersionInfoW / ExtractIconExW).
namespace platform {

Status ReadFileVersionResource(const std::wstring& path, FileVersionResource& out) {
  (void)path;
  out = FileVersionResource{};
  return kInvalidFunction;
}

Status ExtractIconAsIco(const std::wstring& path, int index, std::string& icoBytes) {
  (void)path;
  (void)index;
  icoBytes.clear();
  return kInvalidFunction;
}

uint16_t UserDefaultLanguage() { return static_cast<uint16_t>(GetUserDefaultLangID()); }

}  // namespace platform
