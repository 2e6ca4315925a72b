#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>

#include "core/status_values.h"

namespace platform {
namespace {

std::atomic<CCancelRequest*> g_request{nullptr};
std::atomic<bool> g_taken{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // Only the first interrupt is taken; FALSE hands a second one to the default handler, which ends
  // the process.
  if (g_taken.exchange(true)) return FALSE;
  if (CCancelRequest* request = g_request.load()) request->Request();
  return TRUE;
}

}  // namespace

void CancelOnInterrupt(CCancelRequest& request) {
  g_request.store(&request);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace platform
