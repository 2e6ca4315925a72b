#pragma once
#include "ui/corvane_property_page.h"

class QLabel;

// Review of the captured registry changes: what goes into the package and what is set aside.
class CContentReviewRegistryDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CContentReviewRegistryDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

 private:
  QLabel* description_ = nullptr;
};
