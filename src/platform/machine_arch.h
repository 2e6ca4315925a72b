#pragma once

// The word size of the machine's Windows. On a 64-bit Windows the native programs (and so every
// installer a capture watches, and the application it installs) are 64-bit: their program files
// live in the 64-bit program-files folder and their HKEY_LOCAL_MACHINE\Software values in the
// native view, not in "Program Files (x86)" and Wow6432Node.
namespace platform {

// True when the machine is a 64-bit Windows. Under Wine: the prefix was made by 64-bit Wine (its
// system.reg carries the line "#arch=win64"). On Windows: the native processor architecture is a
// 64-bit one, whatever the bitness of this program. False when the machine is 32-bit or cannot be
// examined (no prefix, unreadable registry file); never throws, never blocks on Wine's server
// (the line is written when the prefix is made and never changes).
bool MachineIs64Bit();

}  // namespace platform
