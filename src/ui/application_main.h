#pragma once
#include <QFont>
#include <array>
#include <map>

#include "ui/prompter.h"
#include "ui/resizable_property_sheet.h"

class CCaptureSession;
class CCorvanePropertyPage;
class CLogger;

// The wizard: eleven pages from the start page through capture, review and build. Each page's
// Back and Next handler names the page to show next (by number, -1 stays); the sheet only shows
// it. Finish ends the wizard with Accepted, Cancel (when the page agrees) with Rejected: what that
// means for a pending capture is the caller's (see RunWizardProgram).
class CApplicationMain : public CResizablePropertySheet {
  Q_OBJECT

 public:
  // Page numbers.
  enum PageNumber {
    kStartPage = 151,
    kMainPage = 102,
    kCaptureSnapshotPage = 133,
    kLaunchSetupPage = 130,
    kSecondSnapshotPage = 131,
    kContentReviewFilePage = 143,
    kContentReviewRegistryPage = 144,
    kCreateProjectPage = 145,
    kShowProjectPage = 146,
    kBuildMSIPage = 163,
    kExistingSnapshotPage = 134,
  };
  // The pages in the order they are added; some handlers move by position in this order.
  static constexpr std::array<int, 11> kPageOrder = {kStartPage,          kMainPage,
                                                     kCaptureSnapshotPage, kLaunchSetupPage,
                                                     kSecondSnapshotPage,  kContentReviewFilePage,
                                                     kContentReviewRegistryPage, kCreateProjectPage,
                                                     kShowProjectPage,     kBuildMSIPage,
                                                     kExistingSnapshotPage};

  CApplicationMain(CCaptureSession& session, CLogger* logger, QWidget* parent = nullptr);
  ~CApplicationMain() override;

  CCaptureSession& Session() const { return session_; }
  CLogger* Logger() const { return logger_; }
  // Message boxes, modal dialogs and file dialogs of every page go through this.
  CPrompter& Prompter() { return prompter_; }
  const CPrompter& Prompter() const { return prompter_; }
  // The font of the pages' texts.
  static QFont UIFont();

  // Shows the page with this number (and calls its OnSetActive). False for an unknown number.
  bool SetActivePage(int number);
  // Shows the page at this position of kPageOrder.
  bool SetActivePageByPosition(int position);
  int ActivePageNumber() const;
  CCorvanePropertyPage* Page(int number) const;
  CCorvanePropertyPage* ActivePage() const { return Page(ActivePageNumber()); }

  // Whether the capture in progress was resumed from an earlier run (the pending-capture page's
  // continue): Back from the second-snapshot page then leads to that page, not to the launch page.
  bool ResumedCapture() const { return resumedCapture_; }
  void SetResumedCapture(bool resumed) { resumedCapture_ = resumed; }

  // Ends the wizard: finished (Accepted) or cancelled (Rejected), without asking the page.
  void EndWizard(bool finished);
  void ShowAbout();

 protected:
  void OnBack() override;
  void OnNext() override;
  void OnFinish() override;
  void OnCancel() override;

 private:
  void AddPage(CCorvanePropertyPage* page);

  CCaptureSession& session_;
  CLogger* logger_;
  CPrompter prompter_;
  std::map<int, int> indexOfPage_;
  bool resumedCapture_ = false;
};
