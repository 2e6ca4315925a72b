#include "package/msi_handler.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "package/msi_summary.h"
#include "package/project_path_guard.h"
#include "package/project_reader.h"
#include "platform/file_system.h"
#include "platform/machine_arch.h"
#include "platform/package_streams.h"
#include "project/xml_document_handler.h"

namespace {

constexpr const char* kCabinetName = CMsiCabinetPass::kCabinetName;

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
std::wstring Wide(const std::string& text) { return Utf8ToWide(text); }

using Bitness = CPackageNames::Bitness;

bool EqualsAsciiNoCase(const std::string& a, const std::string& b) { return FoldAsciiUpper(a) == FoldAsciiUpper(b); }

}  // namespace

CMSIHandler::CMSIHandler(const CWorkContext& context) : context_(context), files_(state_), registry_(state_, files_) {}

CMSIHandler::~CMSIHandler() {
  StopCabinets();
  if (state_.database || state_.logger != nullptr) CloseDatabase();
}

std::string CMSIHandler::PackageFolder() const {
  if (EqualsAsciiNoCase(outputFolder_, context_.ProgramFolder)) return outputFolder_ + "\\Packages";
  return outputFolder_;
}

std::string CMSIHandler::DiskDirectory() const { return PackageFolder(); }

void CMSIHandler::DecideBitness() {
  switch (bitnessChoice_) {
    case PackageBitness::Bits32: state_.machine64 = false; state_.package64 = false; return;
    case PackageBitness::Bits64: state_.machine64 = true; state_.package64 = true; return;
    case PackageBitness::FromContent: break;
  }
  state_.machine64 = platform::MachineIs64Bit();
  state_.package64 = false;
  if (!state_.machine64) return;
  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  FolderFileMap map;
  for (const wchar_t* list : {xmlpath::kFileAdded, xmlpath::kFileModified}) {
    project_reader::ReadFolders(*project_, list, folders, files, map);
    for (const std::wstring& folder : folders)
      if (CPackageNames::FolderBitness(folder, true) == Bitness::Bits64) state_.package64 = true;
  }
  std::vector<RegValueRecord> entries;
  for (const wchar_t* list : {xmlpath::kRegAdded, xmlpath::kRegModified}) {
    project_reader::ReadRegistry(*project_, list, entries);
    for (const RegValueRecord& entry : entries) {
      if (entry.valueName.empty() && entry.typeName.empty()) continue;
      std::wstring rootName;
      std::wstring key;
      CMsiRegistryPass::SplitKeyPath(entry.key, rootName, key);
      if (CMsiRegistryPass::RegistryPlace(rootName, key, true) == Bitness::Bits64) state_.package64 = true;
    }
  }
}

int CMSIHandler::Initialize(const char* outputFolder, const char* projectFilePath, const char* packageFileName) {
  state_.StartBuild();
  files_.Clear();  // nothing of an earlier build's files (their looks among them) carries over
  built_ = false;
  outputFolder_ = outputFolder != nullptr && *outputFolder != '\0' ? std::string(outputFolder) : context_.OutputFolder;
  packageFileName_ =
      packageFileName != nullptr && *packageFileName != '\0' ? std::string(packageFileName) : context_.PackageFileName;

  const std::string temp = context_.WorkFolder + "\\Temp";
  cabinet_.Prepare(temp, DiskDirectory());

  if (state_.logger == nullptr) state_.logger = CLogger::GetInstance();

  const std::string projectPath = projectFilePath != nullptr ? projectFilePath : "";
  project_ = std::make_unique<CXMLDocumentHandler>();
  if (project_->Load(Wide(projectPath)) != 1) {
    state_.Error("CMSIHandler::Initialize: Unable to load Project File");
    state_.errors.back() += " " + projectPath + " (it is missing or is not a well-formed project file)";
    CloseDatabase();
    return 0;
  }
  project_reader::ReadProductInfo(*project_, product_);
  // Nothing is read or written for a project that points outside its own places.
  if (!RefuseUnsafePlaces(FindUnsafeProjectPlaces(*project_, packageFileName_.empty()))) return 0;
  DecideBitness();
  state_.logger->Write(1, state_.package64 ? "CMSIHandler::Initialize: building a 64-bit package"
                               : "CMSIHandler::Initialize: building a 32-bit package");
  if (packageFileName_.empty()) packageFileName_ = Narrow(product_.applicationName);
  if (packageFileName_.empty()) {
    state_.Error("CMSIHandler::Initialize: No package file name: the project names no product and none was given");
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
    state_.Error("CMSIHandler::Initialize: Unable to create batch file");
    state_.errors.back() += " " + cabinet_.batchPath();
    CloseDatabase();
    return 0;
  }
  state_.database = std::make_unique<platform::InstallerDatabase>();
  if (state_.database->Open(Wide(buildPath_)) != platform::kSuccess) {
    state_.Error("CMSIHandler::Initialize: Unable to Open MSI File");
    state_.errors.back() += " " + buildPath_ + ": " + state_.database->lastError();
    CloseDatabase();
    return 0;
  }
  projectLoaded_ = 1;
  return 1;
}

