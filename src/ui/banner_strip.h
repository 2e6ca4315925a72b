#pragma once
#include <QIcon>
#include <QWidget>

// The band across the top of the wizard: the program's name on a coloured band. Drawn, not a
// bitmap, so that it stays sharp at any screen scale.
class CBannerStrip : public QWidget {
  Q_OBJECT

 public:
  explicit CBannerStrip(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The program's icon: the banner's mark on the band's colour, at the usual sizes.
  static QIcon ProgramIcon();

 protected:
  void paintEvent(QPaintEvent* event) override;
};
