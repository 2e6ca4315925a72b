#pragma once
#include <QString>
#include <QStringList>

#include "project/include_exclude_rules.h"
#include "ui/corvane_property_page.h"

class CProjectTreeCtrl;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;

// What the two review pages share: the change view (what goes into the package), the exclusion
// view (what is set aside), the reason field and the two buttons that move ticked items between
// the views. Moving an item edits the engine's change maps and the exclusion rules; leaving the
// page with Next writes the change file and the rules file again, only when something moved.
//
// The views are filled from the maps when the page is first shown; from then on they follow each
// move. A subclass names its maps and its rules and says how one ticked path moves.
class CContentReviewPage : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  CContentReviewPage(int pageNumber, CApplicationMain* sheet, int descriptionText, RuleKind rules);

  void OnSetActive() override;

  CProjectTreeCtrl* ChangeView() const { return changeView_; }
  CProjectTreeCtrl* ExclusionView() const { return exclusionView_; }
  QLineEdit* ReasonField() const { return reason_; }
  QPushButton* ExcludeButton() const { return exclude_; }
  QPushButton* IncludeButton() const { return include_; }
  // Something moved since the change file and the rules were last written.
  bool Changed() const { return changed_; }
  // The rules this page added (upper-cased name -> rule).
  const ExcludedRuleMap& PageRules() const { return pageRules_; }

  // The buttons' work, for the buttons and for tests.
  void Exclude();
  void IncludeAgain();

 protected:
  // The first showing: the subclass drops from its change maps what is excluded already, then
  // fills both views.
  virtual void FillViews() = 0;
  // Moves the changes covered by one ticked path of the change view to the excluded ones, with
  // this description for the rules.
  virtual void ExcludePath(const std::wstring& path, const CProjectTreeCtrl* view, const std::wstring& description) = 0;
  // Moves the excluded changes covered by one ticked path of the exclusion view back.
  virtual void IncludePath(const std::wstring& path) = 0;
  // Writes the change file again; false when it could not be written.
  virtual bool RewriteChangeFile() = 0;
  // The rule name of a change path (the key itself, or a file path's token form).
  virtual std::wstring RuleNameOf(const std::wstring& path) const = 0;
  // Exclude or Include again with nothing ticked: the file page says so, the registry page does
  // nothing.
  virtual void NothingTicked(bool excluding) { (void)excluding; }

  // Next: writes the change file and the rules file again when something moved. False (the page
  // stays) when one could not be written; the person is told.
  bool SaveIfChanged();

  // The rules: in the shared map (what later captures exclude) and in the page's own.
  void AddRule(const std::wstring& changePath, const std::wstring& description);
  void RemoveRule(const std::wstring& changePath);
  void SetChanged() { changed_ = true; }
  RuleKind Kind() const { return kind_; }

  // A covers B when A is B or one of B's ancestors, component by component, letter case respected.
  static bool Covers(const std::wstring& a, const std::wstring& b);

 private:
  void ShowReasonOf(QTreeWidgetItem* item);
  void UpdateCounts();
  void Publish();

  int descriptionText_;
  RuleKind kind_;
  bool created_ = false;
  bool changed_ = false;
  ExcludedRuleMap rules_;
  ExcludedRuleMap pageRules_;
  QLabel* description_ = nullptr;
  CProjectTreeCtrl* changeView_ = nullptr;
  CProjectTreeCtrl* exclusionView_ = nullptr;
  QLabel* changeCount_ = nullptr;
  QLabel* exclusionCount_ = nullptr;
  QLineEdit* reason_ = nullptr;
  QPushButton* exclude_ = nullptr;
  QPushButton* include_ = nullptr;
};
