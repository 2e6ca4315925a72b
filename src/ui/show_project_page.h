#pragma once
#include "ui/corvane_property_page.h"

class QLabel;

// The view of a saved project (its files and registry keys checked against this machine). Not available in the wizard yet: the page says so and names the command line that
// builds a package from a project file.
class CShowProjectFileDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CShowProjectFileDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

 private:
  QLabel* description_ = nullptr;
};
