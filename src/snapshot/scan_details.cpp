#include "snapshot/scan_details.h"

#include "core/strings.h"

namespace {

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

void AppendScanDetail(std::string& out, uint32_t type, const std::wstring& text) {
  std::string narrow = WideToUtf8(text);
  if (narrow.size() > kScanDetailMaxText) {
    size_t cut = kScanDetailMaxText;
    // Never leave half a character: step back over UTF-8 continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(narrow[cut]) & 0xC0) == 0x80) --cut;
    narrow.resize(cut);
  }
  Put32(out, type);
  Put32(out, static_cast<uint32_t>(narrow.size()));
  out += narrow;
}

ScanDetailsReadEnd ParseScanDetails(const unsigned char* data, size_t size, ScanDetailLists& lists) {
  size_t position = 0;
  while (position < size) {
    if (size - position < 8) return ScanDetailsReadEnd::kTruncated;
    const uint32_t type = Get32(data + position);
    const uint32_t length = Get32(data + position + 4);
    position += 8;
    if (length > kScanDetailMaxText) return ScanDetailsReadEnd::kBadLength;
    if (size - position < length) return ScanDetailsReadEnd::kTruncated;
    std::wstring text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data + position), length));
    position += length;
    switch (type) {
      case kScanDetailFile: lists.files.push_back(std::move(text)); break;
      case kScanDetailRegistry: lists.registry.push_back(std::move(text)); break;
      case kScanDetailSetupFilePath: lists.setupFilePath.push_back(std::move(text)); break;
      case kScanDetailSetupFileInfo: lists.setupFileInfo.push_back(std::move(text)); break;
      case kScanDetailSetupArguments: lists.setupArguments.push_back(std::move(text)); break;
      default: break;
    }
  }
  return ScanDetailsReadEnd::kComplete;
}
