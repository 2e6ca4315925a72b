#include "project/include_exclude_rules.h"

#include <mutex>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "project/change_types.h"
#include "project/xml_document_handler.h"

namespace {

std::mutex g_mutex;
IncludedRuleMap g_includedFiles;
IncludedRuleMap g_includedKeys;
ExcludedRuleMap g_excludedFiles;
ExcludedRuleMap g_excludedKeys;
std::map<std::wstring, std::wstring> g_reasons;  // upper-cased item -> reason

IncludedRuleMap& Included(RuleKind kind) { return kind == RuleKind::kFiles ? g_includedFiles : g_includedKeys; }
ExcludedRuleMap& Excluded(RuleKind kind) { return kind == RuleKind::kFiles ? g_excludedFiles : g_excludedKeys; }

// Rules for one user's hive are not carried from machine to machine: only HKEY_USERS itself and
// the default user's hive are kept.
bool PassesUserHiveFilter(const std::wstring& upperName) {
  if (upperName.find(L"HKEY_USERS") == std::wstring::npos) return true;
  if (upperName == L"HKEY_USERS") return true;
  return upperName.find(L"HKEY_USERS\\.DEFAULT") != std::wstring::npos;
}

}  // namespace

IncludedRuleMap GetIncludedRules(RuleKind kind) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Included(kind);
}

ExcludedRuleMap GetExcludedRules(RuleKind kind) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Excluded(kind);
}

void SetIncludedRules(RuleKind kind, const IncludedRuleMap& rules) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Included(kind) = rules;
}

void SetExcludedRules(RuleKind kind, const ExcludedRuleMap& rules) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Excluded(kind) = rules;
}

bool AddIncludedRule(RuleKind kind, const std::wstring& name) {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> lock(g_mutex);
  return Included(kind).emplace(ToUpperUnicode(name), name).second;
}

bool AddExcludedRule(RuleKind kind, const std::wstring& name, const std::wstring& description) {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> lock(g_mutex);
  return Excluded(kind).emplace(ToUpperUnicode(name), ExcludedRule{name, description}).second;
}

bool RemoveIncludedRule(RuleKind kind, const std::wstring& name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Included(kind).erase(ToUpperUnicode(name)) > 0;
}

bool RemoveExcludedRule(RuleKind kind, const std::wstring& name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Excluded(kind).erase(ToUpperUnicode(name)) > 0;
}

void SetExclusionReason(const std::wstring& item, const std::wstring& reason) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_reasons[ToUpperUnicode(item)] = reason;
}

std::wstring ExclusionReason(const std::wstring& item) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_reasons.empty()) return {};
  auto found = g_reasons.find(ToUpperUnicode(item));
  return found == g_reasons.end() ? std::wstring() : found->second;
}

void ClearExclusionReasons() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_reasons.clear();
}

void ClearAllRules() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_includedFiles.clear();
  g_includedKeys.clear();
  g_excludedFiles.clear();
  g_excludedKeys.clear();
}

bool IncludedKindOfPath(const std::wstring& listPath, RuleKind& kind) {
  if (listPath == xmlpath::kIncludedFileRules) {
    kind = RuleKind::kFiles;
    return true;
  }
  if (listPath == xmlpath::kIncludedRegistryRules) {
    kind = RuleKind::kRegistry;
    return true;
  }
  return false;
}

bool ExcludedKindOfPath(const std::wstring& listPath, RuleKind& kind) {
  if (listPath == xmlpath::kExcludedFileRules) {
    kind = RuleKind::kFiles;
    return true;
  }
  if (listPath == xmlpath::kExcludedRegistryRules) {
    kind = RuleKind::kRegistry;
    return true;
  }
  return false;
}

bool MatchesExcludedRule(const ExcludedRuleMap& rules, const std::wstring& upperItem,
                         std::wstring* matched) {
  if (rules.count(upperItem) != 0) {
    if (matched != nullptr) *matched = upperItem;
    return true;
  }
  for (const auto& [key, rule] : rules) {
    // An empty rule would be found in every path; it excludes nothing.
    if (key.empty()) continue;
    if (upperItem.find(key) != std::wstring::npos) {
      if (matched != nullptr) *matched = key;
      return true;
    }
  }
  return false;
}

