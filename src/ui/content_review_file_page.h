#pragma once
#include "ui/content_review_page.h"

// Review of the captured file changes: the folders and files added or modified, and those set
// aside. Excluding a folder sets aside the folders below it with all their files; excluding a file
// sets aside that file alone. The rules name the paths in token form.
class CContentReviewFileDlg : public CContentReviewPage {
  Q_OBJECT

 public:
  explicit CContentReviewFileDlg(CApplicationMain* sheet);

  int OnWizardBack() override;
  int OnWizardNext() override;

 protected:
  void FillViews() override;
  void ExcludePath(const std::wstring& path, const CProjectTreeCtrl* view, const std::wstring& description) override;
  void IncludePath(const std::wstring& path) override;
  bool RewriteChangeFile() override;
  std::wstring RuleNameOf(const std::wstring& path) const override;
  void NothingTicked(bool excluding) override;

 private:
  void ShowFolder(CProjectTreeCtrl* view, const std::wstring& folder, const std::vector<std::wstring>& files);
};
