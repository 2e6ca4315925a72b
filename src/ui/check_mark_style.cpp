#include "ui/check_mark_style.h"

#include <QApplication>
#include <QStyleOptionViewItem>
#include <QWidget>

// Made from the style's name: a proxy owns the style it wraps, and the application's is not ours.
CCheckMarkStyle::CCheckMarkStyle() : QProxyStyle(QApplication::style()->name()) {}

void CCheckMarkStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
  if (element != PE_IndicatorItemViewItemCheck || item == nullptr || widget == nullptr) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  QStyleOptionViewItem plain(*item);
  plain.palette.setBrush(QPalette::Text, widget->palette().brush(item->palette.currentColorGroup(), QPalette::Text));
  QProxyStyle::drawPrimitive(element, &plain, painter, widget);
}
