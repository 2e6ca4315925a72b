#include "package/msi_handler.h"

#include <cstdio>
#include <string_view>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "package/installable_names.h"
#include "package/project_path_guard.h"
#include "package/msi_cabinet_pass.h"
#include "package/msi_summary.h"
#include "package/project_reader.h"
#include "package/registry_value_text.h"
#include "platform/cabinet_maker.h"
#include "platform/file_system.h"
#include "platform/machine_arch.h"
#include "platform/registry.h"
#include "project/xml_document_handler.h"

namespace {

constexpr const char* kCabinetName = CMsiCabinetPass::kCabinetName;
constexpr const char* kFeature = "MSIFeature";
// msidbComponentAttributes64bit: the component's registry values go to the native view.
constexpr int kComponent64Bit = 256;

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
std::wstring Wide(const std::string& text) { return Utf8ToWide(text); }
std::string Upper(const std::wstring& text) { return WideToUtf8(ToUpperUnicode(text)); }

bool EqualsAsciiNoCase(const std::string& a, const std::string& b) { return FoldAsciiUpper(a) == FoldAsciiUpper(b); }

// Splits a file path of the project at its last "\": the folder and the file name.
void SplitFile(const std::wstring& path, std::wstring& folder, std::wstring& name) {
  const size_t slash = path.find_last_of(L'\\');
  folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  name = slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool IsFilteredOut(const std::wstring& path) {
  return path.find(L".tmp") != std::wstring::npos || path.find(L".lnk") != std::wstring::npos;
}

using Bitness = CPackageNames::Bitness;

bool StartsWithNoCase(const std::wstring& text, const std::wstring& head) {
  return text.size() >= head.size() && FoldAsciiUpper(text.substr(0, head.size())) == FoldAsciiUpper(head);
}

// Whether `key` is `head` or lies below it.
bool IsKeyOrBelow(const std::wstring& key, const std::wstring& head) {
  return StartsWithNoCase(key, head) && (key.size() == head.size() || key[head.size()] == L'\\');
}

// Where a captured key lies: the key as the package writes it and the view it belongs to. The
// 32-bit view of a 64-bit machine (Wow6432Node) is written without that node by a 32-bit component,
// which the installer redirects there again. On a 64-bit machine the native keys of
// HKEY_LOCAL_MACHINE\Software and the class registrations that have a 32-bit twin are 64-bit; the rest
// (HKEY_CURRENT_USER, file types, System) is the same in both views.
Bitness RegistryPlace(const std::wstring& rootName, std::wstring& key, bool machine64) {
  const bool machine = rootName == L"HKEY_LOCAL_MACHINE";
  const bool classes = rootName == L"HKEY_CLASSES_ROOT";
  if (!machine && !classes) return Bitness::Neutral;
  static const std::wstring kNode = L"Wow6432Node";
  const std::vector<std::wstring> parents =
      classes ? std::vector<std::wstring>{L""} : std::vector<std::wstring>{L"Software\\", L"Software\\Classes\\"};
  for (const std::wstring& parent : parents) {
    const std::wstring node = parent + kNode;
    if (!IsKeyOrBelow(key, node)) continue;
    const std::wstring below = key.size() > node.size() ? key.substr(node.size() + 1) : std::wstring();
    key = parent + below;
    if (!key.empty() && key.back() == L'\\') key.pop_back();
    return Bitness::Bits32;
  }
  // Class registrations: only these have a 32-bit twin; file types and the like are shared.
  std::wstring classKey;
  if (classes) {
    classKey = key;
  } else if (IsKeyOrBelow(key, L"Software\\Classes")) {
    classKey = key.size() > 17 ? key.substr(17) : std::wstring();
  } else if (!IsKeyOrBelow(key, L"Software")) {
    return Bitness::Neutral;
  }
  if (classes || IsKeyOrBelow(key, L"Software\\Classes")) {
    bool redirected = false;
    for (const wchar_t* twin : {L"CLSID", L"Interface", L"TypeLib", L"AppID"})
      if (IsKeyOrBelow(classKey, twin)) redirected = true;
    if (!redirected) return Bitness::Neutral;
  }
  return machine64 ? Bitness::Bits64 : Bitness::Bits32;
}

// The root name and the key below it of a captured key path. A path still in the key-line form of
// a snapshot ("[HKEY_...\\...]") loses its enclosing brackets; brackets inside key names stay.
void SplitKeyPath(const std::wstring& path, std::wstring& rootName, std::wstring& key) {
  std::wstring text = path;
  if (text.size() >= 2 && text.front() == L'[' && text.back() == L']') text = text.substr(1, text.size() - 2);
  const size_t slash = text.find(L'\\');
  rootName = text.substr(0, slash);
  key = slash == std::wstring::npos ? std::wstring() : text.substr(slash + 1);
}

std::wstring UnquotedName(const std::wstring& valueName) {
  std::wstring name = valueName;
  if (!name.empty()) name.pop_back();
  if (!name.empty()) name.erase(0, 1);
  return name;
}

}  // namespace

CMSIHandler::CMSIHandler(const CWorkContext& context) : context_(context) {}

CMSIHandler::~CMSIHandler() {
  if (database_ || logger_ != nullptr) CloseDatabase();
}

void CMSIHandler::Error(const std::string& message) {
  if (logger_ != nullptr) logger_->Write(2, message);
  errors_.push_back(message);
}

void CMSIHandler::Warn(const std::string& message) {
  if (logger_ != nullptr) logger_->Write(2, "CMSIHandler warning: " + message);
  warnings_.push_back(message);
  errors_.push_back("warning: " + message);
}

std::string CMSIHandler::PackageFolder() const {
  if (EqualsAsciiNoCase(outputFolder_, context_.ProgramFolder)) return outputFolder_ + "\\Packages";
  return outputFolder_;
}

std::string CMSIHandler::DiskDirectory() const { return PackageFolder(); }

std::string CMSIHandler::ComponentAttributes(int attributes, Bitness bitness) const {
  return std::to_string(package64_ && bitness != Bitness::Bits32 ? attributes | kComponent64Bit : attributes);
}

void CMSIHandler::DecideBitness() {
  switch (bitnessChoice_) {
    case PackageBitness::Bits32: machine64_ = false; package64_ = false; return;
    case PackageBitness::Bits64: machine64_ = true; package64_ = true; return;
    case PackageBitness::FromContent: break;
  }
  machine64_ = platform::MachineIs64Bit();
  package64_ = false;
  if (!machine64_) return;
  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  FolderFileMap map;
  for (const wchar_t* list : {xmlpath::kFileAdded, xmlpath::kFileModified}) {
    project_reader::ReadFolders(*project_, list, folders, files, map);
    for (const std::wstring& folder : folders)
      if (CPackageNames::FolderBitness(folder, true) == Bitness::Bits64) package64_ = true;
  }
  std::vector<RegValueRecord> entries;
  for (const wchar_t* list : {xmlpath::kRegAdded, xmlpath::kRegModified}) {
    project_reader::ReadRegistry(*project_, list, entries);
    for (const RegValueRecord& entry : entries) {
      if (entry.valueName.empty() && entry.typeName.empty()) continue;
      std::wstring rootName;
      std::wstring key;
      SplitKeyPath(entry.key, rootName, key);
      if (RegistryPlace(rootName, key, true) == Bitness::Bits64) package64_ = true;
    }
  }
}

int CMSIHandler::Initialize(const char* outputFolder, const char* projectFilePath, const char* packageFileName) {
  errors_.clear();
  cancelNoted_ = false;
  warnings_.clear();
  refusedRows_ = 0;
  buildFailed_ = false;
  built_ = false;
  emptyFolderCounter_ = 1;
  fileSequence_ = 0;
  cabinetFileCount_ = 0;
  outputFolder_ = outputFolder != nullptr && *outputFolder != '\0' ? std::string(outputFolder) : context_.OutputFolder;
  packageFileName_ =
      packageFileName != nullptr && *packageFileName != '\0' ? std::string(packageFileName) : context_.PackageFileName;

  const std::string temp = context_.WorkFolder + "\\Temp";
  cabinet_.Prepare(temp, DiskDirectory());

  if (logger_ == nullptr) logger_ = CLogger::GetInstance();

  const std::string projectPath = projectFilePath != nullptr ? projectFilePath : "";
  project_ = std::make_unique<CXMLDocumentHandler>();
  if (project_->Load(Wide(projectPath)) != 1) {
    Error("CMSIHandler::Initialize: Unable to load Project File");
    errors_.back() += " " + projectPath + " (it is missing or is not a well-formed project file)";
    CloseDatabase();
    return 0;
  }
  project_reader::ReadProductInfo(*project_, product_);
  // Nothing is read or written for a project that points outside its own places.
  if (!RefuseUnsafePlaces(FindUnsafeProjectPlaces(*project_, packageFileName_.empty()))) return 0;
  DecideBitness();
  logger_->Write(1, package64_ ? "CMSIHandler::Initialize: building a 64-bit package"
                               : "CMSIHandler::Initialize: building a 32-bit package");
  if (packageFileName_.empty()) packageFileName_ = Narrow(product_.applicationName);
  if (packageFileName_.empty()) {
    Error("CMSIHandler::Initialize: No package file name: the project names no product and none was given");
    CloseDatabase();
    return 0;
  }
  packagePath_ = PackageFolder() + "\\" + packageFileName_;
  buildPath_ = packagePath_ + ".partial";
  templatePath_ = context_.ProgramFolder + "\\Blank.msi";

  if (!CopyTemplate()) {
    CloseDatabase();
    return 0;
  }
  if (!cabinet_.WriteBatchFile()) {
    Error("CMSIHandler::Initialize: Unable to create batch file");
    errors_.back() += " " + cabinet_.batchPath();
    CloseDatabase();
    return 0;
  }
  database_ = std::make_unique<platform::InstallerDatabase>();
  if (database_->Open(Wide(buildPath_)) != platform::kSuccess) {
    Error("CMSIHandler::Initialize: Unable to Open MSI File");
    errors_.back() += " " + buildPath_ + ": " + database_->lastError();
    CloseDatabase();
    return 0;
  }
  projectLoaded_ = 1;
  return 1;
}

bool CMSIHandler::RefuseUnsafePlaces(const std::vector<std::string>& problems) {
  if (problems.empty()) return true;
  for (const std::string& problem : problems) Error("CMSIHandler::Initialize: " + problem);
  CloseDatabase();
  return false;
}

PackageBuildResult CMSIHandler::Build(const char* outputFolder, const char* projectFilePath,
                                      const char* packageFileName) {
  PackageBuildResult result;
  int status = Initialize(outputFolder, projectFilePath, packageFileName);
  result.initialized = status == 1;
  if (status == 1) {
    status = BuildMSI();
    CloseDatabase();
  }
  result.built = status == 1;
  result.packagePath = packagePath_;
  result.refusedRows = refusedRows_;
  result.errors = errors_;
  return result;
}

bool CMSIHandler::CopyTemplate() {
  // The template is copied whole, whatever its size; the copy is a new file of this build (not
  // the template's permissions).
  platform::MappedFile in;
  if (in.Open(Wide(templatePath_)) != platform::kSuccess) {
    Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", templatePath_.c_str()));
    return false;
  }
  // The ".partial" file is this build's own scratch copy, which becomes the package only by the
  // final rename: it is written in place, so a build interrupted here leaves nothing but that one
  // name, which the next build overwrites.
  std::FILE* out = platform::OpenFileStream(Wide(buildPath_), "wb");
  bool written = out != nullptr;
  if (written && in.size() > 0) written = std::fwrite(in.data(), 1, static_cast<size_t>(in.size()), out) == in.size();
  if (out != nullptr && std::fclose(out) != 0) written = false;
  if (!written) {
    Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", buildPath_.c_str()));
    DiscardPackage();
    return false;
  }
  return true;
}

void CMSIHandler::SetCurrentLists(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& files) {
  folderList_ = folders;
  fileList_ = files;
}

void CMSIHandler::ReadFileList(const wchar_t* listPath) {
  FolderFileMap map;
  project_reader::ReadFolders(*project_, listPath, folderList_, fileList_, map);
  if (std::wstring(listPath) == xmlpath::kFileAdded) addedFolders_ = std::move(map);
}

int CMSIHandler::BuildMSI() {
  CTraceScope trace(logger_, "CMSIHandler::BuildMSI");
  if (projectLoaded_ != 1 || !database_) {
    Error("CMSIHandler::BuildMSI: XML not loaded");
    DiscardPackage();
    return 0;
  }
  if (!cabinet_.StartDirectiveFile()) {
    Error("CMSIHandler::BuildMSI: Unable to Open DDF File");
    errors_.back() += " " + cabinet_.directivePath();
    database_->Close();
    DiscardPackage();
    return 0;
  }

  BuildStatusText.Set(MessageText(178));
  ReadFileList(xmlpath::kFileAdded);
  MakeDDFFile();
  PopulateDirectoryTable(folderList_);
  PopulateOtherTables();

  ReadFileList(xmlpath::kFileModified);
  BuildStatusText.Set(MessageText(137));
  MakeDDFFile();
  PopulateDirectoryTable(folderList_);
  PopulateOtherTables();
  if (Cancelled()) return AbandonBuild();
  if (!cabinet_.WriteDirectiveFile()) {
    Error("CMSIHandler::BuildMSI: Unable to write the DDF File " + cabinet_.directivePath());
    buildFailed_ = true;
  }

  BuildStatusText.Set(MessageText(138));
  ProgressCounter = 0;
  bool haveCabinet = false;
  if (cabinet_.lines() > 0 && !buildFailed_) haveCabinet = CreateCABFile() == 1;
  BuildStatusText.Set(MessageText(139));
  ProgressCounter = 1;
  if (Cancelled()) return AbandonBuild();

  PopulatePropertyTable();

  BuildStatusText.Set(MessageText(140));
  MsiRow media{"1", std::to_string(cabinetFileCount_), std::string("#") + kCabinetName};
  PopulateMSITable(MEDIA_TABLE, &media);

  BuildStatusText.Set(MessageText(141));
  project_reader::ReadRegistry(*project_, xmlpath::kRegAdded, registryEntries_);
  PopulateRegistryTables();
  project_reader::ReadRegistry(*project_, xmlpath::kRegModified, registryEntries_);
  PopulateRegistryTables();
  if (Cancelled()) return AbandonBuild();

  BuildStatusText.Set(MessageText(142));
  project_reader::ReadShortcuts(*project_, shortcuts_);
  PopulateShortcutTables();

  BuildStatusText.Set(MessageText(143));
  PopulateINIAndRemoveINITable();

  BuildStatusText.Set(MessageText(144));
  const std::string title = Narrow(product_.applicationName) + "_" + Narrow(product_.version);
  SetSummaryInformation(title, title, "",
                        "MSI created with the Corvane Repackager.\nRecipe File Version = '1.1' Corvane Repackager "
                        "Version = '1.2'\n");

  if (package64_) UseFolder64BitTwinsInCustomActions();
  if (!FlushTables()) buildFailed_ = true;
  if (Cancelled()) return AbandonBuild();

  if (haveCabinet) {
    if (database_->InsertStream(kCabinetName, Wide(cabinet_.cabinetPath())) != platform::kSuccess) {
      Error(FormatText("CMSIHandler::BuildMSI:Unable to set MsiRecordSetStream for %s",
                       cabinet_.cabinetPath().c_str()));
      errors_.back() += ": " + database_->lastError();
      buildFailed_ = true;
    }
    cabinet_.RemoveCabinet();
  }

  if (database_->Commit() != platform::kSuccess) {
    Error("CMSIHandler::BuildMSI: Unable to commit the package " + buildPath_ + ": " + database_->lastError());
    buildFailed_ = true;
  }
  database_->Close();
  database_.reset();
  BuildStatusText.Clear();

  if (buildFailed_) {
    DiscardPackage();
    return 0;
  }
  return FinishPackage() ? 1 : 0;
}

bool CMSIHandler::Cancelled() {
  if (!CancelRequest.IsRequested()) return false;
  if (!cancelNoted_) {
    Error("CMSIHandler::BuildMSI: the build was cancelled; no package was written");
    cancelNoted_ = true;
  }
  buildFailed_ = true;
  return true;
}

int CMSIHandler::AbandonBuild() {
  if (database_) {
    database_->Close();
    database_.reset();
  }
  cabinet_.Clear();
  cabinet_.RemoveCabinet();
  BuildStatusText.Clear();
  DiscardPackage();
  return 0;
}

bool CMSIHandler::FinishPackage() {
  const platform::Status status = platform::RenameFile(Wide(buildPath_), Wide(packagePath_));
  if (status != platform::kSuccess) {
    Error(FormatText("CMSIHandler::BuildMSI: Unable to move the package into place %s (status %ld)",
                     packagePath_.c_str(), static_cast<long>(status)));
    DiscardPackage();
    return false;
  }
  built_ = true;
  return true;
}

void CMSIHandler::DiscardPackage() {
  if (buildPath_.empty()) return;
  platform::RemoveFile(Wide(buildPath_));
}

int CMSIHandler::CloseDatabase() {
  if (database_) {
    database_->Commit();
    database_->Close();
    database_.reset();
  }
  cabinet_.Clear();
  if (!built_) DiscardPackage();
  names_.Clear();
  iconIds_.clear();
  registryRowCounter_ = 0;
  iniFileRowCounter_ = 1;
  removeIniFileRowCounter_ = 1;
  tables_.clear();
  windowsRowDone_ = false;
  registryComponents_.clear();
  packagedFiles_.clear();
  removedFolders_.clear();
  projectLoaded_ = 0;
  project_.reset();
  if (logger_ != nullptr) {
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
  }
  return 1;
}

int CMSIHandler::MakeDDFFile() {
  CTraceScope trace(logger_, "CMSIHandler::MakeDDFFile");
  if (logger_ != nullptr)
    logger_->Write(1, FormatText("CMSIHandler::MakeDDFFile: Size of file vector %d", static_cast<int>(fileList_.size())));
  for (const std::wstring& file : fileList_) {
    std::wstring real = file;
    FromTokenForm(real);
    if (!IsPackageableFile(real)) continue;
    std::wstring folder;
    std::wstring name;
    SplitFile(file, folder, name);
    const std::wstring key = names_.MakeFileKey(name, CPackageNames::FileNameMap::Cabinet);
    cabinet_.AddFile(Narrow(real), Narrow(key));
  }
  cabinetFileCount_ += static_cast<int>(fileList_.size());
  return 1;
}

int CMSIHandler::CreateCABFile() {
  CTraceScope trace(logger_, "CMSIHandler::CreateCABFile");
  RunBatchFile(Wide(context_.WorkFolder + "\\Temp"), cabinet_.batchPath().c_str());
  return cabinet_.CabinetExists() ? 1 : 0;
}

void CMSIHandler::RunBatchFile(const std::wstring& workingFolder, const char* batchPath) {
  (void)workingFolder;  // the cabinet maker works from the directive file's own folder
  if (batchPath == nullptr || *batchPath == '\0') return;
  if (logger_ != nullptr) logger_->Write(1, "CMSIHandler::RunBatchFile: Before Wait for child process exits");
  const platform::Status status = cabinet_.MakeCabinet(batchPath);
  if (logger_ != nullptr) logger_->Write(1, "CMSIHandler::RunBatchFile: Child process exits");
  if (status != platform::kSuccess) {
    Error(FormatText("CMSIHandler::RunBatchFile: the cabinet maker failed with status %ld on %s", status,
                     cabinet_.directivePath().c_str()));
    buildFailed_ = true;
  }
}

void CMSIHandler::SetSummaryInformation(const std::string& title, const std::string& subject,
                                        const std::string& author, const std::string& comments) {
  if (!database_) return;
  const CMsiSummary::Result written = CMsiSummary::Write(*database_, {title, subject, author, comments}, package64_);
  for (const std::string& error : written.errors) Error(error);
  if (written.failed) buildFailed_ = true;
}

CMsiTable* CMSIHandler::Table(uint32_t kind) {
  auto found = tables_.find(kind);
  if (found != tables_.end()) return found->second.get();
  std::unique_ptr<CMsiTable> table = CMsiTable::Create(kind);
  if (!table) return nullptr;
  table->SetBulkRows(bulkRows_);
  CMsiTable* raw = table.get();
  tables_.emplace(kind, std::move(table));
  return raw;
}

int CMSIHandler::PopulateMSITable(uint32_t kind, const MsiRow* row) {
  CTraceScope trace(logger_, "CMSIHandler::PopulateMSITable");
  if (row == nullptr || !database_) return 1;
  CMsiTable* table = Table(kind);
  if (table == nullptr) return 1;
  if (logger_ != nullptr && *CMsiTable::EntryTag(kind) != '\0')
    logger_->Write(1, std::string("CMSIHandler::PopulateMSITable : ") + CMsiTable::EntryTag(kind));
  std::string reason;
  if (table->Add(*database_, *row, reason)) return 1;

  // The builder inserts its fixed rows (WindowsFolder, the registry components) once per build,
  // so no refusal is expected: a refused row would be missing from the package, and the build
  // fails naming it.
  std::string fields;
  for (const std::string& field : *row) fields += (fields.empty() ? "'" : ",'") + field + "'";
  std::string key = row->empty() ? std::string() : row->front();
  if ((kind == FEATURE_COMPONENT_TABLE || kind == CREATE_FOLDER_TABLE) && row->size() > 1) key += "/" + (*row)[1];
  const std::string detail =
      FormatText("CMSIHandler::PopulateMSITable: %s: the %s row %s was refused: %s (fields %s)",
                 CMsiTable::ErrorTag(kind), table->name().c_str(), key.c_str(), reason.c_str(), fields.c_str());
  if (kind == FILE_TABLE && logger_ != nullptr) logger_->Write(2, "Failed to exec MSI view");
  Error(detail);
  ++refusedRows_;
  buildFailed_ = true;
  return 1;
}

bool CMSIHandler::FlushTables() {
  bool ok = true;
  const std::wstring scratch = Wide(context_.WorkFolder + "\\Temp");
  for (auto& [kind, table] : tables_) {
    if (Cancelled()) return false;
    std::string error;
    if (table->Flush(*database_, scratch, error) != platform::kSuccess) {
      Error(FormatText("Error- Function: CMSIHandler::PopulateMSITable, Table: %s, %s", CMsiTable::ErrorTag(kind),
                       error.c_str()));
      ok = false;
    }
  }
  return ok;
}

void CMSIHandler::PopulateDirectoryTable(const std::vector<std::wstring>& folders) {
  CTraceScope trace(logger_, "CMSIHandler::PopulateDirectoryTable");
  if (!windowsRowDone_) {
    std::wstring windir = EnvironmentValues.windir;
    const size_t slash = windir.find_last_of(L'\\');
    MsiRow windowsRow{"WindowsFolder", "TARGETDIR",
                      ".:" + Narrow(slash == std::wstring::npos ? windir : windir.substr(slash + 1))};
    PopulateMSITable(DIRECTORY_TABLE, &windowsRow);
    windowsRowDone_ = true;
  }

  for (const std::wstring& folder : folders) {
    if (Cancelled()) return;
    const std::vector<std::wstring> parts = SplitPathComponents(folder);
    for (size_t i = 0; i < PathComponents.size(); ++i) PathComponents[i] = i < parts.size() ? parts[i] : L"";
    std::wstring known;
    if (names_.RegisterDirectory(folder, known, false)) continue;
    // A predefined folder itself needs no row: its property is its identifier.
    std::wstring property = folder;
    if (CPackageNames::MapRootComponent(property, machine64_)) {
      auto added = addedFolders_.find(folder);
      if (added != addedFolders_.end() && added->second.empty()) {
        MsiRow row{Narrow(property), "", ""};
        PopulateCreateFolderTable(row, CPackageNames::FolderBitness(folder, machine64_));
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
      names_.MakeUniqueDirectoryName(id, true);
      if (CPackageNames::MapRootComponent(parentPath, machine64_)) {
        names_.RegisterDirectory(current, id, true);
        parentId = parentPath;
        stop = true;
        root = true;
      } else {
        parentId = parts[j - 1];
        names_.MakeUniqueDirectoryName(parentId, false);
        names_.RegisterDirectory(current, id, true);
        if (names_.RegisterDirectory(parentPath, parentId, true)) stop = true;
      }
      MsiRow row{Upper(id), root ? Narrow(parentId) : Upper(parentId), Narrow(ownName)};
      if (j == n - 1) {
        auto added = addedFolders_.find(folder);
        if (added != addedFolders_.end() && added->second.empty())
          PopulateCreateFolderTable(row, CPackageNames::FolderBitness(folder, machine64_));
      }
      PopulateMSITable(DIRECTORY_TABLE, &row);
      if (!stop && j == 1) {
        // The top of the path is no folder the installer knows: the row's parent would not exist.
        Error("CMSIHandler::PopulateDirectoryTable: the folder " + Narrow(folder) +
              " lies in no folder the Windows Installer knows (" + Narrow(parts[0]) + ")");
        buildFailed_ = true;
      }
      if (stop) break;
      current = parentPath;
    }
  }
}

void CMSIHandler::PopulateCreateFolderTable(const MsiRow& directoryRow, Bitness bitness) {
  CTraceScope trace(logger_, "CMSIHandler::PopulateCreateFolderTable");
  const std::string name = FormatText("EMPTYCOMP%d", emptyFolderCounter_++);
  MsiRow component{name, CPackageNames::NewGuidString(), directoryRow[0], ComponentAttributes(8, bitness)};
  PopulateMSITable(COMPONENT_TABLE, &component);
  MsiRow feature{kFeature, name};
  PopulateMSITable(FEATURE_COMPONENT_TABLE, &feature);
  MsiRow createFolder{directoryRow[0], name};
  PopulateMSITable(CREATE_FOLDER_TABLE, &createFolder);
}

bool CMSIHandler::IsPackageableFile(const std::wstring& realPath) {
  if (IsFilteredOut(realPath) || !IsInstallablePath(realPath)) return false;
  return IsReadableFile(realPath);
}

void CMSIHandler::PopulateOtherTables() {
  CTraceScope trace(logger_, "CMSIHandler::PopulateOtherTables");
  for (const std::wstring& file : fileList_) {
    if (Cancelled()) return;
    std::wstring folder;
    std::wstring name;
    SplitFile(file, folder, name);
    std::wstring real = file;
    FromTokenForm(real);
    if (!IsPackageableFile(real)) {
      if (std::string why; !IsInstallablePath(real, &why)) {
        Warn("the file " + Narrow(real) + " is left out: " + why);
      } else if (!IsFilteredOut(real)) {
        // A captured file that is gone would be missing from the package without a word.
        Error("CMSIHandler::PopulateOtherTables: Unable to read the captured file " + Narrow(real));
        buildFailed_ = true;
      }
      continue;
    }
    const std::wstring key = names_.MakeFileKey(name, CPackageNames::FileNameMap::Table);
    const std::string component = Upper(key + L"Comp");
    uint64_t size = 0;
    const bool sized = platform::GetFileSize(real, size) == platform::kSuccess;
    MsiRow fileRow{Narrow(key), component, Narrow(name), sized ? std::to_string(size) : "0",
                   "",          "",        "16384",      std::to_string(++fileSequence_)};
    PopulateMSITable(FILE_TABLE, &fileRow);
    packagedFiles_.emplace(FoldAsciiUpper(file), std::make_pair(key, component));

    MsiRow componentRow{component, CPackageNames::NewGuidString(), DirectoryColumn(folder),
                        ComponentAttributes(8, CPackageNames::FolderBitness(folder, machine64_))};
    PopulateMSITable(COMPONENT_TABLE, &componentRow);
    MsiRow feature{kFeature, component};
    PopulateMSITable(FEATURE_COMPONENT_TABLE, &feature);
  }
}

std::string CMSIHandler::DirectoryColumn(const std::wstring& folder) {
  std::wstring directory = folder;
  if (CPackageNames::MapRootComponent(directory, machine64_)) return Narrow(directory);
  if (names_.RegisterDirectory(folder, directory, false)) return Upper(directory);
  directory = folder;
  CPackageNames::MapFolderToProperty(directory, machine64_);
  return Narrow(directory);
}

std::string CMSIHandler::DirectoryForFolder(const std::wstring& folder) {
  PopulateDirectoryTable({folder});
  return DirectoryColumn(folder);
}

std::string CMSIHandler::RegistryComponent(Bitness bitness) {
  // In a 64-bit package the 32-bit values have a component of their own, without the 64-bit
  // attribute; everything else shares REGDIFFCOMP, which the template binds to the feature.
  const bool own32 = package64_ && bitness == Bitness::Bits32;
  const std::string name = own32 ? "REGDIFFCOMP32" : "REGDIFFCOMP";
  if (registryComponents_.insert(name).second) {
    const std::string folder = own32 ? "ProgramFilesFolder" : package64_ ? "ProgramFiles64Folder" : "ProgramFilesFolder";
    MsiRow component{name, CPackageNames::NewGuidString(), folder, ComponentAttributes(8, bitness)};
    PopulateMSITable(COMPONENT_TABLE, &component);
    if (own32) {
      MsiRow feature{kFeature, name};
      PopulateMSITable(FEATURE_COMPONENT_TABLE, &feature);
    }
  }
  return name;
}

void CMSIHandler::PopulateRegistryTables() {
  CTraceScope trace(logger_, "CMSIHandler::PopulateRegistryTables");
  RegistryComponent(Bitness::Neutral);

  for (RegValueRecord& entry : registryEntries_) {
    if (Cancelled()) return;
    const std::string identifier = FormatText("CorvaneRegistry%d", registryRowCounter_++);
    if (entry.typeName.empty() && entry.valueName.empty()) continue;

    std::wstring rootName;
    std::wstring keyPath;
    SplitKeyPath(entry.key, rootName, keyPath);
    const std::wstring valueName = UnquotedName(entry.valueName);

    std::string root;
    if (rootName == L"HKEY_CLASSES_ROOT") root = "0";
    else if (rootName == L"HKEY_CURRENT_USER") root = "1";
    else if (rootName == L"HKEY_LOCAL_MACHINE") root = "2";
    else if (rootName == L"HKEY_USERS") root = "3";
    if (root.empty()) {
      Warn("the registry value " + Narrow(valueName) + " of " + Narrow(entry.key) +
           " is left out: the installer's Registry table cannot write below " + Narrow(rootName));
      continue;
    }

    if (QueryKey(rootName, entry) != 0) continue;
    const Bitness bitness = RegistryPlace(rootName, keyPath, machine64_);
    MsiRow row{identifier,
               root,
               Narrow(CRegistryValueText::FormatKey(keyPath)),
               Narrow(CRegistryValueText::FormatName(valueName)),
               Narrow(entry.extra),
               RegistryComponent(bitness)};
    PopulateMSITable(REGISTRY_TABLE, &row);
  }
}

long CMSIHandler::QueryKey(const std::wstring& rootName, RegValueRecord& entry) {
  entry.extra.clear();
  std::wstring ignored;
  std::wstring keyPath;
  SplitKeyPath(entry.key, ignored, keyPath);
  const std::wstring valueName = UnquotedName(entry.valueName);
  const std::string shown = Narrow(valueName.empty() ? L"(default)" : valueName) + " of " + Narrow(rootName) + "\\" +
                            Narrow(keyPath);

  auto root = RootKeyTable.find(rootName);
  platform::RegistryKey key;
  if (root == RootKeyTable.end() || key.Open(root->second, keyPath) != platform::kSuccess) {
    if (logger_ != nullptr)
      logger_->Write(2, FormatText("CMSIHandler::QueryKey Unable to Open %s\\%s", Narrow(rootName).c_str(),
                                   Narrow(keyPath).c_str()));
    Warn("the registry value " + shown + " is left out: the key is not on this machine");
    return 1;
  }
  // The value is packaged with the type it has now; the project's type name only names the five
  // common types, and a value may have been rewritten with another.
  uint32_t type = 0;
  std::vector<uint8_t> data;
  const platform::Status status = key.QueryValue(valueName, type, data);
  key.Close();
  if (status != platform::kSuccess) {
    Warn(FormatText("the registry value %s is left out: it cannot be read on this machine (status %ld)", shown.c_str(),
                    status));
    return status;
  }
  std::string warning;
  if (!CRegistryValueText::Format(type, data, machine64_, entry.extra, warning))
    Warn("the registry value " + shown + " " + warning);
  if (entry.extra.size() > CMsiTable::kMaxTextBytes) {
    Warn("the registry value " + shown + " is left out: its data (" + std::to_string(data.size()) +
         " bytes) is too long for the package's Registry table (at most " +
         std::to_string(CMsiTable::kMaxTextBytes) + " characters of text)");
    return 1;
  }
  return 0;
}

void CMSIHandler::PopulateINIAndRemoveINITable() {
  CTraceScope trace(logger_, "CMSIHandler::PopulateINIAndRemoveINITable");
  MsiRow component{"INIHANDLECOMP", CPackageNames::NewGuidString(), "INSTALLDIR", ComponentAttributes(0)};
  PopulateMSITable(COMPONENT_TABLE, &component);

  INIFileMap added;
  INIFileMap modified;
  INIFileMap deleted;
  project_reader::ReadIni(*project_, xmlpath::kIniAdded, added);
  project_reader::ReadIni(*project_, xmlpath::kIniModified, modified);
  project_reader::ReadIni(*project_, xmlpath::kIniDeleted, deleted);

  std::vector<std::wstring> folders;
  for (const INIFileMap* map : {&added, &modified, &deleted}) {
    for (const auto& [path, entries] : *map) {
      std::wstring folder;
      std::wstring name;
      SplitFile(path, folder, name);
      folders.push_back(folder);
    }
  }
  PopulateDirectoryTable(folders);

  auto writeRows = [this](const INIFileMap& map, bool remove) {
    for (const auto& [path, entries] : map) {
      std::wstring folder;
      std::wstring name;
      SplitFile(path, folder, name);
      const std::string dirProperty = DirectoryColumn(folder);
      for (const INIEntry& entry : entries) {
        // The value keeps its single quotes: it is bound as a parameter. Section, key and value
        // are Formatted text: their brackets are escaped, or "[x]" would be read as a property.
        const int number = remove ? removeIniFileRowCounter_++ : iniFileRowCounter_++;
        auto text = [](const std::wstring& captured) {
          return Narrow(CPackageNames::FormattedText(captured, false, false));
        };
        MsiRow row{FormatText("INIFile%d", number), Narrow(name),     dirProperty,  text(entry.Section),
                   text(entry.Key),                 text(entry.Value), remove ? "2" : "0", "INIHANDLECOMP"};
        PopulateMSITable(remove ? REMOVE_INI_FILE_TABLE : INI_FILE_TABLE, &row);
      }
    }
  };
  writeRows(added, false);
  writeRows(modified, false);
  writeRows(deleted, true);
}

void CMSIHandler::PopulateShortcutTables() {
  CTraceScope trace(logger_, "CMSIHandler::PopulateShortcutTables");
  int number = 0;
  for (const ShortcutRecord& shortcut : shortcuts_) {
    const int index = number++;
    const std::string name = Narrow(shortcut.name);
    std::string target;
    std::string component;
    if (!shortcut.target.empty()) {
      auto packaged = packagedFiles_.find(FoldAsciiUpper(shortcut.target));
      if (packaged != packagedFiles_.end()) {
        target = "[#" + Narrow(packaged->second.first) + "]";
        component = packaged->second.second;
      } else {
        // A target outside the package: the shortcut points at that path, through the folder
        // property of the machine it is installed on where it has one.
        std::wstring real = shortcut.target;
        FromTokenForm(real);
        target = Narrow(CPackageNames::FormattedText(real, machine64_, true));
      }
    } else if (names_.HasTableFileName(shortcut.exeName)) {
      // A project of an older form names the target by its file name: the first packaged file of
      // that name.
      const std::wstring key = names_.FirstTableFileKey(shortcut.exeName);
      target = "[#" + Narrow(key) + "]";
      component = Upper(key + L"Comp");
    } else {
      Warn("the shortcut " + name + " is left out: no packaged file is named " + Narrow(shortcut.exeName));
      continue;
    }

    const std::string directory =
        shortcut.folder.empty() ? Narrow(shortcut.directory) : DirectoryForFolder(shortcut.folder);
    if (component.empty()) {
      // A shortcut to a path outside the package has a component of its own, in its folder.
      component = FormatText("SHORTCUT%dCOMP", index);
      MsiRow row{component, CPackageNames::NewGuidString(), directory, ComponentAttributes(8)};
      PopulateMSITable(COMPONENT_TABLE, &row);
      MsiRow feature{kFeature, component};
      PopulateMSITable(FEATURE_COMPONENT_TABLE, &feature);
    }
    const std::string workingFolder =
        shortcut.workingFolder.empty() ? std::string() : DirectoryForFolder(shortcut.workingFolder);

    // The folders the shortcut's own folder adds below a predefined one (a Start Menu subfolder)
    // go again on uninstall, when nothing else is left in them.
    if (!shortcut.folder.empty()) {
      CPackageNames::KnownFolder known;
      size_t length = 0;
      if (CPackageNames::FindKnownAncestor(shortcut.folder, machine64_, known, length)) {
        for (std::wstring level = shortcut.folder; level.size() > length;
             level = level.substr(0, level.find_last_of(L'\\'))) {
          if (!removedFolders_.insert(FoldAsciiUpper(level)).second) continue;
          MsiRow remove{FormatText("RemoveFolder%d", static_cast<int>(removedFolders_.size())), component, "",
                        DirectoryColumn(level), "2"};
          PopulateMSITable(REMOVE_FILE_TABLE, &remove);
        }
      }
    }

    MsiRow row{FormatText("Shortcut%d", index),
               directory,
               name,
               component,
               target,
               Narrow(CPackageNames::FormattedText(shortcut.arguments, machine64_, true)),
               Narrow(shortcut.description),
               Narrow(shortcut.hotkey),
               GetIconId(shortcut.icon),
               Narrow(shortcut.iconIndex),
               Narrow(shortcut.showCommand),
               workingFolder};
    PopulateMSITable(SHORTCUT_TABLE, &row);
  }
}

std::string CMSIHandler::GetIconId(const std::wstring& iconPath) {
  if (iconPath.empty()) return std::string();
  auto found = iconIds_.find(iconPath);
  if (found != iconIds_.end()) return found->second > 0 ? FormatText("Icon%d", found->second) : std::string();
  if (!IsReadableFile(iconPath)) {
    // The shortcut keeps the target's own icon rather than naming an Icon row that cannot exist.
    Warn("the icon " + Narrow(iconPath) + " cannot be read; its shortcuts show their target's icon");
    iconIds_.emplace(iconPath, 0);
    return std::string();
  }
  int number = 1;
  for (const auto& [path, id] : iconIds_)
    if (id > 0) ++number;
  iconIds_.emplace(iconPath, number);
  const std::string key = FormatText("Icon%d", number);
  MsiRow row{key, Narrow(iconPath)};
  PopulateMSITable(ICON_TABLE, &row);
  return key;
}

void CMSIHandler::PopulatePropertyTable() {
  CTraceScope trace(logger_, "CMSIHandler::PopulatePropertyTable");
  std::wstring version = product_.version;
  ReplaceAll(version, L",", L".");
  const MsiRow rows[] = {
      {"ProductName", Narrow(product_.applicationName)},
      {"Manufacturer", Narrow(product_.companyName)},
      {"ProductVersion", Narrow(version)},
      {"ProductCode", CPackageNames::NewGuidString()},
      {"UpgradeCode", CPackageNames::NewGuidString()},
  };
  for (const MsiRow& row : rows) PopulateMSITable(PROPERTY_TABLE, &row);
}

void CMSIHandler::UseFolder64BitTwinsInCustomActions() {
  CTraceScope trace(logger_, "CMSIHandler::UseFolder64BitTwinsInCustomActions");
  if (!database_) return;
  struct Change {
    std::string action;
    std::string target;
  };
  std::vector<Change> changes;
  {
    platform::InstallerView view;
    if (view.Open(*database_, "SELECT `Action`,`Target` FROM `CustomAction`") != platform::kSuccess ||
        view.Execute(nullptr) != platform::kSuccess) {
      Error("CMSIHandler::UseFolder64BitTwinsInCustomActions: Unable to read the custom actions: " + view.lastError());
      buildFailed_ = true;
      return;
    }
    std::unique_ptr<platform::InstallerRecord> row;
    while (view.Fetch(row) == platform::kSuccess && row) {
      if (row->IsNull(2)) continue;
      std::wstring target = Wide(row->GetString(2));
      if (CPackageNames::UseFolder64BitTwins(target)) changes.push_back({row->GetString(1), Narrow(target)});
    }
  }
  for (const Change& change : changes) {
    platform::InstallerRecord record(2);
    record.SetString(1, change.target);
    record.SetString(2, change.action);
    if (database_->Execute("UPDATE `CustomAction` SET `Target` = ? WHERE `Action` = ?", &record) !=
        platform::kSuccess) {
      // INSTALLDIR would point into the 32-bit program-files folder.
      Error("CMSIHandler::UseFolder64BitTwinsInCustomActions: Unable to update the custom action " + change.action +
            ": " + database_->lastError());
      buildFailed_ = true;
    }
  }
}
