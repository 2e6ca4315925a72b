#include "snapshot/user_hive_names.h"

#include "platform/registry.h"

size_t FillUserHiveNames(std::vector<std::wstring>& names) {
  names.clear();
  platform::RegistryKey users;
  if (users.Open(platform::RootKey::Users, std::wstring()) != platform::kSuccess) return 0;
  platform::RegistryKeyInfo info;
  if (users.QueryInfo(info) != platform::kSuccess) return 0;
  std::wstring name;
  for (uint32_t index = 0; index < info.subKeyCount; ++index) {
    name.clear();
    if (users.EnumKey(index, name) != platform::kSuccess) break;
    names.push_back(name);
  }
  return names.size();
}
