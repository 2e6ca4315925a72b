#pragma once
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// A view of one web page in the start page's advertisement area. Local pages ("file:" addresses)
// are shown by the text browser itself; remote ones are fetched through Qt's network access and
// shown when they have arrived. Every navigation ends with NavigateComplete (asynchronously, even
// for a local page), telling whether the page could be shown. Links open in the desktop's browser.
class CBannerCtrl : public QTextBrowser {
  Q_OBJECT

 public:
  explicit CBannerCtrl(QWidget* parent = nullptr);
  ~CBannerCtrl() override;

  // Starts showing the page at `address`; a navigation still running is stopped first.
  void Navigate(const QUrl& address);
  // Stops a remote navigation that is still running (no NavigateComplete follows for it).
  void Stop();
  bool IsNavigating() const { return !reply_.isNull(); }
  QUrl Address() const { return address_; }

 signals:
  void NavigateComplete(bool succeeded);

 private:
  void OnReplyFinished(QNetworkReply* reply);

  QNetworkAccessManager* network_ = nullptr;
  QPointer<QNetworkReply> reply_;
  QUrl address_;
};
