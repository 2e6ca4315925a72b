#include "ui/resizable_property_sheet.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

CResizablePropertySheet::CResizablePropertySheet(const QString& caption, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  setSizeGripEnabled(true);
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  header_ = new QVBoxLayout;
  header_->setContentsMargins(0, 0, 0, 0);
  outer->addLayout(header_);

  stack_ = new QStackedWidget(this);
  auto* pageArea = new QVBoxLayout;
  pageArea->setContentsMargins(16, 16, 16, 10);
  pageArea->addWidget(stack_, 1);
  outer->addLayout(pageArea, 1);

  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  outer->addWidget(rule);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(16, 8, 16, 12);
  // Nested layouts take the outer layout's spacing (none) unless told.
  buttons->setSpacing(6);
  extraButtons_ = new QHBoxLayout;
  buttons->addLayout(extraButtons_);
  buttons->addStretch(1);
  back_ = new QPushButton(tr("< &Back"), this);
  next_ = new QPushButton(tr("&Next >"), this);
  finish_ = new QPushButton(tr("&Finish"), this);
  cancel_ = new QPushButton(tr("Cancel"), this);
  for (QPushButton* button : {back_, next_, finish_}) button->setAutoDefault(false);
  cancel_->setAutoDefault(false);
  buttons->addWidget(back_);
  buttons->addWidget(next_);
  buttons->addWidget(finish_);
  buttons->addSpacing(12);
  buttons->addWidget(cancel_);
  outer->addLayout(buttons);

  connect(back_, &QPushButton::clicked, this, [this] { OnBack(); });
  connect(next_, &QPushButton::clicked, this, [this] { OnNext(); });
  connect(finish_, &QPushButton::clicked, this, [this] { OnFinish(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
  SetWizardButtons(kNext);
}

void CResizablePropertySheet::SetWizardButtons(int flags) {
  buttonFlags_ = flags;
  back_->setEnabled((flags & kBack) != 0);
  const bool finishShown = (flags & (kFinish | kDisabledFinish)) != 0;
  finish_->setVisible(finishShown);
  finish_->setEnabled((flags & kFinish) != 0);
  next_->setVisible(!finishShown);
  next_->setEnabled(!finishShown && (flags & kNext) != 0);
  UpdateDefaultButton();
}

void CResizablePropertySheet::EnableCancel(bool enabled) { cancel_->setEnabled(enabled); }

void CResizablePropertySheet::UpdateDefaultButton() {
  // Enter presses whichever of Next and Finish is shown.
  const bool finishShown = finish_->isVisibleTo(this);
  next_->setDefault(!finishShown);
  finish_->setDefault(finishShown);
}

int CResizablePropertySheet::AddPageWidget(QWidget* page) { return stack_->addWidget(page); }

void CResizablePropertySheet::ShowPageAt(int index) {
  stack_->setCurrentIndex(index);
  // The first control of the page takes the focus, so that Tab walks the page, then the buttons.
  if (QWidget* page = stack_->currentWidget()) {
    QWidget* first = page->nextInFocusChain();
    while (first != nullptr && first != page && (!first->isEnabled() || !first->isVisibleTo(page) ||
                                                 first->focusPolicy() == Qt::NoFocus || !page->isAncestorOf(first))) {
      first = first->nextInFocusChain();
    }
    if (first != nullptr && first != page && page->isAncestorOf(first)) first->setFocus(Qt::TabFocusReason);
  }
}

int CResizablePropertySheet::CurrentIndex() const { return stack_->currentIndex(); }
QWidget* CResizablePropertySheet::PageWidgetAt(int index) const { return stack_->widget(index); }
int CResizablePropertySheet::PageWidgetCount() const { return stack_->count(); }

void CResizablePropertySheet::reject() {
  if (ending_) {
    QDialog::reject();
    return;
  }
  if (cancel_->isEnabled()) OnCancel();
}

void CResizablePropertySheet::closeEvent(QCloseEvent* event) {
  if (ending_) {
    event->accept();
    return;
  }
  event->ignore();
  if (cancel_->isEnabled()) OnCancel();
}

void CResizablePropertySheet::EndSheet(int result) {
  ending_ = true;
  done(result);
}
