#pragma once
#include "ui/corvane_property_page.h"

class QLabel;

// Writes the project file (with shortcuts and icons) and builds the package.
class CCreateProjectFileMsiDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CCreateProjectFileMsiDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

 private:
  QLabel* description_ = nullptr;
};
