#include "ui/build_msi_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/folder_tree.h"
#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/icon_reader.h"
#include "ui/msi_screen_handler.h"
#include "ui/prompter.h"

namespace {
// Rows of the shortcuts kept as they are carry their index in the kept list here.
constexpr int kKeptRole = Qt::UserRole + 1;

std::wstring LastPart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// An icon file, as the icon catalog knows them: ".ico" after the first character, in any case.
bool IsIconFilePath(const std::wstring& path) {
  const size_t at = FoldAsciiLower(path).find(L".ico");
  return at != std::wstring::npos && at > 0;
}

void SetPlace(ShortcutInfo& info, const std::wstring& directory) {
  if (directory == L"DesktopFolder") info.onDesktop = true;
  if (directory == L"ProgramMenuFolder") info.inProgramMenu = true;
  if (directory == L"QuickLaunchFolder") info.inQuickLaunch = true;
}
}  // namespace

CBuildMSIDlg::CBuildMSIDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kBuildMSIPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(tr("The shortcuts of the package, as the project defines them: double-click one to change "
                               "it. Choose where the package goes and click Finish to build it."),
                            this);
  description_->setWordWrap(true);
  layout->addWidget(description_);

  auto* shortcutsLabel = new QLabel(tr("S&hortcuts:"), this);
  shortcutList_ = new QTreeWidget(this);
  shortcutList_->setObjectName(QStringLiteral("shortcuts"));
  shortcutsLabel->setBuddy(shortcutList_);
  edit_ = new QPushButton(tr("&Edit..."), this);
  remove_ = new QPushButton(tr("Re&move"), this);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(edit_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  auto* list = new QGridLayout;
  list->addWidget(shortcutsLabel, 0, 0);
  list->addWidget(shortcutList_, 1, 0);
  list->addLayout(buttons, 1, 1);
  list->setColumnStretch(0, 1);
  layout->addLayout(list, 1);

  auto* fields = new QGridLayout;
  folder_ = new QLineEdit(this);
  folder_->setObjectName(QStringLiteral("folder"));
  browse_ = new QPushButton(tr("B&rowse..."), this);
  packageName_ = new QLineEdit(this);
  packageName_->setObjectName(QStringLiteral("packageName"));
  auto* folderLabel = new QLabel(tr("&Output folder:"), this);
  folderLabel->setBuddy(folder_);
  auto* packageLabel = new QLabel(tr("Pac&kage name:"), this);
  packageLabel->setBuddy(packageName_);
  fields->addWidget(folderLabel, 0, 0);
  fields->addWidget(folder_, 0, 1);
  fields->addWidget(browse_, 0, 2);
  fields->addWidget(packageLabel, 1, 0);
  fields->addWidget(packageName_, 1, 1);
  fields->setColumnStretch(1, 1);
  layout->addLayout(fields);

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

  for (QPushButton* button : {edit_, remove_, browse_}) button->setAutoDefault(false);
  setTabOrder(shortcutList_, edit_);
  setTabOrder(edit_, remove_);
  setTabOrder(remove_, folder_);
  setTabOrder(folder_, browse_);
  setTabOrder(browse_, packageName_);
  setTabOrder(packageName_, result_);

  handler_ = new CMSIScreenHandler(shortcutList_, Prompter(), this, Sheet()->Logger(),
                                   Session().Context().ExtractedIconFolder);
  handler_->InitShortcutList();
  connect(edit_, &QPushButton::clicked, this, [this] { EditSelectedShortcut(); });
  connect(remove_, &QPushButton::clicked, this, &CBuildMSIDlg::RemoveSelectedShortcut);
  connect(browse_, &QPushButton::clicked, this, &CBuildMSIDlg::BrowseFolder);

  // While the build runs, the builder's own status text.
  statusTimer_ = new QTimer(this);
  statusTimer_->setInterval(100);
  connect(statusTimer_, &QTimer::timeout, this, [this] {
    const std::wstring text = BuildStatusText.Get();
    if (building_ && !text.empty()) status_->setText(QString::fromStdWString(text));
  });
}

void CBuildMSIDlg::OnSetActive() {
  if (busy_) return;
  if (done_) {
    Sheet()->SetWizardButtons(CResizablePropertySheet::kFinish);
    return;
  }
  // The project as the project view left it (written back when something was relocated).
  Initialize();
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kFinish);
}

int CBuildMSIDlg::OnWizardBack() { return CApplicationMain::kShowProjectPage; }

