#pragma once
#include <memory>

#include "ui/corvane_property_page.h"

class CSnapshotRootsPanel;
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
  ~CSecondSnapshotDlg() override;

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  bool CompareDone() const { return compareDone_; }
  int ItemCount() const { return itemCount_; }

 private:
  void ShowChoices();
  void OnSecondCaptureEnded(const COperationResult& result);
  void OnCompareEnded(const COperationResult& result);
  void Failed(const COperationResult& result);

  bool compareDone_ = false;
  int itemCount_ = 0;
  QLabel* introduction_ = nullptr;
  std::unique_ptr<CSnapshotRootsPanel> roots_;
};
