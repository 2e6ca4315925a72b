#pragma once
#include "ui/corvane_property_page.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QVBoxLayout;

// The second-snapshot page: takes the second snapshot on a worker thread, then compares it with
// the first on another, and moves on to the review of the file changes. A failed step leaves the
// capture pending and Next tries again.
class CSecondSnapshotDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CSecondSnapshotDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  bool CompareDone() const { return compareDone_; }
  int ItemCount() const { return itemCount_; }

 private:
  void ShowChoices();
  void ShowResults(bool shown);
  void OnSecondCaptureEnded(const COperationResult& result);
  void OnCompareEnded(const COperationResult& result);
  void Failed(const COperationResult& result);

  bool compareDone_ = false;
  int itemCount_ = 0;
  QLabel* introduction_ = nullptr;
  QLabel* filesLabel_ = nullptr;
  QListWidget* files_ = nullptr;
  QLabel* keysLabel_ = nullptr;
  QListWidget* keys_ = nullptr;
  QLabel* statusCaption_ = nullptr;
  QLabel* statusDetail_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  int trailingStretch_ = 0;
};
