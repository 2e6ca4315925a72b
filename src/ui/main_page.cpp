#include "ui/main_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "session/capture_session.h"
#include "session/machine_path.h"
#include "snapshot/file_version_info.h"
#include "ui/application_main.h"

namespace {
constexpr int kPathLength = 512;
constexpr int kProductTextLength = 128;

QString Trimmed(const std::wstring& text) { return QString::fromStdWString(text).trimmed(); }
}  // namespace

CCorvaneRepackagerDlg::CCorvaneRepackagerDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kMainPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(Text(102), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);
  layout->addSpacing(8);

  setupOption_ = new QRadioButton(tr("&Capture the installation of a setup program"), this);
  setupOption_->setObjectName(QStringLiteral("setupOption"));
  projectOption_ = new QRadioButton(tr("Build from a saved &project file"), this);
  projectOption_->setObjectName(QStringLiteral("projectOption"));
  auto* group = new QButtonGroup(this);
  group->addButton(setupOption_);
  group->addButton(projectOption_);
  layout->addWidget(setupOption_);
  layout->addWidget(projectOption_);
  layout->addSpacing(8);
  // A click on the option already chosen counts too: it re-enables Back and Next after a refused
  // file.
  connect(setupOption_, &QRadioButton::clicked, this, [this] { ChooseOption(kSetupProgram); });
  connect(projectOption_, &QRadioButton::clicked, this, [this] { ChooseOption(kProjectFile); });

  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  pathLabel_ = new QLabel(Text(156), this);
  path_ = new QLineEdit(this);
  path_->setObjectName(QStringLiteral("path"));
  path_->setMaxLength(kPathLength);
  pathLabel_->setBuddy(path_);
  browse_ = new QPushButton(tr("B&rowse..."), this);
  browse_->setAutoDefault(false);
  grid->addWidget(pathLabel_, 0, 0);
  grid->addWidget(path_, 0, 1);
  grid->addWidget(browse_, 0, 2);

  productNameLabel_ = new QLabel(tr("Product &name:"), this);
  productName_ = new QLineEdit(this);
  versionLabel_ = new QLabel(tr("&Version:"), this);
  version_ = new QLineEdit(this);
  companyLabel_ = new QLabel(tr("C&ompany:"), this);
  company_ = new QLineEdit(this);
  int row = 1;
  for (auto [label, field] : {std::pair{productNameLabel_, productName_}, std::pair{versionLabel_, version_},
                              std::pair{companyLabel_, company_}}) {
    field->setMaxLength(kProductTextLength);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, 2);
    ++row;
  }
  layout->addLayout(grid);
  layout->addSpacing(8);
  note_ = new QLabel(this);
  note_->setWordWrap(true);
  MakeNoteLabel(note_);
  layout->addWidget(note_);
  layout->addStretch(1);

  setTabOrder(setupOption_, projectOption_);
  setTabOrder(projectOption_, path_);
  setTabOrder(path_, browse_);
  setTabOrder(browse_, productName_);
  setTabOrder(productName_, version_);
  setTabOrder(version_, company_);

  connect(browse_, &QPushButton::clicked, this, &CCorvaneRepackagerDlg::Browse);
  // Leaving the path field after typing in it is a browse that chose that path.
  connect(path_, &QLineEdit::editingFinished, this, [this] {
    if (path_->isModified()) {
      path_->setModified(false);
      TakeChosenPath(path_->text());
    }
  });
  ShowInputs(false);
}

void CCorvaneRepackagerDlg::ShowInputs(bool shown) {
  for (QWidget* widget : std::initializer_list<QWidget*>{pathLabel_, path_, browse_, productNameLabel_, productName_,
                                                          versionLabel_, version_, companyLabel_, company_}) {
    widget->setVisible(shown);
  }
}

void CCorvaneRepackagerDlg::OnSetActive() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  activatedOption_ = option_;
  storedPath_ = path_->text();
  storedName_ = productName_->text();
  storedVersion_ = version_->text();
  storedCompany_ = company_->text();
}

void CCorvaneRepackagerDlg::ChooseOption(Option option) {
  option_ = option;
  // Red marks belong to the values they judged.
  ClearInvalid();
  setupOption_->setChecked(option == kSetupProgram);
  projectOption_->setChecked(option == kProjectFile);
  ShowInputs(option != kNoOption);
  pathLabel_->setText(Text(option == kProjectFile ? 157 : 156));
  note_->setText(option == kProjectFile ? Text(188) : QString());
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  if (option == activatedOption_) {
    path_->setText(storedPath_);
    productName_->setText(storedName_);
    version_->setText(storedVersion_);
    company_->setText(storedCompany_);
  } else {
    EmptyFields();
  }
}

