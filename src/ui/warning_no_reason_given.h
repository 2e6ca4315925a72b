#pragma once
#include <string>

#include "ui/warning_dialog.h"

class QCheckBox;

// Told when an exclusion is stored without a reason. Its check box turns the warning off for good:
// closing with OK or Cancel writes "ShowNoReasonGivenWarning" in section "Options" of the
// configuration file ("0" when ticked, "1" when not).
class CWarningNoReasonGiven : public CWarningDialog {
  Q_OBJECT

 public:
  explicit CWarningNoReasonGiven(const std::wstring& configFilePath, QWidget* parent = nullptr);
  // Whether the warning is to be shown (the key reads non-zero; shown when it is missing).
  static bool ShouldShow(const std::wstring& configFilePath);
  QCheckBox* DoNotShowAgain() const { return doNotShow_; }

  void done(int result) override;

 private:
  std::wstring configFilePath_;
  QCheckBox* doNotShow_ = nullptr;
};
