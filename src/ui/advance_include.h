#pragma once
#include <QStringList>

#include "snapshot/enumerate_wrapper.h"
#include "ui/advance_pages.h"

class CRuleEditorModel;
class QPushButton;

// The include page: the folders and registry keys a capture walks. It starts from the capture's
// choices (the scan details: "File" and "Registry" lists, each root checked with its subtree) and
// gives them back edited; "Save as Default" also makes them the rule file's included lists.
class CAdvanceInclude : public CAdvancePages {
  Q_OBJECT

 public:
  CAdvanceInclude(CRuleEditorModel& rules, const CaptureChoiceMap& choices, QWidget* parent = nullptr);

  // The choices as the trees now stand ("File" and "Registry" replaced; the setup's entries kept).
  // Roots of the starting choices that the trees could not show (a folder or key this machine
  // lacks) are kept as they were.
  CaptureChoiceMap Choices() const;
  // The confirm: the choices are taken; after "Save as Default" was used the rule file's included
  // lists are rewritten too. 1, or 0 when a rewrite failed.
  int Save();
  bool SavedAsDefault() const { return saveAsDefault_; }
  QPushButton* SaveAsDefaultButton() const { return saveButton_; }
  // The roots of the starting choices that are not in the trees.
  const QStringList& UnplacedFolders() const { return unplacedFolders_; }
  const QStringList& UnplacedKeys() const { return unplacedKeys_; }

 private:
  void SaveAsDefault();

  CRuleEditorModel& rules_;
  CaptureChoiceMap start_;
  QStringList unplacedFolders_;
  QStringList unplacedKeys_;
  QPushButton* saveButton_;
  bool saveAsDefault_ = false;
};
