#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "package/msi_build_state.h"
#include "package/msi_cabinet_pass.h"
#include "package/msi_files_pass.h"
#include "package/msi_registry_pass.h"
#include "package/msi_table.h"
#include "package/package_build_result.h"
#include "package/package_names.h"
#include "platform/installer_database.h"
#include "project/change_types.h"

class CWorkContext;
class CXMLDocumentHandler;

// The package builder: from a project file to an installer package. A build is Initialize
// (loads the project, copies the blank template, writes the batch file, opens the package), then
// BuildMSI (directive file, tables, cabinet, summary information), then CloseDatabase.
//
// The package is built under a temporary name beside its final place and renamed when the build
// succeeded; a failed build deletes it, so a package file that exists is a complete one.
//
// The builder orchestrates the passes of a build: the directories, files and components
// (CMsiFilesPass), the registry, INI, shortcut and icon rows (CMsiRegistryPass), the cabinet
// directive and the cabinet (CMsiCabinetPass) and the summary information (CMsiSummary). What the
// passes share (the package's tables, the naming and numbering of one build, its bitness, its
// errors and warnings) is one MsiBuildState the builder owns and hands them. The work context is
// only read: the package path of a build is packagePath().
class CMSIHandler {
 public:
  // Whether the package is a 32-bit or a 64-bit one. By default it follows what was captured: on
  // a 64-bit machine, items of the 64-bit view (files under "Program Files" or system32, native
  // HKEY_LOCAL_MACHINE\Software values) make a 64-bit package (Template "x64;<languages>"), in
  // which those items get components with the 64-bit attribute (256) and the 64-bit folder
  // properties, while the 32-bit items of the same capture (Program Files (x86), syswow64,
  // Wow6432Node) get components without it, so the installer redirects them to the same places
  // again. A capture of 32-bit and neutral items only (profile folders, the Windows folder,
  // HKEY_CURRENT_USER) gives a 32-bit package, which installs on 32-bit Windows too; so does
  // anything captured on a 32-bit machine. Bits32 sees the machine as a 32-bit one; Bits64 makes
  // a 64-bit package whatever was captured.
  enum class PackageBitness { FromContent, Bits32, Bits64 };

  // The context lives as long as the builder; the builder only reads it.
  explicit CMSIHandler(const CWorkContext& context);
  ~CMSIHandler();
  CMSIHandler(const CMSIHandler&) = delete;
  CMSIHandler& operator=(const CMSIHandler&) = delete;

  // 1 when the project was loaded and the package opened, 0 otherwise (logged). The package goes
  // to the output folder (UTF-8 Windows path) when given, else to the context's OutputFolder; it
  // is named `packageFileName` when given, else the context's PackageFileName, else after the
  // product. The context is not changed: packagePath() tells where the package went.
  int Initialize(const char* outputFolder, const char* projectFilePath, const char* packageFileName = nullptr);
  // A whole build (Initialize, BuildMSI, CloseDatabase) and what it made.
  PackageBuildResult Build(const char* outputFolder, const char* projectFilePath,
                           const char* packageFileName = nullptr);
  // 1 when the package was built completely, 0 otherwise (logged; no package is left). A cancel
  // request (CancelRequest) stops it at the next folder, file, registry value or table.
  int BuildMSI();
  // Commits and closes what is still open, removes an unfinished package, forgets the naming
  // state of the build. 1.
  int CloseDatabase();

  // Steps of a build, callable one by one (tests).
  int MakeDDFFile();
  int CreateCABFile();
  void RunBatchFile(const std::wstring& workingFolder, const char* batchPath);
  void SetSummaryInformation(const std::string& title, const std::string& subject, const std::string& author,
                             const std::string& comments);
  int PopulateMSITable(uint32_t kind, const MsiRow* row);
  void PopulateDirectoryTable(const std::vector<std::wstring>& folders);
  void PopulateOtherTables();
  void PopulateCreateFolderTable(const MsiRow& directoryRow,
                                 CPackageNames::Bitness bitness = CPackageNames::Bitness::Neutral);
  bool IsPackageableFile(const std::wstring& realPath);
  void PopulateRegistryTables();
  long QueryKey(const std::wstring& rootName, RegValueRecord& entry);
  void PopulateINIAndRemoveINITable();
  void PopulateShortcutTables();
  void PopulatePropertyTable();
  std::string GetIconId(const std::wstring& iconPath);

  // Naming (see CPackageNames).
  CPackageNames& names() { return state_.names; }

