#include "ui/rule_editor_model.h"

#include "core/strings.h"
#include "session/ui_manager.h"

std::wstring CRuleEditorModel::IncludedListPath(RuleKind kind) {
  return kind == RuleKind::kFiles ? L"FileSystem//IncludedItems" : L"RegistrySystem//IncludedItems";
}

std::wstring CRuleEditorModel::ExcludedListPath(RuleKind kind) {
  return kind == RuleKind::kFiles ? L"FileSystem//ExcludedItems" : L"RegistrySystem//ExcludedItems";
}

IncludedRuleMap CRuleEditorModel::Included(RuleKind kind) {
  IncludedRuleMap rules;
  manager_.GetIncludedItems(IncludedListPath(kind), rules);
  return rules;
}

ExcludedRuleMap CRuleEditorModel::Excluded(RuleKind kind) {
  ExcludedRuleMap rules;
  manager_.GetExcludedItems(ExcludedListPath(kind), rules);
  return rules;
}

int CRuleEditorModel::SaveIncluded(RuleKind kind, const std::vector<std::wstring>& names) {
  IncludedRuleMap rules;
  for (const std::wstring& name : names) {
    if (!name.empty()) rules.emplace(ToUpperUnicode(name), name);
  }
  manager_.Rules().SetIncludedRules(kind, rules);
  return manager_.RegenerateIncludeExcludeFile(false, IncludedListPath(kind));
}

int CRuleEditorModel::SaveExcluded(RuleKind kind, const ExcludedRuleMap& rules) {
  manager_.Rules().SetExcludedRules(kind, rules);
  return manager_.RegenerateIncludeExcludeFile(true, ExcludedListPath(kind));
}
