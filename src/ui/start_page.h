#pragma once
#include <QTimer>
#include <functional>

#include "ui/corvane_property_page.h"

class CBannerCtrl;
class QStackedLayout;

// The start page: the advertisement area and the administrator check. The area shows the wait
// page ("WaitHTML") while the remote page ("DynamicAdvertisementURL") loads; when that fails or
// does not load within "WaitTimeOut" seconds, the static page ("StaticAdvertisementHTML") takes
// its place. The local pages lie in the program folder (section "AdvertisementURL" of the
// configuration file names them). Next is enabled once a page is shown.
class CCorvaneRepackagerStartDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CCorvaneRepackagerStartDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardNext() override;

  // Whether the current user is an administrator of the machine (tests replace the question).
  void SetAdministratorTest(std::function<bool()> test) { administratorTest_ = std::move(test); }
  // True once a page is shown in the advertisement area.
  bool IsLoaded() const { return loaded_; }
  CBannerCtrl* ShownView() const;
  CBannerCtrl* RemoteView() const { return remoteView_; }

 private:
  void OnRemoteComplete(bool succeeded);
  void OnTimeOut();
  void ShowStaticPage();
  void SetLoaded();
  QUrl LocalPage(const QString& name) const;

  CBannerCtrl* waitView_ = nullptr;
  CBannerCtrl* remoteView_ = nullptr;
  QStackedLayout* views_ = nullptr;
  QTimer timer_;
  QString staticName_;
  bool staticTried_ = false;
  bool loaded_ = false;
  bool otherMachineTold_ = false;
  std::function<bool()> administratorTest_;
};
