#pragma once
#include "platform/status.h"

// Processes of the machine: getting it ready for a capture (and, later, starting a setup program
// and waiting for it).
namespace platform {

// Brings the machine into a quiet state before a first snapshot, so that what the machine does
// by itself on start-up is not taken for the installer's work. Blocks until done.
//
// Wine: every start of a prefix's server runs wineboot, which rewrites the registry files and
// touches a few files. This ends any server of the prefix (and so every Windows program running in
// it), waits until it is gone, then runs one no-op program and waits until the server it started
// has ended again. Wine runs with a clean environment (PATH with /usr/lib/wine, HOME, USER,
// WINEPREFIX, WINEDEBUG=-all, Wine's menu integration and its .NET/HTML installers disabled).
// Returns kSuccess; kPathNotFound when the machine is not usable; kInvalidFunction when Wine could
// not be run; kWaitTimeout when the server did not end in time (about a minute).
//
// Windows: nothing to do; returns kSuccess.
Status PrepareMachineForCapture();

}  // namespace platform
