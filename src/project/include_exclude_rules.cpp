#include "project/include_exclude_rules.h"

#include <mutex>

#include "core/strings.h"
#include "core/work_paths.h"
#include "project/change_types.h"

namespace {

std::mutex g_mutex;
IncludedRuleMap g_includedFiles;
IncludedRuleMap g_includedKeys;
ExcludedRuleMap g_excludedFiles;
ExcludedRuleMap g_excludedKeys;
std::map<std::wstring, std::wstring> g_reasons;  // upper-cased item -> reason

IncludedRuleMap& Included(RuleKind kind) { return kind == RuleKind::kFiles ? g_includedFiles : g_includedKeys; }
ExcludedRuleMap& Excluded(RuleKind kind) { return kind == RuleKind::kFiles ? g_excludedFiles : g_excludedKeys; }

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
