#pragma once
#include "ui/warning_dialog.h"

// Told after the setup's run when a Windows Installer process ran during it: OK goes on with the
// capture, Cancel discards it.
class CWarningMSIDetected : public CWarningDialog {
  Q_OBJECT

 public:
  // `processes`: one line per Windows Installer process seen (shown below the text; may be empty).
  explicit CWarningMSIDetected(const QStringList& processes, QWidget* parent = nullptr);
};
