#include "ui/package_build_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include "core/status_values.h"
#include "session/capture_session.h"
#include "ui/corvane_property_page.h"
#include "ui/msi_screen_handler.h"
#include "ui/prompter.h"

CPackageBuildPanel::CPackageBuildPanel(QWidget* page, const CPrompter& prompter, Warn warn)
    : QObject(page), page_(page), prompter_(prompter), warn_(std::move(warn)) {
  folder_ = new QLineEdit(page);
  folder_->setObjectName(QStringLiteral("folder"));
  browse_ = new QPushButton(tr("B&rowse..."), page);
  browse_->setAutoDefault(false);
  packageName_ = new QLineEdit(page);
  packageName_->setObjectName(QStringLiteral("packageName"));
  folderLabel_ = new QLabel(tr("&Output folder:"), page);
  folderLabel_->setBuddy(folder_);
  packageLabel_ = new QLabel(tr("Pac&kage name:"), page);
  packageLabel_->setBuddy(packageName_);
  connect(browse_, &QPushButton::clicked, this, &CPackageBuildPanel::BrowseFolder);

  status_ = new QLabel(page);
  status_->setTextFormat(Qt::PlainText);
  bar_ = new QProgressBar(page);
  bar_->setTextVisible(false);
  bar_->setRange(0, 1000);
  result_ = new QPlainTextEdit(page);
  result_->setObjectName(QStringLiteral("result"));
  result_->setReadOnly(true);
  result_->setMaximumHeight(72);

  // While the build runs, the builder's own status text.
  statusTimer_ = new QTimer(this);
  statusTimer_->setInterval(100);
  connect(statusTimer_, &QTimer::timeout, this, [this] {
    const std::wstring text = BuildStatusText.Get();
    if (building_ && !text.empty()) status_->setText(QString::fromStdWString(text));
  });
}

void CPackageBuildPanel::AddFolderRow(QGridLayout* fields, int row) {
  fields->addWidget(folderLabel_, row, 0);
  fields->addWidget(folder_, row, 1);
  fields->addWidget(browse_, row, 2);
}

void CPackageBuildPanel::AddPackageRow(QGridLayout* fields, int row) {
  fields->addWidget(packageLabel_, row, 0);
  fields->addWidget(packageName_, row, 1);
}

void CPackageBuildPanel::AddStatusLines(QVBoxLayout* layout) {
  layout->addWidget(status_);
  layout->addWidget(bar_);
  layout->addWidget(result_);
  bar_->hide();
  result_->hide();
}

void CPackageBuildPanel::SetInitialFields(const QString& folder, const QString& packageName) {
  initialFolder_ = folder;
  initialPackageName_ = packageName;
  folder_->setText(folder);
  packageName_->setText(packageName);
}

void CPackageBuildPanel::TakeChosenFolder(const QString& folder) {
  folder_->setText(CMSIScreenHandler::ChosenFolderText(folder));
}

void CPackageBuildPanel::BrowseFolder() {
  const QString chosen = prompter_.ChooseFolder(page_, QStringLiteral("Pick a folder, any folder:"));
  if (!chosen.isEmpty()) TakeChosenFolder(chosen);
}

void CPackageBuildPanel::EnableFields(bool enabled) {
  for (QWidget* widget : {static_cast<QWidget*>(folder_), static_cast<QWidget*>(browse_),
                          static_cast<QWidget*>(packageName_)}) {
    widget->setEnabled(enabled);
  }
}

bool CPackageBuildPanel::Check(bool failed, int text, QLineEdit* field, const QString& initial) {
  if (!failed) return true;
  warn_(CCorvanePropertyPage::Text(text));
  field->setText(initial);
  field->setFocus();
  return false;
}

bool CPackageBuildPanel::CheckFolder() {
  const QString folder = folder_->text().trimmed();
  const int check = CMSIScreenHandler::CheckOutputFolder(folder);
  if (!Check(check != 0, check, folder_, initialFolder_)) return false;
  if (folder.size() > 3) folder_->setText(CMSIScreenHandler::NormalisedFolder(folder));
  return true;
}

bool CPackageBuildPanel::CheckPackageName() {
  const int check = CMSIScreenHandler::CheckPackageName(packageName_->text().trimmed());
  return Check(check != 0, check, packageName_, initialPackageName_);
}

bool CPackageBuildPanel::CheckIconsRead(const std::vector<std::wstring>& unread) {
  if (unread.empty()) return true;
  // An icon that cannot be read would leave its shortcuts with a broken icon: say which.
  QStringList names;
  for (const std::wstring& path : unread) names << QString::fromStdWString(path);
  warn_(tr("These icon files cannot be read:\n%1").arg(names.join(QLatin1Char('\n'))));
  return false;
}

void CPackageBuildPanel::ShowStatus(const QString& text) { status_->setText(text); }

void CPackageBuildPanel::StartBuildStatus(const QString& text) {
  status_->setText(text);
  building_ = true;
  statusTimer_->start();
}

void CPackageBuildPanel::StopBuildStatus() {
  building_ = false;
  statusTimer_->stop();
}

void CPackageBuildPanel::ShowResult(const QString& text) {
  result_->setPlainText(text);
  result_->show();
}

void CPackageBuildPanel::HideResult() {
  result_->clear();
  result_->hide();
}

void CPackageBuildPanel::ShowDone() {
  status_->setText(CCorvanePropertyPage::Text(159));
  bar_->setValue(0);
  bar_->hide();
}

QString CPackageBuildPanel::BuiltText(const COperationResult& result, CCaptureSession& session) {
  QString text;
  if (result.succeeded()) {
    text = tr("Package: %1").arg(QString::fromStdString(HostPathText(session.PackagePath())));
    if (session.RefusedRows() > 0) text += QStringLiteral("\n") + tr("%1 rows were refused.").arg(session.RefusedRows());
    for (const std::string& warning : result.errors()) text += QStringLiteral("\n") + QString::fromStdString(warning);
  } else {
    text = tr("The package was not built:");
    for (const std::string& error : result.errors()) text += QStringLiteral("\n") + QString::fromStdString(error);
  }
  return text;
}

void CPackageBuildPanel::ChainTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}
