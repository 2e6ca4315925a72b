#pragma once
#include <sys/types.h>

#include <string>

namespace platform::wine {

// A private X server without a screen (Xvfb) for a setup's run when the caller has no display,
// so that setups which need a window (many do, even when silent) can run. It is a child of the
// calling process, not of the setup's run, so it is never taken for a program the setup started.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  ~VirtualDisplay() { Stop(); }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Starts Xvfb on a display number no other X server uses (it picks one itself, -displayfd),
  // for local clients only (-nolisten tcp). Blocks until it accepts clients, at most about 10 s.
  // False, with the reason in `error`, when Xvfb is not installed or did not come up.
  bool Start(std::string& error);
  // Ends the server (TERM, then KILL after a few seconds) and waits for it. Idempotent.
  void Stop();
  // ":N" while the server runs, else empty.
  const std::string& display() const { return display_; }

  // False when `display` (a DISPLAY value) names a local X server that does not accept
  // connections (Wine would wait for it for ever). Displays on other hosts are taken as they are.
  static bool Reachable(const std::string& display);

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace platform::wine
