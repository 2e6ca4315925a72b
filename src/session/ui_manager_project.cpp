// The project part of CUIManager: loading a project for review, writing it back, replacing its
// shortcuts, the rule lists for the pages, and handing the project to the package builder.
#include "session/ui_manager.h"

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "package/project_reader.h"
#include "project/ini_folder_table.h"

namespace {

void LogLoadFailure(CLogger* logger, const char* format, const std::wstring& path) {
  if (logger == nullptr) return;
  // The message is cut as a 256-byte buffer would cut it.
  std::string text = FormatText(format, WideToUtf8(path).c_str());
  if (text.size() > 255) text.resize(255);
  logger->Write(2, text);
}

void ReadFileMap(const CXMLDocumentHandler& document, const wchar_t* listPath, FolderFileMap& map) {
  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  project_reader::ReadFolders(document, listPath, folders, files, map);
}

void ReadKeyMap(const CXMLDocumentHandler& document, const wchar_t* listPath, RegKeyMap& map) {
  std::vector<RegValueRecord> entries;
  project_reader::ReadRegistry(document, listPath, entries, &map);
}

void ReadIniMap(const CXMLDocumentHandler& document, const wchar_t* listPath, INIFileMap& map,
                CINIFolderTable& iniFolders) {
  project_reader::ReadIni(document, listPath, map);
  for (const auto& [path, entries] : map) {
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') == std::wstring::npos ? 0 : path.find_last_of(L'\\'));
    FromTokenForm(folder);
    iniFolders.RecordINIFolder(folder);
  }
}

}  // namespace

int CUIManager::ParseProjectFile(const std::wstring& projectFilePath) {
  CTraceScope trace(logger_, "CUIManager::ParseProjectFile");
  if (projectHandler_.Load(projectFilePath) != 1) {
    LogLoadFailure(logger_, "CUIManager::ParseProjectFile Unable to Load %s File", projectFilePath);
    return 0;
  }
  // A second parse starts from empty lists: the lists are those of the file last parsed.
  ReadFileMap(projectHandler_, xmlpath::kFileAdded, projectLists_.addedFiles);
  ReadFileMap(projectHandler_, xmlpath::kFileModified, projectLists_.modifiedFiles);
  ReadFileMap(projectHandler_, xmlpath::kFileDeleted, projectLists_.deletedFiles);
  ReadKeyMap(projectHandler_, xmlpath::kRegAdded, projectLists_.addedKeys);
  ReadKeyMap(projectHandler_, xmlpath::kRegModified, projectLists_.modifiedKeys);
  ReadKeyMap(projectHandler_, xmlpath::kRegDeleted, projectLists_.deletedKeys);
  ReadIniMap(projectHandler_, xmlpath::kIniAdded, projectLists_.addedINIEntries, iniFolders_);
  ReadIniMap(projectHandler_, xmlpath::kIniModified, projectLists_.modifiedINIEntries, iniFolders_);
  ReadIniMap(projectHandler_, xmlpath::kIniDeleted, projectLists_.deletedINIEntries, iniFolders_);
  // Kept so that writing the reviewed project back does not lose them.
  project_reader::ReadShortcuts(projectHandler_, projectLists_.shortcuts);
  project_reader::ReadIcons(projectHandler_, projectLists_.icons);
  project_reader::ReadProductInfo(projectHandler_, projectLists_.productInfo);
  return 1;
}

int CUIManager::ParseShortcutList(const std::wstring& projectFilePath, ShortcutList& shortcuts, IconMap& icons) {
  if (projectHandler_.Load(projectFilePath) != 1) {
    LogLoadFailure(logger_, " CUIManager::ParseShortcutList : Unable to Load %s File", projectFilePath);
    return 0;
  }
  project_reader::ReadShortcuts(projectHandler_, shortcuts);
  project_reader::ReadIcons(projectHandler_, icons);
  return 1;
}

int CUIManager::ParseSetupFileInfo(const std::wstring& projectFilePath, ProductInfo& info) {
  if (projectHandler_.Load(projectFilePath) != 1) {
    LogLoadFailure(logger_, " CUIManager::ParseSetupFileInfo : Unable to Load %s File", projectFilePath);
    return 0;
  }
  project_reader::ReadProductInfo(projectHandler_, info);
  return 1;
}

