#include "project/change_file_writer.h"

#include <string>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "project/ini_folder_table.h"
#include "project/xml_document_handler.h"

namespace {

// The progress line of the folder and key writers: after every item of a short map, after every
// twentieth of a long one.
bool ShowsProgressAt(size_t position, size_t total) { return total <= 20 || position % 20 == 0; }

std::string FormatNumbered(int number, int first) {
  return FormatText(WideToUtf8(MessageText(number)).c_str(), first);
}
std::string FormatNumbered(int number, int first, int second) {
  return FormatText(WideToUtf8(MessageText(number)).c_str(), first, second);
}

std::wstring LastPathPart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The five type names the package builder knows; any other type is stored with an empty name.
std::wstring KnownTypeName(const std::wstring& typeName) {
  for (const wchar_t* known : {L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY", L"REG_DWORD", L"REG_QWORD"}) {
    if (typeName == known) return typeName;
  }
  return std::wstring();
}

}  // namespace

CChangeFileWriter::CChangeFileWriter(CXMLDocumentHandler& document, CLogger* logger)
    : document_(document), logger_(logger) {}

int CChangeFileWriter::SplitIncludedExcluded(const std::wstring& kindPath,
                                               const std::wstring& listElement,
                                               const std::wstring& savePath) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::SplitIncludedExcluded");
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::SplitIncludedExcluded XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler kind = document_.GetRootElement().SelectSingleNode(kindPath);
  if (!kind.IsValid()) {
    logger_->Write(2, FormatText("CXMLDocumentHandler::SplitIncludedExcluded Unable to find %s node in XML file",
                                  WideToUtf8(kindPath).c_str()));
    return 0;
  }
  // A document split before (a rewrite reloads the template, but be safe) is split afresh.
  kind.RemoveNodes(L"AddedItems|DeletedItems|ModifiedItems|Included|Excluded");

  int result = 1;
  CXMLNodeHandler excluded = kind.InsertChild(0, L"Excluded");
  if (!excluded.InsertChild(0, listElement).IsValid()) result = 0;
  CXMLNodeHandler included = kind.InsertChild(1, L"Included");
  CXMLNodeHandler inner = included.InsertChild(0, kind.GetName());
  const wchar_t* changeLists[] = {L"AddedItems", L"DeletedItems", L"ModifiedItems"};
  for (long i = 0; i < 3; ++i) {
    if (!inner.InsertChild(i, changeLists[i]).InsertChild(0, listElement).IsValid()) result = 0;
  }
  if (result == 0) {
    logger_->Write(2, "CXMLDocumentHandler::SplitIncludedExcluded Unable to insert node in XML file");
  }
  if (!document_.SaveOrLog(savePath, "CXMLDocumentHandler::SplitIncludedExcluded Unable to save XML File")) result = 0;
  return result;
}

