#include "platform/version_resource.h"

#include <windows.h>

#include "core/strings.h"

// Not written yet for Windows (GetFileVersionInfoW / ExtractIconExW); the lookup in a read
// resource is the same as elsewhere.
namespace platform {

bool FileVersionResource::QueryString(const std::wstring& tableKey, const std::wstring& name,
                                      std::wstring& text) const {
  const std::wstring wantedTable = FoldAsciiUpper(tableKey);
  const std::wstring wantedName = FoldAsciiUpper(name);
  for (const StringTable& table : stringTables) {
    if (FoldAsciiUpper(table.key) != wantedTable) continue;
    for (const auto& [key, value] : table.strings) {
      if (FoldAsciiUpper(key) == wantedName) {
        text = value;
        return true;
      }
    }
  }
  return false;
}

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
