#include "ui/folder_list.h"

#include "ui/folder_tree_ctrl.h"

CFolderList::CFolderList(const CFolderTreeCtrl& tree) : paths_(tree.CheckedPaths()) {}
