#pragma once
#include <filesystem>

#include "platform/status.h"

// The one place where the Wine backend turns a host errno into the Win32 status our callers rely
// on. Defined in file_system.cpp.
namespace platform::wine {

// What an EEXIST means for the operation that failed: a folder that exists already (183) or a
// file that exists (80).
enum class ExistsMeaning { kFolder, kFile };

// `hostPath` is the path the failed call was about: ENOENT on it is "file not found" (2) when its
// parent folder exists and "path not found" (3) when the parent is missing.
Status StatusFromErrno(int error, const std::filesystem::path& hostPath,
                       ExistsMeaning exists = ExistsMeaning::kFolder);

}  // namespace platform::wine
