#include "ui/content_review_registry_page.h"

#include <QApplication>
#include <QHelpEvent>
#include <QProxyStyle>
#include <QToolTip>

#include "session/capture_session.h"
#include "snapshot/registry_enumerate.h"
#include "ui/application_main.h"
#include "ui/project_tree_ctrl.h"
#include "ui/registry_tooltip.h"

namespace {
// Shown after half a second, for 15 seconds.
constexpr int kTooltipDelayMilliseconds = 500;
constexpr int kTooltipMilliseconds = 15000;

// The look of the application's style, with the tooltip's own delay.
class CTooltipDelayStyle : public QProxyStyle {
 public:
  CTooltipDelayStyle() : QProxyStyle(QApplication::style()->name()) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == QStyle::SH_ToolTip_WakeUpDelay) return kTooltipDelayMilliseconds;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};
}  // namespace

CContentReviewRegistryDlg::CContentReviewRegistryDlg(CApplicationMain* sheet)
    : CContentReviewPage(CApplicationMain::kContentReviewRegistryPage, sheet, 106, RuleKind::kRegistry) {
  ChangeView()->viewport()->installEventFilter(this);
  auto* style = new CTooltipDelayStyle;
  style->setParent(ChangeView()->viewport());
  ChangeView()->viewport()->setStyle(style);
}

int CContentReviewRegistryDlg::OnWizardBack() { return CApplicationMain::kContentReviewFilePage; }

int CContentReviewRegistryDlg::OnWizardNext() {
  return SaveIfChanged() ? CApplicationMain::kCreateProjectPage : -1;
}

void CContentReviewRegistryDlg::FillViews() {
  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  Session().GetRegistryChangeMaps(added, modified, deleted);
  // A change excluded earlier in this run is not offered again.
  for (const auto& [key, values] : Session().ExcludedKeyChanges()) {
    added->erase(key);
    modified->erase(key);
  }
  for (const RegKeyMap* map : {added, modified}) {
    for (const auto& [key, values] : *map) ChangeView()->AddPath(QString::fromStdWString(key), CProjectTreeCtrl::kKey);
  }
  for (const auto& [key, values] : Session().ExcludedKeyChanges()) {
    ExclusionView()->AddPath(QString::fromStdWString(key), CProjectTreeCtrl::kKey);
  }
}

void CContentReviewRegistryDlg::ExcludeKeys(const std::wstring& path, const std::wstring& description) {
  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  Session().GetRegistryChangeMaps(added, modified, deleted);
  for (RegKeyMap* map : {added, modified}) {
    // Keys that begin with the path are neighbours in the map.
    for (auto it = map->lower_bound(path); it != map->end() && it->first.compare(0, path.size(), path) == 0;) {
      if (!Covers(path, it->first)) {
        ++it;
        continue;
      }
      std::vector<RegValueRecord>& excluded = Session().ExcludedKeyChanges()[it->first];
      excluded.insert(excluded.end(), it->second.begin(), it->second.end());
      AddRule(it->first, description);
      ExclusionView()->AddPath(QString::fromStdWString(it->first), CProjectTreeCtrl::kKey);
      SetChanged();
      it = map->erase(it);
    }
  }
}

void CContentReviewRegistryDlg::ExcludePath(const std::wstring& path, const CProjectTreeCtrl*,
                                            const std::wstring& description) {
  ChangeView()->RemovePath(QString::fromStdWString(path));
  ExcludeKeys(path, description);
  for (const std::wstring& equivalent : Session().EquivalentKeys(path)) {
    ChangeView()->RemovePath(QString::fromStdWString(equivalent));
    ExcludeKeys(equivalent, description);
  }
}

void CContentReviewRegistryDlg::IncludePath(const std::wstring& path) {
  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  Session().GetRegistryChangeMaps(added, modified, deleted);
  for (auto it = Session().ExcludedKeyChanges().lower_bound(path);
       it != Session().ExcludedKeyChanges().end() && it->first.compare(0, path.size(), path) == 0;) {
    if (!Covers(path, it->first)) {
      ++it;
      continue;
    }
    ExclusionView()->RemovePath(QString::fromStdWString(it->first));
    RemoveRule(it->first);
    // Whatever it was before, it comes back as added.
    std::vector<RegValueRecord>& values = (*added)[it->first];
    values.insert(values.end(), it->second.begin(), it->second.end());
    ChangeView()->AddPath(QString::fromStdWString(it->first), CProjectTreeCtrl::kKey);
    SetChanged();
    it = Session().ExcludedKeyChanges().erase(it);
  }
}

bool CContentReviewRegistryDlg::RewriteChangeFile() { return Session().RewriteChanges(RuleKind::kRegistry).succeeded(); }

bool CContentReviewRegistryDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ChangeView()->viewport() && event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* item = ChangeView()->itemAt(help->pos());
    if (item == nullptr) {
      QToolTip::hideText();
    } else {
      // Read when pointed at: the machine may have changed since the capture.
      const QString text =
          QString::fromStdWString(RegistryKeyTooltip(CProjectTreeCtrl::PathOf(item).toStdWString()));
      QToolTip::showText(help->globalPos(), text, ChangeView()->viewport(), QRect(), kTooltipMilliseconds);
    }
    return true;
  }
  return CContentReviewPage::eventFilter(watched, event);
}
