#pragma once
#include <functional>
#include <string>
#include <string_view>

// A progress display for the command line: one line on standard error, redrawn in place with a
// carriage return, showing a bar, the engine's caption (or the package build's status text) and
// its detail. A loop that waits for a worker calls Tick() about every 100 ms. Nothing at all is
// written when standard error is not a terminal, so logs and pipes stay clean.
class CTerminalProgress {
 public:
  using Sink = std::function<void(std::string_view)>;

  // A display on standard error, active only when it is a terminal.
  CTerminalProgress();
  // A display that writes to `sink` with a fixed width (for tests and other streams); inactive
  // when `active` is false.
  CTerminalProgress(bool active, int columns, Sink sink);
  ~CTerminalProgress();
  CTerminalProgress(const CTerminalProgress&) = delete;
  CTerminalProgress& operator=(const CTerminalProgress&) = delete;

  bool active() const { return active_; }

  // Starts a new stretch of work with `itemCount` items (the roots walked, the steps of a
  // build): the bar restarts at 0 and moves by 1000 / itemCount per item. 0 keeps the step of 1.
  void Begin(int itemCount);
  // Reads StatusCaption, StatusDetail, ProgressCounter and BuildStatusText and redraws the line
  // when it changed. The bar moves as the wizard's does: towards (ProgressCounter + 1) x step - 50,
  // one step per tick.
  void Tick();
  // Fills the bar (the work has ended) and redraws.
  void Fill();
  // Clears the line, leaving the cursor at its start, so that normal output can follow.
  void Clear();

  // Position of the bar, 0 to 1000.
  int position() const { return position_; }

  // The line for a bar position (0-1000), a caption and a detail, at most `columns` - 1 characters
  // wide (the last column is left free so the terminal never wraps). A detail too long for the
  // rest of the line keeps its end, behind "...". Control characters become blanks.
  static std::wstring FormatLine(int position, const std::wstring& caption, const std::wstring& detail,
                                 int columns);

 private:
  void Draw(const std::wstring& line);

  bool active_ = false;
  int columns_ = 80;
  Sink sink_;
  int step_ = 1;
  int position_ = 0;
  std::wstring shown_;
  bool drawn_ = false;
};
