#include "ui/content_review_file_page.h"

#include <algorithm>

#include "core/work_paths.h"
#include "session/capture_session.h"
#include "snapshot/file_enumerate.h"
#include "ui/application_main.h"
#include "ui/project_tree_ctrl.h"

namespace {
// The folder a file path is filed under: everything before its last "\".
std::wstring FolderOfFile(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

void AppendMissing(std::vector<std::wstring>& list, const std::vector<std::wstring>& more) {
  for (const std::wstring& item : more) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
  }
}
}  // namespace

CContentReviewFileDlg::CContentReviewFileDlg(CApplicationMain* sheet)
    : CContentReviewPage(CApplicationMain::kContentReviewFilePage, sheet, 105, RuleKind::kFiles) {}

int CContentReviewFileDlg::OnWizardBack() { return CApplicationMain::kSecondSnapshotPage; }

int CContentReviewFileDlg::OnWizardNext() {
  return SaveIfChanged() ? CApplicationMain::kContentReviewRegistryPage : -1;
}

std::wstring CContentReviewFileDlg::RuleNameOf(const std::wstring& path) const {
  std::wstring name = path;
  ToTokenForm(name);
  return name;
}

void CContentReviewFileDlg::NothingTicked(bool excluding) {
  Message(Text(excluding ? 128 : 130), QStringLiteral("Warning"), QMessageBox::Warning);
}

void CContentReviewFileDlg::ShowFolder(CProjectTreeCtrl* view, const std::wstring& folder,
                                       const std::vector<std::wstring>& files) {
  view->AddPath(QString::fromStdWString(folder), CProjectTreeCtrl::kFolder);
  for (const std::wstring& file : files) view->AddPath(QString::fromStdWString(file), CProjectTreeCtrl::kFile);
}

void CContentReviewFileDlg::FillViews() {
  FolderFileMap* added = nullptr;
  FolderFileMap* modified = nullptr;
  FolderFileMap* deleted = nullptr;
  Session().GetFileChangeMaps(added, modified, deleted);
  // What was excluded earlier in this run is not offered again.
  for (const auto& [folder, files] : Session().ExcludedFileChanges()) {
    for (FolderFileMap* map : {added, modified}) {
      const auto found = map->find(folder);
      if (found == map->end()) continue;
      std::vector<std::wstring>& list = found->second;
      list.erase(std::remove_if(list.begin(), list.end(),
                                [&files = files](const std::wstring& file) {
                                  return std::find(files.begin(), files.end(), file) != files.end();
                                }),
                 list.end());
    }
  }
  for (const FolderFileMap* map : {added, modified}) {
    for (const auto& [folder, files] : *map) ShowFolder(ChangeView(), folder, files);
  }
  for (const auto& [folder, files] : Session().ExcludedFileChanges()) ShowFolder(ExclusionView(), folder, files);
}

void CContentReviewFileDlg::ExcludePath(const std::wstring& path, const CProjectTreeCtrl* view,
                                        const std::wstring& description) {
  FolderFileMap* added = nullptr;
  FolderFileMap* modified = nullptr;
  FolderFileMap* deleted = nullptr;
  Session().GetFileChangeMaps(added, modified, deleted);
  const QTreeWidgetItem* node = view->Find(QString::fromStdWString(path));
  const bool isFile = node != nullptr && CProjectTreeCtrl::KindOf(node) == CProjectTreeCtrl::kFile;
  ChangeView()->RemovePath(QString::fromStdWString(path));

  if (isFile) {
    // Only this file leaves its folder's list.
    const std::wstring folder = FolderOfFile(path);
    for (FolderFileMap* map : {added, modified}) {
      const auto found = map->find(folder);
      if (found == map->end()) continue;
      std::vector<std::wstring>& list = found->second;
      const auto file = std::find(list.begin(), list.end(), path);
      if (file == list.end()) continue;
      list.erase(file);
      AppendMissing(Session().ExcludedFileChanges()[folder], {path});
      AddRule(path, description);
      ExclusionView()->AddPath(QString::fromStdWString(path), CProjectTreeCtrl::kFile);
      SetChanged();
    }
    return;
  }
  for (FolderFileMap* map : {added, modified}) {
    for (auto it = map->lower_bound(path); it != map->end() && it->first.compare(0, path.size(), path) == 0;) {
      if (!Covers(path, it->first)) {
        ++it;
        continue;
      }
      AppendMissing(Session().ExcludedFileChanges()[it->first], it->second);
      AddRule(it->first, description);
      ShowFolder(ExclusionView(), it->first, it->second);
      SetChanged();
      it = map->erase(it);
    }
  }
}

void CContentReviewFileDlg::IncludePath(const std::wstring& path) {
  FolderFileMap* added = nullptr;
  FolderFileMap* modified = nullptr;
  FolderFileMap* deleted = nullptr;
  Session().GetFileChangeMaps(added, modified, deleted);
  bool folderFound = false;
  for (auto it = Session().ExcludedFileChanges().lower_bound(path);
       it != Session().ExcludedFileChanges().end() && it->first.compare(0, path.size(), path) == 0;) {
    if (!Covers(path, it->first)) {
      ++it;
      continue;
    }
    folderFound = true;
    // A folder that still has modified files goes back there; any other to the added ones.
    FolderFileMap* target = modified->count(it->first) != 0 ? modified : added;
    AppendMissing((*target)[it->first], it->second);
    ExclusionView()->RemovePath(QString::fromStdWString(it->first));
    RemoveRule(it->first);
    for (const std::wstring& file : it->second) RemoveRule(file);
    ShowFolder(ChangeView(), it->first, it->second);
    SetChanged();
    it = Session().ExcludedFileChanges().erase(it);
  }
  if (folderFound) return;
  // A single file set aside.
  const std::wstring folder = FolderOfFile(path);
  const auto found = Session().ExcludedFileChanges().find(folder);
  if (found == Session().ExcludedFileChanges().end()) return;
  std::vector<std::wstring>& list = found->second;
  const auto file = std::find(list.begin(), list.end(), path);
  if (file == list.end()) return;
  list.erase(file);
  if (list.empty()) Session().ExcludedFileChanges().erase(found);
  FolderFileMap* target = modified->count(folder) != 0 ? modified : added;
  AppendMissing((*target)[folder], {path});
  ExclusionView()->RemovePath(QString::fromStdWString(path));
  RemoveRule(path);
  ShowFolder(ChangeView(), folder, {path});
  SetChanged();
}

bool CContentReviewFileDlg::RewriteChangeFile() { return Session().RewriteChanges(RuleKind::kFiles).succeeded(); }
