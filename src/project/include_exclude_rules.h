#pragma once
#include <map>
#include <mutex>
#include <string>

struct ExcludedRule {
  std::wstring name;
  std::wstring description;
};

using IncludedRuleMap = std::map<std::wstring, std::wstring>;  // upper-cased name -> name
using ExcludedRuleMap = std::map<std::wstring, ExcludedRule>;  // upper-cased name -> rule

enum class RuleKind { kFiles, kRegistry };

// The include and exclude rules of one capture session (DefaultIncludeExclude.xml): the four maps
// (included folders, included keys, excluded folders, excluded keys) and the reasons items were
// set aside for. Keys are the rule names upper-cased (Unicode simple upper-casing); the values keep
// the names as read. Reading a rule list adds to its map; a name already present (in any case) is
// ignored. CRuleFile (through CXMLDocumentHandler) reads and writes the file; the capture, the
// comparisons and the pages use the maps of the session that owns them (CUIManager::Rules).
//
// Every member copies in or out under the object's lock: a worker thread reads the maps while the
// user-interface thread may replace one, and neither sees a map half-changed.
class CIncludeExcludeRules {
 public:
  CIncludeExcludeRules() = default;
  CIncludeExcludeRules(const CIncludeExcludeRules&) = delete;
  CIncludeExcludeRules& operator=(const CIncludeExcludeRules&) = delete;

  // Copies of the maps.
  IncludedRuleMap GetIncludedRules(RuleKind kind) const;
  ExcludedRuleMap GetExcludedRules(RuleKind kind) const;
  // Replace a whole map (the pages after an edit).
  void SetIncludedRules(RuleKind kind, const IncludedRuleMap& rules);
  void SetExcludedRules(RuleKind kind, const ExcludedRuleMap& rules);
  // Adds a rule unless its upper-cased name is present; true when added. An empty name is never
  // added (it would be found in every path).
  bool AddIncludedRule(RuleKind kind, const std::wstring& name);
  bool AddExcludedRule(RuleKind kind, const std::wstring& name, const std::wstring& description);
  // Removes the rule with that name (any case); true when one was removed.
  bool RemoveIncludedRule(RuleKind kind, const std::wstring& name);
  bool RemoveExcludedRule(RuleKind kind, const std::wstring& name);
  // Empties all four maps.
  void ClearAllRules();

  // Why an item that no rule covers was set aside (the original setup's uninstall entry, say):
  // one reason per item, keyed by the item's full path (a file's Windows path, or a key path)
  // without regard to case. The change files write it beside the excluded item; an item moved
  // back by the review simply stops being excluded.
  void SetExclusionReason(const std::wstring& item, const std::wstring& reason);
  // The reason of an item, or empty (an item excluded by a rule has that rule's description).
  std::wstring ExclusionReason(const std::wstring& item) const;
  void ClearExclusionReasons();

 private:
  IncludedRuleMap& Included(RuleKind kind) { return kind == RuleKind::kFiles ? includedFiles_ : includedKeys_; }
  ExcludedRuleMap& Excluded(RuleKind kind) { return kind == RuleKind::kFiles ? excludedFiles_ : excludedKeys_; }

  mutable std::mutex mutex_;
  IncludedRuleMap includedFiles_;
  IncludedRuleMap includedKeys_;
  ExcludedRuleMap excludedFiles_;
  ExcludedRuleMap excludedKeys_;
  std::map<std::wstring, std::wstring> reasons_;  // upper-cased item -> reason
};

// Which map a rule list path names: "FileSystem//IncludedItems" etc. false for any other path.
bool IncludedKindOfPath(const std::wstring& listPath, RuleKind& kind);
bool ExcludedKindOfPath(const std::wstring& listPath, RuleKind& kind);

// Whether an item, already in the upper-cased form its side compares (a token-form folder path,
// or a full key path), falls under a rule of `rules`: the exact key, or any rule name found
// anywhere inside it (first in key order). `matched` receives the rule's key when given.
bool MatchesExcludedRule(const ExcludedRuleMap& rules, const std::wstring& upperItem,
                         std::wstring* matched = nullptr);
// File side: converts the folder path to token form and upper-cases it, then matches.
bool IsFolderExcluded(const ExcludedRuleMap& rules, const std::wstring& folderPath);
// Registry side: upper-cases the full key path, then matches.
bool IsKeyExcluded(const ExcludedRuleMap& rules, const std::wstring& keyPath);
