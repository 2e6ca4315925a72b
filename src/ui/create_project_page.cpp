#include "ui/create_project_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/icon_reader.h"
#include "ui/msi_screen_handler.h"
#include "ui/prompter.h"
#include "ui/shortcut_dlg.h"

namespace {
// Rows of the setup's own links carry their index in the link list here.
constexpr int kLinkRole = Qt::UserRole + 1;

std::wstring LastPart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

CCreateProjectFileMsiDlg::CCreateProjectFileMsiDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kCreateProjectPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(tr("Define the shortcuts of the package: choose a captured program and click Add "
                               "shortcut. Finish writes the project file and builds the package."),
                            this);
  description_->setWordWrap(true);
  layout->addWidget(description_);

  auto* lists = new QGridLayout;
  auto* programsLabel = new QLabel(tr("Captured &programs:"), this);
  executables_ = new QListWidget(this);
  executables_->setObjectName(QStringLiteral("executables"));
  programsLabel->setBuddy(executables_);
  auto* shortcutsLabel = new QLabel(tr("S&hortcuts:"), this);
  shortcutList_ = new QTreeWidget(this);
  shortcutList_->setObjectName(QStringLiteral("shortcuts"));
  shortcutsLabel->setBuddy(shortcutList_);
  add_ = new QPushButton(tr("A&dd shortcut >"), this);
  edit_ = new QPushButton(tr("&Edit..."), this);
  remove_ = new QPushButton(tr("Re&move"), this);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(edit_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  lists->addWidget(programsLabel, 0, 0);
  lists->addWidget(shortcutsLabel, 0, 2);
  lists->addWidget(executables_, 1, 0);
  lists->addLayout(buttons, 1, 1);
  lists->addWidget(shortcutList_, 1, 2);
  lists->setColumnStretch(0, 2);
  lists->setColumnStretch(2, 3);
  layout->addLayout(lists, 1);

  auto* fields = new QGridLayout;
  folder_ = new QLineEdit(this);
  folder_->setObjectName(QStringLiteral("folder"));
  browse_ = new QPushButton(tr("B&rowse..."), this);
  projectName_ = new QLineEdit(this);
  projectName_->setObjectName(QStringLiteral("projectName"));
  packageName_ = new QLineEdit(this);
  packageName_->setObjectName(QStringLiteral("packageName"));
  auto* folderLabel = new QLabel(tr("&Output folder:"), this);
  folderLabel->setBuddy(folder_);
  auto* projectLabel = new QLabel(tr("Pro&ject file name:"), this);
  projectLabel->setBuddy(projectName_);
  auto* packageLabel = new QLabel(tr("Pac&kage name:"), this);
  packageLabel->setBuddy(packageName_);
  fields->addWidget(folderLabel, 0, 0);
  fields->addWidget(folder_, 0, 1);
  fields->addWidget(browse_, 0, 2);
  fields->addWidget(projectLabel, 1, 0);
  fields->addWidget(projectName_, 1, 1);
  fields->addWidget(packageLabel, 2, 0);
  fields->addWidget(packageName_, 2, 1);
  fields->setColumnStretch(1, 1);
  layout->addLayout(fields);
  buildToo_ = new QCheckBox(tr("B&uild the package as well"), this);
  buildToo_->setChecked(true);
  layout->addWidget(buildToo_);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->setRange(0, 1000);
  result_ = new QPlainTextEdit(this);
  result_->setObjectName(QStringLiteral("result"));
  result_->setReadOnly(true);
  result_->setMaximumHeight(72);
  layout->addWidget(status_);
  layout->addWidget(bar_);
  layout->addWidget(result_);
  bar_->hide();
  result_->hide();
  SetProgressControls(bar_, nullptr, nullptr);

  for (QPushButton* button : {add_, edit_, remove_, browse_}) button->setAutoDefault(false);
  setTabOrder(executables_, add_);
  setTabOrder(add_, shortcutList_);
  setTabOrder(shortcutList_, edit_);
  setTabOrder(edit_, remove_);
  setTabOrder(remove_, folder_);
  setTabOrder(folder_, browse_);
  setTabOrder(browse_, projectName_);
  setTabOrder(projectName_, packageName_);
  setTabOrder(packageName_, buildToo_);
  setTabOrder(buildToo_, result_);

  handler_ = new CMSIScreenHandler(shortcutList_, Prompter(), this, Sheet()->Logger(),
                                   Session().Context().ExtractedIconFolder);
  handler_->InitShortcutList();
  connect(add_, &QPushButton::clicked, this, [this] { AddShortcut(); });
  connect(executables_, &QListWidget::itemActivated, this, [this] { AddShortcut(); });
  connect(edit_, &QPushButton::clicked, this, [this] { EditSelectedShortcut(); });
  connect(remove_, &QPushButton::clicked, this, &CCreateProjectFileMsiDlg::RemoveSelectedShortcut);
  connect(browse_, &QPushButton::clicked, this, &CCreateProjectFileMsiDlg::BrowseFolder);

  // While the build runs, the builder's own status text.
  statusTimer_ = new QTimer(this);
  statusTimer_->setInterval(100);
  connect(statusTimer_, &QTimer::timeout, this, [this] {
    const std::wstring text = BuildStatusText.Get();
    if (building_ && !text.empty()) status_->setText(QString::fromStdWString(text));
  });
}

void CCreateProjectFileMsiDlg::OnSetActive() {
  if (busy_) return;
  if (done_) {
    Sheet()->SetWizardButtons(CResizablePropertySheet::kFinish);
    return;
  }
  Initialize();
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kFinish);
}

