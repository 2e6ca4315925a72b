#include "ui/shortcut_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/message_texts.h"
#include "session/machine_path.h"
#include "ui/icon_reader.h"
#include "ui/prompter.h"

namespace {
constexpr int kIconSourceCharacters = 260;
constexpr int kNameCharacters = 50;
constexpr int kIconSize = 32;
}  // namespace

CIconPreview::CIconPreview(QWidget* parent) : QWidget(parent) {
  setMinimumSize(48, 48);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
}

void CIconPreview::SetImage(const QImage& image) {
  image_ = image;
  update();
}

void CIconPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (image_.isNull()) return;
  // Centred as a 32 x 32 icon is: its top left at ((width - 31) / 2, (height - 31) / 2).
  painter.drawImage(QRect((width() - 31) / 2, (height() - 31) / 2, kIconSize, kIconSize), image_);
}

CShortcutDlg::CShortcutDlg(const std::wstring& name, const std::wstring& iconSource, const CPrompter& prompter,
                           QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
  Build();
  ShortcutInfo info;
  info.name = name.substr(0, kNameCharacters);
  info.iconSource = iconSource;
  info.onDesktop = true;
  info.inProgramMenu = true;
  Show(info);
}

CShortcutDlg::CShortcutDlg(const ShortcutInfo& info, const CPrompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
  Build();
  Show(info);
}

void CShortcutDlg::Build() {
  setObjectName(QStringLiteral("CShortcutDlg"));
  setWindowTitle(tr("Shortcut"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("name"));
  name_->setMaxLength(kNameCharacters);
  auto* nameLabel = new QLabel(tr("&Name:"), this);
  nameLabel->setBuddy(name_);
  form->addRow(nameLabel, name_);

  iconSource_ = new QLineEdit(this);
  iconSource_->setObjectName(QStringLiteral("iconSource"));
  iconSource_->setMaxLength(kIconSourceCharacters);
  auto* browse = new QPushButton(tr("&Browse..."), this);
  browse->setAutoDefault(false);
  auto* sourceRow = new QHBoxLayout;
  sourceRow->addWidget(iconSource_, 1);
  sourceRow->addWidget(browse);
  auto* sourceLabel = new QLabel(tr("Icon &file:"), this);
  sourceLabel->setBuddy(iconSource_);
  form->addRow(sourceLabel, sourceRow);
  layout->addLayout(form);

  auto* iconsLabel = new QLabel(tr("&Icons in the file:"), this);
  icons_ = new QListWidget(this);
  icons_->setObjectName(QStringLiteral("icons"));
  icons_->setViewMode(QListView::IconMode);
  icons_->setIconSize(QSize(kIconSize, kIconSize));
  // Room for the icon and its number below it.
  icons_->setGridSize(QSize(kIconSize + 24, kIconSize + 2 * fontMetrics().height()));
  icons_->setMovement(QListView::Static);
  icons_->setResizeMode(QListView::Adjust);
  icons_->setFlow(QListView::LeftToRight);
  icons_->setWrapping(true);
  icons_->setMinimumHeight(2 * (kIconSize + 2 * fontMetrics().height()) + 6);
  iconsLabel->setBuddy(icons_);
  preview_ = new CIconPreview(this);
  auto* previewLabel = new QLabel(tr("Preview:"), this);
  auto* iconRow = new QGridLayout;
  iconRow->addWidget(iconsLabel, 0, 0);
  iconRow->addWidget(previewLabel, 0, 1);
  iconRow->addWidget(icons_, 1, 0);
  iconRow->addWidget(preview_, 1, 1, Qt::AlignTop);
  iconRow->setColumnStretch(0, 1);
  layout->addLayout(iconRow, 1);

  auto* places = new QGroupBox(tr("Create the shortcut"), this);
  auto* placesLayout = new QVBoxLayout(places);
  desktop_ = new QCheckBox(tr("On the &desktop"), places);
  programMenu_ = new QCheckBox(tr("In the &program menu"), places);
  quickLaunch_ = new QCheckBox(tr("In the &quick-launch bar"), places);
  for (QCheckBox* box : {desktop_, programMenu_, quickLaunch_}) placesLayout->addWidget(box);
  layout->addWidget(places);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("&OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("&Cancel"));
  layout->addWidget(buttons);

  setTabOrder(name_, iconSource_);
  setTabOrder(iconSource_, browse);
  setTabOrder(browse, icons_);
  setTabOrder(icons_, desktop_);
  setTabOrder(desktop_, programMenu_);
  setTabOrder(programMenu_, quickLaunch_);

  connect(buttons, &QDialogButtonBox::accepted, this, &CShortcutDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CShortcutDlg::reject);
  connect(browse, &QPushButton::clicked, this, &CShortcutDlg::Browse);
  connect(iconSource_, &QLineEdit::editingFinished, this, [this] {
    if (iconSource_->text().toStdWString() != info_.iconSource) TakeIconSource(iconSource_->text());
  });
  connect(icons_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) {
      preview_->SetImage(QImage());
      return;
    }
    info_.iconIndex = row;
    preview_->SetImage(CIconReader::Icon(info_.iconSource, row, kIconSize));
  });
  connect(quickLaunch_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) prompter_.Message(this, CPrompt{QString::fromStdWString(MessageText(179)), QStringLiteral("Caution:"),
                                            QMessageBox::Warning, QMessageBox::Ok});
  });
  resize(460, 400);
}

