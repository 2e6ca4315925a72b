#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/cabinet_maker.h"
#include "platform/status.h"
#include "platform/wine/ddf_parser.h"

// Writing one cabinet with libgcab, used by MakeCabinet.
namespace platform::wine {

// A cabinet folder holds at most 65535 data blocks of 32 KiB of input each.
inline constexpr std::uint64_t kMaxCabinetFolderBytes = kMaxCabinetBytes;

struct CabinetMember {
  std::filesystem::path source;  // host path of a regular file
  std::string name;              // UTF-8 name inside the cabinet
  CabinetCompression compression = CabinetCompression::kMszip;
  bool newFolder = false;        // asked for a new folder (".New Folder"); one folder is written
};

// Writes the members, in order, into `target`, as one cabinet folder compressed as the first
// member says. libgcab (1.5) writes a single folder per cabinet, and a folder holds at most
// `maxFolderBytes` of input: more than that is refused (kInvalidData) before anything is written.
// The files are read while the cabinet is written (memory stays flat). The cabinet is written
// under a temporary name beside `target` and renamed at the end; on failure nothing is left at
// either name. kSuccess, or a status with the reason (naming the file) in `error`. `watch` (optional)
// is told the bytes of each file once it is in the cabinet and can stop the writing (kCancelled).
Status WriteCabinet(const std::vector<CabinetMember>& members, const std::filesystem::path& target,
                    std::uint64_t maxFolderBytes, std::string& error, const CabinetWatch* watch = nullptr);

}  // namespace platform::wine
