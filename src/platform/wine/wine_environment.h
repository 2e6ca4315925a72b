#pragma once
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// How this backend starts Wine programs: one clean environment and one program lookup, shared by
// the machine preparation and the setup launcher.
namespace platform::wine {

// The environment of a Wine program run in a prefix. Nothing of the Linux environment leaks in;
// HOME is the one the prefix's profile links were made with (Wine must run with the HOME and USER
// that created the prefix); a UTF-8 locale, so non-Latin file names survive; no debug chatter;
// no menu entries written to the host, no Mono or Gecko installer dialogs.
std::vector<std::string> WineRunEnvironment(const std::filesystem::path& prefix);

// The caller's display as "NAME=value" entries: DISPLAY, XAUTHORITY and WAYLAND_DISPLAY where set
// and not empty (with XDG_RUNTIME_DIR beside WAYLAND_DISPLAY, where a relative socket name is
// looked up). Empty when the caller has no display (neither DISPLAY nor WAYLAND_DISPLAY).
std::vector<std::string> CallerDisplayEnvironment();

// The environment of a setup program's own run: the clean environment above with `display`
// ("NAME=value" entries) added, and Wine's user-facing diagnostics ("winediag", e.g. a window that
// cannot be made for want of a display) switched on so that they reach the run's log.
std::vector<std::string> SetupRunEnvironment(const std::filesystem::path& prefix,
                                             const std::vector<std::string>& display);

// Full path of a Wine program (wine64, wineserver) or empty when it is not installed.
std::string FindWineProgram(const char* name);

// Full path of a host program in the usual program folders (/usr/bin, /bin, /usr/local/bin), or
// empty when it is not installed.
std::string FindHostProgram(const char* name);

// Waits up to `seconds` for a child process of ours to end, looking every `pollMilliseconds` and
// calling `tick` (when given) between looks. True when it ended (and was reaped).
bool WaitForChild(pid_t pid, int seconds, int pollMilliseconds, const std::function<void()>& tick = {});

}  // namespace platform::wine
