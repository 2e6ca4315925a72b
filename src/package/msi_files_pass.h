#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "package/msi_table.h"
#include "package/package_names.h"
#include "project/change_types.h"

class CXMLDocumentHandler;
struct MsiBuildState;

// The directories, files and components pass of the package build: the Directory rows of the
// captured folders (below the installer's predefined folders), an empty added folder's
// CreateFolder row with its component, and for each packageable file its File row with a
// component of its own. It works on one list of folders and files at a time (the added, then the
// modified ones) and remembers, for the build, which folders have rows and which files went into
// the package (the shortcut rows point at them).
class CMsiFilesPass {
 public:
  explicit CMsiFilesPass(MsiBuildState& state) : state_(state) {}
  CMsiFilesPass(const CMsiFilesPass&) = delete;
  CMsiFilesPass& operator=(const CMsiFilesPass&) = delete;

  // Splits a file path of the project at its last "\": the folder and the file name.
  static void SplitFile(const std::wstring& path, std::wstring& folder, std::wstring& name);

  // Reads one list of the project (added or modified files) as the lists to work on; the added
  // list also gives the added folders (an empty one gets a CreateFolder row).
  void ReadLists(const CXMLDocumentHandler& project, const wchar_t* listPath);
  void SetLists(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& files);
  void SetAddedFolders(const FolderFileMap& added) { addedFolders_ = added; }
  const std::vector<std::wstring>& folders() const { return folderList_; }
  const std::vector<std::wstring>& files() const { return fileList_; }

  // Directory rows for folders of the project (token form), once per folder and build.
  void PopulateDirectoryTable(const std::vector<std::wstring>& folders);
  // The component, feature and CreateFolder rows that keep an empty folder.
  void PopulateCreateFolderTable(const MsiRow& directoryRow,
                                 CPackageNames::Bitness bitness = CPackageNames::Bitness::Neutral);
  // What one look at a file (real path) found: whether it goes into the package (not filtered
  // out, installable, a readable file) and its size.
  struct FileLook {
    bool packageable = false;
    std::uint64_t size = 0;
  };
  static FileLook LookAtFile(const std::wstring& realPath);
  static bool IsPackageableFile(const std::wstring& realPath) { return LookAtFile(realPath).packageable; }
  // Looks at every file of the current list, in its order. The looks of a list read by ReadLists
  // are kept for the build, so that its cabinet lines and its File rows see each file once and
  // alike (the cabinet lines and the File rows must number the same files).
  const std::vector<FileLook>& LookAtFiles();
  // File, Component and FeatureComponents rows for the files of the current list.
  void PopulateOtherTables();
  // The Directory_ (or DirProperty, WkDir) value for a folder path of the project: its known
  // folder's property, its registered identifier, or the property of its known ancestor.
  std::string DirectoryColumn(const std::wstring& folder);
  // The same, after giving the folder its Directory rows when it has none yet.
  std::string DirectoryForFolder(const std::wstring& folder);
  // The file key and component of a packaged file (path in token form, any case of A-Z);
  // nullptr when the file is not in the package.
  const std::pair<std::wstring, std::string>* PackagedFile(const std::wstring& path) const;

  // Forgets what the closed build made (its folders' WindowsFolder row and its packaged files).
  void Clear();

 private:
  MsiBuildState& state_;
  std::vector<std::wstring> folderList_;
  std::vector<std::wstring> fileList_;
  // The project list the current lists were read from (empty when set directly), and the looks
  // taken at the files of each list.
  std::wstring listPath_;
  std::map<std::wstring, std::vector<FileLook>> looks_;
  std::vector<FileLook> unkeptLooks_;
  FolderFileMap addedFolders_;
  std::array<std::wstring, 20> PathComponents;
  bool windowsRowDone_ = false;
  // Packaged files: upper-cased path in token form -> file key and component.
  std::map<std::wstring, std::pair<std::wstring, std::string>> packagedFiles_;
};