bool CMSIHandler::RefuseUnsafePlaces(const std::vector<std::string>& problems) {
  if (problems.empty()) return true;
  for (const std::string& problem : problems) state_.Error("CMSIHandler::Initialize: " + problem);
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
  result.refusedRows = state_.refusedRows;
  result.errors = state_.errors;
  return result;
}

bool CMSIHandler::CopyTemplate() {
  // The template is copied whole, whatever its size; the copy is a new file of this build (not
  // the template's permissions).
  platform::MappedFile in;
  if (in.Open(Wide(templatePath_)) != platform::kSuccess) {
    state_.Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", templatePath_.c_str()));
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
    state_.Error(FormatText("CMSIHandler::Initialize: Unable to Open %s File", buildPath_.c_str()));
    DiscardPackage();
    return false;
  }
  return true;
}

void CMSIHandler::SetCurrentLists(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& files) {
  files_.SetLists(folders, files);
}

void CMSIHandler::SetAddedFolders(const FolderFileMap& added) { files_.SetAddedFolders(added); }
void CMSIHandler::SetRegistryEntries(const std::vector<RegValueRecord>& entries) {
  registry_.registryEntries() = entries;
}
void CMSIHandler::SetShortcuts(const ShortcutList& shortcuts) { registry_.shortcuts() = shortcuts; }

int CMSIHandler::PopulateMSITable(uint32_t kind, const MsiRow* row) { return state_.AddRow(kind, row); }
void CMSIHandler::PopulateDirectoryTable(const std::vector<std::wstring>& folders) {
  files_.PopulateDirectoryTable(folders);
}
void CMSIHandler::PopulateOtherTables() { files_.PopulateOtherTables(); }
void CMSIHandler::PopulateCreateFolderTable(const MsiRow& directoryRow, Bitness bitness) {
  files_.PopulateCreateFolderTable(directoryRow, bitness);
}
bool CMSIHandler::IsPackageableFile(const std::wstring& realPath) { return CMsiFilesPass::IsPackageableFile(realPath); }
void CMSIHandler::PopulateRegistryTables() { registry_.PopulateRegistryTables(); }
long CMSIHandler::QueryKey(const std::wstring& rootName, RegValueRecord& entry) {
  return registry_.QueryKey(rootName, entry);
}
void CMSIHandler::PopulateINIAndRemoveINITable() { registry_.PopulateINIAndRemoveINITable(*project_); }
void CMSIHandler::PopulateShortcutTables() { registry_.PopulateShortcutTables(); }
std::string CMSIHandler::GetIconId(const std::wstring& iconPath) { return registry_.GetIconId(iconPath); }

