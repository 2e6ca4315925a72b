#pragma once
#include <map>
#include <string>
#include <vector>

// The in-memory shapes of the change files and the project file: what the capture writes, what
// the project reader fills and what the package builder reads. Every path is a wide Windows path
// (folder paths in token form where the files store them so).

// Folder path -> full paths of the files in it (folder + "\" + name), in capture order.
using FolderFileMap = std::map<std::wstring, std::vector<std::wstring>>;

// One registry value as the comparison reports it. `valueName` is the name in double quotation
// marks, or "@" for the default value; `typeName` one of RegTypeNames, or empty for any other type.
// `extra` is the third position a project reader may find on a Value element; this program never
// writes it.
struct RegValueRecord {
  std::wstring key;
  std::wstring valueName;
  std::wstring typeName;
  std::wstring extra;
};

// Key path (beginning with the root's long name) -> its value records, in report order.
using RegKeyMap = std::map<std::wstring, std::vector<RegValueRecord>>;

// One changed entry of an INI file.
struct INIEntry {
  std::wstring Section;
  std::wstring Key;
  std::wstring Value;
};

// INI file path -> its changed entries.
using INIFileMap = std::map<std::wstring, std::vector<INIEntry>>;

// One Shortcut element: name, target executable, folder property, icon path, icon index text,
// then what a shortcut made from a setup's link carries besides (empty in older project files):
// the target's full path, the shortcut's own folder (a Start Menu subfolder, the desktop, ...),
// the arguments, the description, the working folder, the window's show command and the hot key
// (decimal texts). `target`, `folder` and `workingFolder`
// are paths in token form; the icon path is a real path in memory and stored in token form.
struct ShortcutRecord {
  std::wstring name;
  std::wstring exeName;
  std::wstring directory;
  std::wstring icon;
  std::wstring iconIndex;
  std::wstring target;
  std::wstring folder;
  std::wstring arguments;
  std::wstring description;
  std::wstring workingFolder;
  std::wstring showCommand;
  std::wstring hotkey;
};
using ShortcutList = std::vector<ShortcutRecord>;

// One Icon element: size text (the number of characters of `data`), Base64 text without "="
// padding, and the executables that use the icon.
struct IconRecord {
  std::wstring size;
  std::wstring data;
  std::vector<std::wstring> exeNames;
};
// Icon name -> its record.
using IconMap = std::map<std::wstring, IconRecord>;

struct ProductInfo {
  std::wstring applicationName;
  std::wstring version;
  std::wstring companyName;
};

// The element paths of the change lists, relative to the root element.
namespace xmlpath {
inline constexpr const wchar_t* kFileAdded = L"FileSystem//AddedItems//DirectoryList";
inline constexpr const wchar_t* kFileModified = L"FileSystem//ModifiedItems//DirectoryList";
inline constexpr const wchar_t* kFileDeleted = L"FileSystem//DeletedItems//DirectoryList";
inline constexpr const wchar_t* kRegAdded = L"RegistrySystem//AddedItems//SubKeyList";
inline constexpr const wchar_t* kRegModified = L"RegistrySystem//ModifiedItems//SubKeyList";
inline constexpr const wchar_t* kRegDeleted = L"RegistrySystem//DeletedItems//SubKeyList";
inline constexpr const wchar_t* kIniAdded = L"INIFileSystem//AddedItems//FileList";
inline constexpr const wchar_t* kIniModified = L"INIFileSystem//ModifiedItems//FileList";
inline constexpr const wchar_t* kIniDeleted = L"INIFileSystem//DeletedItems//FileList";
inline constexpr const wchar_t* kShortcutList = L"ShortcutList";
inline constexpr const wchar_t* kShortcutIcons = L"ShortcutICONs";
inline constexpr const wchar_t* kProductInformation = L"ProductInformation";

// After the included/excluded split of a change file.
inline constexpr const wchar_t* kIncludedFileAdded = L"FileSystem//Included//FileSystem//AddedItems//DirectoryList";
inline constexpr const wchar_t* kIncludedFileModified = L"FileSystem//Included//FileSystem//ModifiedItems//DirectoryList";
inline constexpr const wchar_t* kIncludedFileDeleted = L"FileSystem//Included//FileSystem//DeletedItems//DirectoryList";
inline constexpr const wchar_t* kExcludedFiles = L"FileSystem//Excluded//DirectoryList";
inline constexpr const wchar_t* kIncludedRegAdded = L"RegistrySystem//Included//RegistrySystem//AddedItems//SubKeyList";
inline constexpr const wchar_t* kIncludedRegModified = L"RegistrySystem//Included//RegistrySystem//ModifiedItems//SubKeyList";
inline constexpr const wchar_t* kIncludedRegDeleted = L"RegistrySystem//Included//RegistrySystem//DeletedItems//SubKeyList";
inline constexpr const wchar_t* kExcludedKeys = L"RegistrySystem//Excluded//SubKeyList";

// The rule file's lists.
inline constexpr const wchar_t* kIncludedFileRules = L"FileSystem//IncludedItems";
inline constexpr const wchar_t* kExcludedFileRules = L"FileSystem//ExcludedItems";
inline constexpr const wchar_t* kIncludedRegistryRules = L"RegistrySystem//IncludedItems";
inline constexpr const wchar_t* kExcludedRegistryRules = L"RegistrySystem//ExcludedItems";
}  // namespace xmlpath
