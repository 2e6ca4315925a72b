#pragma once
#include <QWidget>

// The band across the top of the wizard: the program's name on a coloured band. Drawn, not a
// bitmap, so that it stays sharp at any screen scale.
class CBannerStrip : public QWidget {
  Q_OBJECT

 public:
  explicit CBannerStrip(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
