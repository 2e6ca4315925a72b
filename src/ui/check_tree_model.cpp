#include "ui/check_tree_model.h"

#include <QFont>

struct CCheckTreeModel::Node {
  CTreeEntry entry;
  Node* parent = nullptr;
  int row = 0;
  bool checked = false;
  bool bold = false;
  bool loaded = false;
  std::vector<std::unique_ptr<Node>> children;
};

namespace {

// An item text as compared by select-by-path: without a drive's trailing "\", upper-cased.
QString MatchForm(const QString& text) {
  QString form = text.endsWith(QLatin1Char('\\')) ? text.chopped(1) : text;
  return form.toUpper();
}

}  // namespace

CCheckTreeModel::CCheckTreeModel(Enumerator enumerator, QObject* parent)
    : QAbstractItemModel(parent), enumerator_(std::move(enumerator)), root_(std::make_unique<Node>()) {
  root_->loaded = true;
}

CCheckTreeModel::~CCheckTreeModel() = default;

void CCheckTreeModel::SetRoots(const std::vector<CTreeEntry>& roots) {
  beginResetModel();
  root_->children.clear();
  for (const CTreeEntry& entry : roots) {
    auto node = std::make_unique<Node>();
    node->entry = entry;
    node->parent = root_.get();
    node->row = static_cast<int>(root_->children.size());
    root_->children.push_back(std::move(node));
  }
  endResetModel();
  emit CheckChanged();
}

CCheckTreeModel::Node* CCheckTreeModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex CCheckTreeModel::IndexOf(Node* node) const {
  if (node == nullptr || node == root_.get()) return {};
  return createIndex(node->row, 0, node);
}

QModelIndex CCheckTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex CCheckTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return IndexOf(NodeOf(child)->parent);
}

int CCheckTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(NodeOf(parent)->children.size());
}

int CCheckTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CCheckTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Node* node = NodeOf(index);
  switch (role) {
    case Qt::DisplayRole:
      return node->entry.text;
    case Qt::DecorationRole:
      return node->entry.icon;
    case Qt::CheckStateRole:
      if (!checkable_) return {};
      return node->checked ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole: {
      if (!node->bold) return {};
      QFont font;
      font.setBold(true);
      return font;
    }
    default:
      return {};
  }
}

bool CCheckTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole || !checkable_) return false;
  SetChecked(index, value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags CCheckTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return checkable_ ? flags | Qt::ItemIsUserCheckable : flags;
}

bool CCheckTreeModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  return node->loaded ? !node->children.empty() : node->entry.hasChildren;
}

bool CCheckTreeModel::canFetchMore(const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  return !node->loaded && node->entry.hasChildren;
}

void CCheckTreeModel::fetchMore(const QModelIndex& parent) { LoadNode(NodeOf(parent)); }

void CCheckTreeModel::Load(const QModelIndex& index) { LoadNode(NodeOf(index)); }

void CCheckTreeModel::LoadNode(Node* node) {
  if (node->loaded) return;
  node->loaded = true;
  if (!node->entry.hasChildren) return;
  const std::vector<CTreeEntry> entries = enumerator_(PathOf(node));
  if (entries.empty()) return;
  const bool checked = node->checked && checkNewChildren_;
  beginInsertRows(IndexOf(node), 0, static_cast<int>(entries.size()) - 1);
  node->children.reserve(entries.size());
  for (const CTreeEntry& entry : entries) {
    auto child = std::make_unique<Node>();
    child->entry = entry;
    child->parent = node;
    child->row = static_cast<int>(node->children.size());
    child->checked = checked;
    child->bold = checked;
    node->children.push_back(std::move(child));
  }
  endInsertRows();
}

bool CCheckTreeModel::IsChecked(const QModelIndex& index) const { return index.isValid() && NodeOf(index)->checked; }

bool CCheckTreeModel::IsBold(const QModelIndex& index) const { return index.isValid() && NodeOf(index)->bold; }

