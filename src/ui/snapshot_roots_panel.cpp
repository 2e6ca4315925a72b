#include "ui/snapshot_roots_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QVBoxLayout>
#include <initializer_list>

CSnapshotRootsPanel::CSnapshotRootsPanel(QWidget* page, QVBoxLayout* layout) : layout_(layout) {
  auto* lists = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  filesLabel_ = new QLabel(QObject::tr("&Folders:"), page);
  files_ = new QListWidget(page);
  files_->setObjectName(QStringLiteral("fileRoots"));
  filesLabel_->setBuddy(files_);
  left->addWidget(filesLabel_);
  left->addWidget(files_);
  auto* right = new QVBoxLayout;
  keysLabel_ = new QLabel(QObject::tr("Registry &keys:"), page);
  keys_ = new QListWidget(page);
  keys_->setObjectName(QStringLiteral("registryRoots"));
  keysLabel_->setBuddy(keys_);
  right->addWidget(keysLabel_);
  right->addWidget(keys_);
  // Registry paths are the longer ones.
  lists->addLayout(left, 2);
  lists->addLayout(right, 3);
  layout->addLayout(lists, 1);

  caption_ = new QLabel(page);
  caption_->setWordWrap(true);
  detail_ = new QLabel(page);
  detail_->setTextFormat(Qt::PlainText);
  detail_->setMinimumWidth(1);  // a long folder path must not widen the window
  bar_ = new QProgressBar(page);
  bar_->setTextVisible(false);
  layout->addWidget(caption_);
  layout->addWidget(detail_);
  layout->addWidget(bar_);
  // While a step runs the lists are hidden: this takes their room, so that the progress stays
  // together at the top.
  layout->addStretch(0);
  trailingStretch_ = layout->count() - 1;
}

int CSnapshotRootsPanel::ShowChoices(const CaptureChoiceMap& choices) {
  files_->clear();
  keys_->clear();
  int count = 0;
  for (const auto& [list, key] : {std::pair{files_, L"File"}, std::pair{keys_, L"Registry"}}) {
    const auto found = choices.find(key);
    if (found == choices.end()) continue;
    for (const std::wstring& root : found->second) {
      list->addItem(QString::fromStdWString(root));
      list->item(list->count() - 1)->setToolTip(QString::fromStdWString(root));
      ++count;
    }
  }
  return count;
}

void CSnapshotRootsPanel::ShowLists(bool shown) {
  for (QWidget* widget : std::initializer_list<QWidget*>{filesLabel_, files_, keysLabel_, keys_}) {
    widget->setVisible(shown);
  }
  caption_->setVisible(!shown);
  detail_->setVisible(!shown);
  bar_->setVisible(!shown);
  layout_->setStretch(trailingStretch_, shown ? 0 : 1);
}
