#include "platform/interrupt.h"

#include <signal.h>

#include <atomic>

#include "core/status_values.h"

namespace platform {
namespace {

// A signal handler reaches no object but through a process-wide pointer.
std::atomic<CCancelRequest*> g_request{nullptr};

void OnInterrupt(int) {
  // A lock-free atomic store: safe in a signal handler.
  if (CCancelRequest* request = g_request.load()) request->Request();
}

}  // namespace

void CancelOnInterrupt(CCancelRequest& request) {
  g_request.store(&request);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The handler goes after the first interrupt: a second one ends the program at once.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace platform
