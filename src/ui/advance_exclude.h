#pragma once
#include <QModelIndex>
#include <functional>

#include "project/include_exclude_rules.h"
#include "ui/advance_pages.h"

class CCheckTreeCtrl;
class CRuleEditorModel;
class QLineEdit;
class QPushButton;

// The exclude page: the folders and keys whose changes are noise, each rule with a description.
// It starts from the rule file's excluded lists (each rule's folder or key checked with its
// subtree) and, on confirm, writes both excluded lists back.
//
// Selecting an item shows, in the path field, "File\" (or "Registry\") and the token-form path of
// the nearest checked item at or above it that has a rule, with that rule's description; for an
// unchecked item "FileNotChecked\" (or "RegistryNotChecked\") and its path. "Describe" gives the
// rule of the path field a description, checking an unchecked item first.
class CAdvanceExclude : public CAdvancePages {
  Q_OBJECT

 public:
  // `message`: shows a message box (text, caption; warning icon) and returns when it is answered.
  CAdvanceExclude(CRuleEditorModel& rules, std::function<void(const QString&, const QString&)> message,
                  QWidget* parent = nullptr);

  QLineEdit* PathField() const { return path_; }
  QLineEdit* DescriptionField() const { return description_; }
  QPushButton* DescribeButton() const { return describe_; }
  // The page's rules of a kind, by upper-cased token-form name.
  const ExcludedRuleMap& Rules(RuleKind kind) const { return kind == RuleKind::kFiles ? fileRules_ : keyRules_; }

  // The describe button.
  void Describe();
  // The confirm: the excluded lists as the trees and descriptions now stand. Rules whose folder
  // or key the trees do not show (fragments such as "\Temp", or items this machine lacks) are
  // kept. 1, or 0 when a rewrite failed.
  int Save();
  // What Save writes for a kind (without writing).
  ExcludedRuleMap Collected(RuleKind kind) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowSelection(RuleKind kind, const QModelIndex& index);
  CCheckTreeCtrl* Tree(RuleKind kind) const;

  CRuleEditorModel& rules_;
  std::function<void(const QString&, const QString&)> message_;
  // The rules as read from the rule file; the page's own (read and described); those the trees
  // could not show.
  ExcludedRuleMap readFiles_, readKeys_;
  ExcludedRuleMap fileRules_, keyRules_;
  ExcludedRuleMap unplacedFiles_, unplacedKeys_;
  QLineEdit* path_;
  QLineEdit* description_;
  QPushButton* describe_;
};