int CChangeFileWriter::InsertDirectoryAndFileInXML(const std::wstring& listPath,
                                                     FolderFileMap& folders,
                                                     const std::wstring& savePath,
                                                     bool skipUsabilityTest,
                                                     bool save) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::InsertDirectoryAndFileInXML");
  StatusDetail.Set(MessageText(150));
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertDirectoryAndFileInXML XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler list = document_.GetRootElement().SelectSingleNode(listPath);
  if (!list.IsValid()) {
    logger_->Write(2, FormatText("CXMLDocumentHandler::InsertDirectoryAndFileInXML Unable to "
                                  "\t\t\t\t\t\t\t\tfind %s node in XML file",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  const char* saveFailed = "CXMLDocumentHandler::InsertDirectoryAndFileInXML Unable to save XML File";
  // Added folders of a project are kept even when empty; in the change lists a folder needs a
  // usable file. An added folder that holds nothing at all is one the installer made empty (a
  // folder with files has them under its own key): it belongs to the capture as well.
  const bool alwaysWritten = listPath == xmlpath::kFileAdded;
  const bool keepsEmptyFolders = listPath == xmlpath::kIncludedFileAdded;
  const bool notesExecutables = !skipUsabilityTest && listPath == xmlpath::kIncludedFileAdded;
  // An excluded file set aside for a reason of its own carries it (after Name, which readers
  // take by position).
  const CIncludeExcludeRules* reasons = listPath == xmlpath::kExcludedFiles ? document_.Reasons() : nullptr;
  const size_t total = folders.size();
  size_t position = 0;
  int result = 1;

  for (auto it = folders.begin(); it != folders.end(); ++position) {
    const std::vector<std::wstring>& files = it->second;
    // Each file is tested once; the result serves both the folder decision and the file loop.
    std::vector<bool> usable(files.size(), true);
    bool anyUsable = skipUsabilityTest;
    if (!skipUsabilityTest) {
      for (size_t i = 0; i < files.size(); ++i) {
        usable[i] = IsUsableCapturedFile(files[i], document_.SkippedFiles());
        anyUsable = anyUsable || usable[i];
      }
    }
    if (!alwaysWritten && !(keepsEmptyFolders && files.empty()) && (files.empty() || !anyUsable)) {
      it = folders.erase(it);
      continue;
    }

    CXMLNodeHandler directory = list.InsertChild(0, L"Directory");
    if (!directory.IsValid()) {
      logger_->Write(2, "CXMLDocumentHandler::InsertDirectoryAndFileInXML Unable to Insert Directory node in XML file");
      result = 0;
      ++it;
      continue;
    }
    std::wstring tokenFolder = it->first;
    ToTokenForm(tokenFolder);
    directory.SetAttribute(L"Name", tokenFolder);

    for (size_t i = 0; i < files.size(); ++i) {
      if (!usable[i]) continue;
      if (notesExecutables && IsExecutablePath(files[i])) {
        logger_->Write(1, "Executable file found");
        document_.CapturedExecutables().push_back(files[i]);
      }
      CXMLNodeHandler file = directory.InsertChild(0, L"File");
      if (!file.IsValid()) {
        logger_->Write(2, "CXMLDocumentHandler::InsertDirectoryAndFileInXML Unable to insert File node in XML file");
        result = 0;
        continue;
      }
      file.SetAttribute(L"Name", LastPathPart(files[i]));
      if (reasons != nullptr) {
        const std::wstring reason = reasons->ExclusionReason(files[i]);
        if (!reason.empty()) file.SetAttribute(L"Reason", reason);
      }
    }

    if (ShowsProgressAt(position, total)) {
      StatusDetail.Set(Utf8ToWide(FormatNumbered(154, static_cast<int>(position), static_cast<int>(total))));
    }
    ++it;
  }
  // One save of the finished list: saving after every folder rewrote the whole growing file each
  // time. The file is saved even when no folder was written, so that it exists.
  if (save && !document_.SaveOrLog(savePath, saveFailed)) result = 0;
  return result;
}

int CChangeFileWriter::InsertRegistryKeyAndValueInXML(const std::wstring& listPath,
                                                        const RegKeyMap& keys,
                                                        const std::wstring& savePath) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::InsertRegistryKeyAndValueInXML");
  StatusDetail.Set(MessageText(151));
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertRegistryKeyAndValueInXML XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler list = document_.GetRootElement().SelectSingleNode(listPath);
  if (!list.IsValid()) {
    logger_->Write(2, FormatText("CXMLDocumentHandler::InsertRegistryKeyAndValueInXML Unable to "
                                  "\t\t\t\t\t\t\t    find %s node in XML file",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  const bool dropsEmptyKeys = listPath == xmlpath::kRegAdded;
  const size_t total = keys.size();
  size_t position = 0;
  int result = 1;
  for (const auto& [keyPath, values] : keys) {
    const size_t current = position++;
    if (!(dropsEmptyKeys && values.empty())) {
      CXMLNodeHandler subKey = list.InsertChild(0, L"SubKey");
      if (!subKey.IsValid()) {
        logger_->Write(2, "CXMLDocumentHandler::InsertRegistryKeyAndValueInXML Unable to Insert SubKey node in XML file");
        result = 0;
        continue;
      }
      subKey.SetAttribute(L"Name", keyPath);
      if (listPath == xmlpath::kExcludedKeys && document_.Reasons() != nullptr) {
        const std::wstring reason = document_.Reasons()->ExclusionReason(keyPath);
        if (!reason.empty()) subKey.SetAttribute(L"Reason", reason);
      }
      for (const RegValueRecord& record : values) {
        CXMLNodeHandler value = subKey.InsertChild(0, L"Value");
        if (!value.IsValid()) {
          logger_->Write(2, "CXMLDocumentHandler::InsertRegistryKeyAndValueInXML Unable to Insert Value node in XML file");
          result = 0;
          continue;
        }
        value.SetAttribute(L"Name", record.valueName);
        value.SetAttribute(L"Type", KnownTypeName(record.typeName));
      }
    }
    if (ShowsProgressAt(current, total)) {
      StatusDetail.Set(Utf8ToWide(FormatNumbered(155, static_cast<int>(current))));
    }
  }
  if (!document_.SaveOrLog(savePath, "CXMLDocumentHandler::InsertRegistryKeyAndValueInXML Unable to save XML File")) result = 0;
  return result;
}

int CChangeFileWriter::InsertINIKeyAndValueInXML(const std::wstring& listPath,
                                                   const INIFileMap& files,
                                                   const std::wstring& savePath) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::InsertINIKeyAndValueInXML");
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertINIKeyAndValueInXML XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler list = document_.GetRootElement().SelectSingleNode(listPath);
  if (!list.IsValid()) {
    logger_->Write(2, FormatText("CXMLDocumentHandler::InsertINIKeyAndValueInXML Unable to "
                                  "\t\t\t\t\t\t\t    find %s node in XML file",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  int result = 1;
  for (const auto& [filePath, entries] : files) {
    CXMLNodeHandler file = list.InsertChild(0, L"File");
    if (!file.IsValid()) {
      logger_->Write(2, "CXMLDocumentHandler::InsertINIKeyAndValueInXML Unable to Insert File node in XML file");
      result = 0;
      continue;
    }
    file.SetAttribute(L"Name", filePath);
    for (const INIEntry& entry : entries) {
      CXMLNodeHandler section = file.InsertChild(0, L"Section");
      if (!section.IsValid()) {
        logger_->Write(2, "CXMLDocumentHandler::InsertINIKeyAndValueInXML Unable to Insert Key node in XML file");
        result = 0;
        continue;
      }
      section.SetAttribute(L"Name", entry.Section);
      section.SetAttribute(L"Key", entry.Key);
      section.SetAttribute(L"Value", entry.Value);
    }
  }
  if (!document_.SaveOrLog(savePath, "CXMLDocumentHandler::InsertINIKeyAndValueInXML Unable to save XML File")) result = 0;
  return result;
}

int CChangeFileWriter::InsertShortcutInXML(const std::wstring& listPath,
                                             const ShortcutList& shortcuts,
                                             const std::wstring& savePath) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::InsertShortcutInXML");
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertShortcutInXML XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler list = document_.GetRootElement().SelectSingleNode(listPath);
  if (!list.IsValid()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertShortcutInXML Unable to find node in XML file");
    return 0;
  }
  int result = 1;
  for (const ShortcutRecord& shortcut : shortcuts) {
    CXMLNodeHandler element = list.InsertChild(0, L"Shortcut");
    if (!element.IsValid()) {
      logger_->Write(2, "CXMLDocumentHandler::InsertShortcutInXML Unable to insert Shortcut node in XML file");
      result = 0;
      continue;
    }
    std::wstring icon = shortcut.icon;
    ToTokenForm(icon);
    element.SetAttribute(L"Name", shortcut.name);
    element.SetAttribute(L"ExeName", shortcut.exeName);
    element.SetAttribute(L"Directory", shortcut.directory);
    element.SetAttribute(L"Icon", icon);
    element.SetAttribute(L"IconIndex", shortcut.iconIndex);
    // Written only when set, after the five positions older readers know.
    const struct {
      const wchar_t* name;
      const std::wstring& value;
    } extras[] = {{L"Target", shortcut.target},
                  {L"Folder", shortcut.folder},
                  {L"Arguments", shortcut.arguments},
                  {L"Description", shortcut.description},
                  {L"WorkingFolder", shortcut.workingFolder},
                  {L"ShowCmd", shortcut.showCommand},
                  {L"Hotkey", shortcut.hotkey}};
    for (const auto& extra : extras)
      if (!extra.value.empty()) element.SetAttribute(extra.name, extra.value);
  }
  if (!document_.SaveOrLog(savePath, "CXMLDocumentHandler::InsertShortcutInXML Unable to save XML File")) result = 0;
  return result;
}

int CChangeFileWriter::InsertShortcutICONInXML(const std::wstring& listPath, const IconMap& icons,
                                                 const std::wstring& savePath) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::InsertShortcutICONInXML");
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertShortcutICONInXML XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler list = document_.GetRootElement().SelectSingleNode(listPath);
  if (!list.IsValid()) return 0;
  int result = 1;
  for (const auto& [name, icon] : icons) {
    CXMLNodeHandler element = list.InsertChild(0, L"Icon");
    if (!element.IsValid()) {
      logger_->Write(2, "CXMLDocumentHandler::InsertShortcutICONInXML Unable to Insert Icon node in XML file");
      result = 0;
      continue;
    }
    element.SetAttribute(L"Name", name);
    element.SetAttribute(L"Size", icon.size);
    element.SetAttribute(L"Data", icon.data);
    for (const std::wstring& exe : icon.exeNames) {
      CXMLNodeHandler exeElement = element.InsertChild(0, L"EXE");
      if (!exeElement.IsValid()) {
        logger_->Write(2, "CXMLDocumentHandler::InsertShortcutICONInXML Unable to Insert EXE node in XML file");
        result = 0;
        continue;
      }
      exeElement.SetAttribute(L"Name", exe);
    }
  }
  if (!document_.SaveOrLog(savePath, "CXMLDocumentHandler::InsertShortcutICONInXML Unable to save XML File")) result = 0;
  return result;
}

int CChangeFileWriter::InsertProductInfoInXML(const std::wstring& listPath,
                                                const std::wstring& applicationName,
                                                const std::wstring& version,
                                                const std::wstring& companyName,
                                                const std::wstring& savePath) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::InsertProductInfoInXML");
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertProductInfoInXML XML File Not Loaded");
    return 0;
  }
  CXMLNodeHandler list = document_.GetRootElement().SelectSingleNode(listPath);
  if (!list.IsValid()) {
    logger_->Write(2, "CXMLDocumentHandler::InsertProductInfoInXML Unable to find node in XML file");
    return 0;
  }
  int result = 1;
  CXMLNodeHandler element = list.InsertChild(0, L"ProductInformation");
  if (element.IsValid()) {
    element.SetAttribute(L"ApplicationName", applicationName);
    element.SetAttribute(L"Version", version);
    element.SetAttribute(L"CompanyName", companyName);
  } else {
    logger_->Write(2, "CXMLDocumentHandler::InsertProductInfoInXML Unable to insert ProductInfo node in XML file");
    result = 0;
  }
  if (!document_.SaveOrLog(savePath, "CXMLDocumentHandler::InsertProductInfoInXML Unable to save XML File")) result = 0;
  return result;
}

void CChangeFileWriter::UpdateINIDirectories(INIFileMap& files, const CINIFolderTable& table) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::UpdateINIDirectories");
  if (files.empty()) return;
  INIFileMap result;
  for (const auto& [oldFolder, newFolder] : table.GetINIFolderTable()) {
    if (oldFolder == newFolder || oldFolder.empty()) continue;
    // The folder is matched as whole path components: a relocation of C:\App must not touch
    // C:\Apple\app.ini.
    const std::wstring from = oldFolder + L"\\";
    const std::wstring to = newFolder + L"\\";
    for (auto it = files.begin(); it != files.end();) {
      std::wstring path = it->first;
      FromTokenForm(path);
      if (path.find(from) == std::wstring::npos) {
        ++it;
        continue;
      }
      ReplaceAll(path, from, to);
      ToTokenForm(path);
      std::vector<INIEntry>& target = result[path];
      target.insert(target.end(), it->second.begin(), it->second.end());
      it = files.erase(it);
    }
  }
  for (auto& [path, entries] : files) {
    logger_->Write(2, FormatText("CXMLDocumentHandler::UpdateINIDirectories: Unable to update path for %s",
                                  WideToUtf8(path).c_str()));
    std::vector<INIEntry>& target = result[path];
    target.insert(target.end(), entries.begin(), entries.end());
  }
  files.swap(result);
}
