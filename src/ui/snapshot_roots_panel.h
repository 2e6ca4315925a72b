#pragma once
#include "snapshot/enumerate_wrapper.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QVBoxLayout;
class QWidget;

// What both snapshot pages show: the folders and registry keys a snapshot walks, side by side,
// and below them the progress of the running step (caption, detail, bar), which takes the lists'
// place while the step runs.
class CSnapshotRootsPanel {
 public:
  // Adds the lists and the progress controls to the page's layout (the lists take its stretch).
  CSnapshotRootsPanel(QWidget* page, QVBoxLayout* layout);

  // Shows the roots of the choices ("File" and "Registry"); the number shown.
  int ShowChoices(const CaptureChoiceMap& choices);
  // The lists (true) or the progress of a running step (false).
  void ShowLists(bool shown);

  QListWidget* Files() const { return files_; }
  QListWidget* Keys() const { return keys_; }
  QLabel* Caption() const { return caption_; }
  QLabel* Detail() const { return detail_; }
  QProgressBar* Bar() const { return bar_; }

 private:
  QLabel* filesLabel_ = nullptr;
  QListWidget* files_ = nullptr;
  QLabel* keysLabel_ = nullptr;
  QListWidget* keys_ = nullptr;
  QLabel* caption_ = nullptr;
  QLabel* detail_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  int trailingStretch_ = 0;
};
