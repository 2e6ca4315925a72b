#include "ui/start_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "session/capture_session.h"
#include "session/ui_manager.h"
#include "ui/application_main.h"
#include "ui/banner_ctrl.h"

namespace {
constexpr const wchar_t* kSection = L"AdvertisementURL";
// The maker's page, opened by the page's button.
const char* const kMakerPage = "https://corvane.example/repackager";

// Shown when neither the remote page nor the static page could be loaded, so that the wizard can
// still be used.
const char* const kBuiltInPage =
    "<h2>Corvane Repackager</h2>"
    "<p>Corvane Repackager turns a setup program into a Windows Installer package (.msi).</p>"
    "<ol><li>It records the chosen folders and registry keys of the machine (the first snapshot).</li>"
    "<li>You run the setup program and click through its windows.</li>"
    "<li>It records the machine again, compares, and packages what the setup changed.</li></ol>"
    "<p>Click <b>Next</b> to begin.</p>";
}  // namespace

CCorvaneRepackagerStartDlg::CCorvaneRepackagerStartDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kStartPage, sheet), administratorTest_(&platform::Machine::IsAdministrator) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  views_ = new QStackedLayout;
  waitView_ = new CBannerCtrl(this);
  waitView_->setObjectName(QStringLiteral("waitView"));
  remoteView_ = new CBannerCtrl(this);
  remoteView_->setObjectName(QStringLiteral("remoteView"));
  views_->addWidget(waitView_);
  views_->addWidget(remoteView_);
  layout->addLayout(views_, 1);

  auto* row = new QHBoxLayout;
  auto* hint = new QLabel(Text(180), this);
  hint->setWordWrap(true);
  row->addWidget(hint, 1);
  auto* web = new QPushButton(tr("&Web site"), this);
  web->setAutoDefault(false);
  web->setToolTip(QString::fromLatin1(kMakerPage));
  connect(web, &QPushButton::clicked, this, [this] { Prompter().OpenUrl(QUrl(QString::fromLatin1(kMakerPage))); });
  row->addWidget(web);
  layout->addLayout(row);

  // The engine's answer is what the page offers: whether a first snapshot waits (Next leads to the
  // pending-capture page then).
  Session().IsFirstSnapshotExist();

  const std::wstring config = Session().Context().ConfigFilePath;
  const QString waitName = QString::fromStdWString(platform::GetProfileText(kSection, L"WaitHTML", L"", config));
  staticName_ = QString::fromStdWString(platform::GetProfileText(kSection, L"StaticAdvertisementHTML", L"", config));
  const QString remote =
      QString::fromStdWString(platform::GetProfileText(kSection, L"DynamicAdvertisementURL", L"", config));
  const int waitSeconds = platform::GetProfileNumber(kSection, L"WaitTimeOut", 10, config);

  connect(remoteView_, &CBannerCtrl::NavigateComplete, this, &CCorvaneRepackagerStartDlg::OnRemoteComplete);
  if (waitName.isEmpty()) {
    waitView_->setHtml(QStringLiteral("<p>%1</p>").arg(tr("Loading...")));
  } else {
    waitView_->Navigate(LocalPage(waitName));
  }
  views_->setCurrentWidget(waitView_);
  remoteView_->Navigate(QUrl(remote.trimmed()));

  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &CCorvaneRepackagerStartDlg::OnTimeOut);
  timer_.start(std::max(0, waitSeconds) * 1000);
}

QUrl CCorvaneRepackagerStartDlg::LocalPage(const QString& name) const {
  std::filesystem::path folder = platform::Machine::HostPath(Utf8ToWide(Session().Context().ProgramFolder));
  const QString base = folder.empty() ? QCoreApplication::applicationDirPath() : QString::fromStdString(folder.string());
  return QUrl::fromLocalFile(QDir(base).filePath(name));
}

CBannerCtrl* CCorvaneRepackagerStartDlg::ShownView() const {
  return static_cast<CBannerCtrl*>(views_->currentWidget());
}

void CCorvaneRepackagerStartDlg::OnRemoteComplete(bool succeeded) {
  if (succeeded) {
    views_->setCurrentWidget(remoteView_);
    SetLoaded();
    return;
  }
  if (!staticTried_) {
    ShowStaticPage();
    return;
  }
  // Neither page loads: the wizard stays usable with a page of its own.
  remoteView_->setHtml(QString::fromLatin1(kBuiltInPage));
  views_->setCurrentWidget(remoteView_);
  SetLoaded();
}

void CCorvaneRepackagerStartDlg::ShowStaticPage() {
  staticTried_ = true;
  remoteView_->Stop();
  if (staticName_.isEmpty()) {
    remoteView_->Navigate(QUrl());  // fails, and the built-in page follows
  } else {
    remoteView_->Navigate(LocalPage(staticName_));
  }
}

void CCorvaneRepackagerStartDlg::OnTimeOut() {
  if (loaded_) return;
  if (!staticTried_) ShowStaticPage();
}

void CCorvaneRepackagerStartDlg::SetLoaded() {
  loaded_ = true;
  timer_.stop();
  if (Sheet()->ActivePageNumber() == PageNumber()) Sheet()->SetWizardButtons(CResizablePropertySheet::kNext);
}

void CCorvaneRepackagerStartDlg::OnSetActive() {
  Sheet()->SetWizardButtons(loaded_ ? CResizablePropertySheet::kNext : 0);
}

int CCorvaneRepackagerStartDlg::OnWizardNext() {
  if (!administratorTest_()) {
    if (Message(Text(121), QStringLiteral("ADMIN Rights"), QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes) {
      return -1;
    }
  }
  timer_.stop();
  if (Session().MarkOfOtherMachine() && !otherMachineTold_) {
    otherMachineTold_ = true;
    Message(Text(191) + QString::fromStdWString(Session().GetPendingCapture().machine), QStringLiteral("Information"),
            QMessageBox::Information);
  }
  return Session().Context().SnapshotTaken ? CApplicationMain::kExistingSnapshotPage : CApplicationMain::kMainPage;
}
