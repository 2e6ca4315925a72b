#pragma once
#include <filesystem>
#include <functional>
#include <string_view>

// The one write-then-rename of the Wine backend: ReplaceAtomically, the profile writer and the
// cabinet maker all replace their files through it.
namespace platform::wine {

// Writes a new file beside `target` through `write` (handed the new file's descriptor and path;
// it returns 0 or an errno), flushes it to disk and renames it over `target`, so that a failure at
// any point leaves the old file whole (or none) and no new file behind. A link is followed and its
// target replaced; an existing file's permission bits are kept, a new file gets 0666 less the
// umask. A target that is read-only or not a regular file is refused (EACCES, EISDIR). Returns 0
// or the errno of the failure. A file that is only a step of the work (a cabinet, read into the
// package and removed) need not reach the disk before it is renamed: `flush` false skips that wait.
int ReplaceHostFile(const std::filesystem::path& target,
                    const std::function<int(int fd, const std::filesystem::path& temporary)>& write,
                    bool flush = true);
// The same with the whole content given.
int ReplaceHostFile(const std::filesystem::path& target, std::string_view bytes);

}  // namespace platform::wine
