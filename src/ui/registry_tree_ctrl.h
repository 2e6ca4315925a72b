#pragma once
#include "ui/check_tree_ctrl.h"

// The registry tree: the five roots ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
// "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"), the subkeys below them read from the
// machine's registry when an item is first expanded or searched. Under HKEY_USERS only the first
// subkey is listed.
class CRegistryTreeCtrl : public CCheckTreeCtrl {
  Q_OBJECT

 public:
  // `chooser`: the tree of the key chooser, which selects one key and checks nothing.
  explicit CRegistryTreeCtrl(QWidget* parent = nullptr, bool chooser = false);

  void Rebuild() override;

  // The subkeys of a key (full path ending in "\"), in the registry's order.
  static std::vector<CTreeEntry> SubKeys(const QString& fullPath);
};