void CCorvaneRepackagerDlg::EmptyFields() {
  path_->clear();
  productName_->clear();
  version_->clear();
  company_->clear();
}

std::wstring CCorvaneRepackagerDlg::MachinePath() const {
  const QString text = path_->text().trimmed();
  if (text.isEmpty()) return std::wstring();
  return ToMachinePath(text.toStdString());
}

void CCorvaneRepackagerDlg::Browse() {
  if (option_ == kNoOption) return;
  const bool setup = option_ == kSetupProgram;
  const QString chosen = Prompter().OpenFile(this, setup ? tr("Choose the setup program") : tr("Choose the project file"),
                                             setup ? tr("Exe Files (*.exe)") : tr("XML Files (*.xml)"));
  TakeChosenPath(chosen.isEmpty() ? QString() : QString::fromStdWString(ToMachinePath(chosen.toStdString())));
}

void CCorvaneRepackagerDlg::TakeChosenPath(const QString& path) {
  path_->setText(path);
  if (path.trimmed().isEmpty()) return;
  const std::wstring windowsPath = MachinePath();
  if (option_ == kProjectFile) Session().Context().SetProjectFilePath(windowsPath);
  FillProductFields(windowsPath);
}

void CCorvaneRepackagerDlg::FillProductFields(const std::wstring& windowsPath) {
  if (option_ == kSetupProgram) {
    CFileVersionInfo info;
    if (!info.Create(windowsPath)) return;
    productName_->setText(Trimmed(info.GetProductName()));
    version_->setText(Trimmed(info.GetProductVersionText()));
    company_->setText(Trimmed(info.GetCompanyName()));
  } else if (option_ == kProjectFile) {
    ProductTexts texts;
    if (!Session().ProductTextsFromProject(windowsPath, texts)) return;
    productName_->setText(Trimmed(texts.name));
    version_->setText(Trimmed(texts.version));
    company_->setText(Trimmed(texts.company));
  }
}

int CCorvaneRepackagerDlg::OnWizardBack() { return CApplicationMain::kStartPage; }

int CCorvaneRepackagerDlg::OnWizardNext() {
  ClearInvalid();
  if (option_ == kNoOption) {
    Message(Text(116), QStringLiteral("Information"), QMessageBox::Information);
    return -1;
  }
  if (path_->text().trimmed().isEmpty()) {
    MarkInvalid(pathLabel_);
    return -1;
  }
  const std::wstring windowsPath = MachinePath();
  const uint32_t attributes = windowsPath.empty() ? platform::kInvalidAttributes : platform::GetAttributes(windowsPath);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) != 0) {
    EmptyFields();
    Message(Text(120), QStringLiteral("Warning"), QMessageBox::Warning);
    return -1;
  }
  // The type is judged by the path's text, as typed.
  const QString upper = path_->text().toUpper();
  bool refused = false;
  if (option_ == kSetupProgram) {
    if (upper.contains(QStringLiteral(".MSI"))) {
      Message(Text(117), QStringLiteral("Error"), QMessageBox::Critical);
      refused = true;
    } else if (!upper.contains(QStringLiteral(".EXE"))) {
      Message(Text(118), QStringLiteral("Error"), QMessageBox::Critical);
      refused = true;
    }
  } else if (!upper.contains(QStringLiteral(".XML"))) {
    refused = true;
  }
  if (refused) {
    // Back and Next stay off until an option is chosen again.
    Sheet()->SetWizardButtons(0);
    EmptyFields();
    return -1;
  }

  const QString name = productName_->text().trimmed();
  const QString version = version_->text().trimmed();
  const QString company = company_->text().trimmed();
  productName_->setText(name);
  version_->setText(version);
  company_->setText(company);
  if (name.isEmpty() || name == QStringLiteral("setup.exe")) MarkInvalid(productNameLabel_);
  if (version.isEmpty()) MarkInvalid(versionLabel_);
  if (company.isEmpty()) MarkInvalid(companyLabel_);
  if (!InvalidLabels().isEmpty()) {
    Message(Text(119), QStringLiteral("Warning"), QMessageBox::Warning);
    return -1;
  }

  Session().SetSetupFileInfo(name.toStdWString(), version.toStdWString(), company.toStdWString());
  if (option_ == kSetupProgram) {
    Session().SetSetupFilePath(windowsPath);
    return CApplicationMain::kCaptureSnapshotPage;
  }
  platform::EnsureFolder(Session().Context().WorkFolder + "\\Temp");
  Session().Context().SetProjectFilePath(windowsPath);
  return CApplicationMain::kShowProjectPage;
}
