#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/status.h"

// The system's cabinet maker. It is given the directive file ("MSIProject.ddf") and the batch file
// ("BuildAllCab.bat") that the package builder wrote, and makes the cabinet where the directive
// file says (.Set DiskDirectoryTemplate / CabinetNameTemplate / Compress / CompressionType and the
// quoted source lines with the member name after them). On Windows it runs the batch file; under
// Wine it reads the directive file and writes an MSZIP cabinet in-process. Returns kSuccess when the
// cabinet was written completely; otherwise a status, and no cabinet file is left behind.
namespace platform {

// The most input one cabinet can hold: a cabinet folder holds at most 65535 data blocks of 32 KiB,
// and a file cannot span cabinets. Files beyond that go into further cabinets.
inline constexpr std::uint64_t kMaxCabinetBytes = 65535ull * 32768ull;
// The most files one cabinet can list: its header counts them in 16 bits.
inline constexpr unsigned kMaxCabinetFiles = 65535;

// What the caller of MakeCabinet may watch and stop from another thread (both optional; they
// must outlive the call). Several cabinets may be made at once, each by its own call on its own
// thread, with their own directive files.
struct CabinetWatch {
  // Input bytes compressed so far; the maker adds each file's size once the file is in the
  // cabinet (so the count moves file by file).
  std::atomic<std::uint64_t>* bytesDone = nullptr;
  // Set to true to stop: the maker stops within a data block or so and returns kCancelled,
  // leaving no cabinet.
  const std::atomic<bool>* stop = nullptr;
};

//
// Details both backends keep: a cabinet already at the target path is removed first (so an old one
// never passes for this build); a directive file that lists no file makes no cabinet and returns
// kNoMoreFiles (an empty cabinet is not readable). Under Wine: every file line must name an existing
// file (kFileNotFound / kPathNotFound naming it), member names are unique (kInvalidData), a
// malformed directive file is kInvalidData with its line number in the error log; relative paths
// are relative to the directive file's folder; one cabinet is made whatever MaxDiskSize says, with
// a folder from each ".New Folder" on (the folders are compressed at once, one per core); a
// folder may hold at most kMaxCabinetBytes (2,147,450,880 bytes) and the cabinet at most
// kMaxCabinetFiles files: more is refused with kInvalidData before anything is written.
// `error`, when given, receives the reason of a failure (also written to the error log).
Status MakeCabinet(const std::wstring& directiveFilePath, const std::wstring& batchFilePath,
                   const CabinetWatch* watch = nullptr, std::string* error = nullptr);

}  // namespace platform