void CBuildMSIDlg::Initialize() {
  ::ShortcutList records;
  IconMap icons;
  Session().ReadProjectShortcuts(records, icons);
  ExtractIcons(icons);

  const std::string packages = CMSIScreenHandler::EnsurePackagesFolder(
      Session().Context().OutputFolder, Sheet()->Logger(), "Directory %s not created successfully error code is: %ld ");
  initialFolder_ = QString::fromStdString(packages);
  initialPackageName_ =
      QString::fromStdWString(Session().GetSetupFileInfo().ApplicationName) + QStringLiteral(".msi");
  folder_->setText(initialFolder_);
  packageName_->setText(initialPackageName_);
  status_->clear();
  result_->hide();

  // The records back into one shortcut per target; those made from a setup's links (with a folder
  // of their own, arguments, ...) are kept whole.
  const CMSIScreenHandler::ShortcutMap shown = handler_->Shortcuts();
  for (const auto& [target, info] : shown) handler_->RemoveShortcut(target);
  shortcutList_->clear();
  kept_.clear();
  targetPaths_.clear();
  const std::wstring iconFolder = Utf8ToWide(Session().Context().ExtractedIconFolder);
  std::map<std::wstring, ShortcutInfo> infos;
  std::vector<std::wstring> order;
  for (ShortcutRecord record : records) {
    if (IsIconFilePath(record.icon)) record.icon = iconFolder + L"\\" + LastPart(record.icon);
    if (!record.folder.empty()) {
      auto* row = new QTreeWidgetItem(shortcutList_);
      row->setText(0, QString::fromStdWString(record.name));
      row->setText(1, QString::fromStdWString(record.exeName) + tr(" (made by the setup)"));
      row->setData(0, kKeptRole, static_cast<int>(kept_.size()));
      const QImage icon = CIconReader::Icon(record.icon, QString::fromStdWString(record.iconIndex).toInt(), 16);
      row->setIcon(0, icon.isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : QIcon(QPixmap::fromImage(icon)));
      kept_.push_back(record);
      continue;
    }
    if (!record.target.empty()) targetPaths_.emplace(record.exeName, record.target);
    const auto known = infos.find(record.exeName);
    if (known != infos.end()) {
      SetPlace(known->second, record.directory);
      continue;
    }
    ShortcutInfo info;
    info.name = record.name;
    info.iconIndex = record.iconIndex.empty() ? 0 : QString::fromStdWString(record.iconIndex).toInt();
    info.iconSource = record.icon;
    SetPlace(info, record.directory);
    infos.emplace(record.exeName, info);
    order.push_back(record.exeName);
  }
  for (const std::wstring& target : order) handler_->AddShortcutToList(infos[target], target);
}

void CBuildMSIDlg::ExtractIcons(const IconMap& icons) {
  const std::string& folder = Session().Context().ExtractedIconFolder;
  if (const long status = platform::EnsureFolder(folder); status != 0 && Sheet()->Logger() != nullptr) {
    Sheet()->Logger()->Write(
        1, FormatText("Directory %s not created successfully error code is: %ld ", folder.c_str(), status));
  }
  for (const auto& [name, icon] : icons) {
    const QByteArray bytes = QByteArray::fromBase64(QString::fromStdWString(icon.data).toLatin1());
    const std::wstring path = Utf8ToWide(folder) + L"\\" + LastPart(name);
    const platform::Status written =
        platform::ReplaceAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (written != platform::kSuccess && Sheet()->Logger() != nullptr) {
      Sheet()->Logger()->Write(2, FormatText("CBuildMSIDlg::ExtractIcons Unable to write %s, error code is: %ld",
                                             WideToUtf8(path).c_str(), static_cast<long>(written)));
    }
  }
}

bool CBuildMSIDlg::EditSelectedShortcut() {
  const std::wstring target = handler_->SelectedTarget();
  return !target.empty() && handler_->EditShortcut(target);
}

void CBuildMSIDlg::RemoveSelectedShortcut() {
  QTreeWidgetItem* row = shortcutList_->currentItem();
  if (row == nullptr) return;
  const QVariant kept = row->data(0, kKeptRole);
  if (kept.isValid()) {
    // Later rows keep their indexes: the record is emptied, not erased.
    kept_[static_cast<size_t>(kept.toInt())].name.clear();
    delete row;
    return;
  }
  const std::wstring target = handler_->SelectedTarget();
  delete row;
  handler_->RemoveShortcut(target);
}

void CBuildMSIDlg::TakeChosenFolder(const QString& folder) { folder_->setText(CMSIScreenHandler::ChosenFolderText(folder)); }

