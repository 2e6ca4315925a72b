#pragma once
#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// One item a tree shows: its text, its picture, and whether it may have children (an expand
// button is shown; the children themselves are only asked for when needed).
struct CTreeEntry {
  QString text;
  QIcon icon;
  bool hasChildren = false;
};

// The check model of the folder and registry trees. Every item is checked or not, and bold when
// it or something below it is checked (the branch mark the collectors follow). Checking an item
// checks its loaded subtree; afterwards an ancestor that was checked stays so only while all its
// children are (it never becomes checked by its children alone), and is bold when it is checked
// or one of its children is bold. Children are enumerated lazily, the first time an
// item is expanded or searched; a child made under a checked item is made checked unless the
// tree was told otherwise (the registry key chooser).
//
// The full path of an item is the chain of item texts from its root joined with "\" and ending
// with "\" (a root text that already ends with "\", a drive, is not doubled).
class CCheckTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // The children of the item with this full path, in the order they are shown.
  using Enumerator = std::function<std::vector<CTreeEntry>(const QString& fullPath)>;

  CCheckTreeModel(Enumerator enumerator, QObject* parent = nullptr);
  ~CCheckTreeModel() override;

  // Replaces every item by these roots (none of them loaded or checked).
  void SetRoots(const std::vector<CTreeEntry>& roots);
  // Whether children made under a checked item are made checked (default true).
  void SetCheckNewChildren(bool on) { checkNewChildren_ = on; }
  // Whether items show a check box at all (default true; the key chooser only selects).
  void SetCheckable(bool on) { checkable_ = on; }

  // QAbstractItemModel: one column; the check box is Qt::CheckStateRole, bold is the font.
  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  bool IsChecked(const QModelIndex& index) const;
  bool IsBold(const QModelIndex& index) const;
  // Checks or unchecks an item with its loaded subtree, recomputes the ancestors and announces
  // CheckChanged.
  void SetChecked(const QModelIndex& index, bool checked);
  // Makes sure the children of an item exist (enumerating them once).
  void Load(const QModelIndex& index);

  QString FullPath(const QModelIndex& index) const;
  // Walks down from the roots matching each "\"-separated part of `path` against the item texts
  // without regard to case, enumerating children on the way. The item, or an invalid index when
  // some part is not found (the check marks are not touched either way). `chain` receives the
  // matched items from the root down.
  QModelIndex Find(const QString& path, std::vector<QModelIndex>* chain = nullptr);
  // Find, then check the item with its subtree. False (nothing checked) when not found.
  bool SelectByPath(const QString& path);

  // The collectors' walk: every checked item's full path, not descending below it; below an
  // unchecked item only its bold children are visited. A path is left out when an already
  // collected path is a leading part of it.
  QStringList CheckedPaths() const;
  // The same walk below one item (the item itself not counted).
  QStringList CheckedPathsBelow(const QModelIndex& index) const;

 signals:
  // A check mark changed (the counter and the pages follow).
  void CheckChanged();

 private:
  struct Node;
  Node* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(Node* node) const;
  void LoadNode(Node* node);
  void SetSubtree(Node* node, bool checked);
  void RecomputeAncestors(Node* node);
  void Collect(const Node* node, QStringList& out) const;
  QString PathOf(const Node* node) const;

  Enumerator enumerator_;
  std::unique_ptr<Node> root_;
  bool checkNewChildren_ = true;
  bool checkable_ = true;
};
