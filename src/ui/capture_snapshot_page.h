#pragma once
#include "snapshot/enumerate_wrapper.h"
#include "ui/corvane_property_page.h"

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

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  // The number of roots shown (0 asks before capturing nothing).
  int ItemCount() const { return itemCount_; }
  bool CaptureDone() const { return captureDone_; }
  QListWidget* FileList() const { return files_; }
  QListWidget* RegistryList() const { return keys_; }

 private:
  void PrepareChoices();
  void ShowLists(bool shown);
  void OnCaptureEnded(const COperationResult& result);

  CaptureChoiceMap choices_;
  int itemCount_ = 0;
  bool captureDone_ = false;
  QLabel* caption_ = nullptr;
  QLabel* filesLabel_ = nullptr;
  QListWidget* files_ = nullptr;
  QLabel* keysLabel_ = nullptr;
  QListWidget* keys_ = nullptr;
  QPushButton* advanced_ = nullptr;
  QLabel* statusCaption_ = nullptr;
  QLabel* statusDetail_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  int trailingStretch_ = 0;
};
