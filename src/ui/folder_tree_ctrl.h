#pragma once
#include <functional>
#include <string>

#include "ui/check_tree_ctrl.h"

class QMenu;

// The folder tree: one root per drive of the machine (from B: upward, network drives left out),
// the folders below them enumerated when an item is first expanded or searched. A drive that
// shows the whole host (Wine's Z:) is walked no further than a person expands it.
//
// Right button (or the menu key) on an item: show it in the file manager, check or uncheck it
// with all its sub-folders, and the checked folders below it.
class CFolderTreeCtrl : public CCheckTreeCtrl {
  Q_OBJECT

 public:
  // Menu command numbers.
  enum Command { kShowCheckedBelow = 32000, kSelectSubtree = 32003, kDeselectSubtree = 32004, kDisplayFolder = 32005 };

  explicit CFolderTreeCtrl(QWidget* parent = nullptr);

  void Rebuild() override;
  // The context menu of an item (the caller owns it). Each action's data() is its command.
  QMenu* MakeContextMenu(const QModelIndex& index);
  // How "Display" opens a folder (default: the machine's file manager). A test sees the path.
  std::function<void(const std::wstring&)> openFolder;

  // The sub-folders of a folder (full path ending in "\"), sorted without regard to case.
  static std::vector<CTreeEntry> SubFolders(const QString& fullPath);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
};
