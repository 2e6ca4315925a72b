#include "ui/registry_tree_ctrl.h"

#include <QApplication>
#include <QStyle>

#include "core/work_paths.h"
#include "platform/registry.h"

namespace {

const wchar_t* const kRoots[] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                                 L"HKEY_CURRENT_CONFIG"};

bool HasSubKeys(const platform::RegistryKey& parent, const std::wstring& name) {
  platform::RegistryKey key;
  platform::RegistryKeyInfo info;
  return key.Open(parent, name) == platform::kSuccess && key.QueryInfo(info) == platform::kSuccess &&
         info.subKeyCount > 0;
}

}  // namespace

CRegistryTreeCtrl::CRegistryTreeCtrl(QWidget* parent, bool chooser)
    : CCheckTreeCtrl(&CRegistryTreeCtrl::SubKeys, parent) {
  Model().SetCheckNewChildren(!chooser);
  Model().SetCheckable(!chooser);
  Rebuild();
}

void CRegistryTreeCtrl::Rebuild() {
  const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  std::vector<CTreeEntry> roots;
  for (const wchar_t* root : kRoots) roots.push_back({QString::fromWCharArray(root), icon, true});
  Model().SetRoots(roots);
}

std::vector<CTreeEntry> CRegistryTreeCtrl::SubKeys(const QString& fullPath) {
  std::wstring path = fullPath.toStdWString();
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  const size_t slash = path.find(L'\\');
  const std::wstring rootName = path.substr(0, slash);
  const std::wstring below = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
  const auto root = platform::RootKeyTable.find(rootName);
  if (root == platform::RootKeyTable.end()) return {};
  platform::RegistryKey key;
  platform::RegistryKeyInfo info;
  if (key.Open(root->second, below) != platform::kSuccess || key.QueryInfo(info) != platform::kSuccess) return {};
  uint32_t count = info.subKeyCount;
  // One user's hive stands for all of them.
  if (root->second == platform::RootKey::Users && below.empty() && count > 1) count = 1;
  const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  std::vector<CTreeEntry> out;
  out.reserve(count);
  std::wstring name;
  for (uint32_t i = 0; i < count; ++i) {
    if (key.EnumKey(i, name) != platform::kSuccess) break;
    out.push_back({QString::fromStdWString(name), icon, HasSubKeys(key, name)});
  }
  return out;
}
