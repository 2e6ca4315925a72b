#include "platform/version_resource.h"

#include "core/strings.h"

// The lookup in a version resource once it is read is the same on every platform.
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

}  // namespace platform