void CShortcutDlg::Show(const ShortcutInfo& info) {
  info_ = info;
  name_->setText(QString::fromStdWString(info.name));
  iconSource_->setText(QString::fromStdWString(info.iconSource));
  {
    // The stored places are shown, not announced.
    const QSignalBlocker blocker(quickLaunch_);
    quickLaunch_->setChecked(info.inQuickLaunch);
  }
  desktop_->setChecked(info.onDesktop);
  programMenu_->setChecked(info.inProgramMenu);
  FillIcons(info.iconIndex);
}

void CShortcutDlg::FillIcons(int index) {
  const QSignalBlocker blocker(icons_);
  icons_->clear();
  preview_->SetImage(QImage());
  const CIconReader::SourceKind kind = CIconReader::KindOf(info_.iconSource);
  if (kind == CIconReader::SourceKind::kOther) return;
  const int count = CIconReader::IconCount(info_.iconSource);
  for (int i = 0; i < count; ++i) {
    const QImage image = CIconReader::Icon(info_.iconSource, i, kIconSize);
    auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(image)), QString::number(i), icons_);
    item->setToolTip(tr("Icon %1").arg(i));
  }
  if (count == 0) return;
  const int selected = index >= 0 && index < count ? index : 0;
  icons_->setCurrentRow(selected);
  info_.iconIndex = selected;
  preview_->SetImage(CIconReader::Icon(info_.iconSource, selected, kIconSize));
}

void CShortcutDlg::TakeIconSource(const QString& path) {
  info_.iconSource = path.trimmed().toStdWString();
  iconSource_->setText(QString::fromStdWString(info_.iconSource));
  if (path.contains(QStringLiteral(".ico"), Qt::CaseInsensitive)) info_.iconIndex = 0;
  FillIcons(info_.iconIndex);
}

void CShortcutDlg::Browse() {
  const QString chosen = prompter_.OpenFile(this, tr("Choose an icon file"), tr("Icon Files (*.ico)"));
  if (chosen.isEmpty()) return;
  TakeIconSource(QString::fromStdWString(ToMachinePath(chosen.toStdString())));
}

void CShortcutDlg::accept() {
  info_.iconSource = iconSource_->text().trimmed().toStdWString();
  info_.name = name_->text().trimmed().toStdWString();
  info_.iconIndex = icons_->currentRow() >= 0 ? icons_->currentRow() : info_.iconIndex;
  info_.onDesktop = desktop_->isChecked();
  info_.inProgramMenu = programMenu_->isChecked();
  info_.inQuickLaunch = quickLaunch_->isChecked();
  QDialog::accept();
}
