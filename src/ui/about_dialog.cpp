#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/strings.h"
#include "core/work_paths.h"
#include "session/capture_session.h"

CAboutDlg::CAboutDlg(const std::string& programFolder, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CAboutDlg"));
  setWindowTitle(tr("About Corvane Repackager"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 20, 20, 16);
  layout->setSpacing(10);

  auto* title = new QLabel(tr("Corvane Repackager"), this);
  QFont titleFont(QStringLiteral("Verdana"));
  titleFont.setStyleHint(QFont::SansSerif);
  titleFont.setPixelSize(18);
  titleFont.setWeight(QFont::Black);
  title->setFont(titleFont);
  layout->addWidget(title);
  layout->addWidget(new QLabel(tr("Version 1.2"), this));

  auto* text = new QLabel(this);
  text->setWordWrap(true);
  text->setText(tr("Turns a setup program into a Windows Installer package by difference: it records the "
                   "machine before and after the setup runs and packages what changed."));
  layout->addWidget(text);
  auto* logs = new QLabel(this);
  logs->setWordWrap(true);
  logs->setTextInteractionFlags(Qt::TextSelectableByMouse);
  logs->setText(tr("Logs and the configuration file lie in the program folder:\n%1")
                    .arg(QString::fromStdString(HostPathText(Utf8ToWide(programFolder)))));
  layout->addWidget(logs);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  setMinimumWidth(420);
}