int CMSIHandler::BuildMSI() {
  CTraceScope trace(state_.logger, "CMSIHandler::BuildMSI");
  if (projectLoaded_ != 1 || !state_.database) {
    state_.Error("CMSIHandler::BuildMSI: XML not loaded");
    DiscardPackage();
    return 0;
  }
  if (!cabinet_.StartDirectiveFile()) {
    state_.Error("CMSIHandler::BuildMSI: Unable to Open DDF File");
    state_.errors.back() += " " + cabinet_.directivePath();
    state_.database->Close();
    DiscardPackage();
    return 0;
  }

  // The cabinet lines of both lists first, so that the cabinets are made (on threads of their
  // own) while the file tables and the rest are written. Lines and File rows name and number the
  // files alike, each with a map of its own, so the order of the two does not matter.
  BuildStatusText.Set(MessageText(178));
  files_.ReadLists(*project_, xmlpath::kFileAdded);
  MakeDDFFile();
  files_.ReadLists(*project_, xmlpath::kFileModified);
  BuildStatusText.Set(MessageText(137));
  MakeDDFFile();
  if (state_.Cancelled()) return AbandonBuild();
  if (!cabinet_.WriteDirectiveFile()) {
    state_.Error("CMSIHandler::BuildMSI: Unable to write the DDF File " + cabinet_.directivePath());
    state_.buildFailed = true;
  }

  BuildStatusText.Set(MessageText(138));
  ProgressCounter = 0;
  bool cabinetsStarted = false;
  if (cabinet_.lines() > 0 && !state_.buildFailed) {
    cabinetsStarted = StartCabinets();
    if (!cabinetsStarted) return AbandonBuild();
  }

  BuildStatusText.Set(MessageText(178));
  files_.ReadLists(*project_, xmlpath::kFileAdded);
  files_.PopulateDirectoryTable(files_.folders());
  files_.PopulateOtherTables();
  files_.ReadLists(*project_, xmlpath::kFileModified);
  BuildStatusText.Set(MessageText(137));
  files_.PopulateDirectoryTable(files_.folders());
  files_.PopulateOtherTables();
  if (state_.Cancelled()) return AbandonBuild();

  BuildStatusText.Set(MessageText(139));

  PopulatePropertyTable();

  BuildStatusText.Set(MessageText(140));
  AddMediaRows(cabinetsStarted);

  BuildStatusText.Set(MessageText(141));
  project_reader::ReadRegistry(*project_, xmlpath::kRegAdded, registry_.registryEntries());
  registry_.PopulateRegistryTables();
  project_reader::ReadRegistry(*project_, xmlpath::kRegModified, registry_.registryEntries());
  registry_.PopulateRegistryTables();
  if (state_.Cancelled()) return AbandonBuild();

  BuildStatusText.Set(MessageText(142));
  project_reader::ReadShortcuts(*project_, registry_.shortcuts());
  registry_.PopulateShortcutTables();

  BuildStatusText.Set(MessageText(143));
  registry_.PopulateINIAndRemoveINITable(*project_);

  BuildStatusText.Set(MessageText(144));
  const std::string title = Narrow(product_.applicationName) + "_" + Narrow(product_.version);
  SetSummaryInformation(title, title, "",
                        "MSI created with the Corvane Repackager.\nRecipe File Version = '1.1' Corvane Repackager "
                        "Version = '1.2'\n");

  if (state_.package64) UseFolder64BitTwinsInCustomActions();
  if (!state_.FlushTables(Wide(context_.WorkFolder + "\\Temp"))) state_.buildFailed = true;
  if (state_.Cancelled()) return AbandonBuild();

  // The tables are committed while the cabinets are still being made: the cabinets are added to
  // the committed package below.
  if (!state_.buildFailed && state_.database->Commit() != platform::kSuccess) {
    state_.Error("CMSIHandler::BuildMSI: Unable to commit the package " + buildPath_ + ": " +
                 state_.database->lastError());
    state_.buildFailed = true;
  }
  state_.database->Close();
  state_.database.reset();
  if (state_.buildFailed) return AbandonBuild();

  bool haveCabinet = false;
  if (cabinetsStarted) {
    BuildStatusText.Set(MessageText(138));
    haveCabinet = FinishCabinets();
    // Without its cabinets the package is of no use.
    if (!haveCabinet) return AbandonBuild();
    ProgressCounter = 1;
    BuildStatusText.Set(MessageText(144));
  }

  // The cabinets (the single "MSIProject.cab" too) are added to the committed package, read a
  // block at a time: the database would read each whole into memory and hold it until its commit.
  if (haveCabinet && !state_.buildFailed) {
    std::vector<platform::PackageStream> streams;
    for (const CMsiCabinetPass::Cabinet& cabinet : cabinet_.cabinets())
      streams.push_back({cabinet.name, Wide(cabinet.cabinetPath)});
    std::string error;
    // Gigabytes take a while to copy: a cancel request stops the copy, and the build ends without
    // a package.
    const platform::Status stored = platform::AddStreamsToPackage(Wide(buildPath_), streams, &error,
                                                                  [] { return CancelRequest.IsRequested(); });
    if (stored == platform::kCancelled) {
      state_.Cancelled();
    } else if (stored != platform::kSuccess) {
      state_.Error("CMSIHandler::BuildMSI: Unable to store the cabinets in the package " + buildPath_ + ": " + error);
      state_.buildFailed = true;
    }
  }
  if (haveCabinet) cabinet_.RemoveCabinets();
  BuildStatusText.Clear();

  if (state_.buildFailed) {
    DiscardPackage();
    return 0;
  }
  return FinishPackage() ? 1 : 0;
}

