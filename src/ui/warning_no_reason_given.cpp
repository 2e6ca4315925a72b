#include "ui/warning_no_reason_given.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include "core/message_texts.h"
#include "core/work_paths.h"
#include "platform/profile.h"

namespace {
constexpr const wchar_t* kSection = L"Options";
constexpr const wchar_t* kKey = L"ShowNoReasonGivenWarning";
}  // namespace

CWarningNoReasonGiven::CWarningNoReasonGiven(const std::wstring& configFilePath, QWidget* parent)
    : QDialog(parent), configFilePath_(configFilePath) {
  setObjectName(QStringLiteral("CWarningNoReasonGiven"));
  setWindowTitle(tr("No reason given"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);
  row->addWidget(icon);
  auto* text = new QLabel(QString::fromStdWString(MessageText(129)), this);
  text->setWordWrap(true);
  row->addWidget(text, 1);
  layout->addLayout(row);
  doNotShow_ = new QCheckBox(tr("&Do not show this warning again"), this);
  layout->addWidget(doNotShow_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setMinimumWidth(400);
}

bool CWarningNoReasonGiven::ShouldShow(const std::wstring& configFilePath) {
  return platform::GetProfileNumber(kSection, kKey, 1, configFilePath) != 0;
}

void CWarningNoReasonGiven::done(int result) {
  platform::WriteProfileText(kSection, kKey, doNotShow_->isChecked() ? L"0" : L"1", configFilePath_);
  QDialog::done(result);
}