int CCreateProjectFileMsiDlg::OnWizardBack() { return CApplicationMain::kContentReviewRegistryPage; }

void CCreateProjectFileMsiDlg::Initialize() {
  // The programs as the review left them: a program set aside there is no target here.
  executables_->clear();
  targetPaths_.clear();
  for (const std::wstring& path : Session().GetExecutableList()) AddExecutable(path);
  if (executables_->count() > 0) executables_->setCurrentRow(0);

  if (initialized_) return;
  initialized_ = true;
  // The shortcuts the setup made with its links: links are no files of the package.
  std::vector<std::string> notes;
  linkShortcuts_ = Session().ShortcutsFromLinks(notes);
  for (size_t i = 0; i < linkShortcuts_.size(); ++i) {
    const ShortcutRecord& link = linkShortcuts_[i];
    auto* row = new QTreeWidgetItem(shortcutList_);
    row->setText(0, QString::fromStdWString(link.name));
    row->setText(1, QString::fromStdWString(link.exeName) + tr(" (made by the setup)"));
    row->setData(0, kLinkRole, static_cast<int>(i));
    const QImage icon = CIconReader::Icon(link.icon, QString::fromStdWString(link.iconIndex).toInt(), 16);
    row->setIcon(0, icon.isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : QIcon(QPixmap::fromImage(icon)));
  }

  const std::string packages = CMSIScreenHandler::EnsurePackagesFolder(
      Session().Context().OutputFolder, Sheet()->Logger(), "Directory %s not created successfully, error code is: %ld");
  initialFolder_ = QString::fromStdString(packages);
  initialProjectName_ = QString::fromStdWString(LastPart(Session().Context().ProjectFilePath));
  initialPackageName_ = QString::fromStdWString(Session().GetSetupFileInfo().ApplicationName) +
                        QStringLiteral(".msi");
  folder_->setText(initialFolder_);
  projectName_->setText(initialProjectName_);
  packageName_->setText(initialPackageName_);
}

void CCreateProjectFileMsiDlg::AddExecutable(const std::wstring& path) {
  // The name is what a person looks for; the folder is in the tooltip.
  auto* item = new QListWidgetItem(QString::fromStdWString(LastPart(path)), executables_);
  item->setData(Qt::UserRole, QString::fromStdWString(path));
  item->setToolTip(QString::fromStdWString(path));
  const QImage icon = CIconReader::Icon(path, 0, 16);
  item->setIcon(icon.isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : QIcon(QPixmap::fromImage(icon)));
  std::wstring token = path;
  ToTokenForm(token);
  targetPaths_.emplace(LastPart(path), token);
}

