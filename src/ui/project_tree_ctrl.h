#pragma once
#include <QString>
#include <QStringList>
#include <QTreeWidget>

// A check-box tree of backslash-separated paths (registry keys, folders and files): every
// component is a node, the tree is kept fully expanded. A node made for a path added with AddPath
// is an item; the nodes above it that were only made to hold it are its parents and disappear
// when they hold nothing any more. Paths are compared with letter case respected.
class CProjectTreeCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  enum ItemKind { kFolder = 0, kFile = 1, kKey = 2 };

  explicit CProjectTreeCtrl(QWidget* parent = nullptr);

  // Adds the path (and the nodes above it) unless it is there; the node becomes an item of this
  // kind. Returns its node.
  QTreeWidgetItem* AddPath(const QString& path, ItemKind kind);
  // The node of a path, or nullptr.
  QTreeWidgetItem* Find(const QString& path) const;
  // Removes the node of the path with everything below it, then the parents above it that hold
  // nothing and are no items themselves. False when the path is not shown.
  bool RemovePath(const QString& path);
  // The ticked paths, as a person reads the tree: a ticked node counts with its full path and
  // what lies below it is not looked at; below an unticked node its children are searched.
  QStringList CheckedPaths() const;
  int CheckedCount() const { return CheckedPaths().size(); }
  // The full path and the kind of a node.
  static QString PathOf(const QTreeWidgetItem* item);
  static bool IsItem(const QTreeWidgetItem* item);
  static ItemKind KindOf(const QTreeWidgetItem* item);
  // Ticks or unticks one node (tests and keyboard users).
  bool SetChecked(const QString& path, bool checked);

 signals:
  // A check box changed (the page shows the count).
  void CheckChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const QString& name) const;
  void CollectChecked(QTreeWidgetItem* item, QStringList& out) const;
  QIcon IconFor(ItemKind kind, bool isItem) const;
};
