#pragma once
#include "ui/corvane_property_page.h"

class QLabel;
class QProgressBar;
class QRadioButton;
struct SetupRun;

// The launch page: runs the setup program (visibly, on the administrator's display) and waits for
// it and for the Windows Installer processes it starts, on a worker thread, so that the window
// stays responsive and Cancel can end the run. Or the administrator says the setup has run
// already. A second Next never runs the setup again.
class CLaunchSetupDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CLaunchSetupDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  bool SetupLaunched() const { return launched_; }
  QRadioButton* LaunchNowButton() const { return launchNow_; }
  QRadioButton* AlreadyRunButton() const { return alreadyRun_; }

 private:
  void OnSetupEnded(const COperationResult& result, const SetupRun& run);

  bool launched_ = false;
  QLabel* description_ = nullptr;
  QRadioButton* launchNow_ = nullptr;
  QRadioButton* alreadyRun_ = nullptr;
  QLabel* running_ = nullptr;
  QLabel* statusCaption_ = nullptr;
  QLabel* statusDetail_ = nullptr;
  QProgressBar* bar_ = nullptr;
};
