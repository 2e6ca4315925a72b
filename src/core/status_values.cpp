#include "core/status_values.h"

CStatusText StatusCaption;
CStatusText StatusDetail;
CStatusText BuildStatusText;
std::atomic<int> ProgressCounter{0};
std::atomic<long> KeyCounter{0};
CCancelRequest CancelRequest;

std::wstring SanitizeFileName(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) {
    switch (c) {
      case L'/': case L'\\': case L':': case L'*': case L'?':
      case L'"': case L'<': case L'>': case L'|':
        c = L'_';
        break;
      default:
        break;
    }
  }
  return out;
}
