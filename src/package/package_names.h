#pragma once
#include <map>
#include <set>
#include <string>

// The naming rules of the package builder: which installer folder property a folder token stands
// for, directory identifiers, file keys, and GUID text. One object holds the naming state of one
// build (the builder's MsiBuildState holds it; it is emptied when the build is closed); the
// property mappings are pure functions of the text and of the machine's environment values
// (EnvironmentValues).
class CPackageNames {
 public:
  enum class FileNameMap { Table, Cabinet };

  CPackageNames();

  // Which Windows Installer view a folder or registry key belongs to. A 32-bit item goes into a
  // component without the 64-bit attribute, so that the installer redirects it to the same 32-bit
  // place again (Program Files (x86), syswow64, Wow6432Node); a 64-bit item needs the attribute;
  // a neutral one (profile folders, the Windows folder, HKEY_CURRENT_USER) lands in the same place
  // either way.
  enum class Bitness { Neutral, Bits32, Bits64 };

  // One of the installer's predefined folders (or one the template's custom actions set).
  struct KnownFolder {
    std::wstring property;
    Bitness bitness = Bitness::Neutral;
  };

  // The predefined folder a folder path (token form) is exactly: the program-files, common-files
  // and system folders of both views, the Windows folder and its fonts, the profile folders
  // (LocalAppDataFolder for AppData\Local, AppDataFolder, PersonalFolder, DesktopFolder, the Start
  // Menu folders, QuickLaunchFolder, ...), CommonAppDataFolder, TempFolder. The token must match
  // exactly; the rest of the path is compared without regard to the case of A-Z.
  //
  // `machine64` says how the folders of a 64-bit machine are seen: there "%PROGRAMFILES%" and
  // "%WINDIR%\system32" are the 64-bit folders (ProgramFiles64Folder, System64Folder) and
  // "%PROGRAMFILES% (x86)" and "%WINDIR%\syswow64" the 32-bit ones (ProgramFilesFolder,
  // SystemFolder). Seen as a 32-bit machine, the plain folders are the 32-bit ones.
  static bool FindKnownFolder(const std::wstring& path, bool machine64, KnownFolder& folder);
  // The longest known folder that is the path or contains it (at a "\" boundary); `length` is the
  // number of characters of the path it covers. A drive ("D:") counts as TARGETDIR, neutral.
  static bool FindKnownAncestor(const std::wstring& path, bool machine64, KnownFolder& folder, size_t& length);
  // The bitness of a folder path: that of its longest known ancestor (neutral when none).
  static Bitness FolderBitness(const std::wstring& path, bool machine64);

  // A folder path that an installer property stands for (a known folder, "system32", the system
  // drive or any "D:") is replaced by the property name; true when it was a root.
  static bool MapRootComponent(std::wstring& path, bool machine64 = false);
  // A folder that has no Directory row of its own: the whole text becomes the property of its
  // longest known ancestor, or "WindowsVolume" for "%SYSDRIVE%..." or the system drive (any case).
  static void MapFolderToProperty(std::wstring& path, bool machine64 = false);
  // Every known folder named in a registry data text and followed by "\" becomes its property
  // reference ("C:\Program Files\Vendor" -> "[ProgramFiles64Folder]Vendor" on a 64-bit machine);
  // the longest folder wins, so AppData\Local is never taken for the profile folder. Folder
  // values are compared without regard to the case of A-Z.
  static void SubstituteFolderReferences(std::wstring& text, bool machine64 = false);
  // A captured text as installer Formatted text: with `escape` every "[" and "]" escaped ("[\[]",
  // "[\]]"), and, with `folders`, the folder references of SubstituteFolderReferences put in.
  static std::wstring FormattedText(const std::wstring& text, bool machine64, bool folders, bool escape = true);
  // The 64-bit twin of a folder property ("ProgramFilesFolder" -> "ProgramFiles64Folder",
  // "SystemFolder" -> "System64Folder", "CommonFilesFolder" -> "CommonFiles64Folder"); nullptr for
  // a property that has none.
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
  // name had been seen before. A name handed out already (a folder really named Bin1) is never
  // handed out again, and the names of the template's folders and of the installer's public
  // properties (APPDATA, TARGETDIR, ALLUSERS, ...) count as seen: a folder named AppData becomes
  // AppData1, never the template's APPDATA row.
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
  void ReserveNames();

  std::map<std::wstring, int> directoryNameCounts_;      // DirectoryNameCounts
  std::set<std::wstring> handedDirectoryNames_;          // lower-cased identifiers handed out
  std::map<std::wstring, int> tableFileNameCounts_;      // TableFileNameCounts
  std::map<std::wstring, int> cabinetFileNameCounts_;    // CabinetFileNameCounts
  std::map<std::wstring, std::wstring> firstTableKeys_;  // file name -> key of its first file
  std::map<std::wstring, int> usedTableKeys_;
  std::map<std::wstring, int> usedCabinetKeys_;
};

// Counters that run on through every build of one run of the program: numbers only need to be
// unique within one package.
