#include "platform/pe_reader.h"

#include <cstring>

namespace platform::pe {
namespace {

// Bounds on what a real file holds, so a hostile directory cannot make us loop for long.
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kMaxEntriesPerDirectory = 4096;
constexpr size_t kMaxVersionDepth = 8;
constexpr size_t kMaxIconsPerGroup = 256;
// Entries visited in one walk of the directory: shared subdirectories could otherwise multiply.
constexpr uint32_t kMaxEntriesVisited = 65536;

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// UTF-16LE units up to the first NUL or the end of `bytes` (an odd last byte is ignored).
std::wstring Utf16UntilNul(std::string_view bytes) {
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

bool EqualsAsciiNoCase(const std::wstring& a, const wchar_t* b) {
  size_t n = std::wcslen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

size_t AlignUp4(size_t value) { return (value + 3) & ~static_cast<size_t>(3); }

}  // namespace

bool Read16(std::string_view bytes, size_t offset, uint16_t& value) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
  value = static_cast<uint16_t>(p[0] | (p[1] << 8));
  return true;
}

bool Read32(std::string_view bytes, size_t offset, uint32_t& value) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
  value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
          (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return true;
}

bool Image::Parse(std::string_view bytes) {
  *this = Image{};
  bytes_ = bytes;
  uint16_t magic = 0;
  uint32_t peOffset = 0;
  if (!Read16(bytes, 0, magic) || magic != 0x5A4D) return false;  // "MZ"
  if (!Read32(bytes, 0x3C, peOffset)) return false;
  uint32_t signature = 0;
  if (!Read32(bytes, peOffset, signature) || signature != 0x00004550) return false;  // "PE\0\0"
  const size_t coff = static_cast<size_t>(peOffset) + 4;
  uint16_t sectionCount = 0, optionalSize = 0;
  if (!Read16(bytes, coff + 2, sectionCount) || !Read16(bytes, coff + 16, optionalSize)) return false;
  const size_t optional = coff + 20;
  uint16_t optionalMagic = 0;
  if (!Read16(bytes, optional, optionalMagic)) return false;
  size_t countOffset = 0, directoryOffset = 0;
  if (optionalMagic == 0x10B) {         // PE32
    countOffset = 92;
    directoryOffset = 96;
  } else if (optionalMagic == 0x20B) {  // PE32+
    countOffset = 108;
    directoryOffset = 112;
  } else {
    return false;
  }
  uint32_t directoryCount = 0;
  if (!Read32(bytes, optional + countOffset, directoryCount)) return false;
  // The resource directory is data directory 2; it must lie inside the optional header.
  const size_t resourceEntry = directoryOffset + 2 * 8;
  if (directoryCount > 2 && resourceEntry + 8 <= optionalSize) {
    Read32(bytes, optional + resourceEntry, resourceRva_);
    Read32(bytes, optional + resourceEntry + 4, resourceSize_);
  }
  if (sectionCount > kMaxSections) return false;
  const size_t table = optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const size_t s = table + static_cast<size_t>(i) * 40;
    Section section{};
    if (!Read32(bytes, s + 8, section.virtualSize) || !Read32(bytes, s + 12, section.virtualAddress) ||
        !Read32(bytes, s + 16, section.rawSize) || !Read32(bytes, s + 20, section.rawOffset)) {
      return false;
    }
    sections_.push_back(section);
  }
  valid_ = true;
  if (resourceRva_ == 0 || resourceSize_ == 0) {
    resourceRva_ = resourceSize_ = 0;
    return true;
  }
  // The directory may claim more than the file holds; keep only what is there.
  uint32_t offset = 0;
  if (!RvaToOffset(resourceRva_, 16, offset)) {
    resourceRva_ = resourceSize_ = 0;
    return true;
  }
  resourceOffset_ = offset;
  const uint64_t available = bytes.size() - offset;
  if (resourceSize_ > available) resourceSize_ = static_cast<uint32_t>(available);
  return true;
}

bool Image::RvaToOffset(uint32_t rva, uint32_t size, uint32_t& offset) const {
  for (const Section& s : sections_) {
    const uint64_t start = s.virtualAddress;
    const uint64_t extent = s.rawSize;  // only what is backed by the file can be read
    if (rva < start || static_cast<uint64_t>(rva) + size > start + extent) continue;
    const uint64_t fileOffset = static_cast<uint64_t>(s.rawOffset) + (rva - start);
    if (fileOffset + size > bytes_.size()) return false;
    offset = static_cast<uint32_t>(fileOffset);
    return true;
  }
  return false;
}

std::vector<Resource> Image::ResourcesOfType(uint16_t type) const {
  std::vector<Resource> found;
  if (!valid_ || resourceSize_ < 16) return found;
  const std::string_view dir = bytes_.substr(resourceOffset_, resourceSize_);

  // Entries of the directory at `at` (relative to the resource directory): (name-or-id, target).
  struct Entry {
    uint32_t name;
    uint32_t target;
  };
  uint32_t budget = kMaxEntriesVisited;
  auto entries = [&dir, &budget](uint32_t at, std::vector<Entry>& out) {
    out.clear();
    uint16_t named = 0, ids = 0;
    if (!Read16(dir, static_cast<size_t>(at) + 12, named) || !Read16(dir, static_cast<size_t>(at) + 14, ids)) {
      return false;
    }
    const uint32_t count = static_cast<uint32_t>(named) + ids;
    if (count > kMaxEntriesPerDirectory || count > budget) return false;
    budget -= count;
    for (uint32_t i = 0; i < count; ++i) {
      Entry e{};
      const size_t p = static_cast<size_t>(at) + 16 + static_cast<size_t>(i) * 8;
      if (!Read32(dir, p, e.name) || !Read32(dir, p + 4, e.target)) return false;
      out.push_back(e);
    }
    return true;
  };
  auto readName = [&dir](uint32_t nameField, std::wstring& name) {
    const size_t at = nameField & 0x7FFFFFFFu;
    uint16_t length = 0;
    if (!Read16(dir, at, length)) return false;
    if (at + 2 + static_cast<size_t>(length) * 2 > dir.size()) return false;
    name.clear();
    for (uint16_t i = 0; i < length; ++i) {
      uint16_t unit = 0;
      Read16(dir, at + 2 + static_cast<size_t>(i) * 2, unit);
      name.push_back(static_cast<wchar_t>(unit));
    }
    return true;
  };

  std::vector<Entry> types, names, languages;
  if (!entries(0, types)) return found;
  for (const Entry& t : types) {
    if ((t.name & 0x80000000u) || t.name != type || !(t.target & 0x80000000u)) continue;
    // Subdirectories point forward or anywhere; each level is read once, so a loop in the
    // offsets cannot make this walk more than three levels.
    if (!entries(t.target & 0x7FFFFFFFu, names)) continue;
    for (const Entry& n : names) {
      if (!(n.target & 0x80000000u)) continue;
      Resource base;
      if (n.name & 0x80000000u) {
        base.named = true;
        if (!readName(n.name, base.name)) continue;
      } else {
        if (n.name > 0xFFFF) continue;
        base.id = static_cast<uint16_t>(n.name);
      }
      if (!entries(n.target & 0x7FFFFFFFu, languages)) continue;
      for (const Entry& l : languages) {
        if (l.target & 0x80000000u) continue;  // a data entry is expected at this level
        uint32_t dataRva = 0, dataSize = 0;
        if (!Read32(dir, l.target, dataRva) || !Read32(dir, static_cast<size_t>(l.target) + 4, dataSize)) {
          continue;
        }
        uint32_t dataOffset = 0;
        if (!RvaToOffset(dataRva, dataSize, dataOffset)) continue;
        Resource r = base;
        r.language = static_cast<uint16_t>(l.name & 0xFFFF);
        r.data = bytes_.substr(dataOffset, dataSize);
        found.push_back(std::move(r));
      }
    }
  }
  return found;
}

bool Image::FindResource(uint16_t type, uint16_t id, Resource& out) const {
  for (Resource& r : ResourcesOfType(type)) {
    if (!r.named && r.id == id) {
      out = std::move(r);
      return true;
    }
  }
  return false;
}

namespace {

// Parses the node at the start of `block`; `depth` bounds nesting.
bool ParseNode(std::string_view block, size_t depth, VersionNode& node) {
  uint16_t length = 0, valueLength = 0, type = 0;
  if (!Read16(block, 0, length) || !Read16(block, 2, valueLength) || !Read16(block, 4, type)) return false;
  if (length < 6 || length > block.size()) return false;
  const std::string_view self = block.substr(0, length);
  node = VersionNode{};
  node.type = type;
  // The key: UTF-16 up to and including its NUL.
  size_t at = 6;
  for (;;) {
    uint16_t unit = 0;
    if (!Read16(self, at, unit)) return false;
    at += 2;
    if (unit == 0) break;
    node.key.push_back(static_cast<wchar_t>(unit));
  }
  at = AlignUp4(at);
  // Text values count UTF-16 units, binary ones bytes. Writers disagree on the text unit, so a
  // text value is taken up to the node's end and cut at its NUL by the reader.
  size_t valueBytes = type == 1 ? static_cast<size_t>(valueLength) * 2 : valueLength;
  if (at > self.size()) at = self.size();
  if (valueBytes > self.size() - at) valueBytes = self.size() - at;
  node.value = self.substr(at, valueBytes);
  at = AlignUp4(at + valueBytes);
  if (depth >= kMaxVersionDepth) return true;
  while (at + 6 <= self.size()) {
    VersionNode child;
    uint16_t childLength = 0;
    Read16(self, at, childLength);
    if (childLength == 0) break;  // padding or damage: nothing more can be found reliably
    if (ParseNode(self.substr(at), depth + 1, child)) node.children.push_back(std::move(child));
    at = AlignUp4(at + childLength);
  }
  return true;
}

}  // namespace

bool ParseVersionBlock(std::string_view block, VersionNode& root) { return ParseNode(block, 0, root); }

bool ReadVersionData(std::string_view block, VersionData& out) {
  out = VersionData{};
  VersionNode root;
  if (!ParseVersionBlock(block, root)) return false;
  out.fixed.assign(root.value.data(), root.value.size());
  for (const VersionNode& part : root.children) {
    if (EqualsAsciiNoCase(part.key, L"VarFileInfo")) {
      for (const VersionNode& var : part.children) {
        if (!EqualsAsciiNoCase(var.key, L"Translation")) continue;
        for (size_t i = 0; i + 4 <= var.value.size(); i += 4) {
          uint32_t entry = 0;
          Read32(var.value, i, entry);
          out.translations.push_back(entry);
        }
      }
    } else if (EqualsAsciiNoCase(part.key, L"StringFileInfo")) {
      for (const VersionNode& table : part.children) {
        VersionData::StringTable t;
        t.key = table.key;
        for (const VersionNode& s : table.children) t.strings.emplace_back(s.key, Utf16UntilNul(s.value));
        out.stringTables.push_back(std::move(t));
      }
    }
  }
  return true;
}

bool ExtractIconFile(const Image& image, int index, std::string& icoBytes) {
  const std::vector<Resource> groups = image.ResourcesOfType(kResourceGroupIcon);
  const Resource* group = nullptr;
  if (index >= 0) {
    // Several languages of one group count once.
    int seen = -1;
    const Resource* previous = nullptr;
    for (const Resource& g : groups) {
      if (!previous || g.named != previous->named || g.id != previous->id || g.name != previous->name) ++seen;
      previous = &g;
      if (seen == index) {
        group = &g;
        break;
      }
    }
  } else if (index > -65536) {
    for (const Resource& g : groups) {
      if (!g.named && g.id == static_cast<uint16_t>(-index)) {
        group = &g;
        break;
      }
    }
  }
  if (!group) return false;
  // GRPICONDIR: reserved, type (1), count; then 14-byte entries ending in the RT_ICON id.
  uint16_t reserved = 0, type = 0, count = 0;
  const std::string_view dir = group->data;
  if (!Read16(dir, 0, reserved) || !Read16(dir, 2, type) || !Read16(dir, 4, count) || type != 1) return false;
  if (count > kMaxIconsPerGroup) count = kMaxIconsPerGroup;
  struct Picked {
    std::string_view entry;  // first 12 bytes of the group entry
    std::string_view data;
  };
  const std::vector<Resource> icons = image.ResourcesOfType(kResourceIcon);
  std::vector<Picked> picked;
  for (uint16_t i = 0; i < count; ++i) {
    const size_t at = 6 + static_cast<size_t>(i) * 14;
    uint16_t iconId = 0;
    if (!Read16(dir, at + 12, iconId)) break;
    for (const Resource& icon : icons) {
      if (icon.named || icon.id != iconId || icon.data.empty()) continue;
      picked.push_back({dir.substr(at, 12), icon.data});
      break;
    }
  }
  if (picked.empty()) return false;
  std::string out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<uint16_t>(picked.size()));
  uint64_t offset = 6 + 16 * picked.size();
  for (const Picked& p : picked) {
    out.append(p.entry.data(), 8);  // width, height, colours, reserved, planes, bit count
    Put32(out, static_cast<uint32_t>(p.data.size()));
    Put32(out, static_cast<uint32_t>(offset));
    offset += p.data.size();
  }
  for (const Picked& p : picked) out.append(p.data.data(), p.data.size());
  icoBytes = std::move(out);
  return true;
}

}  // namespace platform::pe
