#include "ui/banner_ctrl.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

CBannerCtrl::CBannerCtrl(QWidget* parent) : QTextBrowser(parent) {
  setOpenExternalLinks(true);
  setFrameShape(QFrame::NoFrame);
  network_ = new QNetworkAccessManager(this);
  network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

CBannerCtrl::~CBannerCtrl() { Stop(); }

void CBannerCtrl::Navigate(const QUrl& address) {
  Stop();
  address_ = address;
  if (address.isLocalFile()) {
    const QString path = address.toLocalFile();
    const bool readable = QFileInfo(path).isFile() && QFile(path).open(QIODevice::ReadOnly);
    if (readable) {
      // Relative links and pictures of the page are found beside it.
      setSource(address, QTextDocument::HtmlResource);
    }
    QTimer::singleShot(0, this, [this, readable] { emit NavigateComplete(readable); });
    return;
  }
  if (!address.isValid() || address.isEmpty() || (address.scheme() != "http" && address.scheme() != "https")) {
    QTimer::singleShot(0, this, [this] { emit NavigateComplete(false); });
    return;
  }
  QNetworkRequest request(address);
  request.setTransferTimeout(0);
  QNetworkReply* reply = network_->get(request);
  reply_ = reply;
  connect(reply, &QNetworkReply::finished, this, [this, reply] { OnReplyFinished(reply); });
}

void CBannerCtrl::Stop() {
  if (reply_.isNull()) return;
  QNetworkReply* reply = reply_;
  reply_.clear();
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

void CBannerCtrl::OnReplyFinished(QNetworkReply* reply) {
  if (reply != reply_) return;
  reply_.clear();
  reply->deleteLater();
  const bool succeeded = reply->error() == QNetworkReply::NoError;
  if (succeeded) {
    setHtml(QString::fromUtf8(reply->readAll()));
    document()->setBaseUrl(address_);
  }
  emit NavigateComplete(succeeded);
}
