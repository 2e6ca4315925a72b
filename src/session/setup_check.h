#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Whether the machine can run a setup at all, found out before the first snapshot: a capture of a
// setup that cannot start would take two snapshots of nothing and leave a capture pending.

// What the first bytes of a program file say it is.
enum class ExecutableKind {
  kNotAProgram,  // no "MZ" header
  kDamaged,      // an "MZ" or "PE" header cut short or pointing outside the file
  kDos,          // an MS-DOS program (no Windows header)
  kWindows16,    // a 16-bit Windows or OS/2 program ("NE"), or an "LE"/"LX" image
  kLibrary,      // a PE library or a driver, not a program
  kOtherMachine, // a PE program for a processor other than x86 and x64 (e.g. ARM, ARM64)
  kX86,          // a PE program for 32-bit x86 (i386)
  kX64,          // a PE program for x64 (AMD64)
};

struct ExecutableFacts {
  ExecutableKind kind = ExecutableKind::kNotAProgram;
  uint16_t machine = 0;  // the PE header's machine field, when there is one
};

// Reads the headers of a program file: the MZ header, the new header it points to, and for a PE
// image the file header, the optional header and the section table (every section's data must lie
// inside the file, so a file cut short is found). Only bytes given are read.
ExecutableFacts ClassifyExecutable(std::string_view bytes);

// True when the machine can run the setup at a Windows path: an .exe that is an x86 or x64 PE
// program (x64 only on a 64-bit machine), or an .msi that is an installer database. Otherwise
// false with a reason for the user in `reason`, e.g. "a 16-bit Windows program, which a 64-bit
// Windows cannot run".
bool CheckSetupRunnable(const std::wstring& setupWindowsPath, std::string& reason);
