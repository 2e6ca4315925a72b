#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

// Version information and icons of executables on the machine (GetFileVersionInfo /
// VerQueryValue and the shell's icon extraction on Windows; our own PE reader under Wine, which
// reads both 32- and 64-bit files). Paths are Windows paths.
namespace platform {

// The version-information resource of a file, taken apart.
struct FileVersionResource {
  // The root value: the fixed-file-information record (52 bytes in a sound file; callers check).
  std::string fixedBlock;
  // "\VarFileInfo\Translation": language in the low 16 bits, code page in the high 16 bits, in the
  // file's order.
  std::vector<uint32_t> translations;
  struct StringTable {
    std::wstring key;  // language and code page as 8 hexadecimal digits, e.g. "040904B0"
    std::vector<std::pair<std::wstring, std::wstring>> strings;  // name, text; in the file's order
  };
  std::vector<StringTable> stringTables;

  // The text of `name` in the table whose key equals `tableKey` (both compared without regard to
  // the case of A-Z), as "\StringFileInfo\<tableKey>\<name>" is queried. False when absent
  // (`text` untouched).
  bool QueryString(const std::wstring& tableKey, const std::wstring& name, std::wstring& text) const;
};

// Reads the version-information resource of a file. Returns kSuccess; kFileNotFound or
// kPathNotFound when the file is missing; kAccessDenied when it cannot be read; kBadFormat when it
// is not an executable with a version resource (or the resource is damaged). On failure `out` is
// emptied. Never reads more than the file holds, whatever the file claims.
Status ReadFileVersionResource(const std::wstring& path, FileVersionResource& out);

// Extracts an icon group of an executable as the bytes of an .ico file. `index` >= 0 is the
// index-th icon group in the file; a negative index names the group whose id is -index. Returns
// kSuccess; kFileNotFound / kPathNotFound / kAccessDenied as above; kBadFormat when the file is not
// an executable or holds no such icon. `icoBytes` is untouched on failure.
Status ExtractIconAsIco(const std::wstring& path, int index, std::string& icoBytes);

// The user's default language identifier (GetUserDefaultLangID). Under Wine: 1033.
uint16_t UserDefaultLanguage();

}  // namespace platform
