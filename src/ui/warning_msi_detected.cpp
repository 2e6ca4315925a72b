#include "ui/warning_msi_detected.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/message_texts.h"

CWarningMSIDetected::CWarningMSIDetected(const QStringList& processes, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CWarningMSIDetected"));
  setWindowTitle(tr("Windows Installer detected"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);
  row->addWidget(icon);
  auto* text = new QLabel(QString::fromStdWString(MessageText(170)), this);
  text->setWordWrap(true);
  row->addWidget(text, 1);
  layout->addLayout(row);
  if (!processes.isEmpty()) {
    auto* list = new QLabel(processes.join(QLatin1Char('\n')), this);
    list->setTextFormat(Qt::PlainText);
    list->setWordWrap(false);
    list->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(list);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setMinimumWidth(440);
}
