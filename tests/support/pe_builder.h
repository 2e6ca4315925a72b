#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Small, hand-made Portable Executable files for tests of the PE reader: a header, one .rsrc
// section and a resource directory with exactly the resources given. Also a builder of
// version-information blocks, and a way to make a real executable with NSIS.
namespace pe_builder {

struct Resource {
  uint16_t type;
  uint16_t id;
  uint16_t language;
  std::string data;
};

// A 64-bit (or, with pe32plus false, 32-bit) PE file holding the resources.
std::string BuildPe(const std::vector<Resource>& resources, bool pe32plus = true);

// One node of a version-information block: header, key, value (text values are given as bytes
// and counted in UTF-16 units when `text` is true), children.
std::string VersionNode(const std::wstring& key, const std::string& value, bool text,
                        const std::vector<std::string>& children = {});
// A text value as UTF-16LE bytes with its NUL.
std::string Utf16z(const std::wstring& text);
// The 52-byte fixed-file-information record for file and product version a.b.c.d.
std::string FixedFileInfo(uint16_t a, uint16_t b, uint16_t c, uint16_t d);
// A whole version block: fixed record, one Translation entry per table and one string table per
// entry of `tables` (key -> name/value pairs).
std::string VersionBlock(const std::string& fixed, const std::vector<uint32_t>& translations,
                         const std::vector<std::pair<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>>>& tables);

// Builds a silent 64-bit NSIS program in `folder` with the given extra script lines (e.g.
// VIProductVersion / VIAddVersionKey / Icon); returns its path, or an empty path (with the
// compiler's output in `log`) when makensis failed.
std::filesystem::path BuildNsisProgram(const std::filesystem::path& folder, const std::string& name,
                                       const std::string& scriptLines, std::string* log = nullptr);
// The same from a whole script, to which only Unicode, the 64-bit target and OutFile are added
// (such a setup is interactive unless the script says otherwise).
std::filesystem::path BuildNsisScript(const std::filesystem::path& folder, const std::string& name,
                                      const std::string& script, std::string* log = nullptr);

}  // namespace pe_builder