int CMSIHandler::AbandonBuild() {
  StopCabinets();
  if (state_.database) {
    state_.database->Close();
    state_.database.reset();
  }
  cabinet_.RemoveCabinets();
  cabinet_.Clear();
  BuildStatusText.Clear();
  StatusDetail.Clear();
  DiscardPackage();
  return 0;
}

bool CMSIHandler::FinishPackage() {
  const platform::Status status = platform::RenameFile(Wide(buildPath_), Wide(packagePath_));
  if (status != platform::kSuccess) {
    state_.Error(FormatText("CMSIHandler::BuildMSI: Unable to move the package into place %s (status %ld)",
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
  StopCabinets();
  if (state_.database) {
    state_.database->Commit();
    state_.database->Close();
    state_.database.reset();
  }
  if (!built_) cabinet_.RemoveCabinets();
  cabinet_.Clear();
  if (!built_) DiscardPackage();
  state_.Forget();
  files_.Clear();
  registry_.Clear();
  projectLoaded_ = 0;
  project_.reset();
  if (state_.logger != nullptr) {
    CLogger::ReleaseInstance(state_.logger);
    state_.logger = nullptr;
  }
  return 1;
}

int CMSIHandler::MakeDDFFile() {
  CTraceScope trace(state_.logger, "CMSIHandler::MakeDDFFile");
  if (state_.logger != nullptr)
    state_.logger->Write(
        1, FormatText("CMSIHandler::MakeDDFFile: Size of file vector %d", static_cast<int>(files_.files().size())));
  const std::vector<CMsiFilesPass::FileLook>& looks = files_.LookAtFiles();
  for (size_t index = 0; index < files_.files().size(); ++index) {
    if (!looks[index].packageable) continue;
    const std::wstring& file = files_.files()[index];
    std::wstring real = file;
    FromTokenForm(real);
    std::wstring folder;
    std::wstring name;
    CMsiFilesPass::SplitFile(file, folder, name);
    const std::wstring key = state_.names.MakeFileKey(name, CPackageNames::FileNameMap::Cabinet);
    cabinet_.AddFile(Narrow(real), Narrow(key), looks[index].size);
  }
  state_.cabinetFileCount += static_cast<int>(files_.files().size());
  return 1;
}

int CMSIHandler::CreateCABFile() {
  CTraceScope trace(state_.logger, "CMSIHandler::CreateCABFile");
  if (!StartCabinets()) return 0;
  return FinishCabinets() ? 1 : 0;
}

bool CMSIHandler::StartCabinets() {
  std::string error;
  if (!cabinet_.PlanCabinets(error)) {
    state_.Error("CMSIHandler::CreateCABFile: " + error);
    state_.buildFailed = true;
    return false;
  }
  if (state_.logger != nullptr) {
    state_.logger->Write(1, "CMSIHandler::CreateCABFile: " + std::to_string(cabinet_.cabinets().size()) +
                                " cabinet(s) for " + std::to_string(cabinet_.listedBytes()) + " bytes of files");
    state_.logger->Write(1, "CMSIHandler::RunBatchFile: Before Wait for child process exits");
  }
  stopCabinets_ = false;
  cabinetFailures_.clear();
  cabinetStatus_ = platform::kSuccess;
  try {
    cabinetThread_ = std::thread([this] { cabinetStatus_ = MakeCabinets(cabinetFailures_); });
  } catch (const std::system_error&) {
    cabinetStatus_ = MakeCabinets(cabinetFailures_);  // no thread to spare: made here and now
  }
  return true;
}

bool CMSIHandler::FinishCabinets() {
  if (cabinetThread_.joinable()) cabinetThread_.join();
  if (state_.logger != nullptr) state_.logger->Write(1, "CMSIHandler::RunBatchFile: Child process exits");
  ReportCabinets(cabinetStatus_, cabinetFailures_);
  return cabinetStatus_ == platform::kSuccess && cabinet_.CabinetsExist();
}

void CMSIHandler::StopCabinets() {
  if (!cabinetThread_.joinable()) return;
  stopCabinets_ = true;
  cabinetThread_.join();
}

platform::Status CMSIHandler::MakeCabinets(std::vector<std::string>& failures) const {
  CMsiCabinetPass::Watch watch;
  watch.cancelled = [this] { return stopCabinets_.load() || CancelRequest.IsRequested(); };
  // Compressing is most of a build: the detail line counts the bytes done.
  watch.progress = [](std::uint64_t done, std::uint64_t total) {
    constexpr double kMegabyte = 1024.0 * 1024.0;
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    StatusDetail.Set(Utf8ToWide(FormatText("%.0f of %.0f MB compressed (%d%%)", static_cast<double>(done) / kMegabyte,
                                           static_cast<double>(total) / kMegabyte, percent)));
  };
  const platform::Status status = cabinet_.MakeCabinets(watch, failures);
  StatusDetail.Clear();
  return status;
}

void CMSIHandler::ReportCabinets(platform::Status status, const std::vector<std::string>& failures) {
  if (status == platform::kCancelled) {
    state_.Cancelled();  // notes the cancel; the build ends without a package
    return;
  }
  if (status == platform::kSuccess) return;
  for (const std::string& failure : failures) {
    state_.Error(FormatText("CMSIHandler::RunBatchFile: the cabinet maker failed on %s: %s",
                            cabinet_.directivePath().c_str(), failure.c_str()));
  }
  if (failures.empty())
    state_.Error(FormatText("CMSIHandler::RunBatchFile: the cabinet maker failed with status %ld on %s", status,
                            cabinet_.directivePath().c_str()));
  state_.buildFailed = true;
}

void CMSIHandler::RunBatchFile(const std::wstring& workingFolder, const char* batchPath) {
  (void)workingFolder;  // the cabinet maker works from the directive file's own folder
  if (batchPath == nullptr || *batchPath == '\0') return;
  if (state_.logger != nullptr)
    state_.logger->Write(1, "CMSIHandler::RunBatchFile: Before Wait for child process exits");
  std::vector<std::string> failures;
  const platform::Status status = MakeCabinets(failures);
  if (state_.logger != nullptr) state_.logger->Write(1, "CMSIHandler::RunBatchFile: Child process exits");
  ReportCabinets(status, failures);
}

void CMSIHandler::AddMediaRows(bool haveCabinet) {
  const std::vector<CMsiCabinetPass::Cabinet>& cabinets = cabinet_.cabinets();
  if (!haveCabinet || cabinets.size() <= 1) {
    MsiRow media{"1", std::to_string(state_.cabinetFileCount), std::string("#") + kCabinetName};
    PopulateMSITable(MEDIA_TABLE, &media);
    return;
  }
  // Cabinet lines and File rows are numbered alike (the n-th line is the file of Sequence n), so a
  // cabinet's last line is its LastSequence; the last one also covers files counted but skipped.
  for (size_t i = 0; i < cabinets.size(); ++i) {
    int lastSequence = cabinets[i].firstLine + cabinets[i].lineCount;
    if (i + 1 == cabinets.size()) lastSequence = std::max(lastSequence, state_.cabinetFileCount);
    MsiRow media{std::to_string(i + 1), std::to_string(lastSequence), "#" + cabinets[i].name};
    PopulateMSITable(MEDIA_TABLE, &media);
  }
}

void CMSIHandler::SetSummaryInformation(const std::string& title, const std::string& subject,
                                        const std::string& author, const std::string& comments) {
  if (!state_.database) return;
  const CMsiSummary::Result written =
      CMsiSummary::Write(*state_.database, {title, subject, author, comments}, state_.package64);
  for (const std::string& error : written.errors) state_.Error(error);
  if (written.failed) state_.buildFailed = true;
}

void CMSIHandler::PopulatePropertyTable() {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulatePropertyTable");
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
  CTraceScope trace(state_.logger, "CMSIHandler::UseFolder64BitTwinsInCustomActions");
  if (!state_.database) return;
  struct Change {
    std::string action;
    std::string target;
  };
  std::vector<Change> changes;
  {
    platform::InstallerView view;
    if (view.Open(*state_.database, "SELECT `Action`,`Target` FROM `CustomAction`") != platform::kSuccess ||
        view.Execute(nullptr) != platform::kSuccess) {
      state_.Error("CMSIHandler::UseFolder64BitTwinsInCustomActions: Unable to read the custom actions: " +
                   view.lastError());
      state_.buildFailed = true;
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
    if (state_.database->Execute("UPDATE `CustomAction` SET `Target` = ? WHERE `Action` = ?", &record) !=
        platform::kSuccess) {
      // INSTALLDIR would point into the 32-bit program-files folder.
      state_.Error("CMSIHandler::UseFolder64BitTwinsInCustomActions: Unable to update the custom action " +
                   change.action + ": " + state_.database->lastError());
      state_.buildFailed = true;
    }
  }
}
