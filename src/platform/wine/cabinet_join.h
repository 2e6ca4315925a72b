#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "platform/status.h"

// Joining cabinets of one folder each (as libgcab writes them) into one cabinet with a folder for
// each, in the order given. The compressed data is copied as it is: a folder is compressed on its
// own and its data blocks carry their own checksums, so nothing is compressed again.
namespace platform::wine {

// Writes the joined cabinet at `target` (through a temporary file, so a failure leaves nothing
// there). kInvalidData when a part is not a plain cabinet of one folder (no reserve, no chaining)
// or the whole would not fit the format's 16-bit file count or 32-bit size; kReadFault or
// kWriteFault when a file fails. The reason is in `error`.
Status JoinCabinets(const std::vector<std::filesystem::path>& parts, const std::filesystem::path& target,
                    std::string& error);

}  // namespace platform::wine
