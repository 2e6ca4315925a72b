#pragma once
#include <map>
#include <string>

// The naming rules of the package builder: which installer folder property a folder token stands
// for, directory identifiers, file keys, and GUID text. One object holds the naming state of one
// build (CMSIHandler owns it and empties it when the build is closed); the property mappings are
// pure functions of the text and of the machine's environment values (EnvironmentValues).
class CPackageNames {
 public:
  enum class FileNameMap { Table, Cabinet };

  // A folder path that an installer property stands for ("%PROGRAMFILES%", "D:", ...) is replaced
  // by the property name; true when it was a root. All tests are case-sensitive.
  //
  // The mapping functions take the package's bitness: on a 64-bit machine the plain names
  // ProgramFilesFolder and SystemFolder are the 32-bit folders ("Program Files (x86)", syswow64),
  // so a 64-bit package names their 64-bit twins instead (see Folder64BitTwin), and names the
  // 32-bit folder "%PROGRAMFILES% (x86)" (the token form of "C:\Program Files (x86)") by the plain
  // ProgramFilesFolder. A 32-bit package knows no such root.
  static bool MapRootComponent(std::wstring& path, bool package64 = false);
  // A folder that has no Directory row of its own: the whole text becomes the property of the
  // first token it contains, or "WindowsVolume" when it is the system drive (any case).
  static void MapFolderToProperty(std::wstring& path, bool package64 = false);
  // The first environment folder found in a registry data text has every occurrence of itself
  // followed by "\" replaced by its property reference ("[ProgramFilesFolder]..."). In a 64-bit
  // package the program-files value followed by " (x86)\" becomes "[ProgramFilesFolder]" first.
  static void SubstituteFolderReferences(std::wstring& text, bool package64 = false);
  // The 64-bit twin of a folder property ("ProgramFilesFolder" -> "ProgramFiles64Folder",
  // "SystemFolder" -> "System64Folder"); nullptr for a property that has none.
  static const wchar_t* Folder64BitTwin(const std::wstring& property);
  // Every reference "[Folder]" in a formatted text to a folder property that has a 64-bit twin
  // becomes "[Twin]" (the targets of the template's custom actions); true when one was changed.
  static bool UseFolder64BitTwins(std::wstring& text);
  // Every character outside A-Z, a-z, 0-9, "_" and "." becomes "_".
  static void SanitizeIdentifier(std::wstring& text);
  // A new random GUID in registry form: braces, upper-case hexadecimal, 38 characters.
  static std::string NewGuidString();

  // Bin, bin, BIN -> Bin, bin1, BIN2 (counted without regard to case). With reserve false the
  // name the next reserving call would hand out is given, and nothing is counted. True when the
  // name had been seen before.
  bool MakeUniqueDirectoryName(std::wstring& name, bool reserve);
  // True when the folder path (exact case) is registered; the identifier is then replaced by the
  // registered one. Otherwise, with insert, the pair is registered.
  bool RegisterDirectory(const std::wstring& folderPath, std::wstring& identifier, bool insert);
  // readme.txt, readme.txt1, readme.txt2 ... per map, exact case.
  void MakeUniqueFileName(std::wstring& name, FileNameMap which);
  // The file key of a file: MakeUniqueFileName then SanitizeIdentifier, except that a key already
  // handed out from the same map (a file really named readme.txt1, or "a b.txt" next to
  // "a_b.txt") is numbered on until it is unique, so that no File row and no cabinet member is
  // lost to a duplicate. Both maps see the same files in the same order and give the same keys.
  std::wstring MakeFileKey(const std::wstring& fileName, FileNameMap which);
  // Whether a packaged file carries exactly this name, and the key of the first one that did.
  bool HasTableFileName(const std::wstring& name) const;
  std::wstring FirstTableFileKey(const std::wstring& name) const;

  // Forgets everything of the last build.
  void Clear();

  const std::map<std::wstring, std::wstring>& directoryIds() const { return directoryIds_; }

 private:
  std::map<std::wstring, std::wstring> directoryIds_;    // DirectoryIds
  std::map<std::wstring, int> directoryNameCounts_;      // DirectoryNameCounts
  std::map<std::wstring, int> tableFileNameCounts_;      // TableFileNameCounts
  std::map<std::wstring, int> cabinetFileNameCounts_;    // CabinetFileNameCounts
  std::map<std::wstring, std::wstring> firstTableKeys_;  // file name -> key of its first file
  std::map<std::wstring, int> usedTableKeys_;
  std::map<std::wstring, int> usedCabinetKeys_;
};

// Counters that run on through every build of one run of the program: numbers only need to be
// unique within one package.
extern int EmptyFolderCounter;   // the number of the next "EMPTYCOMP%d", from 1
extern int FileSequence;         // incremented before use: the File row's Sequence
extern int CabinetFileCount;     // files listed for the cabinet so far: the Media LastSequence
