#pragma once
#include "ui/content_review_page.h"

// Review of the captured registry changes: the added and modified keys, and those set aside.
// Excluding a key also excludes the keys below it and the same key seen through another root
// (HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\SOFTWARE\Classes; HKEY_CURRENT_USER and the user
// hives). Pointing at a key shows its values as the machine holds them now.
class CContentReviewRegistryDlg : public CContentReviewPage {
  Q_OBJECT

 public:
  explicit CContentReviewRegistryDlg(CApplicationMain* sheet);

  int OnWizardBack() override;
  int OnWizardNext() override;

 protected:
  void FillViews() override;
  void ExcludePath(const std::wstring& path, const CProjectTreeCtrl* view, const std::wstring& description) override;
  void IncludePath(const std::wstring& path) override;
  bool RewriteChangeFile() override;
  std::wstring RuleNameOf(const std::wstring& path) const override { return path; }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Moves the keys covered by `path` out of the added and then the modified map.
  void ExcludeKeys(const std::wstring& path, const std::wstring& description);
};
