#include "app/terminal_progress.h"

#include <algorithm>

#include "core/status_values.h"
#include "core/strings.h"
#include "platform/terminal.h"

namespace {

constexpr int kBarCells = 20;
constexpr int kDefaultColumns = 80;
constexpr int kFullBar = 1000;
// Narrowest line worth drawing: the bar and a few characters of text.
constexpr int kMinimumColumns = 10;

std::wstring Printable(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) c = L' ';
  }
  return out;
}

}  // namespace

CTerminalProgress::CTerminalProgress()
    : CTerminalProgress(platform::IsErrorStreamTerminal(), platform::ErrorStreamColumns(),
                        [](std::string_view bytes) { platform::WriteToErrorStream(bytes); }) {}

CTerminalProgress::CTerminalProgress(bool active, int columns, Sink sink)
    : active_(active && sink != nullptr), columns_(columns > 0 ? columns : kDefaultColumns), sink_(std::move(sink)) {}

CTerminalProgress::~CTerminalProgress() { Clear(); }

void CTerminalProgress::Begin(int itemCount) {
  step_ = itemCount > 0 ? std::max(1, kFullBar / itemCount) : 1;
  position_ = 0;
}

void CTerminalProgress::Tick() {
  const int target = (ProgressCounter.load() + 1) * step_ - 50;
  if (target >= position_) position_ = std::min(kFullBar, position_ + step_);
  std::wstring caption = StatusCaption.Get();
  if (caption.empty()) caption = BuildStatusText.Get();
  Draw(FormatLine(position_, caption, StatusDetail.Get(), columns_));
}

void CTerminalProgress::Fill() {
  position_ = kFullBar;
  std::wstring caption = StatusCaption.Get();
  if (caption.empty()) caption = BuildStatusText.Get();
  Draw(FormatLine(position_, caption, StatusDetail.Get(), columns_));
}

void CTerminalProgress::Clear() {
  if (!active_ || !drawn_) return;
  sink_("\r\x1b[2K");
  drawn_ = false;
  shown_.clear();
}

void CTerminalProgress::Draw(const std::wstring& line) {
  if (!active_ || (drawn_ && line == shown_)) return;
  // Return to the start, clear what was there, write the new line.
  sink_("\r\x1b[2K" + WideToUtf8(line));
  shown_ = line;
  drawn_ = true;
}

std::wstring CTerminalProgress::FormatLine(int position, const std::wstring& caption, const std::wstring& detail,
                                           int columns) {
  position = std::clamp(position, 0, kFullBar);
  const size_t width = static_cast<size_t>(std::max(columns, kMinimumColumns) - 1);
  const int filled = position * kBarCells / kFullBar;
  std::wstring line = L"[" + std::wstring(static_cast<size_t>(filled), L'#') +
                      std::wstring(static_cast<size_t>(kBarCells - filled), L' ') + L"] ";
  std::wstring percent = std::to_wstring(position / 10);
  line += std::wstring(3 - std::min<size_t>(3, percent.size()), L' ') + percent + L"%";
  const std::wstring cleanCaption = Printable(caption);
  const std::wstring cleanDetail = Printable(detail);
  if (!cleanCaption.empty()) line += L" " + cleanCaption;
  if (line.size() > width) return line.substr(0, width);
  if (!cleanDetail.empty()) {
    const std::wstring separator = cleanCaption.empty() ? L" " : L": ";
    const size_t room = width - line.size();
    if (separator.size() + cleanDetail.size() <= room) {
      line += separator + cleanDetail;
    } else if (room > separator.size() + 3) {
      const size_t keep = room - separator.size() - 3;
      line += separator + L"..." + cleanDetail.substr(cleanDetail.size() - keep);
    }
  }
  return line;
}
