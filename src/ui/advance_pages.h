#pragma once
#include <QWidget>

class CFolderTreeCtrl;
class CRegistryTreeCtrl;
class QGridLayout;
class QLabel;
class QVBoxLayout;

// What the include and the exclude page share: a text at the top, the folder tree with its
// counter beside the registry tree, and room below for the page's own controls.
class CAdvancePages : public QWidget {
  Q_OBJECT

 public:
  explicit CAdvancePages(const QString& text, QWidget* parent = nullptr);

  CFolderTreeCtrl* FolderTree() const { return folders_; }
  CRegistryTreeCtrl* RegistryTree() const { return keys_; }
  QLabel* Counter() const { return counter_; }

  // Both trees as new: roots only, nothing checked.
  void RebuildTrees();

 protected:
  // The page's own controls go here, below the trees.
  QVBoxLayout* Bottom() const { return bottom_; }

 private:
  void RefreshCounter();

  CFolderTreeCtrl* folders_;
  CRegistryTreeCtrl* keys_;
  QLabel* counter_;
  QVBoxLayout* bottom_;
};
