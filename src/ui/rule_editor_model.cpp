#include "ui/rule_editor_model.h"

#include "core/strings.h"
#include "session/capture_session.h"

std::wstring CRuleEditorModel::IncludedListPath(RuleKind kind) {
  return kind == RuleKind::kFiles ? L"FileSystem//IncludedItems" : L"RegistrySystem//IncludedItems";
}

std::wstring CRuleEditorModel::ExcludedListPath(RuleKind kind) {
  return kind == RuleKind::kFiles ? L"FileSystem//ExcludedItems" : L"RegistrySystem//ExcludedItems";
}

IncludedRuleMap CRuleEditorModel::Included(RuleKind kind) {
  return session_.GetIncludedItems(IncludedListPath(kind));
}

ExcludedRuleMap CRuleEditorModel::Excluded(RuleKind kind) {
  return session_.GetExcludedItems(ExcludedListPath(kind));
}

int CRuleEditorModel::SaveIncluded(RuleKind kind, const std::vector<std::wstring>& names) {
  IncludedRuleMap rules;
  for (const std::wstring& name : names) {
    if (!name.empty()) rules.emplace(ToUpperUnicode(name), name);
  }
  session_.Rules().SetIncludedRules(kind, rules);
  return session_.RegenerateIncludeExcludeFile(false, IncludedListPath(kind)).succeeded() ? 1 : 0;
}

int CRuleEditorModel::SaveExcluded(RuleKind kind, const ExcludedRuleMap& rules) {
  session_.Rules().SetExcludedRules(kind, rules);
  return session_.RegenerateIncludeExcludeFile(true, ExcludedListPath(kind)).succeeded() ? 1 : 0;
}
