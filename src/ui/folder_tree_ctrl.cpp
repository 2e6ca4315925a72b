#include "ui/folder_tree_ctrl.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QStyle>
#include <algorithm>

#include "platform/file_system.h"
#include "platform/machine.h"

namespace {

// A folder with more sub-folders than this gets its children's expand buttons without looking
// into each of them (one search per child would freeze the window on a folder like /usr/lib);
// a button that leads nowhere disappears when the child is expanded.
constexpr size_t kExactChildCheckLimit = 256;

QIcon DriveIcon(platform::DriveType type) {
  QStyle* style = QApplication::style();
  switch (type) {
    case platform::DriveType::kCdRom: return style->standardIcon(QStyle::SP_DriveCDIcon);
    case platform::DriveType::kRemovable: return style->standardIcon(QStyle::SP_DriveFDIcon);
    default: return style->standardIcon(QStyle::SP_DriveHDIcon);
  }
}

// The folder entries of a search, without "." and "..".
std::vector<platform::FindData> FolderEntries(const std::wstring& folder) {
  std::vector<platform::FindData> out;
  platform::DirectorySearch search(folder + L"*.*");
  platform::FindData data;
  while (search.Next(data)) {
    if ((data.attributes & platform::kAttrDirectory) == 0 || data.name == L"." || data.name == L"..") continue;
    out.push_back(data);
  }
  return out;
}

bool HasSubFolder(const std::wstring& folder) {
  platform::DirectorySearch search(folder + L"*.*");
  platform::FindData data;
  while (search.Next(data)) {
    if ((data.attributes & platform::kAttrDirectory) != 0 && data.name != L"." && data.name != L"..") return true;
  }
  return false;
}

}  // namespace

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent) : CCheckTreeCtrl(&CFolderTreeCtrl::SubFolders, parent) {
  openFolder = [](const std::wstring& path) { platform::Machine::OpenFolderInFileManager(path); };
  Rebuild();
}

std::vector<CTreeEntry> CFolderTreeCtrl::SubFolders(const QString& fullPath) {
  const std::wstring folder = fullPath.toStdWString();
  const std::vector<platform::FindData> entries = FolderEntries(folder);
  const bool exact = entries.size() <= kExactChildCheckLimit;
  const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  std::vector<CTreeEntry> out;
  out.reserve(entries.size());
  for (const platform::FindData& entry : entries) {
    // A link folder is listed but never walked (a search inside it finds nothing).
    const bool link = (entry.attributes & platform::kAttrReparsePoint) != 0;
    const bool children = !link && (!exact || HasSubFolder(folder + entry.name + L"\\"));
    out.push_back({QString::fromStdWString(entry.name), icon, children});
  }
  std::sort(out.begin(), out.end(), [](const CTreeEntry& a, const CTreeEntry& b) {
    return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
  });
  return out;
}

void CFolderTreeCtrl::Rebuild() {
  std::vector<CTreeEntry> roots;
  for (const platform::LogicalDrive& drive : platform::Machine::Drives()) {
    if (drive.letter < L'B' || drive.type == platform::DriveType::kRemote) continue;
    roots.push_back({QStringLiteral("%1:\\").arg(QChar(drive.letter)), DriveIcon(drive.type), true});
  }
  Model().SetRoots(roots);
}

QMenu* CFolderTreeCtrl::MakeContextMenu(const QModelIndex& index) {
  auto* menu = new QMenu(this);
  const QString path = Model().FullPath(index);
  const bool drive = !index.parent().isValid();
  QAction* display = menu->addAction(drive ? QStringLiteral(" Display Disk %1 ").arg(path.left(1))
                                           : QStringLiteral(" Display Folder %1 ").arg(path));
  display->setData(kDisplayFolder);
  connect(display, &QAction::triggered, this, [this, path] {
    if (openFolder) openFolder(path.toStdWString());
  });
  menu->addSeparator();
  const bool checked = Model().IsChecked(index);
  QAction* toggle = menu->addAction(checked ? tr("Deselect this folder and all SubFolder")
                                            : tr("Select this folder and all SubFolder"));
  toggle->setData(checked ? kDeselectSubtree : kSelectSubtree);
  const QPersistentModelIndex persistent(index);
  connect(toggle, &QAction::triggered, this, [this, persistent, checked] {
    if (persistent.isValid()) Model().SetChecked(persistent, !checked);
  });
  menu->addSeparator();
  const QStringList below = Model().CheckedPathsBelow(index);
  if (below.isEmpty()) {
    QAction* none = menu->addAction(tr("0 Subfolder Selected"));
    none->setData(kShowCheckedBelow);
    none->setEnabled(false);
  }
  for (const QString& folder : below) {
    QAction* item = menu->addAction(folder);
    item->setData(kShowCheckedBelow);
    connect(item, &QAction::triggered, this, [this, folder] { ShowPath(folder); });
  }
  return menu;
}

void CFolderTreeCtrl::contextMenuEvent(QContextMenuEvent* event) {
  QModelIndex index = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
  if (!index.isValid()) return;
  setCurrentIndex(index);
  QMenu* menu = MakeContextMenu(index);
  const QPoint where = event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                                  : viewport()->mapToGlobal(visualRect(index).center());
  menu->exec(where);
  menu->deleteLater();
}
