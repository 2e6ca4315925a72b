#include "ui/show_project_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/capture_session.h"
#include "session/project_relocation.h"
#include "ui/application_main.h"
#include "ui/project_tree_ctrl.h"

namespace {
// What a node of a tree stands for: nothing checked (a folder the project lists without files),
// an item here, or an item missing (the colour of a node is the worst below it).
constexpr int kStateRole = Qt::UserRole + 16;
enum ItemState { kUnchecked = 0, kPresent = 1, kMissing = 2 };

int ColourSubtree(QTreeWidgetItem* item) {
  int state = item->data(0, kStateRole).toInt();
  for (int i = 0; i < item->childCount(); ++i) state = std::max(state, ColourSubtree(item->child(i)));
  if (state == kPresent) item->setForeground(0, CShowProjectFileDlg::PresentColour());
  if (state == kMissing) item->setForeground(0, CShowProjectFileDlg::MissingColour());
  return state;
}

void ColourTree(CProjectTreeCtrl* tree) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i) ColourSubtree(tree->topLevelItem(i));
  tree->expandAll();
}

void MarkState(QTreeWidgetItem* node, bool missing) {
  if (node != nullptr) node->setData(0, kStateRole, missing ? kMissing : kPresent);
}
}  // namespace

CShowProjectFileDlg::CShowProjectFileDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kShowProjectPage, sheet),
      relocation_(std::make_unique<CProjectRelocation>(sheet->Session())) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(Text(111), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);

  // Files on the left, registry keys on the right, each tree half of the width.
  auto* halves = new QGridLayout;
  auto* filesCaption = new QLabel(tr("&Files of the project:"), this);
  fileTree_ = new CProjectTreeCtrl(this);
  fileTree_->setObjectName(QStringLiteral("fileTree"));
  filesCaption->setBuddy(fileTree_);
  auto* keysCaption = new QLabel(tr("Re&gistry keys of the project:"), this);
  keyTree_ = new CProjectTreeCtrl(this);
  keyTree_->setObjectName(QStringLiteral("keyTree"));
  keysCaption->setBuddy(keyTree_);
  missingFilesOnly_ = new QCheckBox(tr("Show &missing files only"), this);
  missingKeysOnly_ = new QCheckBox(tr("Show missing &keys only"), this);
  relocateFolder_ = new QPushButton(tr("&Relocate ticked folders..."), this);
  relocateKey_ = new QPushButton(tr("Re&locate ticked keys..."), this);
  fileCounter_ = new QLabel(this);
  keyCounter_ = new QLabel(this);
  halves->addWidget(filesCaption, 0, 0, 1, 2);
  halves->addWidget(keysCaption, 0, 2, 1, 2);
  halves->addWidget(fileTree_, 1, 0, 1, 2);
  halves->addWidget(keyTree_, 1, 2, 1, 2);
  halves->addWidget(fileCounter_, 2, 0, 1, 2);
  halves->addWidget(keyCounter_, 2, 2, 1, 2);
  halves->addWidget(missingFilesOnly_, 3, 0);
  halves->addWidget(relocateFolder_, 3, 1, Qt::AlignRight);
  halves->addWidget(missingKeysOnly_, 3, 2);
  halves->addWidget(relocateKey_, 3, 3, Qt::AlignRight);
  for (int column = 0; column < 4; ++column) halves->setColumnStretch(column, 1);
  halves->setRowStretch(1, 1);
  layout->addLayout(halves, 1);
  buildAnyway_ = new QCheckBox(tr("Build the package &even though items are missing"), this);
  layout->addWidget(buildAnyway_);

  for (QPushButton* button : {relocateFolder_, relocateKey_}) button->setAutoDefault(false);
  setTabOrder(fileTree_, missingFilesOnly_);
  setTabOrder(missingFilesOnly_, relocateFolder_);
  setTabOrder(relocateFolder_, keyTree_);
  setTabOrder(keyTree_, missingKeysOnly_);
  setTabOrder(missingKeysOnly_, relocateKey_);
  setTabOrder(relocateKey_, buildAnyway_);

  connect(missingFilesOnly_, &QCheckBox::toggled, this, [this] { FillFileTree(); });
  connect(missingKeysOnly_, &QCheckBox::toggled, this, [this] { FillKeyTree(); });
  connect(relocateFolder_, &QPushButton::clicked, this, &CShowProjectFileDlg::RelocateFolders);
  connect(relocateKey_, &QPushButton::clicked, this, &CShowProjectFileDlg::RelocateKeys);
}

CShowProjectFileDlg::~CShowProjectFileDlg() = default;

