#pragma once
#include "ui/corvane_property_page.h"

class QLabel;

// The build of a package from a saved project. Not available in the wizard yet: the page says so and names the command line that
// builds a package from a project file.
class CBuildMSIDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CBuildMSIDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

 private:
  QLabel* description_ = nullptr;
};
