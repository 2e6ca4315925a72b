#include "ui/msi_screen_handler.h"

#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "ui/icon_reader.h"
#include "ui/prompter.h"
#include "ui/shortcut_dlg.h"

namespace {
constexpr int kTargetRole = Qt::UserRole;
// Rows of the shortcuts kept whole carry their index in the page's kept list here.
constexpr int kKeptRole = Qt::UserRole + 1;

std::wstring Trim(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(L" \t\r\n");
  return text.substr(first, last - first + 1);
}

// An icon file, as the catalog knows them: ".ico" found after the first character, in any case.
bool IsIconFilePath(const std::wstring& path) {
  const std::wstring lower = FoldAsciiLower(path);
  const size_t at = lower.find(L".ico");
  return at != std::wstring::npos && at > 0;
}
}  // namespace

CMSIScreenHandler::CMSIScreenHandler(QTreeWidget* list, const CPrompter& prompter, QWidget* dialogParent,
                                     CLogger* logger, std::string extractedIconFolder)
    : QObject(list),
      list_(list),
      prompter_(prompter),
      dialogParent_(dialogParent),
      logger_(logger),
      extractedIconFolder_(std::move(extractedIconFolder)) {
  connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) EditShortcut(item->data(0, kTargetRole).toString().toStdWString());
  });
}

void CMSIScreenHandler::InitShortcutList() {
  list_->setColumnCount(2);
  list_->setHeaderLabels({QStringLiteral("Shortcut Name"), QStringLiteral("Exe name")});
  list_->setRootIsDecorated(false);
  list_->setIconSize(QSize(16, 16));
  list_->setUniformRowHeights(true);
  list_->header()->resizeSection(0, 150);
  list_->header()->resizeSection(1, 200);
}

QTreeWidgetItem* CMSIScreenHandler::RowOf(const std::wstring& targetFileName) const {
  const QString target = QString::fromStdWString(targetFileName);
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    if (list_->topLevelItem(i)->data(0, kTargetRole).toString() == target) return list_->topLevelItem(i);
  }
  return nullptr;
}

void CMSIScreenHandler::ShowRow(QTreeWidgetItem* row, const ShortcutInfo& info, const std::wstring& targetFileName) {
  QImage image = CIconReader::Icon(info.iconSource, info.iconIndex, 16);
  // Without an icon of its own the row shows the program's default icon.
  const QIcon icon = image.isNull() ? list_->style()->standardIcon(QStyle::SP_FileIcon)
                                    : QIcon(QPixmap::fromImage(image));
  row->setIcon(0, icon);
  row->setText(0, QString::fromStdWString(info.name));
  row->setText(1, QString::fromStdWString(targetFileName));
  row->setData(0, kTargetRole, QString::fromStdWString(targetFileName));
}

void CMSIScreenHandler::AddShortcutToList(const ShortcutInfo& info, const std::wstring& targetFileName) {
  shortcuts_[targetFileName] = info;
  QTreeWidgetItem* row = RowOf(targetFileName);
  if (row == nullptr) row = new QTreeWidgetItem(list_);
  ShowRow(row, info, targetFileName);
}

bool CMSIScreenHandler::EditShortcut(const std::wstring& targetFileName) {
  const auto found = shortcuts_.find(targetFileName);
  if (found == shortcuts_.end()) return false;
  CShortcutDlg dialog(found->second, prompter_, dialogParent_);
  if (prompter_.Dialog(dialog) != QDialog::Accepted) return false;
  AddShortcutToList(dialog.Info(), targetFileName);
  return true;
}

void CMSIScreenHandler::RemoveShortcut(const std::wstring& targetFileName) {
  shortcuts_.erase(targetFileName);
  delete RowOf(targetFileName);
}

std::wstring CMSIScreenHandler::SelectedTarget() const {
  const QTreeWidgetItem* row = list_->currentItem();
  return row == nullptr ? std::wstring() : row->data(0, kTargetRole).toString().toStdWString();
}

bool CMSIScreenHandler::EditSelectedShortcut() {
  const std::wstring target = SelectedTarget();
  return !target.empty() && EditShortcut(target);
}

void CMSIScreenHandler::AddKeptRow(const ShortcutRecord& record, int index) {
  auto* row = new QTreeWidgetItem(list_);
  row->setText(0, QString::fromStdWString(record.name));
  row->setText(1, QString::fromStdWString(record.exeName) + tr(" (made by the setup)"));
  row->setData(0, kKeptRole, index);
  const QImage icon = CIconReader::Icon(record.icon, QString::fromStdWString(record.iconIndex).toInt(), 16);
  row->setIcon(0, icon.isNull() ? list_->style()->standardIcon(QStyle::SP_FileIcon) : QIcon(QPixmap::fromImage(icon)));
}

