#pragma once
#include <string>

#include "project/change_types.h"

// Receives the changes found by the registry comparison (CRegCmp), one call per change, in the
// order in which they occur in the snapshot files.
//
// `category` is one of the three list paths below. `record.key` is the key line as it stands in
// the snapshot, brackets included; `record.valueName` the quoted value name ("@" for the default
// value), empty for a record that names only the key; `record.typeName` one of RegTypeNames, or
// empty for any other type and for a key-only record.
class IVelkRegCallback {
 public:
  virtual ~IVelkRegCallback() = default;
  virtual void OnRegistryChange(const std::wstring& category, const RegValueRecord& record) = 0;
};

namespace regcategory {
inline constexpr const wchar_t* kAdded = L"RegistrySystem//AddedItems//SubKeyList";
inline constexpr const wchar_t* kModified = L"RegistrySystem//ModifiedItems//SubKeyList";
inline constexpr const wchar_t* kDeleted = L"RegistrySystem//DeletedItems//SubKeyList";
}  // namespace regcategory
