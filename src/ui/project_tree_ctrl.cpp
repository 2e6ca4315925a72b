#include "ui/project_tree_ctrl.h"

#include <QHeaderView>
#include <QStyle>

#include "ui/check_mark_style.h"

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kItemRole = Qt::UserRole + 1;
constexpr int kKindRole = Qt::UserRole + 2;
}  // namespace

CProjectTreeCtrl::CProjectTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setIconSize(QSize(16, 16));
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Long paths scroll sideways instead of being cut.
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  // The items' colours (present, missing) are for their texts, not their check marks.
  auto* checkMarks = new CCheckMarkStyle;
  checkMarks->setParent(this);
  setStyle(checkMarks);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
    if (column == 0) emit CheckChanged();
  });
}

void CProjectTreeCtrl::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  // The column is as wide as its longest path, and never narrower than the view, so that a
  // selected row is highlighted across.
  header()->setMinimumSectionSize(viewport()->width());
}

QIcon CProjectTreeCtrl::IconFor(ItemKind kind, bool isItem) const {
  if (kind == kFile) return style()->standardIcon(QStyle::SP_FileIcon);
  if (kind == kKey && isItem) return style()->standardIcon(QStyle::SP_FileDialogDetailedView);
  return style()->standardIcon(QStyle::SP_DirIcon);
}

QTreeWidgetItem* CProjectTreeCtrl::ChildNamed(QTreeWidgetItem* parent, const QString& name) const {
  const int count = parent != nullptr ? parent->childCount() : topLevelItemCount();
  for (int i = 0; i < count; ++i) {
    QTreeWidgetItem* child = parent != nullptr ? parent->child(i) : topLevelItem(i);
    if (child->text(0) == name) return child;
  }
  return nullptr;
}

QTreeWidgetItem* CProjectTreeCtrl::AddPath(const QString& path, ItemKind kind) {
  const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (parts.isEmpty()) return nullptr;
  const QSignalBlocker blocker(this);
  QTreeWidgetItem* node = nullptr;
  QString sofar;
  for (const QString& part : parts) {
    sofar = sofar.isEmpty() ? part : sofar + QLatin1Char('\\') + part;
    QTreeWidgetItem* child = ChildNamed(node, part);
    if (child == nullptr) {
      child = node != nullptr ? new QTreeWidgetItem(node) : new QTreeWidgetItem(this);
      child->setText(0, part);
      child->setData(0, kPathRole, sofar);
      child->setData(0, kKindRole, kind == kFile ? int(kFolder) : int(kind));
      child->setFlags(child->flags() | Qt::ItemIsUserCheckable);
      child->setCheckState(0, Qt::Unchecked);
      child->setIcon(0, IconFor(kind == kFile ? kFolder : kind, false));
      child->setToolTip(0, QString());
    }
    if (node != nullptr) node->setExpanded(true);
    node = child;
  }
  node->setData(0, kItemRole, true);
  node->setData(0, kKindRole, int(kind));
  node->setIcon(0, IconFor(kind, true));
  node->setExpanded(true);
  return node;
}

QTreeWidgetItem* CProjectTreeCtrl::Find(const QString& path) const {
  QTreeWidgetItem* node = nullptr;
  for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
    node = ChildNamed(node, part);
    if (node == nullptr) return nullptr;
  }
  return node;
}

bool CProjectTreeCtrl::RemovePath(const QString& path) {
  QTreeWidgetItem* node = Find(path);
  if (node == nullptr) return false;
  QTreeWidgetItem* parent = node->parent();
  delete node;
  while (parent != nullptr && parent->childCount() == 0 && !IsItem(parent)) {
    QTreeWidgetItem* above = parent->parent();
    delete parent;
    parent = above;
  }
  emit CheckChanged();
  return true;
}

void CProjectTreeCtrl::CollectChecked(QTreeWidgetItem* item, QStringList& out) const {
  if (item->checkState(0) == Qt::Checked) {
    out.append(PathOf(item));
    return;
  }
  for (int i = 0; i < item->childCount(); ++i) CollectChecked(item->child(i), out);
}

QStringList CProjectTreeCtrl::CheckedPaths() const {
  QStringList out;
  for (int i = 0; i < topLevelItemCount(); ++i) CollectChecked(topLevelItem(i), out);
  return out;
}

QString CProjectTreeCtrl::PathOf(const QTreeWidgetItem* item) { return item->data(0, kPathRole).toString(); }

bool CProjectTreeCtrl::IsItem(const QTreeWidgetItem* item) { return item->data(0, kItemRole).toBool(); }

CProjectTreeCtrl::ItemKind CProjectTreeCtrl::KindOf(const QTreeWidgetItem* item) {
  return static_cast<ItemKind>(item->data(0, kKindRole).toInt());
}

bool CProjectTreeCtrl::SetChecked(const QString& path, bool checked) {
  QTreeWidgetItem* node = Find(path);
  if (node == nullptr) return false;
  node->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  return true;
}
