#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// "ScanDetails.txt": the capture choices of a session, so that a capture resumes after a restart.
// A sequence of records, no header: 32-bit little-endian type (1 "File" root, 2 "Registry" root,
// 3 "SetupFilePath", 4 "SetupFileInfo" item, 5 the setup's arguments), 32-bit little-endian byte
// count n, then n bytes of 8-bit text without terminator. A text holds at most 1023 bytes.
// Readers skip types they do not know, so a file with arguments stays readable by older readers.
inline constexpr uint32_t kScanDetailFile = 1;
inline constexpr uint32_t kScanDetailRegistry = 2;
inline constexpr uint32_t kScanDetailSetupFilePath = 3;
inline constexpr uint32_t kScanDetailSetupFileInfo = 4;
inline constexpr uint32_t kScanDetailSetupArguments = 5;
inline constexpr size_t kScanDetailMaxText = 1023;

// Appends one record; a text longer than 1023 bytes is cut at a character boundary.
void AppendScanDetail(std::string& out, uint32_t type, const std::wstring& text);

struct ScanDetailLists {
  std::vector<std::wstring> files;
  std::vector<std::wstring> registry;
  std::vector<std::wstring> setupFilePath;
  std::vector<std::wstring> setupFileInfo;
  std::vector<std::wstring> setupArguments;
};

// How reading ended: complete, or stopped at a damaged record (a byte count over 1023, or data
// that ends inside a record); the records before it are kept.
enum class ScanDetailsReadEnd { kComplete, kBadLength, kTruncated };

// Reads the records into the four lists by type; records of other types are passed over.
ScanDetailsReadEnd ParseScanDetails(const unsigned char* data, size_t size, ScanDetailLists& lists);