bool CCreateProjectFileMsiDlg::AddShortcut() {
  const QListWidgetItem* item = executables_->currentItem();
  if (item == nullptr) return false;
  const std::wstring path = item->data(Qt::UserRole).toString().toStdWString();
  const std::wstring target = LastPart(path);
  if (handler_->Shortcuts().count(target) != 0) {
    Message(tr("%1 has a shortcut already: double-click it in the list to change it.").arg(item->text()),
            QStringLiteral("Warning"), QMessageBox::Warning);
    return false;
  }
  CShortcutDlg dialog(target.substr(0, target.find(L'.')), path, Prompter(), this);
  if (Prompter().Dialog(dialog) != QDialog::Accepted) return false;
  handler_->AddShortcutToList(dialog.Info(), target);
  return true;
}

bool CCreateProjectFileMsiDlg::EditSelectedShortcut() {
  const std::wstring target = handler_->SelectedTarget();
  return !target.empty() && handler_->EditShortcut(target);
}

void CCreateProjectFileMsiDlg::RemoveSelectedShortcut() {
  QTreeWidgetItem* row = shortcutList_->currentItem();
  if (row == nullptr) return;
  const QVariant link = row->data(0, kLinkRole);
  if (link.isValid()) {
    // Later rows keep their indexes: the record is emptied, not erased.
    linkShortcuts_[static_cast<size_t>(link.toInt())].name.clear();
    delete row;
    return;
  }
  const std::wstring target = handler_->SelectedTarget();
  delete row;
  handler_->RemoveShortcut(target);
}

void CCreateProjectFileMsiDlg::TakeChosenFolder(const QString& folder) {
  folder_->setText(CMSIScreenHandler::ChosenFolderText(folder));
}

void CCreateProjectFileMsiDlg::BrowseFolder() {
  const QString chosen = Prompter().ChooseFolder(this, QStringLiteral("Pick a folder, any folder:"));
  if (!chosen.isEmpty()) TakeChosenFolder(chosen);
}

bool CCreateProjectFileMsiDlg::Check(bool failed, int text, QLineEdit* field, const QString& initial) {
  if (!failed) return true;
  Message(Text(text), QStringLiteral("Warning"), QMessageBox::Warning);
  field->setText(initial);
  field->setFocus();
  return false;
}

bool CCreateProjectFileMsiDlg::Validate() {
  const QString folder = folder_->text().trimmed();
  const int folderCheck = CMSIScreenHandler::CheckOutputFolder(folder);
  if (!Check(folderCheck != 0, folderCheck, folder_, initialFolder_)) return false;
  if (folder.size() > 3) folder_->setText(CMSIScreenHandler::NormalisedFolder(folder));

  const QString project = projectName_->text().trimmed().toLower();
  if (!Check(project.isEmpty(), 132, projectName_, initialProjectName_)) return false;
  if (!Check(!project.endsWith(QStringLiteral(".xml")), 133, projectName_, initialProjectName_)) return false;
  if (!Check(project.startsWith(QStringLiteral(".xml")), 134, projectName_, initialProjectName_)) return false;

  const int packageCheck = CMSIScreenHandler::CheckPackageName(packageName_->text().trimmed());
  return Check(packageCheck != 0, packageCheck, packageName_, initialPackageName_);
}

void CCreateProjectFileMsiDlg::SetBusy(bool busy) {
  busy_ = busy;
  for (QWidget* widget : std::initializer_list<QWidget*>{executables_, shortcutList_, add_, edit_, remove_, folder_,
                                                         browse_, projectName_, packageName_, buildToo_}) {
    widget->setEnabled(!busy);
  }
  Sheet()->SetWizardButtons(busy ? 0 : CResizablePropertySheet::kBack | CResizablePropertySheet::kFinish);
}

void CCreateProjectFileMsiDlg::ShowStatus(const QString& text) { status_->setText(text); }

