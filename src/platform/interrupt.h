#pragma once

class CCancelRequest;

namespace platform {

// Turns the user's interrupt of a command-line run (Ctrl-C: SIGINT under Wine's host, the console's
// Ctrl-C or Ctrl-Break event on Windows) into `request`, so the long operation that runs ends the
// way a cancel ends it (nothing half-written, a pending capture kept) and the program exits with
// its failure status instead of dying mid-write. Only the first interrupt is taken: a second one
// ends the program at once, as it would without this. `request` lives as long as the process.
// Not for the wizard, whose window has its own cancel button.
void CancelOnInterrupt(CCancelRequest& request);

}  // namespace platform
