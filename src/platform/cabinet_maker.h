#pragma once
#include <string>

#include "platform/status.h"

// The system's cabinet maker. It is given the directive file ("MSIProject.ddf") and the batch file
// ("BuildAllCab.bat") that the package builder wrote, and makes the cabinet where the directive
// file says (.Set DiskDirectoryTemplate / CabinetNameTemplate / Compress / CompressionType and the
// quoted source lines with the member name after them). On Windows it runs the batch file; under
// Wine it reads the directive file and writes an MSZIP cabinet in-process. Returns kSuccess when the
// cabinet was written completely; otherwise a status, and no cabinet file is left behind.
namespace platform {

Status MakeCabinet(const std::wstring& directiveFilePath, const std::wstring& batchFilePath);

}  // namespace platform
