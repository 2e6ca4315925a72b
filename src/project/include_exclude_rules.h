#pragma once
#include <map>
#include <string>

// The four process-wide maps of include and exclude rules (DefaultIncludeExclude.xml): included
// folders, included keys, excluded folders, excluded keys. Keys are the rule names upper-cased
// (Unicode simple upper-casing); the values keep the names as read. Reading a rule list adds to
// its map; a name already present (in any case) is ignored. CRuleFile (through
// CXMLDocumentHandler) reads and writes the file; the capture, the comparisons and the pages use the maps.
//
// The maps are guarded: every function copies in or out under a lock, so a worker thread and the
// user-interface thread never see a map half-changed.

struct ExcludedRule {
  std::wstring name;
  std::wstring description;
};

using IncludedRuleMap = std::map<std::wstring, std::wstring>;  // upper-cased name -> name
using ExcludedRuleMap = std::map<std::wstring, ExcludedRule>;  // upper-cased name -> rule

enum class RuleKind { kFiles, kRegistry };

// Copies of the maps.
IncludedRuleMap GetIncludedRules(RuleKind kind);
ExcludedRuleMap GetExcludedRules(RuleKind kind);
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

// Why an item that no rule covers was set aside (the original setup's uninstall entry, say): one
// reason per item, keyed by the item's full path (a file's Windows path, or a key path) without
// regard to case. The change files write it beside the excluded item; an item moved back by the
// review simply stops being excluded. Guarded like the maps.
void SetExclusionReason(const std::wstring& item, const std::wstring& reason);
// The reason of an item, or empty (an item excluded by a rule has that rule's description).
std::wstring ExclusionReason(const std::wstring& item);
void ClearExclusionReasons();

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
