#include "package/msi_handler.h"

#include <filesystem>
#include <system_error>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/project_reader.h"
#include "platform/cabinet_maker.h"
#include "platform/machine.h"
#include "platform/machine_arch.h"
#include "platform/registry.h"
#include "project/xml_document_handler.h"

namespace {

constexpr const char* kCabinetName = "MSIProject.cab";
constexpr const char* kFeature = "MSIFeature";
// msidbComponentAttributes64bit: the component's registry values go to the native view.
constexpr int kComponent64Bit = 256;

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
std::wstring Wide(const std::string& text) { return Utf8ToWide(text); }
std::string Upper(const std::wstring& text) { return WideToUtf8(ToUpperUnicode(text)); }

std::filesystem::path Host(const std::string& windowsPath) { return platform::Machine::HostPath(Wide(windowsPath)); }

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

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

}  // namespace

CMSIHandler::CMSIHandler() = default;

CMSIHandler::~CMSIHandler() {
  if (database_ || logger_ != nullptr) CloseDatabase();
}

void CMSIHandler::Error(const std::string& message) {
  if (logger_ != nullptr) logger_->Write(2, message);
  errors_.push_back(message);
}

std::string CMSIHandler::PackageFolder() const {
  if (EqualsAsciiNoCase(OutputFolder, ProgramFolder)) return OutputFolder + "\\Packages";
  return OutputFolder;
}

std::string CMSIHandler::DiskDirectory() const { return PackageFolder(); }

std::string CMSIHandler::ComponentAttributes(int attributes) const {
  return std::to_string(package64_ ? attributes | kComponent64Bit : attributes);
}