QColor CShowProjectFileDlg::PresentColour() { return QColor(60, 148, 44); }

QColor CShowProjectFileDlg::MissingColour() { return QColor(255, 0, 0); }

void CShowProjectFileDlg::OnSetActive() {
  // The project as it is on disk now (after a write-back too): what was relocated without going
  // on is not kept.
  relocation_->Load(Session().Context().ProjectFilePath);
  {
    const QSignalBlocker files(missingFilesOnly_);
    const QSignalBlocker keys(missingKeysOnly_);
    missingFilesOnly_->setChecked(relocation_->MissingFileCount() > 0);
    missingKeysOnly_->setChecked(relocation_->MissingKeyCount() > 0);
  }
  buildAnyway_->setChecked(false);
  FillFileTree();
  FillKeyTree();
  UpdateBuildAnyway();
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
}

int CShowProjectFileDlg::OnWizardBack() { return CApplicationMain::kMainPage; }

int CShowProjectFileDlg::OnWizardNext() {
  if (relocation_->AnythingMissing() && !buildAnyway_->isChecked()) {
    Message(Text(135), QStringLiteral("Information"), QMessageBox::Information);
    return -1;
  }
  if (relocation_->Changed()) {
    const COperationResult written = relocation_->WriteBack();
    if (!written.succeeded()) {
      Message(QString::fromStdString(written.error()), QStringLiteral("Error"), QMessageBox::Critical);
      return -1;
    }
  }
  return CApplicationMain::kBuildMSIPage;
}

void CShowProjectFileDlg::FillFileTree() {
  fileTree_->clear();
  for (const CProjectRelocation::FileItem& item : relocation_->Files(missingFilesOnly_->isChecked())) {
    const QString folder = QString::fromStdWString(item.folder);
    if (item.file.empty()) {
      fileTree_->AddPath(folder, CProjectTreeCtrl::kFolder);
      continue;
    }
    MarkState(fileTree_->AddPath(folder + QLatin1Char('\\') + QString::fromStdWString(item.file), CProjectTreeCtrl::kFile),
              item.missing);
  }
  ColourTree(fileTree_);
  const int files = relocation_->TotalFileCount();
  fileCounter_->setText((files == 1 ? tr("1 file") : tr("%1 files").arg(files)) +
                        tr(", %1 missing").arg(relocation_->MissingFileCount()));
}

void CShowProjectFileDlg::FillKeyTree() {
  keyTree_->clear();
  for (const CProjectRelocation::KeyItem& item : relocation_->Keys(missingKeysOnly_->isChecked())) {
    MarkState(keyTree_->AddPath(QString::fromStdWString(item.key), CProjectTreeCtrl::kKey), item.missing);
  }
  ColourTree(keyTree_);
  const int keys = relocation_->TotalKeyCount();
  keyCounter_->setText((keys == 1 ? tr("1 registry key") : tr("%1 registry keys").arg(keys)) +
                       tr(", %1 missing").arg(relocation_->MissingKeyCount()));
}

void CShowProjectFileDlg::UpdateBuildAnyway() {
  buildAnyway_->setEnabled(relocation_->AnythingMissing());
}

void CShowProjectFileDlg::RelocateFolders() {
  const QStringList checked = fileTree_->CheckedPaths();
  if (checked.isEmpty()) {
    Message(Text(136), QStringLiteral("Information"), QMessageBox::Information);
    return;
  }
  const QString chosen = Prompter().ChooseFolder(this, QStringLiteral("Pick a folder, any folder:"));
  if (chosen.isEmpty()) return;
  std::vector<std::wstring> paths;
  for (const QString& path : checked) paths.push_back(path.toStdWString());
  relocation_->RelocateFolders(paths, chosen.toStdWString());
  FillFileTree();
  UpdateBuildAnyway();
}

void CShowProjectFileDlg::RelocateKeys() {
  const QStringList checked = keyTree_->CheckedPaths();
  if (checked.isEmpty()) {
    Message(Text(136), QStringLiteral("Information"), QMessageBox::Information);
    return;
  }
  const std::optional<std::wstring> chosen =
      Prompter().ChooseRegistryKey(this, tr("Relocate the ticked registry keys to"), checked.front().toStdWString());
  if (!chosen) return;
  std::vector<std::wstring> paths;
  for (const QString& path : checked) paths.push_back(path.toStdWString());
  if (relocation_->RelocateKeys(paths, *chosen) < 0) {
    Message(tr("The registry key %1 does not exist on this machine.").arg(QString::fromStdWString(*chosen)),
            QStringLiteral("Information"), QMessageBox::Information);
    return;
  }
  FillKeyTree();
  UpdateBuildAnyway();
}
