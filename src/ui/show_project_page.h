#pragma once
#include <memory>

#include "ui/corvane_property_page.h"

class CProjectRelocation;
class CProjectTreeCtrl;
class QCheckBox;
class QLabel;
class QPushButton;

// The view of a saved project opened on this machine: its files (left) and registry keys (right),
// each drawn green when it is here and red when it is missing, red too above a missing item.
// Missing folders and keys are pointed to their places on this machine (ticked items, then
// Relocate); Next writes the project back when something was relocated and goes to the build
// page, unless something is still missing and the administrator did not choose to build anyway.
class CShowProjectFileDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CShowProjectFileDlg(CApplicationMain* sheet);
  ~CShowProjectFileDlg() override;

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  CProjectTreeCtrl* FileTree() const { return fileTree_; }
  CProjectTreeCtrl* KeyTree() const { return keyTree_; }
  QCheckBox* MissingFilesOnlyBox() const { return missingFilesOnly_; }
  QCheckBox* MissingKeysOnlyBox() const { return missingKeysOnly_; }
  QPushButton* RelocateFolderButton() const { return relocateFolder_; }
  QPushButton* RelocateKeyButton() const { return relocateKey_; }
  QCheckBox* BuildAnywayBox() const { return buildAnyway_; }
  QLabel* FileCounter() const { return fileCounter_; }
  QLabel* KeyCounter() const { return keyCounter_; }
  const CProjectRelocation& Relocation() const { return *relocation_; }

  // The buttons' work, for the buttons and for tests.
  void RelocateFolders();
  void RelocateKeys();

  // The colours of the trees: here (red 60, green 148, blue 44) and missing.
  static QColor PresentColour();
  static QColor MissingColour();

 private:
  void FillFileTree();
  void FillKeyTree();
  void UpdateBuildAnyway();

  std::unique_ptr<CProjectRelocation> relocation_;
  QLabel* description_ = nullptr;
  CProjectTreeCtrl* fileTree_ = nullptr;
  CProjectTreeCtrl* keyTree_ = nullptr;
  QCheckBox* missingFilesOnly_ = nullptr;
  QCheckBox* missingKeysOnly_ = nullptr;
  QPushButton* relocateFolder_ = nullptr;
  QPushButton* relocateKey_ = nullptr;
  QCheckBox* buildAnyway_ = nullptr;
  QLabel* fileCounter_ = nullptr;
  QLabel* keyCounter_ = nullptr;
};
