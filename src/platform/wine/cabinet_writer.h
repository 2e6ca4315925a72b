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
  bool newFolder = false;        // starts a new folder (".New Folder")
};

// Writes the members, in order, into `target`: one folder, or a folder from each member marked
// `newFolder` on, each compressed as its first member says. The folders are compressed at once,
// as many as there are cores. A folder holds at most `maxFolderBytes` of input and a cabinet at
// most kMaxCabinetFiles files: more is refused (kInvalidData) before anything is written. The files are read while the cabinet is written
// (memory stays flat). The cabinet is written under a temporary name beside `target` and renamed
// at the end; on failure nothing is left at either name. kSuccess, or a status with the reason
// (naming the file) in `error`. `watch` (optional) is told the bytes of each file once it is in the
// cabinet and can stop the writing (kCancelled).
Status WriteCabinet(const std::vector<CabinetMember>& members, const std::filesystem::path& target,
                    std::uint64_t maxFolderBytes, std::string& error, const CabinetWatch* watch = nullptr);

}  // namespace platform::wine
