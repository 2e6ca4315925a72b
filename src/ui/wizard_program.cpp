#include "ui/wizard_program.h"

#include <QApplication>
#include <QMessageBox>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/folder_tree.h"
#include "platform/machine.h"
#include "session/capture_session.h"
#include "session/work_context_setup.h"
#include "ui/application_main.h"
#include "ui/banner_strip.h"

void EndWizardRun(CCaptureSession& session, bool finished) {
  if (finished) session.Uninitialize();
}

int RunWizardProgram(int& argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane Repackager"));
  QApplication::setWindowIcon(CBannerStrip::ProgramIcon());
  const QString title = QStringLiteral("Corvane Repackager");
  if (!platform::Machine::IsUsable()) {
    QMessageBox::critical(nullptr, title,
                          QString::fromStdWString(MessageText(189)) + QStringLiteral("\n\n") +
                              QString::fromStdString(platform::Machine::Error()));
    return 1;
  }
  CLogger* logger = CLogger::GetInstance();
  int status = 0;
  {
    CCaptureSession session(logger);
    SetupWorkContext(session.Context(), std::wstring(), std::wstring());
    if (const COperationResult started = session.Initialize(); !started.succeeded()) {
      QMessageBox::critical(nullptr, title, QString::fromStdString(started.error()));
      status = 1;
    } else {
      // The wizard rewrites both.
      const std::wstring folder = Utf8ToWide(session.Context().ProgramFolder);
      platform::ClearReadOnly(folder + L"\\DefaultIncludeExclude.xml");
      platform::ClearReadOnly(folder + L"\\CorvaneRepackager.ini");
      CApplicationMain wizard(session, logger);
      EndWizardRun(session, wizard.exec() == QDialog::Accepted);
    }
  }
  CLogger::ReleaseInstance(logger);
  return status;
}
