#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A small reader of Portable Executable files (32- and 64-bit): the resource directory, version
// information and icon groups. It only parses bytes and never touches the machine, so it is the
// same on every platform. Every offset read from the file is checked against the bytes given; a
// truncated or hostile file gives "not found", never a read outside the buffer.
namespace platform::pe {

// Little-endian fields of a file's bytes; false when the field does not lie wholly inside them.
bool Read16(std::string_view bytes, size_t offset, uint16_t& value);
bool Read32(std::string_view bytes, size_t offset, uint32_t& value);

// Resource types used here.
inline constexpr uint16_t kResourceIcon = 3;        // RT_ICON
inline constexpr uint16_t kResourceGroupIcon = 14;  // RT_GROUP_ICON
inline constexpr uint16_t kResourceVersion = 16;    // RT_VERSION

// One resource: the data is a view into the bytes the image was parsed from.
struct Resource {
  bool named = false;     // the resource has a name rather than a numeric id
  uint16_t id = 0;        // numeric id (when !named)
  std::wstring name;      // name (when named)
  uint16_t language = 0;
  std::string_view data;
};

class Image {
 public:
  // Parses the headers and the section table. The bytes must outlive the Image. False when the
  // bytes are not a PE file (the Image is then empty: every lookup finds nothing).
  bool Parse(std::string_view bytes);
  bool valid() const { return valid_; }

  // Every resource of a type, in the order of the resource directory (named entries first, then
  // ids ascending, as linkers write them). Empty when there is none or the directory is damaged.
  std::vector<Resource> ResourcesOfType(uint16_t type) const;
  // The first resource of a type with the given id (any language); false when absent.
  bool FindResource(uint16_t type, uint16_t id, Resource& out) const;

 private:
  struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
  };
  // File offset of `size` bytes at a relative virtual address; false when not inside the file.
  bool RvaToOffset(uint32_t rva, uint32_t size, uint32_t& offset) const;

  std::string_view bytes_;
  std::vector<Section> sections_;
  uint32_t resourceOffset_ = 0;  // file offset of the resource directory
  uint32_t resourceSize_ = 0;
  uint32_t resourceRva_ = 0;
  bool valid_ = false;
};

// One node of a version-information block (VS_VERSIONINFO and its children).
struct VersionNode {
  std::wstring key;
  uint16_t type = 0;          // 1 text, 0 binary
  std::string_view value;     // raw value bytes
  std::vector<VersionNode> children;
};

// Parses a version-information block. False when the root node is damaged; damaged children are
// dropped. The node views point into `block`.
bool ParseVersionBlock(std::string_view block, VersionNode& root);

// The parts of a version-information block that callers use.
struct VersionData {
  std::string fixed;                  // the value of the root: VS_FIXEDFILEINFO when 52 bytes
  std::vector<uint32_t> translations; // "\VarFileInfo\Translation": language low, code page high
  struct StringTable {
    std::wstring key;                 // e.g. "040904B0"
    std::vector<std::pair<std::wstring, std::wstring>> strings;
  };
  std::vector<StringTable> stringTables;
};

// Reads a version-information block into VersionData. False when the block cannot be parsed.
bool ReadVersionData(std::string_view block, VersionData& out);

// Builds an .ico file from an icon group: `index` >= 0 takes the index-th group in directory order;
// a negative index takes the group whose id is -index (as the shell's icon extraction does).
// False when there is no such group or none of its images is present.
bool ExtractIconFile(const Image& image, int index, std::string& icoBytes);

}  // namespace platform::pe
