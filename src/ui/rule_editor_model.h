#pragma once
#include <string>
#include <vector>

#include "project/include_exclude_rules.h"

class CCaptureSession;

// The include and exclude editor's access to the rules: reading the four lists of the rule file
// and writing one kind's list back. The only place of the editor that touches the rule maps.
class CRuleEditorModel {
 public:
  explicit CRuleEditorModel(CCaptureSession& session) : session_(session) {}

  // The rules of a kind as the rule file holds them (the file is loaded first; empty when it
  // does not load).
  IncludedRuleMap Included(RuleKind kind);
  ExcludedRuleMap Excluded(RuleKind kind);
  // Make these names the included rules of a kind (a name already present in another case is
  // taken once) and rewrite that list of the rule file. 1, or 0 when the file was not rewritten.
  int SaveIncluded(RuleKind kind, const std::vector<std::wstring>& names);
  // Make these the excluded rules of a kind (keys upper-cased names) and rewrite that list.
  int SaveExcluded(RuleKind kind, const ExcludedRuleMap& rules);

  static std::wstring IncludedListPath(RuleKind kind);
  static std::wstring ExcludedListPath(RuleKind kind);

 private:
  CCaptureSession& session_;
};
