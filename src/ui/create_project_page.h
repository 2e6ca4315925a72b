#pragma once
#include <QString>
#include <map>
#include <string>

#include "core/operation_result.h"
#include "project/change_types.h"
#include "ui/package_page.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// The last page of a capture: the shortcuts of the package (for the captured programs, with their
// icons and places; the setup's own shell links are kept as shortcuts too), where the project file
// and the package go, and Finish, which writes the project file and, when asked, builds the package
// on a worker thread. What came of it is shown on the page: the package's path, or the errors.
class CCreateProjectFileMsiDlg : public CPackagePage {
  Q_OBJECT

 public:
  explicit CCreateProjectFileMsiDlg(CApplicationMain* sheet);

  int OnWizardBack() override;
  bool OnWizardFinish() override;

  QListWidget* ExecutableList() const { return executables_; }
  QLineEdit* ProjectNameField() const { return projectName_; }
  QCheckBox* BuildBox() const { return buildToo_; }
  // The shortcuts the setup's links became (kept unless removed).
  const ::ShortcutList& LinkShortcuts() const { return linkShortcuts_; }

  // Offers a captured program (full Windows path) as a shortcut target.
  void AddExecutable(const std::wstring& path);

  // The buttons' work, for the buttons and for tests.
  // Opens CShortcutDlg for the selected program; false when nothing was added.
  bool AddShortcut();
  void RemoveSelectedShortcut();
  // The checks of the fields, in order (the first failure is told and its field reset). True when
  // all pass; an existing folder is then shown in its normalised form.
  bool Validate();

 private:
  void Initialize() override;
  void OnProjectGenerated(const COperationResult& result);
  void StartBuild();
  void OnBuilt(const COperationResult& result);
  void Finished();

  bool initialized_ = false;
  bool buildWanted_ = false;
  QString initialProjectName_;
  // Target file name -> its captured full path (token form).
  std::map<std::wstring, std::wstring> targetPaths_;
  ::ShortcutList linkShortcuts_;
  QLabel* description_ = nullptr;
  QListWidget* executables_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* remove_ = nullptr;
  QLineEdit* projectName_ = nullptr;
  QCheckBox* buildToo_ = nullptr;
};
