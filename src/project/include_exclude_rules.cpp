#include "project/include_exclude_rules.h"

#include "core/strings.h"
#include "core/work_paths.h"
#include "project/change_types.h"

IncludedRuleMap CIncludeExcludeRules::GetIncludedRules(RuleKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kind == RuleKind::kFiles ? includedFiles_ : includedKeys_;
}

ExcludedRuleMap CIncludeExcludeRules::GetExcludedRules(RuleKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kind == RuleKind::kFiles ? excludedFiles_ : excludedKeys_;
}

void CIncludeExcludeRules::SetIncludedRules(RuleKind kind, const IncludedRuleMap& rules) {
  std::lock_guard<std::mutex> lock(mutex_);
  Included(kind) = rules;
}

void CIncludeExcludeRules::SetExcludedRules(RuleKind kind, const ExcludedRuleMap& rules) {
  std::lock_guard<std::mutex> lock(mutex_);
  Excluded(kind) = rules;
}

bool CIncludeExcludeRules::AddIncludedRule(RuleKind kind, const std::wstring& name) {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return Included(kind).emplace(ToUpperUnicode(name), name).second;
}

bool CIncludeExcludeRules::AddExcludedRule(RuleKind kind, const std::wstring& name, const std::wstring& description) {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return Excluded(kind).emplace(ToUpperUnicode(name), ExcludedRule{name, description}).second;
}

bool CIncludeExcludeRules::RemoveIncludedRule(RuleKind kind, const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Included(kind).erase(ToUpperUnicode(name)) > 0;
}

bool CIncludeExcludeRules::RemoveExcludedRule(RuleKind kind, const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Excluded(kind).erase(ToUpperUnicode(name)) > 0;
}

void CIncludeExcludeRules::ClearAllRules() {
  std::lock_guard<std::mutex> lock(mutex_);
  includedFiles_.clear();
  includedKeys_.clear();
  excludedFiles_.clear();
  excludedKeys_.clear();
}

void CIncludeExcludeRules::SetExclusionReason(const std::wstring& item, const std::wstring& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  reasons_[ToUpperUnicode(item)] = reason;
}

std::wstring CIncludeExcludeRules::ExclusionReason(const std::wstring& item) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reasons_.empty()) return {};
  auto found = reasons_.find(ToUpperUnicode(item));
  return found == reasons_.end() ? std::wstring() : found->second;
}

void CIncludeExcludeRules::ClearExclusionReasons() {
  std::lock_guard<std::mutex> lock(mutex_);
  reasons_.clear();
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
