#pragma once
#include <QProxyStyle>

// The application's style, but the check boxes of a view's items keep the view's text colour: an
// item whose text is coloured (a missing file drawn in red) does not colour its check mark too
// (the styles draw the mark in the item's text colour).
class CCheckMarkStyle : public QProxyStyle {
  Q_OBJECT

 public:
  CCheckMarkStyle();

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};
