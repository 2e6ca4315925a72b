#include "ui/banner_strip.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace {
const QColor kBandLeft(18, 62, 110);
const QColor kBandRight(40, 128, 170);
}  // namespace

CBannerStrip::CBannerStrip(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize CBannerStrip::sizeHint() const { return QSize(600, fontMetrics().height() * 4); }
QSize CBannerStrip::minimumSizeHint() const { return QSize(200, fontMetrics().height() * 4); }

QIcon CBannerStrip::ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBandLeft);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    const qreal unit = size / 8.0;
    painter.setPen(QPen(Qt::white, std::max(1.0, size / 24.0)));
    painter.setBrush(QColor(255, 255, 255, 60));
    painter.drawRoundedRect(QRectF(unit, unit, unit * 4, unit * 4), unit / 2, unit / 2);
    painter.setBrush(QColor(255, 200, 60));
    painter.drawRoundedRect(QRectF(unit * 3, unit * 3, unit * 4, unit * 4), unit / 2, unit / 2);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

void CBannerStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(rect().topLeft(), rect().topRight());
  band.setColorAt(0, kBandLeft);
  band.setColorAt(1, kBandRight);
  painter.fillRect(rect(), band);

  // A small mark: two overlapping boxes, the "before" and "after" of a capture.
  const int unit = fontMetrics().height();
  const QRect mark(unit, unit, unit * 2, unit * 2);
  painter.setPen(QPen(QColor(255, 255, 255, 200), 2));
  painter.setBrush(QColor(255, 255, 255, 40));
  painter.drawRoundedRect(mark.adjusted(0, 0, -unit / 2, -unit / 2), 3, 3);
  painter.setBrush(QColor(255, 200, 60, 200));
  painter.drawRoundedRect(mark.adjusted(unit / 2, unit / 2, 0, 0), 3, 3);

  QFont title = font();
  title.setPointSizeF(font().pointSizeF() * 1.6);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  const int textLeft = mark.right() + unit;
  const QFontMetrics titleMetrics(title);
  painter.drawText(QPoint(textLeft, unit + titleMetrics.ascent()), tr("Corvane Repackager"));
  QFont subtitle = font();
  painter.setFont(subtitle);
  painter.setPen(QColor(220, 235, 245));
  painter.drawText(QPoint(textLeft, unit + titleMetrics.height() + fontMetrics().ascent()),
                   tr("From a setup program to a Windows Installer package"));
}