void CMSIScreenHandler::RemoveSelectedShortcut(ShortcutList& kept) {
  QTreeWidgetItem* row = list_->currentItem();
  if (row == nullptr) return;
  const QVariant index = row->data(0, kKeptRole);
  if (index.isValid()) {
    const auto at = static_cast<size_t>(index.toInt());
    if (at < kept.size()) kept[at].name.clear();
    delete row;
    return;
  }
  const std::wstring target = SelectedTarget();
  delete row;
  RemoveShortcut(target);
}

bool CMSIScreenHandler::AddIconToCatalog(const std::wstring& iconPath, const std::wstring& targetFileName) {
  // Catalogued by the file's name: that is what the build page extracts it as, and the package
  // builder refuses an icon name with a folder in it.
  const size_t slash = iconPath.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? iconPath : iconPath.substr(slash + 1);
  const auto found = catalog_.find(name);
  if (found != catalog_.end()) {
    found->second.exeNames.push_back(targetFileName);
    return true;
  }
  platform::MappedFile file;
  if (file.Open(iconPath) != platform::kSuccess) return false;
  const QByteArray bytes(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
  const QByteArray encoded = bytes.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals);
  IconRecord& record = catalog_[name];
  record.data = QString::fromLatin1(encoded).toStdWString();
  record.size = std::to_wstring(record.data.size());
  record.exeNames = {targetFileName};
  return true;
}

bool CMSIScreenHandler::BuildShortcutRecords(const std::map<std::wstring, std::wstring>& targetPaths,
                                             std::vector<std::wstring>* unread) {
  records_.clear();
  if (const long status = platform::EnsureFolder(extractedIconFolder_); status != 0 && logger_ != nullptr) {
    logger_->Write(1, FormatText("Directory %s not created successfully error code is: %ld ", extractedIconFolder_.c_str(),
                                 status));
  }
  for (const auto& [target, info] : shortcuts_) {
    ShortcutRecord record;
    record.name = info.name.empty() ? target : info.name;
    record.exeName = target;
    if (const auto path = targetPaths.find(target); path != targetPaths.end()) record.target = path->second;
    record.icon = Trim(info.iconSource);
    record.iconIndex = std::to_wstring(info.iconIndex);
    if (record.icon.empty()) {
      record.iconIndex.clear();
    } else if (IsIconFilePath(record.icon)) {
      record.iconIndex.clear();
      if (!AddIconToCatalog(record.icon, target) && unread != nullptr) unread->push_back(record.icon);
    }
    const std::pair<bool, const wchar_t*> places[] = {{info.onDesktop, L"DesktopFolder"},
                                                      {info.inProgramMenu, L"ProgramMenuFolder"},
                                                      {info.inQuickLaunch, L"QuickLaunchFolder"}};
    for (const auto& [chosen, folder] : places) {
      if (!chosen) continue;
      record.directory = folder;
      records_.push_back(record);
    }
  }
  return true;
}

int CMSIScreenHandler::CheckOutputFolder(const QString& folder) {
  const uint32_t attributes = platform::GetAttributes(folder.toStdWString());
  if (folder.isEmpty() || attributes == platform::kInvalidAttributes) return 123;
  if ((attributes & platform::kAttrDirectory) == 0) return 122;
  return 0;
}

int CMSIScreenHandler::CheckPackageName(const QString& name) {
  const QString lower = name.toLower();
  if (lower.isEmpty()) return 124;
  if (!lower.endsWith(QStringLiteral(".msi"))) return 125;
  if (lower.startsWith(QStringLiteral(".msi"))) return 126;
  return 0;
}

QString CMSIScreenHandler::NormalisedFolder(QString folder) {
  folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
  const bool unc = folder.startsWith(QStringLiteral("\\\\"));
  QString body = unc ? folder.mid(2) : folder;
  while (body.contains(QStringLiteral("\\\\"))) body.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
  while (body.size() > 3 && body.endsWith(QLatin1Char('\\'))) body.chop(1);
  return unc ? QStringLiteral("\\\\") + body : body;
}

QString CMSIScreenHandler::ChosenFolderText(const QString& folder) {
  QString chosen = folder;
  if (chosen.size() == 3 && chosen.endsWith(QLatin1Char('\\'))) chosen.chop(1);
  return chosen;
}

std::string CMSIScreenHandler::EnsurePackagesFolder(const std::string& outputFolder, CLogger* logger,
                                                    const char* failureFormat) {
  // Every level: the output folder itself may not exist yet, and the checks would refuse the
  // folder proposed.
  const std::string packages = outputFolder + "\\Packages";
  for (size_t at = packages.find('\\', 3);; at = packages.find('\\', at + 1)) {
    const bool last = at == std::string::npos;
    const long status = platform::EnsureFolder(last ? packages : packages.substr(0, at));
    if (last) {
      if (status != 0 && logger != nullptr) logger->Write(1, FormatText(failureFormat, packages.c_str(), status));
      break;
    }
  }
  return packages;
}
