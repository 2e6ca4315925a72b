#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/status.h"
#include "platform/wine/ddf_parser.h"

// Writing one cabinet with libgcab, used by MakeCabinet.
namespace platform::wine {

// A cabinet folder holds at most 65535 data blocks of 32 KiB of input each.
inline constexpr std::uint64_t kMaxCabinetFolderBytes = 65535ull * 32768ull;

struct CabinetMember {
  std::filesystem::path source;  // host path of a regular file
  std::string name;              // UTF-8 name inside the cabinet
  CabinetCompression compression = CabinetCompression::kMszip;
  bool newFolder = false;        // start a new folder with this member
};

// Writes the members, in order, into `target`. A new folder starts when the compression changes,
// when a member asks for it, or when the folder would exceed `maxFolderBytes` of input. The files
// are read while the cabinet is written (memory stays flat). The cabinet is written under a
// temporary name beside `target` and renamed at the end; on failure nothing is left at either
// name. kSuccess, or a status with the reason (naming the file) in `error`.
Status WriteCabinet(const std::vector<CabinetMember>& members, const std::filesystem::path& target,
                    std::uint64_t maxFolderBytes, std::string& error);

}  // namespace platform::wine