bool IsFolderExcluded(const ExcludedRuleMap& rules, const std::wstring& folderPath) {
  std::wstring token = folderPath;
  ToTokenForm(token);
  return MatchesExcludedRule(rules, ToUpperUnicode(token));
}

bool IsKeyExcluded(const ExcludedRuleMap& rules, const std::wstring& keyPath) {
  return MatchesExcludedRule(rules, ToUpperUnicode(keyPath));
}

int CXMLDocumentHandler::ReadIncludedItems(const std::wstring& listPath, const CXMLNodeHandler& root) {
  RuleKind kind;
  if (!m_loaded || !IncludedKindOfPath(listPath, kind)) return 0;
  CXMLNodeHandler list = root.SelectSingleNode(listPath);
  if (!list.IsValid()) return 0;
  for (const CXMLNodeHandler& entry : list.GetChildren()) AddIncludedRule(kind, entry.GetAttribute(0));
  return 1;
}

int CXMLDocumentHandler::ReadExcludedItems(const std::wstring& listPath, const CXMLNodeHandler& root) {
  RuleKind kind;
  if (!m_loaded || !ExcludedKindOfPath(listPath, kind)) return 0;
  CXMLNodeHandler list = root.SelectSingleNode(listPath);
  if (!list.IsValid()) return 0;
  for (const CXMLNodeHandler& entry : list.GetChildren()) {
    const std::wstring name = entry.GetAttribute(0);
    if (!PassesUserHiveFilter(ToUpperUnicode(name))) continue;
    AddExcludedRule(kind, name, entry.GetAttribute(1));
  }
  return 1;
}

int CXMLDocumentHandler::RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath) {
  CTraceScope trace(m_logger, "CXMLDocumentHandler::RegenerateIncludeExcludeFile");
  if (!m_loaded) {
    m_logger->Write(2, "CXMLDocumentHandler::RegenerateIncludeExcludeFile XML File Not Loaded");
    return 0;
  }
  RuleKind kind;
  const bool knownPath = excludedPart ? ExcludedKindOfPath(listPath, kind) : IncludedKindOfPath(listPath, kind);
  if (!knownPath) {
    // A path of the other part would write one kind of list under the other's name.
    m_logger->Write(2, FormatText("CXMLDocumentHandler::RegenerateIncludeExcludeFile %s is not a list of this part",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  m_path = m_url;
  CXMLNodeHandler root = GetRootElement();
  root.RemoveNodes(listPath);

  const wchar_t* listName = excludedPart ? L"ExcludedItems" : L"IncludedItems";
  const wchar_t* parentName = kind == RuleKind::kFiles ? L"FileSystem" : L"RegistrySystem";
  int result = 1;
  CXMLNodeHandler parent = root.SelectSingleNode(parentName);
  if (!parent.InsertChild(0, listName).IsValid()) {
    m_logger->Write(2, excludedPart
                           ? "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to insert ExcludedItems node in XML file"
                           : "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to insert IncludedItems node in XML file");
    result = 0;
  }

  CXMLNodeHandler list = root.SelectSingleNode(listPath);
  if (!list.IsValid()) {
    m_logger->Write(2, FormatText("CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to "
                                  "\t\t\t\t\t\t\t   find %s node in XML file",
                                  WideToUtf8(listPath).c_str()));
    return 0;
  }
  // Each entry goes first, so the file lists the map in reverse order.
  if (excludedPart) {
    for (const auto& [key, rule] : GetExcludedRules(kind)) {
      CXMLNodeHandler entry = list.InsertChild(0, L"ExcludedEntry");
      if (!entry.IsValid()) {
        m_logger->Write(2, "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to Insert ExcludedEntry node in XML file");
        result = 0;
        continue;
      }
      entry.SetAttribute(L"Name", rule.name);
      entry.SetAttribute(L"Description", rule.description);
    }
  } else {
    for (const auto& [key, name] : GetIncludedRules(kind)) {
      CXMLNodeHandler entry = list.InsertChild(0, L"IncludedEntry");
      if (!entry.IsValid()) {
        result = 0;
        continue;
      }
      entry.SetAttribute(L"Name", name);
    }
  }
  // One save when the list is complete: a file never holds the emptied list alone.
  if (!SaveOrLog(m_url, "CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to save XML File")) result = 0;
  return result;
}
