#pragma once
#include <QString>
#include <QStringList>
#include <QTreeView>

#include "ui/check_tree_model.h"

// The view both check-box trees share: a tree of lazily enumerated items with check marks
// (CCheckTreeModel). Space toggles the current item's check mark; expanding an item enumerates
// its children.
class CCheckTreeCtrl : public QTreeView {
  Q_OBJECT

 public:
  explicit CCheckTreeCtrl(CCheckTreeModel::Enumerator enumerator, QWidget* parent = nullptr);

  CCheckTreeModel& Model() const { return *model_; }
  // The roots again, unloaded and unchecked.
  virtual void Rebuild() = 0;

  // Select-by-path: finds the item (enumerating on the way), checks it with its subtree, expands
  // the items above it and makes it current. False, with nothing changed, when it is not found.
  bool SelectByPath(const QString& path);
  // Finds an item and makes it current, without checking it. False when it is not found.
  bool ShowPath(const QString& path);
  // The full path (ending in "\") of the current item; empty without one.
  QString CurrentPath() const;
  // What the collectors give: the checked paths, each ending in "\".
  QStringList CheckedPaths() const { return model_->CheckedPaths(); }
  // The counter: checked items that are not below another checked item.
  int SelectedCount() const { return static_cast<int>(model_->CheckedPaths().size()); }

 signals:
  void CheckChanged();
  // The current item changed (its children are enumerated by then).
  void CurrentChanged(const QModelIndex& index);

 private:
  bool Reveal(const QString& path, bool check);

  CCheckTreeModel* model_;
};
