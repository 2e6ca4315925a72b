#include "ui/check_tree_ctrl.h"

#include <QHeaderView>

CCheckTreeCtrl::CCheckTreeCtrl(CCheckTreeModel::Enumerator enumerator, QWidget* parent)
    : QTreeView(parent), model_(new CCheckTreeModel(std::move(enumerator), this)) {
  setModel(model_);
  setHeaderHidden(true);
  // Uniform rows let a folder of many thousand entries lay out at once.
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(true);
  connect(model_, &CCheckTreeModel::CheckChanged, this, &CCheckTreeCtrl::CheckChanged);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    if (current.isValid()) model_->Load(current);
    emit CurrentChanged(current);
  });
}

bool CCheckTreeCtrl::Reveal(const QString& path, bool check) {
  std::vector<QModelIndex> chain;
  const QModelIndex found = model_->Find(path, &chain);
  if (!found.isValid()) return false;
  if (check) model_->SetChecked(found, true);
  for (size_t i = 0; i + 1 < chain.size(); ++i) expand(chain[i]);
  setCurrentIndex(found);
  scrollTo(found);
  return true;
}

bool CCheckTreeCtrl::SelectByPath(const QString& path) { return Reveal(path, true); }

bool CCheckTreeCtrl::ShowPath(const QString& path) { return Reveal(path, false); }

QString CCheckTreeCtrl::CurrentPath() const { return model_->FullPath(currentIndex()); }
