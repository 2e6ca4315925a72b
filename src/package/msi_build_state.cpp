#include "package/msi_build_state.h"

#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"

namespace {

// msidbComponentAttributes64bit: the component's registry values go to the native view.
constexpr int kComponent64Bit = 256;

}  // namespace

void MsiBuildState::Error(const std::string& message) {
  if (logger != nullptr) logger->Write(2, message);
  errors.push_back(message);
}

void MsiBuildState::Warn(const std::string& message) {
  if (logger != nullptr) logger->Write(2, "CMSIHandler warning: " + message);
  warnings.push_back(message);
  errors.push_back("warning: " + message);
}

bool MsiBuildState::Cancelled() {
  if (!CancelRequest.IsRequested()) return false;
  if (!cancelNoted) {
    Error("CMSIHandler::BuildMSI: the build was cancelled; no package was written");
    cancelNoted = true;
  }
  buildFailed = true;
  return true;
}

std::string MsiBuildState::ComponentAttributes(int attributes, CPackageNames::Bitness bitness) const {
  return std::to_string(package64 && bitness != CPackageNames::Bitness::Bits32 ? attributes | kComponent64Bit
                                                                               : attributes);
}

void MsiBuildState::StartBuild() {
  errors.clear();
  cancelNoted = false;
  warnings.clear();
  refusedRows = 0;
  buildFailed = false;
  emptyFolderCounter = 1;
  fileSequence = 0;
  cabinetFileCount = 0;
}

void MsiBuildState::Forget() {
  names.Clear();
  registryRowCounter = 0;
  iniFileRowCounter = 1;
  removeIniFileRowCounter = 1;
  tables.clear();
}

CMsiTable* MsiBuildState::Table(uint32_t kind) {
  auto found = tables.find(kind);
  if (found != tables.end()) return found->second.get();
  std::unique_ptr<CMsiTable> table = CMsiTable::Create(kind);
  if (!table) return nullptr;
  table->SetBulkRows(bulkRows);
  CMsiTable* raw = table.get();
  tables.emplace(kind, std::move(table));
  return raw;
}

int MsiBuildState::AddRow(uint32_t kind, const MsiRow* row) {
  CTraceScope trace(logger, "CMSIHandler::PopulateMSITable");
  if (row == nullptr || !database) return 1;
  CMsiTable* table = Table(kind);
  if (table == nullptr) return 1;
  if (logger != nullptr && *CMsiTable::EntryTag(kind) != '\0')
    logger->Write(1, std::string("CMSIHandler::PopulateMSITable : ") + CMsiTable::EntryTag(kind));
  std::string reason;
  if (table->Add(*database, *row, reason)) return 1;

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
  if (kind == FILE_TABLE && logger != nullptr) logger->Write(2, "Failed to exec MSI view");
  Error(detail);
  ++refusedRows;
  buildFailed = true;
  return 1;
}

bool MsiBuildState::FlushTables(const std::wstring& scratchFolder) {
  bool ok = true;
  for (auto& [kind, table] : tables) {
    if (Cancelled()) return false;
    std::string error;
    if (table->Flush(*database, scratchFolder, error) != platform::kSuccess) {
      Error(FormatText("Error- Function: CMSIHandler::PopulateMSITable, Table: %s, %s", CMsiTable::ErrorTag(kind),
                       error.c_str()));
      ok = false;
    }
  }
  return ok;
}
