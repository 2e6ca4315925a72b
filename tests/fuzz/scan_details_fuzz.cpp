// "ScanDetails.txt", read when a capture resumes.
#include <cstddef>
#include <cstdint>

#include "snapshot/scan_details.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScanDetailLists lists;
  ParseScanDetails(data, size, lists);
  // What was read writes back to the same records.
  std::string again;
  for (const std::wstring& text : lists.files) AppendScanDetail(again, kScanDetailFile, text);
  ScanDetailLists reread;
  if (ParseScanDetails(reinterpret_cast<const unsigned char*>(again.data()), again.size(), reread) !=
          ScanDetailsReadEnd::kComplete ||
      reread.files.size() != lists.files.size()) {
    __builtin_trap();
  }
  return 0;
}