void CCheckTreeModel::SetSubtree(Node* node, bool checked) {
  node->checked = checked;
  node->bold = checked;
  if (node->children.empty()) return;
  for (auto& child : node->children) SetSubtree(child.get(), checked);
  // One notice per sibling range, not per item: a folder of thousands stays quick.
  emit dataChanged(IndexOf(node->children.front().get()), IndexOf(node->children.back().get()),
                   {Qt::CheckStateRole, Qt::FontRole});
}

void CCheckTreeModel::RecomputeAncestors(Node* node) {
  for (Node* ancestor = node->parent; ancestor != nullptr && ancestor != root_.get(); ancestor = ancestor->parent) {
    // An ancestor stays checked only while all its children are; it is not checked by its
    // children alone: that would cover what the folder or key holds itself (its files, its values,
    // a user hive not listed) which nobody chose.
    bool all = !ancestor->children.empty();
    bool any = false;
    for (const auto& child : ancestor->children) {
      all = all && child->checked;
      any = any || child->bold;
    }
    ancestor->checked = ancestor->checked && all;
    ancestor->bold = ancestor->checked || any;
    const QModelIndex index = IndexOf(ancestor);
    emit dataChanged(index, index, {Qt::CheckStateRole, Qt::FontRole});
  }
}

void CCheckTreeModel::SetChecked(const QModelIndex& index, bool checked) {
  if (!index.isValid()) return;
  Node* node = NodeOf(index);
  SetSubtree(node, checked);
  emit dataChanged(index, index, {Qt::CheckStateRole, Qt::FontRole});
  RecomputeAncestors(node);
  emit CheckChanged();
}

QString CCheckTreeModel::PathOf(const Node* node) const {
  std::vector<const Node*> chain;
  for (const Node* n = node; n != nullptr && n != root_.get(); n = n->parent) chain.push_back(n);
  QString path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += (*it)->entry.text;
    if (!path.endsWith(QLatin1Char('\\'))) path += QLatin1Char('\\');
  }
  return path;
}

QString CCheckTreeModel::FullPath(const QModelIndex& index) const {
  return index.isValid() ? PathOf(NodeOf(index)) : QString();
}

QModelIndex CCheckTreeModel::Find(const QString& path, std::vector<QModelIndex>* chain) {
  const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (parts.isEmpty()) return {};
  Node* node = root_.get();
  std::vector<QModelIndex> matched;
  for (const QString& part : parts) {
    LoadNode(node);
    const QString wanted = part.toUpper();
    Node* next = nullptr;
    for (const auto& child : node->children) {
      if (MatchForm(child->entry.text) == wanted) {
        next = child.get();
        break;
      }
    }
    if (next == nullptr) return {};
    node = next;
    matched.push_back(IndexOf(node));
  }
  if (chain != nullptr) *chain = matched;
  return IndexOf(node);
}

bool CCheckTreeModel::SelectByPath(const QString& path) {
  const QModelIndex found = Find(path);
  if (!found.isValid()) return false;
  SetChecked(found, true);
  return true;
}

void CCheckTreeModel::Collect(const Node* node, QStringList& out) const {
  for (const auto& child : node->children) {
    if (child->checked) {
      const QString path = PathOf(child.get());
      bool covered = false;
      for (const QString& taken : out) {
        if (path.startsWith(taken, Qt::CaseSensitive)) {
          covered = true;
          break;
        }
      }
      if (!covered) out.push_back(path);
    } else if (child->bold) {
      Collect(child.get(), out);
    }
  }
}

QStringList CCheckTreeModel::CheckedPaths() const {
  QStringList out;
  Collect(root_.get(), out);
  return out;
}

QStringList CCheckTreeModel::CheckedPathsBelow(const QModelIndex& index) const {
  QStringList out;
  if (index.isValid()) Collect(NodeOf(index), out);
  return out;
}
