#pragma once
#include "ui/corvane_property_page.h"

class QLabel;

// Review of the captured file changes: what goes into the package and what is set aside.
class CContentReviewFileDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CContentReviewFileDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

 private:
  QLabel* description_ = nullptr;
};
