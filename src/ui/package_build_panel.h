#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/operation_result.h"

class CCaptureSession;
class CPrompter;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QVBoxLayout;
class QWidget;

// What the two build pages share below their shortcuts: the output folder (with Browse) and the
// package name, their checks, and the status line, progress bar and result box of the build. The
// widgets are the page's own children; the page places them in its layouts and sets the tab order.
class CPackageBuildPanel : public QObject {
  Q_OBJECT

 public:
  // Tells a failed check (the page's warning box).
  using Warn = std::function<void(const QString&)>;

  CPackageBuildPanel(QWidget* page, const CPrompter& prompter, Warn warn);

  // The rows of the fields grid: label, field and (for the folder) Browse.
  void AddFolderRow(QGridLayout* fields, int row);
  void AddPackageRow(QGridLayout* fields, int row);
  // The status line, the bar and the result box, the last two hidden.
  void AddStatusLines(QVBoxLayout* layout);

  QLineEdit* FolderField() const { return folder_; }
  QPushButton* BrowseButton() const { return browse_; }
  QLineEdit* PackageNameField() const { return packageName_; }
  QProgressBar* Bar() const { return bar_; }
  QPlainTextEdit* ResultView() const { return result_; }

  // The fields' first values, which a failed check puts back.
  void SetInitialFields(const QString& folder, const QString& packageName);
  // A folder chosen in the folder browser: a drive root of 3 characters loses its "\".
  void TakeChosenFolder(const QString& folder);
  void EnableFields(bool enabled);
  // Tells the failure and resets the field to `initial` when `failed`; true otherwise.
  bool Check(bool failed, int text, QLineEdit* field, const QString& initial);
  // The output folder's checks (an existing folder is then shown normalised), and the package name's.
  bool CheckFolder();
  bool CheckPackageName();
  // False (after naming them) when some icon files could not be read.
  bool CheckIconsRead(const std::vector<std::wstring>& unread);

  void ShowStatus(const QString& text);
  // From `text` on, the builder's own status text while the build runs.
  void StartBuildStatus(const QString& text);
  void StopBuildStatus();
  void ShowResult(const QString& text);
  void HideResult();
  // The end of the work: the "done" status and the bar put away.
  void ShowDone();

  // The lines that tell how a build went: the package and its notes, or the errors.
  static QString BuiltText(const COperationResult& result, CCaptureSession& session);
  // Chains the tab order through `widgets`, in order.
  static void ChainTabOrder(std::initializer_list<QWidget*> widgets);

 private:
  void BrowseFolder();

  QWidget* page_;
  const CPrompter& prompter_;
  Warn warn_;
  bool building_ = false;
  QString initialFolder_;
  QString initialPackageName_;
  QLineEdit* folder_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLineEdit* packageName_ = nullptr;
  QLabel* folderLabel_ = nullptr;
  QLabel* packageLabel_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPlainTextEdit* result_ = nullptr;
  QTimer* statusTimer_ = nullptr;
};
