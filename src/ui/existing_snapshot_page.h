#pragma once
#include "ui/corvane_property_page.h"

class QLabel;
class QPushButton;

// Offered at start when a capture of this machine is pending: continue it (on to the second
// snapshot; the setup is not run again) or discard it (on to the main page).
class CExistingSnapshotDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CExistingSnapshotDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  void Continue();
  void Discard();

 private:
  QLabel* status_ = nullptr;
  QLabel* setup_ = nullptr;
  QPushButton* continue_ = nullptr;
  QPushButton* discard_ = nullptr;
};