  // The lists of the pass being built (folder list and file list in token form).
  void SetCurrentLists(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& files);
  void SetAddedFolders(const FolderFileMap& added);
  void SetRegistryEntries(const std::vector<RegValueRecord>& entries);
  void SetShortcuts(const ShortcutList& shortcuts);

  // Where the build writes (Windows paths, UTF-8).
  const std::string& packagePath() const { return packagePath_; }
  const std::string& buildPath() const { return buildPath_; }
  const std::string& directivePath() const { return cabinet_.directivePath(); }
  const std::string& batchPath() const { return cabinet_.batchPath(); }
  const std::string& cabinetPath() const { return cabinet_.cabinetPath(); }
  const std::string& templatePath() const { return templatePath_; }
  const ProductInfo& product() const { return product_; }
  // The errors of the last build, in order, as logged at level 2 (for the command line). Warnings
  // (something the package holds in another form than captured, or leaves out) are among them,
  // beginning with "warning: ", and do not fail the build.
  const std::vector<std::string>& errors() const { return state_.errors; }
  // Rows the database refused in the last build, other than expected repeats of fixed rows.
  int refusedRows() const { return state_.refusedRows; }
  // Tables with more pending rows than this are imported as a whole (tests lower it).
  void SetBulkRows(size_t rows) { state_.bulkRows = rows; }
  // When the files are split into several cabinets made in parallel (see CMsiCabinetPass); kept
  // across builds. Tests lower the limits to split a few small files.
  void SetCabinetLimits(std::uint64_t splitAboveBytes, std::uint64_t maxCabinetBytes, unsigned cabinetsWhenSplit = 0,
                        unsigned maxCabinetFiles = platform::kMaxCabinetFiles) {
    cabinet_.SetLimits(splitAboveBytes, maxCabinetBytes, cabinetsWhenSplit, maxCabinetFiles);
  }
  void SetCabinetFolderLimits(std::uint64_t minFolderBytes, unsigned folders = 0) {
    cabinet_.SetFolderLimits(minFolderBytes, folders);
  }
  // The bitness of the packages built from now on (kept across builds); decided by Initialize.
  void SetPackageBitness(PackageBitness bitness) { bitnessChoice_ = bitness; }
  // Whether the package of the current (or last) build is a 64-bit one.
  bool package64() const { return state_.package64; }
  const std::vector<std::string>& warnings() const { return state_.warnings; }

 private:
  // Reads what the project captured and decides the machine's and the package's bitness.
  void DecideBitness();
  // Logs each problem as an error and closes the build; true when there is none.
  bool RefuseUnsafePlaces(const std::vector<std::string>& problems);
  bool CopyTemplate();
  bool FinishPackage();
  void DiscardPackage();
  // Ends a cancelled build: the database, directive file and cabinet are closed or removed and
  // nothing of the package is left. Returns 0.
  int AbandonBuild();
  std::string PackageFolder() const;
  // The template's custom action targets name the 64-bit folders in a 64-bit package.
  void UseFolder64BitTwinsInCustomActions();
  std::string DiskDirectory() const;
  // The Media rows: one per cabinet, each with the Sequence of its last file.
  void AddMediaRows(bool haveCabinet);
  // The cabinets are made on a thread of their own (whose makers use every core) while the
  // builder writes the other tables. StartCabinets plans and starts them (false, logged, when they
  // cannot be planned); FinishCabinets waits and reports (true when every cabinet is there);
  // StopCabinets stops and waits for an abandoned build.
  bool StartCabinets();
  bool FinishCabinets();
  void StopCabinets();
  // Makes the planned cabinets, watching the cancel request and stopCabinets_; touches no build
  // state but the status detail line, so it may run on the cabinet thread.
  platform::Status MakeCabinets(std::vector<std::string>& failures) const;
  void ReportCabinets(platform::Status status, const std::vector<std::string>& failures);

  const CWorkContext& context_;
  // The output folder and the package file name of the current build.
  std::string outputFolder_;
  std::string packageFileName_;
  MsiBuildState state_;
  CMsiFilesPass files_;
  CMsiRegistryPass registry_;
  CMsiCabinetPass cabinet_;
  int projectLoaded_ = 0;
  std::string templatePath_;
  std::string packagePath_;
  std::string buildPath_;
  ProductInfo product_;
  std::unique_ptr<CXMLDocumentHandler> project_;
  PackageBitness bitnessChoice_ = PackageBitness::FromContent;
  bool built_ = false;
  std::thread cabinetThread_;
  std::atomic<bool> stopCabinets_{false};
  // Written by the cabinet thread, read after it is joined.
  platform::Status cabinetStatus_ = platform::kSuccess;
  std::vector<std::string> cabinetFailures_;
};
