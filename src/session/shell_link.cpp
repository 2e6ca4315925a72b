#include "session/shell_link.h"

#include "core/strings.h"
#include "platform/file_system.h"

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
// The link class {00021401-0000-0000-C000-000000000046} as stored.
constexpr unsigned char kLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

enum LinkFlags : uint32_t {
  kHasTargetIdList = 0x1,
  kHasLinkInfo = 0x2,
  kHasName = 0x4,
  kHasRelativePath = 0x8,
  kHasWorkingDir = 0x10,
  kHasArguments = 0x20,
  kHasIconLocation = 0x40,
  kIsUnicode = 0x80,
};
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x1;

// Bounds-checked little-endian reads over the link's bytes.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Has(size_t offset, size_t count) const { return offset <= bytes_.size() && count <= bytes_.size() - offset; }
  bool U16(size_t offset, uint32_t& value) const {
    if (!Has(offset, 2)) return false;
    value = Byte(offset) | (Byte(offset + 1) << 8);
    return true;
  }
  bool U32(size_t offset, uint32_t& value) const {
    if (!Has(offset, 4)) return false;
    value = Byte(offset) | (Byte(offset + 1) << 8) | (Byte(offset + 2) << 16) | (static_cast<uint32_t>(Byte(offset + 3)) << 24);
    return true;
  }
  // A NUL-terminated 8-bit text that must end before `limit`.
  bool Narrow(size_t offset, size_t limit, std::wstring& text) const {
    if (limit > bytes_.size()) return false;
    for (size_t end = offset; end < limit; ++end) {
      if (bytes_[end] == '\0') {
        text = Utf8ToWide(bytes_.substr(offset, end - offset));
        return true;
      }
    }
    return false;
  }
  // A NUL-terminated UTF-16 text that must end before `limit`.
  bool Wide(size_t offset, size_t limit, std::wstring& text) const {
    if (limit > bytes_.size()) return false;
    for (size_t end = offset; end + 1 < limit; end += 2) {
      if (bytes_[end] == '\0' && bytes_[end + 1] == '\0') {
        text = Utf16LeToWide(bytes_.data() + offset, end - offset);
        return true;
      }
    }
    return false;
  }
  std::string_view bytes() const { return bytes_; }

 private:
  uint32_t Byte(size_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
  std::string_view bytes_;
};

// Counted strings may carry a terminating NUL inside their count (some writers do): it goes.
std::wstring WithoutTrailingNuls(std::wstring text) {
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace

void CShellLink::Reset() {
  target_.clear();
  description_.clear();
  relativePath_.clear();
  workingFolder_.clear();
  arguments_.clear();
  iconLocation_.clear();
  iconIndex_ = 0;
  showCommand_ = 1;
  hotkey_ = 0;
}

bool CShellLink::Parse(std::string_view bytes) {
  Reset();
  const Reader in(bytes);
  uint32_t headerSize = 0;
  uint32_t flags = 0;
  uint32_t iconIndex = 0;
  uint32_t showCommand = 1;
  uint32_t hotkey = 0;
  if (!in.U32(0, headerSize) || headerSize != kHeaderSize || !in.Has(0, kHeaderSize) ||
      bytes.substr(4, 16) != std::string_view(reinterpret_cast<const char*>(kLinkClass), 16) || !in.U32(0x14, flags) ||
      !in.U32(0x38, iconIndex) || !in.U32(0x3C, showCommand) || !in.U16(0x40, hotkey)) {
    return false;
  }
  size_t offset = kHeaderSize;
  if (flags & kHasTargetIdList) {
    uint32_t listSize = 0;
    if (!in.U16(offset, listSize) || !in.Has(offset + 2, listSize)) return false;
    offset += 2 + listSize;
  }
  if (flags & kHasLinkInfo) {
    uint32_t infoSize = 0;
    uint32_t infoHeaderSize = 0;
    uint32_t infoFlags = 0;
    uint32_t localBase = 0;
    uint32_t suffix = 0;
    if (!in.U32(offset, infoSize) || infoSize < 0x1C || !in.Has(offset, infoSize) || !in.U32(offset + 4, infoHeaderSize) ||
        !in.U32(offset + 8, infoFlags) || !in.U32(offset + 16, localBase) || !in.U32(offset + 24, suffix)) {
      Reset();
      return false;
    }
    const size_t end = offset + infoSize;
    if (infoFlags & kVolumeIdAndLocalBasePath) {
      std::wstring base;
      std::wstring tail;
      uint32_t localBaseUnicode = 0;
      uint32_t suffixUnicode = 0;
      bool read;
      if (infoHeaderSize >= 0x24 && in.U32(offset + 28, localBaseUnicode) && in.U32(offset + 32, suffixUnicode)) {
        read = in.Wide(offset + localBaseUnicode, end, base) && in.Wide(offset + suffixUnicode, end, tail);
      } else {
        read = in.Narrow(offset + localBase, end, base) && in.Narrow(offset + suffix, end, tail);
      }
      if (!read) {
        Reset();
        return false;
      }
      target_ = base;
      if (!tail.empty()) {
        if (!target_.empty() && target_.back() != L'\\') target_ += L'\\';
        target_ += tail;
      }
    }
    offset = end;
  }
  const bool unicode = (flags & kIsUnicode) != 0;
  const struct {
    uint32_t flag;
    std::wstring CShellLink::*field;
  } strings[] = {{kHasName, &CShellLink::description_},
                 {kHasRelativePath, &CShellLink::relativePath_},
                 {kHasWorkingDir, &CShellLink::workingFolder_},
                 {kHasArguments, &CShellLink::arguments_},
                 {kHasIconLocation, &CShellLink::iconLocation_}};
  for (const auto& entry : strings) {
    if (!(flags & entry.flag)) continue;
    uint32_t count = 0;
    const size_t unit = unicode ? 2 : 1;
    if (!in.U16(offset, count) || !in.Has(offset + 2, count * unit)) {
      Reset();
      return false;
    }
    const char* data = bytes.data() + offset + 2;
    this->*entry.field = WithoutTrailingNuls(unicode ? Utf16LeToWide(data, count * 2)
                                                     : Utf8ToWide(std::string_view(data, count)));
    offset += 2 + count * unit;
  }
  iconIndex_ = static_cast<int>(static_cast<int32_t>(iconIndex));
  showCommand_ = static_cast<int>(showCommand);
  hotkey_ = static_cast<int>(hotkey);
  return true;
}

bool CShellLink::Load(const std::wstring& windowsPath) {
  Reset();
  platform::MappedFile file;
  if (file.Open(windowsPath) != platform::kSuccess) return false;
  return Parse(std::string_view(reinterpret_cast<const char*>(file.data()), static_cast<size_t>(file.size())));
}
