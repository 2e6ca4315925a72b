#pragma once
#include "ui/corvane_property_page.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The main page: capture a new setup program or open a saved project; the file and the product's
// name, version and company. Next checks them in a fixed order and hands them to the session.
class CCorvaneRepackagerDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  enum Option { kNoOption = 0, kSetupProgram = 1, kProjectFile = 2 };

  explicit CCorvaneRepackagerDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override;

  Option ChosenOption() const { return option_; }
  // As a click on an option button.
  void ChooseOption(Option option);
  // As Browse with `path` chosen in the file dialog (empty: the dialog was cancelled).
  void TakeChosenPath(const QString& path);

  QLineEdit* PathField() const { return path_; }
  QLineEdit* ProductNameField() const { return productName_; }
  QLineEdit* VersionField() const { return version_; }
  QLineEdit* CompanyField() const { return company_; }
  QLabel* PathLabel() const { return pathLabel_; }
  QLabel* ProductNameLabel() const { return productNameLabel_; }
  QLabel* VersionLabel() const { return versionLabel_; }
  QLabel* CompanyLabel() const { return companyLabel_; }
  QRadioButton* SetupOptionButton() const { return setupOption_; }
  QRadioButton* ProjectOptionButton() const { return projectOption_; }

 private:
  void Browse();
  void FillProductFields(const std::wstring& windowsPath);
  void EmptyFields();
  void ShowInputs(bool shown);
  std::wstring MachinePath() const;

  Option option_ = kNoOption;
  Option activatedOption_ = kNoOption;
  QString storedPath_;
  QString storedName_;
  QString storedVersion_;
  QString storedCompany_;

  QLabel* description_ = nullptr;
  QRadioButton* setupOption_ = nullptr;
  QRadioButton* projectOption_ = nullptr;
  QLabel* pathLabel_ = nullptr;
  QLineEdit* path_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* productNameLabel_ = nullptr;
  QLineEdit* productName_ = nullptr;
  QLabel* versionLabel_ = nullptr;
  QLineEdit* version_ = nullptr;
  QLabel* companyLabel_ = nullptr;
  QLineEdit* company_ = nullptr;
  QLabel* note_ = nullptr;
};
