#include "package/msi_files_pass.h"

#include <cstdio>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/installable_names.h"
#include "package/msi_build_state.h"
#include "package/project_reader.h"
#include "platform/file_system.h"
#include "project/xml_document_handler.h"

namespace {

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
std::string Upper(const std::wstring& text) { return WideToUtf8(ToUpperUnicode(text)); }

bool IsFilteredOut(const std::wstring& path) {
  return path.find(L".tmp") != std::wstring::npos || path.find(L".lnk") != std::wstring::npos;
}

}  // namespace

void CMsiFilesPass::SplitFile(const std::wstring& path, std::wstring& folder, std::wstring& name) {
  const size_t slash = path.find_last_of(L'\\');
  folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  name = slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void CMsiFilesPass::ReadLists(const CXMLDocumentHandler& project, const wchar_t* listPath) {
  FolderFileMap map;
  project_reader::ReadFolders(project, listPath, folderList_, fileList_, map);
  listPath_ = listPath;
  if (listPath_ == xmlpath::kFileAdded) addedFolders_ = std::move(map);
}

void CMsiFilesPass::SetLists(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& files) {
  folderList_ = folders;
  fileList_ = files;
  listPath_.clear();
}

void CMsiFilesPass::Clear() {
  windowsRowDone_ = false;
  packagedFiles_.clear();
  looks_.clear();
  unkeptLooks_.clear();
}

CMsiFilesPass::FileLook CMsiFilesPass::LookAtFile(const std::wstring& realPath) {
  FileLook look;
  if (IsFilteredOut(realPath) || !IsInstallablePath(realPath)) return look;
  // A folder has no size here (kAccessDenied); a file that cannot be opened is not packaged.
  if (platform::GetFileSize(realPath, look.size) != platform::kSuccess) return look;
  std::FILE* file = platform::OpenFileStream(realPath, "rb");
  if (file == nullptr) return look;
  std::fclose(file);
  look.packageable = true;
  return look;
}

const std::vector<CMsiFilesPass::FileLook>& CMsiFilesPass::LookAtFiles() {
  std::vector<FileLook>& looks = listPath_.empty() ? unkeptLooks_ : looks_[listPath_];
  if (!listPath_.empty() && looks.size() == fileList_.size()) return looks;
  looks.clear();
  looks.reserve(fileList_.size());
  for (const std::wstring& file : fileList_) {
    std::wstring real = file;
    FromTokenForm(real);
    looks.push_back(LookAtFile(real));
  }
  return looks;
}

const std::pair<std::wstring, std::string>* CMsiFilesPass::PackagedFile(const std::wstring& path) const {
  auto packaged = packagedFiles_.find(FoldAsciiUpper(path));
  return packaged == packagedFiles_.end() ? nullptr : &packaged->second;
}

void CMsiFilesPass::PopulateDirectoryTable(const std::vector<std::wstring>& folders) {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulateDirectoryTable");
  CPackageNames& names = state_.names;
  const bool machine64 = state_.machine64;
  if (!windowsRowDone_) {
    std::wstring windir = EnvironmentValues.windir;
    const size_t slash = windir.find_last_of(L'\\');
    MsiRow windowsRow{"WindowsFolder", "TARGETDIR",
                      ".:" + Narrow(slash == std::wstring::npos ? windir : windir.substr(slash + 1))};
    state_.AddRow(DIRECTORY_TABLE, &windowsRow);
    windowsRowDone_ = true;
  }

  for (const std::wstring& folder : folders) {
    if (state_.Cancelled()) return;
    const std::vector<std::wstring> parts = SplitPathComponents(folder);
    for (size_t i = 0; i < PathComponents.size(); ++i) PathComponents[i] = i < parts.size() ? parts[i] : L"";
    std::wstring known;
    if (names.RegisterDirectory(folder, known, false)) continue;
    // A predefined folder itself needs no row: its property is its identifier.
    std::wstring property = folder;
    if (CPackageNames::MapRootComponent(property, machine64)) {
      auto added = addedFolders_.find(folder);
      if (added != addedFolders_.end() && added->second.empty()) {
        MsiRow row{Narrow(property), "", ""};
        PopulateCreateFolderTable(row, CPackageNames::FolderBitness(folder, machine64));
      }
      continue;
    }

    std::wstring current = folder;
    const size_t n = parts.size();
    for (size_t j = n; j-- > 1;) {
      std::wstring parentPath = parts[0];
      for (size_t k = 1; k < j; ++k) parentPath += L"\\" + parts[k];
      const std::wstring& ownName = parts[j];
      std::wstring id = parts[j];
      std::wstring parentId;
      bool stop = false;
      bool root = false;
      names.MakeUniqueDirectoryName(id, true);
      if (CPackageNames::MapRootComponent(parentPath, machine64)) {
        names.RegisterDirectory(current, id, true);
        parentId = parentPath;
        stop = true;
        root = true;
      } else {
        parentId = parts[j - 1];
        names.MakeUniqueDirectoryName(parentId, false);
        names.RegisterDirectory(current, id, true);
        if (names.RegisterDirectory(parentPath, parentId, true)) stop = true;
      }
      MsiRow row{Upper(id), root ? Narrow(parentId) : Upper(parentId), Narrow(ownName)};
      if (j == n - 1) {
        auto added = addedFolders_.find(folder);
        if (added != addedFolders_.end() && added->second.empty())
          PopulateCreateFolderTable(row, CPackageNames::FolderBitness(folder, machine64));
      }
      state_.AddRow(DIRECTORY_TABLE, &row);
      if (!stop && j == 1) {
        // The top of the path is no folder the installer knows: the row's parent would not exist.
        state_.Error("CMSIHandler::PopulateDirectoryTable: the folder " + Narrow(folder) +
                     " lies in no folder the Windows Installer knows (" + Narrow(parts[0]) + ")");
        state_.buildFailed = true;
      }
      if (stop) break;
      current = parentPath;
    }
  }
}

void CMsiFilesPass::PopulateCreateFolderTable(const MsiRow& directoryRow, CPackageNames::Bitness bitness) {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulateCreateFolderTable");
  const std::string name = FormatText("EMPTYCOMP%d", state_.emptyFolderCounter++);
  MsiRow component{name, CPackageNames::NewGuidString(), directoryRow[0], state_.ComponentAttributes(8, bitness)};
  state_.AddRow(COMPONENT_TABLE, &component);
  MsiRow feature{MsiBuildState::kFeature, name};
  state_.AddRow(FEATURE_COMPONENT_TABLE, &feature);
  MsiRow createFolder{directoryRow[0], name};
  state_.AddRow(CREATE_FOLDER_TABLE, &createFolder);
}

void CMsiFilesPass::PopulateOtherTables() {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulateOtherTables");
  const std::vector<FileLook>& looks = LookAtFiles();
  for (size_t index = 0; index < fileList_.size(); ++index) {
    if (state_.Cancelled()) return;
    const std::wstring& file = fileList_[index];
    std::wstring folder;
    std::wstring name;
    SplitFile(file, folder, name);
    std::wstring real = file;
    FromTokenForm(real);
    if (!looks[index].packageable) {
      if (std::string why; !IsInstallablePath(real, &why)) {
        state_.Warn("the file " + Narrow(real) + " is left out: " + why);
      } else if (!IsFilteredOut(real)) {
        // A captured file that is gone would be missing from the package without a word.
        state_.Error("CMSIHandler::PopulateOtherTables: Unable to read the captured file " + Narrow(real));
        state_.buildFailed = true;
      }
      continue;
    }
    const std::wstring key = state_.names.MakeFileKey(name, CPackageNames::FileNameMap::Table);
    const std::string component = Upper(key + L"Comp");
    MsiRow fileRow{Narrow(key), component, Narrow(name), std::to_string(looks[index].size),
                   "",          "",        "16384",      std::to_string(++state_.fileSequence)};
    state_.AddRow(FILE_TABLE, &fileRow);
    packagedFiles_.emplace(FoldAsciiUpper(file), std::make_pair(key, component));

    MsiRow componentRow{component, CPackageNames::NewGuidString(), DirectoryColumn(folder),
                        state_.ComponentAttributes(8, CPackageNames::FolderBitness(folder, state_.machine64))};
    state_.AddRow(COMPONENT_TABLE, &componentRow);
    MsiRow feature{MsiBuildState::kFeature, component};
    state_.AddRow(FEATURE_COMPONENT_TABLE, &feature);
  }
}

std::string CMsiFilesPass::DirectoryColumn(const std::wstring& folder) {
  std::wstring directory = folder;
  if (CPackageNames::MapRootComponent(directory, state_.machine64)) return Narrow(directory);
  if (state_.names.RegisterDirectory(folder, directory, false)) return Upper(directory);
  directory = folder;
  CPackageNames::MapFolderToProperty(directory, state_.machine64);
  return Narrow(directory);
}

std::string CMsiFilesPass::DirectoryForFolder(const std::wstring& folder) {
  PopulateDirectoryTable({folder});
  return DirectoryColumn(folder);
}
