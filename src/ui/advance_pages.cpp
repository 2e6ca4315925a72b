#include "ui/advance_pages.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/folder_tree_ctrl.h"
#include "ui/registry_tree_ctrl.h"

CAdvancePages::CAdvancePages(const QString& text, QWidget* parent)
    : QWidget(parent), folders_(new CFolderTreeCtrl(this)), keys_(new CRegistryTreeCtrl(this)),
      counter_(new QLabel(this)), bottom_(new QVBoxLayout) {
  auto* layout = new QVBoxLayout(this);
  auto* caption = new QLabel(text, this);
  caption->setWordWrap(true);
  layout->addWidget(caption);

  auto* grid = new QGridLayout;
  auto* folderLabel = new QLabel(tr("&Folders:"), this);
  folderLabel->setBuddy(folders_);
  auto* keyLabel = new QLabel(tr("&Registry keys:"), this);
  keyLabel->setBuddy(keys_);
  grid->addWidget(folderLabel, 0, 0);
  grid->addWidget(keyLabel, 0, 1);
  grid->addWidget(folders_, 1, 0);
  grid->addWidget(keys_, 1, 1);
  grid->addWidget(counter_, 2, 0);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);
  layout->addLayout(grid, 1);
  layout->addLayout(bottom_);
  setTabOrder(folders_, keys_);

  connect(folders_, &CCheckTreeCtrl::CheckChanged, this, &CAdvancePages::RefreshCounter);
  RefreshCounter();
}

void CAdvancePages::RebuildTrees() {
  folders_->Rebuild();
  keys_->Rebuild();
}

void CAdvancePages::RefreshCounter() {
  counter_->setText(QStringLiteral("%1 Selected Folder(s)").arg(folders_->SelectedCount()));
}