bool CCreateProjectFileMsiDlg::OnWizardFinish() {
  if (done_) return true;
  if (busy_) return false;
  const bool anyLink = std::any_of(linkShortcuts_.begin(), linkShortcuts_.end(),
                                   [](const ShortcutRecord& link) { return !link.name.empty(); });
  if (handler_->Shortcuts().empty() && !anyLink) {
    Message(Text(177), QStringLiteral("Warning"), QMessageBox::Warning);
    return false;
  }
  if (!Validate()) return false;
  handler_->ClearIconCatalog();
  std::vector<std::wstring> unread;
  handler_->BuildShortcutRecords(targetPaths_, &unread);
  if (!unread.empty()) {
    // An icon that cannot be read would leave its shortcuts with a broken icon: say which.
    QStringList names;
    for (const std::wstring& path : unread) names << QString::fromStdWString(path);
    Message(tr("These icon files cannot be read:\n%1").arg(names.join(QLatin1Char('\n'))), QStringLiteral("Warning"),
            QMessageBox::Warning);
    return false;
  }

  const std::wstring folder = folder_->text().trimmed().toStdWString();
  CWorkContext& context = Session().Context();
  context.SetOutputFolder(folder);
  const std::wstring separator = context.OutputFolder == context.ProgramFolder ? L"\\Packages\\" : L"\\";
  context.SetProjectFilePath(folder + separator + projectName_->text().trimmed().toStdWString());
  context.SetPackageFileName(packageName_->text().trimmed().toStdWString());

  ::ShortcutList shortcuts = handler_->ShortcutRecords();
  for (const ShortcutRecord& link : linkShortcuts_) {
    if (!link.name.empty()) shortcuts.push_back(link);
  }
  const IconMap icons = handler_->IconCatalog();
  buildWanted_ = buildToo_->isChecked();
  SetBusy(true);
  Sheet()->EnableCancel(true);
  result_->hide();
  result_->clear();
  ShowStatus(Text(164));
  CCaptureSession* session = &Session();
  RunWorker(1, [session, shortcuts, icons] { return session->GenerateProjectFile(shortcuts, icons); },
            [this](const COperationResult& result) { OnProjectGenerated(result); });
  return false;
}

void CCreateProjectFileMsiDlg::OnProjectGenerated(const COperationResult& result) {
  if (!result.succeeded()) {
    // Nothing is lost: the capture is still pending; the person may change the fields and retry.
    SetBusy(false);
    ShowStatus(QString());
    result_->setPlainText(tr("The project file was not written:\n") + QString::fromStdString(result.error()));
    result_->show();
    return;
  }
  if (Session().EndIfNothingChanged()) {
    result_->setPlainText(tr("The setup program changed nothing that the include rules cover: there is no project "
                             "file and no package."));
    result_->show();
    Finished();
    return;
  }
  ShowStatus(Text(162));
  result_->setPlainText(tr("Project file: %1").arg(QString::fromStdString(HostPathText(Session().Context().ProjectFilePath))));
  result_->show();
  QTimer::singleShot(500, this, [this] {
    if (buildWanted_) {
      StartBuild();
    } else {
      Session().EndCapture();
      Finished();
    }
  });
}

void CCreateProjectFileMsiDlg::StartBuild() {
  ShowStatus(Text(163));
  building_ = true;
  statusTimer_->start();
  CCaptureSession* session = &Session();
  RunWorker(8, [session] { return session->BuildPackage(); },
            [this](const COperationResult& result) { OnBuilt(result); });
}

void CCreateProjectFileMsiDlg::OnBuilt(const COperationResult& result) {
  building_ = false;
  statusTimer_->stop();
  QString text = result_->toPlainText();
  if (result.succeeded()) {
    text += QStringLiteral("\n") + tr("Package: %1").arg(QString::fromStdString(HostPathText(Session().PackagePath())));
    if (Session().RefusedRows() > 0) text += QStringLiteral("\n") + tr("%1 rows were refused.").arg(Session().RefusedRows());
    for (const std::string& warning : result.errors()) text += QStringLiteral("\n") + QString::fromStdString(warning);
  } else {
    text += QStringLiteral("\n") + tr("The package was not built:");
    for (const std::string& error : result.errors()) text += QStringLiteral("\n") + QString::fromStdString(error);
  }
  result_->setPlainText(text);
  // The snapshots went with the project file; the capture is over either way (the project file
  // can be built again later).
  Session().EndCapture();
  Finished();
}

void CCreateProjectFileMsiDlg::Finished() {
  busy_ = false;
  done_ = true;
  ShowStatus(Text(159));
  bar_->setValue(0);
  bar_->hide();
  Sheet()->SetWizardButtons(CResizablePropertySheet::kFinish);
}