int CMSIHandler::Initialize(const char* outputFolder, const char* projectFilePath) {
  errors_.clear();
  refusedRows_ = 0;
  buildFailed_ = false;
  built_ = false;
  if (outputFolder != nullptr && *outputFolder != '\0') SetOutputFolder(Wide(outputFolder));

  const std::string temp = WorkFolder + "\\Temp";
  cabinetPath_ = PackageFolder() + "\\" + kCabinetName;
  batchPath_ = temp + "\\BuildAllCab.bat";
  directivePath_ = temp + "\\MSIProject.ddf";

  if (logger_ == nullptr) logger_ = CLogger::GetInstance();
  switch (bitnessChoice_) {
    case PackageBitness::FromMachine: package64_ = platform::MachineIs64Bit(); break;
    case PackageBitness::Bits32: package64_ = false; break;
    case PackageBitness::Bits64: package64_ = true; break;
  }
  logger_->Write(1, package64_ ? "CMSIHandler::Initialize: building a 64-bit package"
                               : "CMSIHandler::Initialize: building a 32-bit package");

  const std::string projectPath = projectFilePath != nullptr ? projectFilePath : "";
  project_ = std::make_unique<CXMLDocumentHandler>();
  if (project_->Load(Wide(projectPath)) != 1) {
    Error("CMSIHandler::Initialize: Unable to load Project File");
    errors_.back() += " " + projectPath + " (it is missing or is not a well-formed project file)";
    CloseDatabase();
    return 0;
  }
  project_reader::ReadProductInfo(*project_, product_);
  if (PackageFileName.empty()) PackageFileName = Narrow(product_.applicationName);
  if (PackageFileName.empty()) {
    Error("CMSIHandler::Initialize: No package file name: the project names no product and none was given");
    CloseDatabase();
    return 0;
  }
  packagePath_ = PackageFolder() + "\\" + PackageFileName;
  buildPath_ = packagePath_ + ".partial";
  templatePath_ = ProgramFolder + "\\Blank.msi";

  if (!CopyTemplate()) {
    CloseDatabase();
    return 0;
  }
  if (!WriteBatchFile()) {
    Error("CMSIHandler::Initialize: Unable to create batch file");
    errors_.back() += " " + batchPath_;
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

bool CMSIHandler::CopyTemplate() {
  // The template is copied whole, whatever its size.
  std::ifstream in(Host(templatePath_), std::ios::binary);
  if (!in) {
    Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", templatePath_.c_str()));
    return false;
  }
  std::ofstream out(Host(buildPath_), std::ios::binary | std::ios::trunc);
  if (!out) {
    Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", buildPath_.c_str()));
    return false;
  }
  out << in.rdbuf();
  out.flush();
  if (!out || in.bad()) {
    Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", buildPath_.c_str()));
    out.close();
    DiscardPackage();
    return false;
  }
  return true;
}

bool CMSIHandler::WriteBatchFile() {
  std::ofstream out(Host(batchPath_), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << "@echo off\r\ndel \"*.CAB\"\r\n\"MAKECAB.EXE\" /f \"MSIProject.ddf\"";
  out.flush();
  return static_cast<bool>(out);
}

void CMSIHandler::OpenDirectiveFile() {
  directive_.open(Host(directivePath_), std::ios::binary | std::ios::trunc);
  if (!directive_) return;
  directive_ << ".Option EXPLICIT\r\n"
             << ".Set Cabinet = off\r\n"
             << ".Set Compress = off\r\n"
             << ".Set MaxDiskSize = CDROM\r\n"
             << ".Set ReservePerCabinetSize = 6144\r\n"
             << ".Set DiskDirectoryTemplate = '" << DiskDirectory() << "\\'\r\n"
             << ".Set CompressionType = MSZIP\r\n"
             << ".Set CompressionLevel = 7\r\n"
             << ".Set CompressionMemory = 21\r\n"
             << ".Set CabinetNameTemplate = '" << kCabinetName << "'\r\n"
             << ".Set Cabinet=on\r\n"
             << ".Set Compress=on\r\n"
             << ".Set UniqueFiles=off\r\n";
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
  OpenDirectiveFile();
  if (!directive_) {
    Error("CMSIHandler::BuildMSI: Unable to Open DDF File");
    errors_.back() += " " + directivePath_;
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
  directive_.close();
  if (directive_.fail()) {
    Error("CMSIHandler::BuildMSI: Unable to write the DDF File " + directivePath_);
    buildFailed_ = true;
  }

  BuildStatusText.Set(MessageText(138));
  ProgressCounter = 0;
  bool haveCabinet = false;
  if (cabinetLines_ > 0 && !buildFailed_) haveCabinet = CreateCABFile() == 1;
  BuildStatusText.Set(MessageText(139));
  ProgressCounter = 1;

  PopulatePropertyTable();

  BuildStatusText.Set(MessageText(140));
  MsiRow media{"1", std::to_string(CabinetFileCount), std::string("#") + kCabinetName};
  PopulateMSITable(MEDIA_TABLE, &media);

  BuildStatusText.Set(MessageText(141));
  project_reader::ReadRegistry(*project_, xmlpath::kRegAdded, registryEntries_);
  PopulateRegistryTables();
  project_reader::ReadRegistry(*project_, xmlpath::kRegModified, registryEntries_);
  PopulateRegistryTables();

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

  if (haveCabinet) {
    if (database_->InsertStream(kCabinetName, Wide(cabinetPath_)) != platform::kSuccess) {
      Error(FormatText("CMSIHandler::BuildMSI:Unable to set MsiRecordSetStream for %s", cabinetPath_.c_str()));
      errors_.back() += ": " + database_->lastError();
      buildFailed_ = true;
    }
    std::error_code ignored;
    std::filesystem::remove(Host(cabinetPath_), ignored);
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

bool CMSIHandler::FinishPackage() {
  std::error_code error;
  std::filesystem::rename(Host(buildPath_), Host(packagePath_), error);
  if (error) {
    Error("CMSIHandler::BuildMSI: Unable to move the package into place " + packagePath_ + ": " + error.message());
    DiscardPackage();
    return false;
  }
  built_ = true;
  return true;
}

void CMSIHandler::DiscardPackage() {
  if (buildPath_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(Host(buildPath_), ignored);
}

int CMSIHandler::CloseDatabase() {
  if (database_) {
    database_->Commit();
    database_->Close();
    database_.reset();
  }
  if (directive_.is_open()) directive_.close();
  if (!built_) DiscardPackage();
  names_.Clear();
  iconIds_.clear();
  registryRowCounter_ = 0;
  iniFileRowCounter_ = 1;
  removeIniFileRowCounter_ = 1;
  tables_.clear();
  cabinetLines_ = 0;
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
    std::string path = Narrow(real);
    ReplaceAll(path, "'", "''");
    directive_ << "'" << path << "' '" << Narrow(key) << "'\r\n";
    ++cabinetLines_;
  }
  CabinetFileCount += static_cast<int>(fileList_.size());
  return 1;
}

int CMSIHandler::CreateCABFile() {
  CTraceScope trace(logger_, "CMSIHandler::CreateCABFile");
  RunBatchFile(Wide(WorkFolder + "\\Temp"), batchPath_.c_str());
  if (!platform::Machine::HostPath(Wide(cabinetPath_)).empty() && std::filesystem::exists(Host(cabinetPath_)))
    return 1;
  return 0;
}

void CMSIHandler::RunBatchFile(const std::wstring& workingFolder, const char* batchPath) {
  (void)workingFolder;  // the cabinet maker works from the directive file's own folder
  if (batchPath == nullptr || *batchPath == '\0') return;
  if (logger_ != nullptr) logger_->Write(1, "CMSIHandler::RunBatchFile: Before Wait for child process exits");
  const platform::Status status = platform::MakeCabinet(Wide(directivePath_), Wide(batchPath));
  if (logger_ != nullptr) logger_->Write(1, "CMSIHandler::RunBatchFile: Child process exits");
  if (status != platform::kSuccess) {
    Error(FormatText("CMSIHandler::RunBatchFile: the cabinet maker failed with status %ld on %s", status,
                     directivePath_.c_str()));
    buildFailed_ = true;
  }
}

void CMSIHandler::SetSummaryInformation(const std::string& title, const std::string& subject,
                                        const std::string& author, const std::string& comments) {
  if (!database_) return;
  const std::string packageCode = CPackageNames::NewGuidString();
  const struct {
    unsigned id;
    const std::string& value;
  } properties[] = {
      {platform::kPidTitle, title},       {platform::kPidSubject, subject},
      {platform::kPidAuthor, author},     {platform::kPidComments, comments},
      {platform::kPidLastAuthor, ""},     {platform::kPidRevisionNumber, packageCode},
      {platform::kPidAppName, "Corvane Repackager Installation Database"},
  };
  for (const auto& property : properties) {
    if (database_->SetSummaryText(property.id, property.value) != platform::kSuccess)
      Error(FormatText("CMSIHandler::SetSummaryInformation: Unable to set summary property %u: %s", property.id,
                       database_->lastError().c_str()));
  }
  if (package64_) {
    // The languages of the template stay; only the platform changes.
    const std::string current = database_->GetSummaryText(platform::kPidTemplate);
    const size_t semicolon = current.find(';');
    const std::string languages = semicolon == std::string::npos ? "1033" : current.substr(semicolon + 1);
    if (database_->SetSummaryText(platform::kPidTemplate, "x64;" + languages) != platform::kSuccess) {
      // Without it the installer would treat the package as a 32-bit one.
      Error("CMSIHandler::SetSummaryInformation: Unable to set the platform of the package: " +
            database_->lastError());
      buildFailed_ = true;
    }
  }
  if (database_->PersistSummary() != platform::kSuccess) {
    Error("CMSIHandler::SetSummaryInformation: Unable to write the summary information: " + database_->lastError());
    buildFailed_ = true;
  }
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

  std::string fields;
  for (const std::string& field : *row) fields += (fields.empty() ? "'" : ",'") + field + "'";
  const std::string detail = FormatText("CMSIHandler::PopulateMSITable: %s row (%s) refused: %s",
                                        CMsiTable::ErrorTag(kind), fields.c_str(), reason.c_str());
  if (reason == "duplicate key" && kind != FILE_TABLE) {
    // The fixed rows every pass inserts again (WindowsFolder, REGDIFFCOMP) land here.
    if (logger_ != nullptr) logger_->Write(1, detail);
    return 1;
  }
  if (kind == FILE_TABLE && logger_ != nullptr) logger_->Write(2, "Failed to exec MSI view");
  Error(detail);
  ++refusedRows_;
  return 1;
}

bool CMSIHandler::FlushTables() {
  bool ok = true;
  const std::wstring scratch = Wide(WorkFolder + "\\Temp");
  for (auto& [kind, table] : tables_) {
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
  std::wstring windir = EnvironmentValues.windir;
  const size_t slash = windir.find_last_of(L'\\');
  MsiRow windowsRow{"WindowsFolder", "TARGETDIR", ".:" + Narrow(slash == std::wstring::npos ? windir : windir.substr(slash + 1))};
  PopulateMSITable(DIRECTORY_TABLE, &windowsRow);

  for (const std::wstring& folder : folders) {
    const std::vector<std::wstring> parts = SplitPathComponents(folder);
    for (size_t i = 0; i < PathComponents.size(); ++i) PathComponents[i] = i < parts.size() ? parts[i] : L"";
    std::wstring known;
    if (names_.RegisterDirectory(folder, known, false)) continue;

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
      if (CPackageNames::MapRootComponent(parentPath, package64_)) {
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
        if (added != addedFolders_.end() && added->second.empty()) PopulateCreateFolderTable(row);
      }
      PopulateMSITable(DIRECTORY_TABLE, &row);
      if (stop) break;
      current = parentPath;
    }
  }
}

void CMSIHandler::PopulateCreateFolderTable(const MsiRow& directoryRow) {
  CTraceScope trace(logger_, "CMSIHandler::PopulateCreateFolderTable");
  const std::string name = FormatText("EMPTYCOMP%d", EmptyFolderCounter++);
  MsiRow component{name, CPackageNames::NewGuidString(), directoryRow[0], ComponentAttributes(8)};
  PopulateMSITable(COMPONENT_TABLE, &component);
  MsiRow feature{kFeature, name};
  PopulateMSITable(FEATURE_COMPONENT_TABLE, &feature);
  MsiRow createFolder{directoryRow[0], name};
  PopulateMSITable(CREATE_FOLDER_TABLE, &createFolder);
}

bool CMSIHandler::IsPackageableFile(const std::wstring& realPath) {
  if (IsFilteredOut(realPath)) return false;
  const std::filesystem::path host = platform::Machine::HostPath(realPath);
  if (host.empty()) return false;
  std::error_code error;
  if (!std::filesystem::is_regular_file(host, error)) return false;
  std::ifstream in(host, std::ios::binary);
  return in.is_open();
}

void CMSIHandler::PopulateOtherTables() {
  CTraceScope trace(logger_, "CMSIHandler::PopulateOtherTables");
  for (const std::wstring& file : fileList_) {
    std::wstring folder;
    std::wstring name;
    SplitFile(file, folder, name);
    std::wstring real = file;
    FromTokenForm(real);
    if (!IsPackageableFile(real)) {
      if (!IsFilteredOut(real)) {
        // A captured file that is gone would be missing from the package without a word.
        Error("CMSIHandler::PopulateOtherTables: Unable to read the captured file " + Narrow(real));
        buildFailed_ = true;
      }
      continue;
    }
    const std::wstring key = names_.MakeFileKey(name, CPackageNames::FileNameMap::Table);
    const std::string component = Upper(key + L"Comp");
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(platform::Machine::HostPath(real), error);
    MsiRow fileRow{Narrow(key), component, Narrow(name), error ? "0" : std::to_string(size), "", "", "16384",
                   std::to_string(++FileSequence)};
    PopulateMSITable(FILE_TABLE, &fileRow);

    std::wstring directory;
    std::string directoryColumn;
    if (names_.RegisterDirectory(folder, directory, false)) {
      directoryColumn = Upper(directory);
    } else {
      directory = folder;
      CPackageNames::MapFolderToProperty(directory, package64_);
      directoryColumn = Narrow(directory);
    }
    MsiRow componentRow{component, CPackageNames::NewGuidString(), directoryColumn, ComponentAttributes(8)};
    PopulateMSITable(COMPONENT_TABLE, &componentRow);
    MsiRow feature{kFeature, component};
    PopulateMSITable(FEATURE_COMPONENT_TABLE, &feature);
  }
}

void CMSIHandler::PopulateRegistryTables() {
  CTraceScope trace(logger_, "CMSIHandler::PopulateRegistryTables");
  MsiRow component{"REGDIFFCOMP", CPackageNames::NewGuidString(),
                   package64_ ? "ProgramFiles64Folder" : "ProgramFilesFolder", ComponentAttributes(8)};
  PopulateMSITable(COMPONENT_TABLE, &component);

  for (RegValueRecord& entry : registryEntries_) {
    const std::string identifier = FormatText("CorvaneRegistry%d", registryRowCounter_++);
    if (entry.typeName.empty() && entry.valueName.empty()) continue;

    std::wstring keyPath = entry.key;
    ReplaceAll(keyPath, L"[", L"");
    ReplaceAll(keyPath, L"]", L"");
    const std::wstring rootName = keyPath.substr(0, keyPath.find(L'\\'));
    ReplaceAll(keyPath, rootName, L"");
    if (!keyPath.empty()) keyPath.erase(0, 1);

    std::wstring valueName = entry.valueName;
    if (!valueName.empty()) valueName.pop_back();
    if (!valueName.empty()) valueName.erase(0, 1);

    std::string root;
    if (rootName == L"HKEY_CLASSES_ROOT") root = "0";
    else if (rootName == L"HKEY_CURRENT_USER") root = "1";
    else if (rootName == L"HKEY_LOCAL_MACHINE") root = "2";
    else if (rootName == L"HKEY_USERS") root = "3";

    if (QueryKey(rootName, entry) != 0) continue;

    std::wstring data = entry.extra;
    std::wstring prefix;
    if (entry.typeName == L"REG_EXPAND_SZ") {
      prefix = L"#%";
    } else if (entry.typeName == L"REG_BINARY") {
      prefix = data.find_first_of(L"ghijklmnopqrstuvwxyzGHIJKLMNOPQRSTUVWXYZ") == std::wstring::npos ? L"#x" : L"##";
    } else if (entry.typeName == L"REG_DWORD") {
      prefix = L"#";
    } else if (entry.typeName == L"REG_SZ" && !data.empty() && data[0] == L'#') {
      // A text that begins with "#" would be read by the installer as a number.
      prefix = L"#";
    }
    CPackageNames::SubstituteFolderReferences(data, package64_);
    MsiRow row{identifier, root, Narrow(keyPath), Narrow(valueName), Narrow(prefix + data), "REGDIFFCOMP"};
    PopulateMSITable(REGISTRY_TABLE, &row);
  }
}

long CMSIHandler::QueryKey(const std::wstring& rootName, RegValueRecord& entry) {
  entry.extra.clear();
  std::wstring keyPath = entry.key;
  ReplaceAll(keyPath, L"[", L"");
  ReplaceAll(keyPath, L"]", L"");
  ReplaceAll(keyPath, rootName, L"");
  if (!keyPath.empty()) keyPath.erase(0, 1);
  std::wstring valueName = entry.valueName;
  if (!valueName.empty()) valueName.pop_back();
  if (!valueName.empty()) valueName.erase(0, 1);

  auto root = RootKeyTable.find(rootName);
  platform::RegistryKey key;
  if (root == RootKeyTable.end() || key.Open(root->second, keyPath) != platform::kSuccess) {
    if (logger_ != nullptr)
      logger_->Write(2, FormatText("CMSIHandler::QueryKey Unable to Open %s\\%s", Narrow(rootName).c_str(),
                                   Narrow(keyPath).c_str()));
    return 1;
  }
  platform::Status status = platform::kSuccess;
  if (entry.typeName == L"REG_SZ" || entry.typeName == L"REG_EXPAND_SZ") {
    std::wstring text;
    status = key.QueryString(valueName, text);
    if (status == platform::kSuccess) entry.extra = text.substr(0, text.find(L'\0'));
  } else if (entry.typeName == L"REG_BINARY") {
    std::vector<uint8_t> bytes;
    status = key.QueryBinary(valueName, bytes);
    if (status == platform::kSuccess) entry.extra = Utf8ToWide(HexBytes(bytes));
  } else if (entry.typeName == L"REG_DWORD") {
    uint32_t value = 0;
    status = key.QueryDword(valueName, value);
    if (status == platform::kSuccess) entry.extra = std::to_wstring(static_cast<int32_t>(value));
  } else if (entry.typeName == L"REG_QWORD") {
    // The installer's registry table has no 64-bit form: the row keeps an empty value.
    uint64_t value = 0;
    status = key.QueryQword(valueName, value);
  } else {
    // Values of other types carry an empty type name in the project. A multi-string is read and
    // written in the installer's multi-string form, so that it is not packaged empty.
    uint32_t type = 0;
    std::vector<uint8_t> raw;
    if (key.QueryValue(valueName, type, raw) == platform::kSuccess && type == platform::kRegMultiSz) {
      std::vector<std::wstring> strings;
      if (key.QueryMultiString(valueName, strings) == platform::kSuccess) {
        std::wstring text = L"[~]";
        for (const std::wstring& item : strings) text += item + L"[~]";
        entry.extra = text;
      }
    }
  }
  key.Close();
  if (status != platform::kSuccess && logger_ != nullptr)
    logger_->Write(1, FormatText("CMSIHandler::QueryKey value %s of %s\\%s left out (status %ld)",
                                 Narrow(valueName).c_str(), Narrow(rootName).c_str(), Narrow(keyPath).c_str(),
                                 status));
  return status;
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
      std::wstring directory;
      std::string dirProperty;
      if (names_.RegisterDirectory(folder, directory, false)) {
        dirProperty = Upper(directory);
      } else {
        directory = folder;
        CPackageNames::MapFolderToProperty(directory, package64_);
        dirProperty = Narrow(directory);
      }
      for (const INIEntry& entry : entries) {
        // The value keeps its single quotes: it is bound as a parameter.
        const int number = remove ? removeIniFileRowCounter_++ : iniFileRowCounter_++;
        MsiRow row{FormatText("INIFile%d", number), Narrow(name),     dirProperty,  Narrow(entry.Section),
                   Narrow(entry.Key),               Narrow(entry.Value), remove ? "2" : "0", "INIHANDLECOMP"};
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
    if (!names_.HasTableFileName(shortcut.exeName)) {
      if (logger_ != nullptr)
        logger_->Write(1, "CMSIHandler::PopulateShortcutTables: no packaged file " + Narrow(shortcut.exeName) +
                              " for the shortcut " + Narrow(shortcut.name));
      continue;
    }
    // The shortcut points at the first packaged file of that name, by its file key.
    const std::wstring key = names_.FirstTableFileKey(shortcut.exeName);
    MsiRow row{FormatText("Shortcut%d", index),  Narrow(shortcut.directory),       Narrow(shortcut.name),
               Upper(key + L"Comp"),             "[#" + Narrow(key) + "]",         GetIconId(shortcut.icon),
               Narrow(shortcut.iconIndex)};
    PopulateMSITable(SHORTCUT_TABLE, &row);
  }
}

std::string CMSIHandler::GetIconId(const std::wstring& iconPath) {
  if (iconPath.empty()) return std::string();
  auto found = iconIds_.find(iconPath);
  if (found != iconIds_.end()) return FormatText("Icon%d", found->second);
  const int number = static_cast<int>(iconIds_.size()) + 1;
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
