#pragma once
#include <string>
#include <vector>

// Private-profile (INI) files with Windows semantics for ordinary files: sections in square
// brackets, key=value lines, names compared without regard to letter case, the first of two
// equal keys wins on reading. Files are read as UTF-16LE when they start with its byte-order
// mark, else as UTF-8; a file is written back in the encoding it had (UTF-8 for a new file).
// Paths are Windows paths.
namespace platform {

// The value of a key, or the default when the file, section or key is missing. Surrounding
// blanks are trimmed from the value, and one pair of enclosing double quotes is removed.
std::wstring GetProfileText(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue, const std::wstring& file);
// The value read as a decimal integer (leading digits, optional sign), or the default when the
// key is missing. A value with no leading digits gives 0, as on Windows.
int GetProfileNumber(const std::wstring& section, const std::wstring& key, int defaultValue,
                     const std::wstring& file);
// The section names in file order (each once, with its first spelling).
std::vector<std::wstring> GetProfileSectionNames(const std::wstring& file);
// The lines of a section in file order, as "key=value" (value trimmed); lines without "=" are
// returned as they stand; comment lines (starting with ';') and blank lines are left out.
// If the section occurs more than once, the lines of every occurrence are returned in order.
std::vector<std::wstring> GetProfileSection(const std::wstring& section, const std::wstring& file);
// Every section of a file with its lines, from one reading of the file: the names as
// GetProfileSectionNames gives them, each with what GetProfileSection gives for it.
struct ProfileSection {
  std::wstring name;
  std::vector<std::wstring> lines;
};
std::vector<ProfileSection> GetProfileSections(const std::wstring& file);
// Writes key=value, creating the file and the section when missing. True on success.
bool WriteProfileText(const std::wstring& section, const std::wstring& key,
                      const std::wstring& value, const std::wstring& file);
// Deletes a key (every occurrence in the section). True when the file could be written or the key
// was not there.
bool DeleteProfileKey(const std::wstring& section, const std::wstring& key, const std::wstring& file);

}  // namespace platform
