#include "project/rule_file.h"

#include "core/logger.h"
#include "core/strings.h"
#include "project/include_exclude_rules.h"
#include "project/xml_document_handler.h"

namespace {

// Rules for one user's hive are not carried from machine to machine: only HKEY_USERS itself and
// the default user's hive are kept.
bool PassesUserHiveFilter(const std::wstring& upperName) {
  if (upperName.find(L"HKEY_USERS") == std::wstring::npos) return true;
  if (upperName == L"HKEY_USERS") return true;
  return upperName.find(L"HKEY_USERS\\.DEFAULT") != std::wstring::npos;
}

}  // namespace

CRuleFile::CRuleFile(CXMLDocumentHandler& document, CLogger* logger) : document_(document), logger_(logger) {}

int CRuleFile::ReadIncludedItems(const std::wstring& listPath, const CXMLNodeHandler& root,
                                 CIncludeExcludeRules& rules) {
  RuleKind kind;
  if (!document_.IsLoaded() || !IncludedKindOfPath(listPath, kind)) return 0;
  CXMLNodeHandler list = root.SelectSingleNode(listPath);
  if (!list.IsValid()) return 0;
  for (const CXMLNodeHandler& entry : list.GetChildren()) rules.AddIncludedRule(kind, entry.GetAttribute(0));
  return 1;
}

int CRuleFile::ReadExcludedItems(const std::wstring& listPath, const CXMLNodeHandler& root,
                                 CIncludeExcludeRules& rules) {
  RuleKind kind;
  if (!document_.IsLoaded() || !ExcludedKindOfPath(listPath, kind)) return 0;
  CXMLNodeHandler list = root.SelectSingleNode(listPath);
  if (!list.IsValid()) return 0;
  for (const CXMLNodeHandler& entry : list.GetChildren()) {
    const std::wstring name = entry.GetAttribute(0);
    if (!PassesUserHiveFilter(ToUpperUnicode(name))) continue;
    rules.AddExcludedRule(kind, name, entry.GetAttribute(1));
  }
  return 1;
}

int CRuleFile::RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath,
                                            const CIncludeExcludeRules& rules) {
  CTraceScope trace(logger_, "CXMLDocumentHandler::RegenerateIncludeExcludeFile");
  if (!document_.IsLoaded()) {
    logger_->Write(2, "CXMLDocumentHandler::RegenerateIncludeExcludeFile XML File Not Loaded");
    return 0;
  }
  RuleKind kind;
  const bool knownPath = excludedPart ? ExcludedKindOfPath(listPath, kind) : IncludedKindOfPath(listPath, kind);
  if (!knownPath) {
    // A path of the other part would write one kind of list under the other's name.
    logger_->Write(2, FormatText("CXMLDocumentHandler::RegenerateIncludeExcludeFile %s is not a list of this part",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  document_.SetPath(document_.GetLoadedPath());
  CXMLNodeHandler root = document_.GetRootElement();
  root.RemoveNodes(listPath);

  const wchar_t* listName = excludedPart ? L"ExcludedItems" : L"IncludedItems";
  const wchar_t* parentName = kind == RuleKind::kFiles ? L"FileSystem" : L"RegistrySystem";
  int result = 1;
  CXMLNodeHandler parent = root.SelectSingleNode(parentName);
  if (!parent.InsertChild(0, listName).IsValid()) {
    logger_->Write(2, excludedPart
                           ? "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to insert ExcludedItems node in XML file"
                           : "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to insert IncludedItems node in XML file");
    result = 0;
  }

  CXMLNodeHandler list = root.SelectSingleNode(listPath);
  if (!list.IsValid()) {
    logger_->Write(2, FormatText("CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to "
                                  "\t\t\t\t\t\t\t   find %s node in XML file",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  // Each entry goes first, so the file lists the map in reverse order.
  if (excludedPart) {
    for (const auto& [key, rule] : rules.GetExcludedRules(kind)) {
      CXMLNodeHandler entry = list.InsertChild(0, L"ExcludedEntry");
      if (!entry.IsValid()) {
        logger_->Write(2, "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to Insert ExcludedEntry node in XML file");
        result = 0;
        continue;
      }
      entry.SetAttribute(L"Name", rule.name);
      entry.SetAttribute(L"Description", rule.description);
    }
  } else {
    for (const auto& [key, name] : rules.GetIncludedRules(kind)) {
      CXMLNodeHandler entry = list.InsertChild(0, L"IncludedEntry");
      if (!entry.IsValid()) {
        result = 0;
        continue;
      }
      entry.SetAttribute(L"Name", name);
    }
  }
  // One save when the list is complete: a file never holds the emptied list alone.
  if (!document_.SaveOrLog(document_.GetLoadedPath(), "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to save XML File")) result = 0;
  return result;
}
