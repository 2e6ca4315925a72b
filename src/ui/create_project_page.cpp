#include "ui/create_project_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/icon_reader.h"
#include "ui/msi_screen_handler.h"
#include "ui/package_build_panel.h"
#include "ui/prompter.h"
#include "ui/shortcut_dlg.h"

namespace {
std::wstring LastPart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

CCreateProjectFileMsiDlg::CCreateProjectFileMsiDlg(CApplicationMain* sheet)
    : CPackagePage(CApplicationMain::kCreateProjectPage, sheet) {
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

  MakeBuildPanel();
  projectName_ = new QLineEdit(this);
  projectName_->setObjectName(QStringLiteral("projectName"));
  auto* projectLabel = new QLabel(tr("Pro&ject file name:"), this);
  projectLabel->setBuddy(projectName_);
  auto* fields = new QGridLayout;
  panel_->AddFolderRow(fields, 0);
  fields->addWidget(projectLabel, 1, 0);
  fields->addWidget(projectName_, 1, 1);
  panel_->AddPackageRow(fields, 2);
  fields->setColumnStretch(1, 1);
  layout->addLayout(fields);
  buildToo_ = new QCheckBox(tr("B&uild the package as well"), this);
  buildToo_->setChecked(true);
  layout->addWidget(buildToo_);
  panel_->AddStatusLines(layout);
  SetProgressControls(panel_->Bar(), nullptr, nullptr);

  for (QPushButton* button : {add_, edit_, remove_}) button->setAutoDefault(false);
  CPackageBuildPanel::ChainTabOrder({executables_, add_, shortcutList_, edit_, remove_, panel_->FolderField(),
                                     panel_->BrowseButton(), projectName_, panel_->PackageNameField(), buildToo_,
                                     panel_->ResultView()});

  MakeShortcutHandler();
  SetFields({executables_, shortcutList_, add_, edit_, remove_, projectName_, buildToo_});
  connect(add_, &QPushButton::clicked, this, [this] { AddShortcut(); });
  connect(executables_, &QListWidget::itemActivated, this, [this] { AddShortcut(); });
  connect(edit_, &QPushButton::clicked, this, [this] { EditSelectedShortcut(); });
  connect(remove_, &QPushButton::clicked, this, &CCreateProjectFileMsiDlg::RemoveSelectedShortcut);
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
  for (size_t i = 0; i < linkShortcuts_.size(); ++i) handler_->AddKeptRow(linkShortcuts_[i], static_cast<int>(i));

  const std::string packages = CMSIScreenHandler::EnsurePackagesFolder(
      Session().Context().OutputFolder, Sheet()->Logger(), "Directory %s not created successfully, error code is: %ld");
  initialProjectName_ = QString::fromStdWString(LastPart(Session().Context().ProjectFilePath));
  projectName_->setText(initialProjectName_);
  panel_->SetInitialFields(QString::fromStdString(packages),
                           QString::fromStdWString(Session().GetSetupFileInfo().ApplicationName) +
                               QStringLiteral(".msi"));
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

void CCreateProjectFileMsiDlg::RemoveSelectedShortcut() { handler_->RemoveSelectedShortcut(linkShortcuts_); }

bool CCreateProjectFileMsiDlg::Validate() {
  if (!panel_->CheckFolder()) return false;
  const QString project = projectName_->text().trimmed().toLower();
  if (!panel_->Check(project.isEmpty(), 132, projectName_, initialProjectName_)) return false;
  if (!panel_->Check(!project.endsWith(QStringLiteral(".xml")), 133, projectName_, initialProjectName_)) return false;
  if (!panel_->Check(project.startsWith(QStringLiteral(".xml")), 134, projectName_, initialProjectName_)) return false;
  return panel_->CheckPackageName();
}

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
  if (!panel_->CheckIconsRead(unread)) return false;

  const std::wstring folder = panel_->FolderField()->text().trimmed().toStdWString();
  CWorkContext& context = Session().Context();
  context.SetOutputFolder(folder);
  const std::wstring separator = context.OutputFolder == context.ProgramFolder ? L"\\Packages\\" : L"\\";
  context.SetProjectFilePath(folder + separator + projectName_->text().trimmed().toStdWString());
  context.SetPackageFileName(panel_->PackageNameField()->text().trimmed().toStdWString());

  ::ShortcutList shortcuts = handler_->ShortcutRecords();
  for (const ShortcutRecord& link : linkShortcuts_) {
    if (!link.name.empty()) shortcuts.push_back(link);
  }
  const IconMap icons = handler_->IconCatalog();
  buildWanted_ = buildToo_->isChecked();
  SetBusy(true);
  Sheet()->EnableCancel(true);
  panel_->HideResult();
  panel_->ShowStatus(Text(164));
  CCaptureSession* session = &Session();
  RunWorker(1, [session, shortcuts, icons] { return session->GenerateProjectFile(shortcuts, icons); },
            [this](const COperationResult& result) { OnProjectGenerated(result); });
  return false;
}

void CCreateProjectFileMsiDlg::OnProjectGenerated(const COperationResult& result) {
  if (!result.succeeded()) {
    // Nothing is lost: the capture is still pending; the person may change the fields and retry.
    SetBusy(false);
    panel_->ShowStatus(QString());
    panel_->ShowResult(tr("The project file was not written:\n") + QString::fromStdString(result.error()));
    return;
  }
  if (Session().EndIfNothingChanged()) {
    panel_->ShowResult(tr("The setup program changed nothing that the include rules cover: there is no project "
                          "file and no package."));
    Finished();
    return;
  }
  panel_->ShowStatus(Text(162));
  panel_->ShowResult(tr("Project file: %1").arg(QString::fromStdString(HostPathText(Session().Context().ProjectFilePath))));
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
  panel_->StartBuildStatus(Text(163));
  CCaptureSession* session = &Session();
  RunWorker(8, [session] { return session->BuildPackage(); },
            [this](const COperationResult& result) { OnBuilt(result); });
}

void CCreateProjectFileMsiDlg::OnBuilt(const COperationResult& result) {
  panel_->StopBuildStatus();
  panel_->ShowResult(panel_->ResultView()->toPlainText() + QStringLiteral("\n") +
                     CPackageBuildPanel::BuiltText(result, Session()));
  // The snapshots went with the project file; the capture is over either way (the project file
  // can be built again later).
  Session().EndCapture();
  Finished();
}

void CCreateProjectFileMsiDlg::Finished() {
  panel_->ShowDone();
  MarkDone();
}
