#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A registry value as the Value column of the installer's Registry table holds it. The column is
// Formatted text whose leading characters choose the type: "#x0010ff" binary, "#%text" an
// expandable string, "#123" a DWORD, "##text" a string that begins with "#", "[~]a[~]b[~]" a
// multi-string; anything else is a string. Captured texts have their brackets escaped ("[\[]",
// "[\]]") so that a text like "[stuff]" or "[~]x" stays what it was; paths of the machine's known
// folders become folder references ("[ProgramFilesFolder]...").
class CRegistryValueText {
 public:
  // The column text for a value of a registry type with its raw bytes. True when the table holds
  // the value exactly; false when it has no form for the type (REG_NONE, REG_QWORD,
  // REG_DWORD_BIG_ENDIAN, REG_LINK, ...) or the data does not fit its type (a DWORD that is not 4
  // bytes): the value is then written as binary of the same bytes, and `warning` says so.
  static bool Format(uint32_t type, const std::vector<uint8_t>& data, bool machine64, std::wstring& value,
                     std::string& warning);
  // A captured key path or value name as Formatted text (brackets escaped). A value named "+",
  // "-" or "*" would be read as an action on the key itself, so it is escaped as a whole.
  static std::wstring FormatKey(const std::wstring& key);
  static std::wstring FormatName(const std::wstring& name);
  // "REG_SZ", ..., "REG_QWORD", or "type N" for other numbers.
  static std::string TypeName(uint32_t type);
};
