#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "package/msi_table.h"
#include "package/package_names.h"
#include "platform/installer_database.h"

class CLogger;

// What the passes of one package build share: the package being written and its table set, the
// naming and the numbering of the build, its bitness, and the errors and warnings it reports.
// CMSIHandler owns one and hands it to each pass by reference; a pass keeps only what is its own.
struct MsiBuildState {
  // The feature every component of the package belongs to.
  static constexpr const char* kFeature = "MSIFeature";

  // Logs at level 2 and lists the message among the build's errors.
  void Error(const std::string& message);
  // A warning: logged, kept among the warnings and among the errors as "warning: <message>".
  void Warn(const std::string& message);
  // True when a cancel request stops the build (noted once as an error; the build then fails).
  // Asked per folder, per file, per registry value and per table of rows.
  bool Cancelled();
  // Queues a row for its table (see CMsiTable::Add). A refused row is an error that fails the
  // build. 1 always, as the builder's callers expect.
  int AddRow(uint32_t kind, const MsiRow* row);
  // Writes the queued rows of every table; false when one fails (logged).
  bool FlushTables(const std::wstring& scratchFolder);
  // Component.Attributes for items of a view: the 64-bit attribute in a 64-bit package, except
  // for 32-bit items.
  std::string ComponentAttributes(int attributes,
                                  CPackageNames::Bitness bitness = CPackageNames::Bitness::Neutral) const;
  // A new build starts: its reports and its numbering of files and empty folders.
  void StartBuild();
  // The build is closed: its tables, its naming and the numbering of registry and INI rows.
  void Forget();

  CLogger* logger = nullptr;
  std::unique_ptr<platform::InstallerDatabase> database;
  std::map<uint32_t, std::unique_ptr<CMsiTable>> tables;
  // Tables with more pending rows than this are imported as a whole (kept across builds).
  size_t bulkRows = CMsiTable::kDefaultBulkRows;
  CPackageNames names;

  bool machine64 = false;  // folders and keys are seen as those of a 64-bit machine
  bool package64 = false;

  // Numbering of the build: the next "EMPTYCOMP%d" (from 1), the last File Sequence (incremented
  // before use), the files listed for the cabinet so far (the Media LastSequence), and the next
  // Registry, IniFile and RemoveIniFile row numbers.
  int emptyFolderCounter = 1;
  int fileSequence = 0;
  int cabinetFileCount = 0;
  int registryRowCounter = 0;
  int iniFileRowCounter = 1;
  int removeIniFileRowCounter = 1;

  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  int refusedRows = 0;
  bool buildFailed = false;
  // The build's error list already says that a cancel request stopped it.
  bool cancelNoted = false;

 private:
  CMsiTable* Table(uint32_t kind);
};
