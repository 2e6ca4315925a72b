#include "ui/warning_msi_detected.h"

#include <QLabel>

#include "core/message_texts.h"

CWarningMSIDetected::CWarningMSIDetected(const QStringList& processes, QWidget* parent)
    : CWarningDialog(QStringLiteral("CWarningMSIDetected"), tr("Windows Installer detected"),
                     QString::fromStdWString(MessageText(170)), 440, parent) {
  if (processes.isEmpty()) return;
  auto* list = new QLabel(processes.join(QLatin1Char('\n')), this);
  list->setTextFormat(Qt::PlainText);
  list->setWordWrap(false);
  list->setTextInteractionFlags(Qt::TextSelectableByMouse);
  AddBelowText(list);
}
