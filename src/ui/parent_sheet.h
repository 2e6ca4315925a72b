#pragma once
#include <QDialog>
#include <memory>

#include "snapshot/enumerate_wrapper.h"

class CAdvanceExclude;
class CAdvanceInclude;
class CPrompter;
class CRuleEditorModel;
class CCaptureSession;
class QTabWidget;

// The advanced sheet the capture page opens: the include page and the exclude page as tabs, with
// OK and Cancel. Nothing is written while it is open; Apply (after OK) hands the include page's
// choices back and writes the rule file as the pages say: the included lists only after
// "Save as Default" (done at once by that button), the excluded lists when the exclude page was shown.
class CParentSheet : public QDialog {
  Q_OBJECT

 public:
  CParentSheet(CCaptureSession& session, const CaptureChoiceMap& choices, const CPrompter& prompter,
               QWidget* parent = nullptr);
  ~CParentSheet() override;

  CAdvanceInclude* IncludePage() const { return include_; }
  CAdvanceExclude* ExcludePage() const { return exclude_; }
  QTabWidget* Tabs() const { return tabs_; }
  // The confirm of both pages. 1, or 0 when the rule file could not be rewritten.
  int Apply();
  // The capture's choices as the include page has them.
  CaptureChoiceMap Choices() const;

 private:
  std::unique_ptr<CRuleEditorModel> rules_;
  QTabWidget* tabs_;
  CAdvanceInclude* include_;
  CAdvanceExclude* exclude_;
  bool excludeShown_ = false;
};
