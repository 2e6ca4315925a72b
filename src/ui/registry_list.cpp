#include "ui/registry_list.h"

#include "ui/registry_tree_ctrl.h"

CRegistryList::CRegistryList(const CRegistryTreeCtrl& tree) : paths_(tree.CheckedPaths()) {}