int CUIManager::WriteProjectFile() {
  CTraceScope trace(logger_, "CUIManager::WriteProjectFile");
  // What the review does not edit comes from the project as parsed.
  ShortcutList shortcuts;
  IconMap icons;
  INIFileMap added;
  INIFileMap modified;
  INIFileMap deleted;
  project_reader::ReadShortcuts(projectHandler_, shortcuts);
  project_reader::ReadIcons(projectHandler_, icons);
  project_reader::ReadIni(projectHandler_, xmlpath::kIniAdded, added);
  project_reader::ReadIni(projectHandler_, xmlpath::kIniModified, modified);
  project_reader::ReadIni(projectHandler_, xmlpath::kIniDeleted, deleted);
  projectHandler_.UpdateINIDirectories(added, iniFolders_);
  projectHandler_.UpdateINIDirectories(modified, iniFolders_);
  projectHandler_.UpdateINIDirectories(deleted, iniFolders_);

  if (projectHandler_.Load(context_.TemplateProjectPath) != 1) {
    LogLoadFailure(logger_, "CUIManager::WriteProjectFile Unable to Load %s File", context_.TemplateProjectPath);
    return 0;
  }
  const std::wstring& save = context_.ProjectFilePath;
  int ok = 1;
  ok &= projectHandler_.InsertDirectoryAndFileInXML(xmlpath::kFileAdded, projectLists_.addedFiles, save, true);
  ok &= projectHandler_.InsertDirectoryAndFileInXML(xmlpath::kFileModified, projectLists_.modifiedFiles, save, true);
  ok &= projectHandler_.InsertDirectoryAndFileInXML(xmlpath::kFileDeleted, projectLists_.deletedFiles, save, true);
  ok &= projectHandler_.InsertRegistryKeyAndValueInXML(xmlpath::kRegAdded, projectLists_.addedKeys, save);
  ok &= projectHandler_.InsertRegistryKeyAndValueInXML(xmlpath::kRegModified, projectLists_.modifiedKeys, save);
  ok &= projectHandler_.InsertRegistryKeyAndValueInXML(xmlpath::kRegDeleted, projectLists_.deletedKeys, save);
  ok &= projectHandler_.InsertINIKeyAndValueInXML(xmlpath::kIniAdded, added, save);
  ok &= projectHandler_.InsertINIKeyAndValueInXML(xmlpath::kIniModified, modified, save);
  ok &= projectHandler_.InsertINIKeyAndValueInXML(xmlpath::kIniDeleted, deleted, save);
  ok &= projectHandler_.InsertShortcutInXML(xmlpath::kShortcutList, shortcuts, save);
  ok &= projectHandler_.InsertShortcutICONInXML(xmlpath::kShortcutIcons, icons, save);
  const ProductInfo& product = projectLists_.productInfo;
  ok &= projectHandler_.InsertProductInfoInXML(xmlpath::kProductInformation, product.applicationName, product.version,
                                               product.companyName, save);
  projectLists_.addedINIEntries = added;
  projectLists_.modifiedINIEntries = modified;
  projectLists_.deletedINIEntries = deleted;
  return ok;
}

int CUIManager::ReplaceShortcutsInProjectFile(const ShortcutList& shortcuts, const IconMap& icons) {
  if (projectHandler_.Load(context_.ProjectFilePath) != 1) return 0;
  CXMLNodeHandler root = projectHandler_.GetRootElement();
  root.SelectSingleNode(xmlpath::kShortcutList).RemoveAllChildren();
  int ok = projectHandler_.InsertShortcutInXML(xmlpath::kShortcutList, shortcuts, context_.ProjectFilePath);
  root.SelectSingleNode(xmlpath::kShortcutIcons).RemoveAllChildren();
  ok &= projectHandler_.InsertShortcutICONInXML(xmlpath::kShortcutIcons, icons, context_.ProjectFilePath);
  return ok;
}

void CUIManager::GetIncludedItems(const std::wstring& listPath, IncludedRuleMap& items) {
  items.clear();
  RuleKind kind;
  if (ruleHandler_.Load(context_.RulesFilePath) != 1) {
    if (logger_ != nullptr) logger_->Write(2, " Unable to Load DefaultIncludeExclude.xml File");
    return;
  }
  if (!IncludedKindOfPath(listPath, kind)) return;
  ruleHandler_.ReadIncludedItems(listPath, ruleHandler_.GetRootElement(), rules_);
  items = rules_.GetIncludedRules(kind);
}

void CUIManager::GetExcludedItems(const std::wstring& listPath, ExcludedRuleMap& items) {
  items.clear();
  RuleKind kind;
  if (ruleHandler_.Load(context_.RulesFilePath) != 1) {
    if (logger_ != nullptr) logger_->Write(2, " Unable to Load DefaultIncludeExclude.xml File");
    return;
  }
  if (!ExcludedKindOfPath(listPath, kind)) return;
  ruleHandler_.ReadExcludedItems(listPath, ruleHandler_.GetRootElement(), rules_);
  items = rules_.GetExcludedRules(kind);
}

int CUIManager::RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath) {
  if (ruleHandler_.Load(context_.RulesFilePath) != 1) {
    if (logger_ != nullptr)
      logger_->Write(2, " CUIManager::RegenerateIncludeExcludeFile: Unable to Load 'DefaultIncludeExclude.xml'");
    return 0;
  }
  return ruleHandler_.RegenerateIncludeExcludeFile(excludedPart, listPath, rules_);
}

long CUIManager::BuildPackage(const std::wstring& packageFileName) {
  std::string projectPath = WideToUtf8(context_.ProjectFilePath);
  if (projectPath.size() > 1023) projectPath.resize(1023);
  const std::string name = WideToUtf8(packageFileName);
  lastBuild_ = msiHandler_->Build(context_.OutputFolder.c_str(), projectPath.c_str(), name.c_str());
  if (!lastBuild_.initialized && logger_ != nullptr) logger_->Write(2, " Failed in Initialize of MSIHandler");
  return lastBuild_.built ? 1 : 0;
}