void CBuildMSIDlg::BrowseFolder() {
  const QString chosen = Prompter().ChooseFolder(this, QStringLiteral("Pick a folder, any folder:"));
  if (!chosen.isEmpty()) TakeChosenFolder(chosen);
}

bool CBuildMSIDlg::Check(bool failed, int text, QLineEdit* field, const QString& initial) {
  if (!failed) return true;
  Message(Text(text), QStringLiteral("Warning"), QMessageBox::Warning);
  field->setText(initial);
  field->setFocus();
  return false;
}

bool CBuildMSIDlg::Validate() {
  const QString folder = folder_->text().trimmed();
  const int folderCheck = CMSIScreenHandler::CheckOutputFolder(folder);
  if (!Check(folderCheck != 0, folderCheck, folder_, initialFolder_)) return false;
  if (folder.size() > 3) folder_->setText(CMSIScreenHandler::NormalisedFolder(folder));
  const int packageCheck = CMSIScreenHandler::CheckPackageName(packageName_->text().trimmed());
  return Check(packageCheck != 0, packageCheck, packageName_, initialPackageName_);
}

void CBuildMSIDlg::SetBusy(bool busy) {
  busy_ = busy;
  for (QWidget* widget : std::initializer_list<QWidget*>{shortcutList_, edit_, remove_, folder_, browse_, packageName_}) {
    widget->setEnabled(!busy);
  }
  Sheet()->SetWizardButtons(busy ? 0 : CResizablePropertySheet::kBack | CResizablePropertySheet::kFinish);
}

bool CBuildMSIDlg::OnWizardFinish() {
  if (done_) return true;
  if (busy_) return false;
  if (!Validate()) return false;
  handler_->ClearIconCatalog();
  std::vector<std::wstring> unread;
  handler_->BuildShortcutRecords(targetPaths_, &unread);
  ::ShortcutList shortcuts = handler_->ShortcutRecords();
  for (const ShortcutRecord& record : kept_) {
    if (record.name.empty()) continue;
    if (IsIconFilePath(record.icon) && !handler_->AddIconToCatalog(record.icon, record.exeName)) {
      unread.push_back(record.icon);
    }
    shortcuts.push_back(record);
  }
  if (!unread.empty()) {
    // An icon that cannot be read would leave its shortcuts with a broken icon: say which.
    QStringList names;
    for (const std::wstring& path : unread) names << QString::fromStdWString(path);
    Message(tr("These icon files cannot be read:\n%1").arg(names.join(QLatin1Char('\n'))), QStringLiteral("Warning"),
            QMessageBox::Warning);
    return false;
  }

  SetBusy(true);
  CWorkContext& context = Session().Context();
  context.SetOutputFolder(folder_->text().trimmed().toStdWString());
  context.SetPackageFileName(packageName_->text().trimmed().toStdWString());
  result_->clear();
  result_->hide();
  if (!Session().ReplaceProjectShortcuts(shortcuts, handler_->IconCatalog()).succeeded()) {
    SetBusy(false);
    result_->setPlainText(tr("The shortcuts could not be written into the project file %1: the package was not built.")
                              .arg(QString::fromStdString(HostPathText(context.ProjectFilePath))));
    result_->show();
    return false;
  }
  Sheet()->EnableCancel(true);
  status_->setText(Text(158));
  building_ = true;
  statusTimer_->start();
  CCaptureSession* session = &Session();
  RunWorker(2, [session] { return session->BuildPackage(); }, [this](const COperationResult& result) { OnBuilt(result); });
  return false;
}

void CBuildMSIDlg::OnBuilt(const COperationResult& result) {
  building_ = false;
  statusTimer_->stop();
  QString text;
  if (result.succeeded()) {
    text = tr("Package: %1").arg(QString::fromStdString(HostPathText(Session().PackagePath())));
    if (Session().RefusedRows() > 0) text += QStringLiteral("\n") + tr("%1 rows were refused.").arg(Session().RefusedRows());
    for (const std::string& warning : result.errors()) text += QStringLiteral("\n") + QString::fromStdString(warning);
  } else {
    text = tr("The package was not built:");
    for (const std::string& error : result.errors()) text += QStringLiteral("\n") + QString::fromStdString(error);
  }
  result_->setPlainText(text);
  result_->show();
  status_->setText(Text(159));
  bar_->setValue(0);
  bar_->hide();
  if (!result.succeeded()) {
    // The fields may be changed and the build tried again.
    SetBusy(false);
    return;
  }
  busy_ = false;
  done_ = true;
  Sheet()->SetWizardButtons(CResizablePropertySheet::kFinish);
}
