#include "ui/warning_dialog.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

CWarningDialog::CWarningDialog(const QString& objectName, const QString& title, const QString& text,
                               int minimumWidth, QWidget* parent)
    : QDialog(parent), layout_(new QVBoxLayout(this)) {
  setObjectName(objectName);
  setWindowTitle(title);
  layout_->setContentsMargins(16, 16, 16, 12);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);
  row->addWidget(icon);
  auto* label = new QLabel(text, this);
  label->setWordWrap(true);
  row->addWidget(label, 1);
  layout_->addLayout(row);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout_->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setMinimumWidth(minimumWidth);
}

void CWarningDialog::AddBelowText(QWidget* widget) {
  layout_->insertWidget(layout_->count() - 1, widget);
  QWidget* previous = widget;
  for (QAbstractButton* button : buttons_->buttons()) {
    setTabOrder(previous, button);
    previous = button;
  }
}
