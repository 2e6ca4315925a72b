#include "ui/build_msi_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/folder_tree.h"
#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/msi_screen_handler.h"
#include "ui/package_build_panel.h"
#include "ui/prompter.h"

namespace {
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

CBuildMSIDlg::CBuildMSIDlg(CApplicationMain* sheet) : CPackagePage(CApplicationMain::kBuildMSIPage, sheet) {
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

  MakeBuildPanel();
  auto* fields = new QGridLayout;
  panel_->AddFolderRow(fields, 0);
  panel_->AddPackageRow(fields, 1);
  fields->setColumnStretch(1, 1);
  layout->addLayout(fields);
  panel_->AddStatusLines(layout);
  SetProgressControls(panel_->Bar(), nullptr, nullptr);

  for (QPushButton* button : {edit_, remove_}) button->setAutoDefault(false);
  CPackageBuildPanel::ChainTabOrder({shortcutList_, edit_, remove_, panel_->FolderField(), panel_->BrowseButton(),
                                     panel_->PackageNameField(), panel_->ResultView()});

  MakeShortcutHandler();
  SetFields({shortcutList_, edit_, remove_});
  connect(edit_, &QPushButton::clicked, this, [this] { EditSelectedShortcut(); });
  connect(remove_, &QPushButton::clicked, this, &CBuildMSIDlg::RemoveSelectedShortcut);
}

int CBuildMSIDlg::OnWizardBack() { return CApplicationMain::kShowProjectPage; }

// Each time the page is entered: the project as the project view left it (written back when
// something was relocated).
void CBuildMSIDlg::Initialize() {
  ::ShortcutList records;
  IconMap icons;
  Session().ReadProjectShortcuts(records, icons);
  ExtractIcons(icons);

  const std::string packages = CMSIScreenHandler::EnsurePackagesFolder(
      Session().Context().OutputFolder, Sheet()->Logger(), "Directory %s not created successfully error code is: %ld ");
  panel_->SetInitialFields(QString::fromStdString(packages),
                           QString::fromStdWString(Session().GetSetupFileInfo().ApplicationName) +
                               QStringLiteral(".msi"));
  panel_->ShowStatus(QString());
  panel_->ResultView()->hide();

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
      handler_->AddKeptRow(record, static_cast<int>(kept_.size()));
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

void CBuildMSIDlg::RemoveSelectedShortcut() { handler_->RemoveSelectedShortcut(kept_); }

bool CBuildMSIDlg::Validate() { return panel_->CheckFolder() && panel_->CheckPackageName(); }

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
  if (!panel_->CheckIconsRead(unread)) return false;

  SetBusy(true);
  CWorkContext& context = Session().Context();
  context.SetOutputFolder(panel_->FolderField()->text().trimmed().toStdWString());
  context.SetPackageFileName(panel_->PackageNameField()->text().trimmed().toStdWString());
  panel_->HideResult();
  if (!Session().ReplaceProjectShortcuts(shortcuts, handler_->IconCatalog()).succeeded()) {
    SetBusy(false);
    panel_->ShowResult(tr("The shortcuts could not be written into the project file %1: the package was not built.")
                           .arg(QString::fromStdString(HostPathText(context.ProjectFilePath))));
    return false;
  }
  Sheet()->EnableCancel(true);
  panel_->StartBuildStatus(Text(158));
  CCaptureSession* session = &Session();
  RunWorker(2, [session] { return session->BuildPackage(); }, [this](const COperationResult& result) { OnBuilt(result); });
  return false;
}

void CBuildMSIDlg::OnBuilt(const COperationResult& result) {
  panel_->StopBuildStatus();
  panel_->ShowResult(CPackageBuildPanel::BuiltText(result, Session()));
  panel_->ShowDone();
  if (!result.succeeded()) {
    // The fields may be changed and the build tried again.
    SetBusy(false);
    return;
  }
  MarkDone();
}
