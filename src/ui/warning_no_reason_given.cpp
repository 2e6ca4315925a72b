#include "ui/warning_no_reason_given.h"

#include <QCheckBox>

#include "core/message_texts.h"
#include "core/work_paths.h"
#include "platform/profile.h"

namespace {
constexpr const wchar_t* kSection = L"Options";
constexpr const wchar_t* kKey = L"ShowNoReasonGivenWarning";
}  // namespace

CWarningNoReasonGiven::CWarningNoReasonGiven(const std::wstring& configFilePath, QWidget* parent)
    : CWarningDialog(QStringLiteral("CWarningNoReasonGiven"), tr("No reason given"),
                     QString::fromStdWString(MessageText(129)), 400,
                     new QCheckBox(tr("&Do not show this warning again")), parent),
      configFilePath_(configFilePath), doNotShow_(findChild<QCheckBox*>()) {}

bool CWarningNoReasonGiven::ShouldShow(const std::wstring& configFilePath) {
  return platform::GetProfileNumber(kSection, kKey, 1, configFilePath) != 0;
}

void CWarningNoReasonGiven::done(int result) {
  platform::WriteProfileText(kSection, kKey, doNotShow_->isChecked() ? L"0" : L"1", configFilePath_);
  QDialog::done(result);
}
