#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

// Streams added to a finished package file (one that is committed and closed) from files, each
// copied a block at a time, so that memory stays flat whatever their size. The installer database
// (InstallerDatabase::InsertStream) holds a whole stream in memory until the commit under Wine,
// which is fine for small streams and not for cabinets of gigabytes.
namespace platform {

struct PackageStream {
  std::string name;       // the stream's name in the _Streams table (letters, digits, "." and "_")
  std::wstring filePath;  // the file that becomes its content
};

// Adds (or replaces) the streams of `packagePath`. The package is rewritten beside itself and
// renamed over the old one at the end: on failure the package is as it was, and nothing else is
// left. kSuccess, kFileNotFound / kPathNotFound (package or a file), kOpenFailed (not a package),
// kInvalidParameter (an unusable name), kWriteFault / kDiskFull; the reason in `error` when given.
//
// `cancelled` (optional) is asked between blocks of the copy (under Wine every megabyte or so; on
// Windows, whose database copies a stream in one call, between streams): when it returns true the
// copy stops, the package is left as it was, nothing else is left, and the result is kCancelled.
Status AddStreamsToPackage(const std::wstring& packagePath, const std::vector<PackageStream>& streams,
                           std::string* error = nullptr, const std::function<bool()>& cancelled = {});

}  // namespace platform
