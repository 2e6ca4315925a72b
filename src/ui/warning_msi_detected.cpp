#include "ui/warning_msi_detected.h"

#include <QLabel>

#include "core/message_texts.h"

namespace {
// The processes, one a line, selectable; nullptr when there are none.
QWidget* ProcessList(const QStringList& processes) {
  if (processes.isEmpty()) return nullptr;
  auto* list = new QLabel(processes.join(QLatin1Char('\n')));
  list->setTextFormat(Qt::PlainText);
  list->setWordWrap(false);
  list->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return list;
}
}  // namespace

CWarningMSIDetected::CWarningMSIDetected(const QStringList& processes, QWidget* parent)
    : CWarningDialog(QStringLiteral("CWarningMSIDetected"), tr("Windows Installer detected"),
                     QString::fromStdWString(MessageText(170)), 440, ProcessList(processes), parent) {}
