#pragma once
#include <memory>

#include "snapshot/enumerate_wrapper.h"
#include "ui/corvane_property_page.h"

class CSnapshotRootsPanel;
class QLabel;
class QListWidget;
class QProgressBar;
class QVBoxLayout;
class QPushButton;

// The capture page: shows the folders and registry keys the first snapshot walks (from the
// include rules), saves these choices, and takes the first snapshot on a worker thread. When it is
// complete the wizard moves on to the launch page; from then on Next only moves on.
class CCaptureSnapshotDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CCaptureSnapshotDlg(CApplicationMain* sheet);
  ~CCaptureSnapshotDlg() override;

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  // The number of roots shown (0 asks before capturing nothing).
  int ItemCount() const { return itemCount_; }
  bool CaptureDone() const { return captureDone_; }
  QListWidget* FileList() const;
  QListWidget* RegistryList() const;
  // The Advanced button: the include and exclude sheet.
  void OpenAdvanced();
  const CaptureChoiceMap& Choices() const { return choices_; }

 private:
  void PrepareChoices();
  void OnCaptureEnded(const COperationResult& result);

  CaptureChoiceMap choices_;
  // The "File" and "Registry" roots the advanced sheet chose (empty until it was confirmed).
  CaptureChoiceMap editedRoots_;
  int itemCount_ = 0;
  bool captureDone_ = false;
  QLabel* caption_ = nullptr;
  QPushButton* advanced_ = nullptr;
  std::unique_ptr<CSnapshotRootsPanel> roots_;
};
