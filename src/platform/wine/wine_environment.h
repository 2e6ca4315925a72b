#pragma once
#include <filesystem>
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

// Full path of a Wine program (wine64, wineserver) or empty when it is not installed.
std::string FindWineProgram(const char* name);

}  // namespace platform::wine
