// The installer database over libmsi (msitools).
//
// What libmsi does not do for us, and this file therefore does:
// - An integer out of its column's range (70000 into an i2 column) makes libmsi fail the INSERT
//   after it has begun storing the row: a row with NULL in that column stays behind, even in a
//   NOT NULL column; -32768 into an i2 column is stored as NULL and reported as success. Values
//   bound to integer columns (literals and "?" parameters of INSERT and UPDATE) are checked here
//   first, so a refused row leaves no trace.
// - Text outside the database code page is stored empty or makes the commit crash. The blank
//   template forces code page 65001 (UTF-8), where everything fits; for any other code page the
//   text is checked before it reaches the engine.
// - A table file is checked as a whole before it is imported (see table_file_check.h).
// - libmsi fails some calls without an error object (opening a file that is not a package) and
//   complains through GLib warnings; PrepareGLib() keeps those from ending the process.
//
// What it does and this file cannot undo: every time libmsi (0.101) reads a package (opening it,
// and again after each commit, when it reopens what it wrote) one descriptor of the package stays
// open until the process ends, after Close() too. Its cache_infile_structure() takes a reference
// to each table stream, storage and string-pool stream of the compound file and never drops it;
// each of those keeps its parent (libgsf's reader of the package) alive, and that reader holds the
// file. So a build leaves two: the template copy as opened and the package as committed. The
// builder replaces both afterwards (the commit renames over the first, adding the cabinets
// rewrites the second), so both are "(deleted)" files of the tables alone, whose disk space stays
// taken until the process ends; the package itself is not held. Nothing reads through them again.
// They cannot be
// told apart safely from descriptors another database of the process holds on the same file, so
// they are not closed here. The fix belongs in libmsi: g_object_unref(in) on those three paths of
// cache_infile_structure(), as its plain-stream path already does.
#include "platform/installer_database.h"

#include <libmsi.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/glib_status.h"
#include "platform/wine/sql_targets.h"
#include "platform/wine/table_file_check.h"

namespace fs = std::filesystem;

namespace platform {

using wine::GErrorText;
using wine::GObjectRef;
using wine::ScopedGError;
using wine::StatusFromGError;

namespace {

constexpr unsigned kSummaryUpdateCount = 20;  // more than there are summary properties
constexpr const char* kInsertStreamStatement = "INSERT INTO `_Streams` (`Name`, `Data`) VALUES (?, ?)";
constexpr const char* kDeleteStreamStatement = "DELETE FROM `_Streams` WHERE `Name` = ?";

void LogFailure(const char* operation, const std::string& subject, const std::string& what, Status status) {
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, FormatText("%s failed for %s: %s (error code is: %ld)", operation, subject.c_str(),
                              what.c_str(), status));
  CLogger::ReleaseInstance(logger);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A Windows path of the program on the host; kPathNotFound when no drive maps it.
Status ToHostPath(const std::wstring& windowsPath, fs::path& host) {
  host = Machine::HostPath(windowsPath);
  if (host.empty()) return kPathNotFound;
  std::error_code ec;
  fs::path absolute = fs::absolute(host, ec);
  if (!ec) host = absolute;
  return kSuccess;
}

// kSuccess when the host file exists, is a regular file and can be opened for reading.
Status CheckReadableFile(const fs::path& host) {
  std::error_code ec;
  fs::file_status status = fs::status(host, ec);
  if (!fs::exists(status)) {
    return fs::is_directory(host.parent_path(), ec) ? kFileNotFound : kPathNotFound;
  }
  if (fs::is_directory(status)) return kAccessDenied;
  if (::access(host.c_str(), R_OK) != 0) return kAccessDenied;
  return kSuccess;
}

bool IsStringProperty(unsigned property) {
  return (property >= kPidTitle && property <= kPidRevisionNumber) || property == kPidAppName;
}
bool IsIntegerProperty(unsigned property) {
  return property == kPidCodepage || property == kPidPageCount || property == kPidWordCount ||
         property == 16 /* character count */ || property == kPidSecurity;
}

// Column types of a table as libmsi reports them ("s72", "I2", "V0", ...).
struct ColumnTypes {
  bool known = false;
  std::map<std::string, std::string> types;  // column name -> type text
};

bool ParseDecimal(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

// Whether `value` fits an integer column of type `type`; the text says why not.
bool IntegerFits(const std::string& type, long long value, std::string& why) {
  bool nullable = !type.empty() && type[0] == 'I';
  bool shortColumn = type.size() >= 2 && type.substr(1) == "2";
  long long limit = shortColumn ? 32767 : 2147483647;
  long long nullMarker = shortColumn ? -32768 : static_cast<long long>(INT_MIN);
  if (value == nullMarker && nullable) return true;  // the engine's way of writing NULL
  if (value < -limit || value > limit) {
    why = FormatText("%lld is out of the range of a %s column", value, type.c_str());
    return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared state of an open database, kept alive by the views opened on it.

namespace {

struct DatabaseState {
  GObjectRef<LibmsiDatabase> db;
  bool open = false;
  bool readOnly = false;
  fs::path hostPath;
  int codepage = -1;  // -1: unknown (no checks)
  std::map<std::string, ColumnTypes> columns;

  const ColumnTypes& Columns(const std::string& table) {
    ColumnTypes& entry = columns[table];
    if (entry.known) return entry;
    entry.known = true;
    std::string statement = "SELECT * FROM `" + table + "`";
    ScopedGError error;
    GObjectRef<LibmsiQuery> query(libmsi_query_new(db.get(), statement.c_str(), error.out()));
    if (!query) return entry;  // no such table: the statement itself will fail
    GObjectRef<LibmsiRecord> names(libmsi_query_get_column_info(query.get(), LIBMSI_COL_INFO_NAMES, nullptr));
    GObjectRef<LibmsiRecord> types(libmsi_query_get_column_info(query.get(), LIBMSI_COL_INFO_TYPES, nullptr));
    if (names && types) {
      guint count = libmsi_record_get_field_count(names.get());
      for (guint i = 1; i <= count; ++i) {
        gchar* name = libmsi_record_get_string(names.get(), i);
        gchar* type = libmsi_record_get_string(types.get(), i);
        if (name != nullptr && type != nullptr) entry.types[name] = type;
        g_free(name);
        g_free(type);
      }
    }
    libmsi_query_close(query.get(), nullptr);
    return entry;
  }

  void ReadCodepage() {
    codepage = -1;
    int fd = ::memfd_create("codepage", MFD_CLOEXEC);
    if (fd < 0) return;
    if (libmsi_database_export(db.get(), "_ForceCodepage", fd, nullptr)) {
      char buffer[128] = {};
      ::lseek(fd, 0, SEEK_SET);
      ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
      if (n > 0) {
        // Two empty lines, then "<codepage>\t_ForceCodepage".
        std::string text(buffer, static_cast<size_t>(n));
        size_t tab = text.find("\t_ForceCodepage");
        size_t start = text.find_last_of("\r\n", tab);
        if (tab != std::string::npos) {
          std::string number = text.substr(start == std::string::npos ? 0 : start + 1,
                                           tab - (start == std::string::npos ? 0 : start + 1));
          long long value = 0;
          if (ParseDecimal(number, value)) codepage = static_cast<int>(value);
        }
      }
    }
    ::close(fd);
  }

  // Whether UTF-8 text can be stored in the database code page without loss.
  bool Representable(const std::string& text, std::string& why) const {
    if (codepage == 65001 || codepage < 0) return true;
    bool ascii = true;
    for (unsigned char c : text) {
      if (c >= 0x80) ascii = false;
    }
    if (ascii) return true;
    // Code page 0 is the engine's "system code page", which libmsi takes to be 1252.
    std::string charset = "CP" + std::to_string(codepage == 0 ? 1252 : codepage);
    GError* error = nullptr;
    gsize written = 0;
    gchar* converted = g_convert(text.c_str(), static_cast<gssize>(text.size()), charset.c_str(), "UTF-8",
                                 nullptr, &written, &error);
    bool ok = converted != nullptr;
    if (error != nullptr && error->domain == G_CONVERT_ERROR &&
        error->code == G_CONVERT_ERROR_NO_CONVERSION) {
      ok = true;  // iconv does not know the code page: nothing to check against
    }
    g_free(converted);
    if (error != nullptr) g_error_free(error);
    if (!ok) why = FormatText("text outside the database code page %d", codepage);
    return ok;
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// InstallerRecord

struct InstallerRecord::Impl {
  enum class Kind { kNull, kInteger, kString, kStream };
  struct Field {
    Kind kind = Kind::kNull;
    long long integer = 0;
    std::string text;
  };
  GObjectRef<LibmsiRecord> record;
  unsigned count = 0;
  std::vector<Field> fields;  // what was set, for the checks before a statement runs

  bool InRange(unsigned field) const { return record && field <= count; }
};

InstallerRecord::InstallerRecord(unsigned fieldCount) : impl_(std::make_unique<Impl>()) {
  wine::PrepareGLib();
  impl_->record.reset(libmsi_record_new(fieldCount));
  impl_->count = impl_->record ? fieldCount : 0;
  impl_->fields.resize(impl_->count + 1);
}

InstallerRecord::~InstallerRecord() = default;

unsigned InstallerRecord::fieldCount() const { return impl_->count; }

Status InstallerRecord::SetString(unsigned field, const std::string& utf8) {
  if (!impl_->record) return kInvalidHandle;
  if (!impl_->InRange(field)) return kInvalidParameter;
  if (!g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)) return kInvalidParameter;
  if (!libmsi_record_set_string(impl_->record.get(), field, utf8.c_str())) return kInvalidParameter;
  impl_->fields[field] = {utf8.empty() ? Impl::Kind::kNull : Impl::Kind::kString, 0, utf8};
  return kSuccess;
}

Status InstallerRecord::SetInteger(unsigned field, int value) {
  if (!impl_->record) return kInvalidHandle;
  if (!impl_->InRange(field)) return kInvalidParameter;
  if (!libmsi_record_set_int(impl_->record.get(), field, value)) return kInvalidParameter;
  impl_->fields[field] = {Impl::Kind::kInteger, value, {}};
  return kSuccess;
}

Status InstallerRecord::SetNull(unsigned field) {
  if (!impl_->record) return kInvalidHandle;
  if (!impl_->InRange(field)) return kInvalidParameter;
  // libmsi has no "set null"; an empty string is the engine's NULL.
  if (!libmsi_record_set_string(impl_->record.get(), field, nullptr) &&
      !libmsi_record_set_string(impl_->record.get(), field, "")) {
    return kInvalidParameter;
  }
  impl_->fields[field] = {};
  return kSuccess;
}

Status InstallerRecord::SetStreamFromFile(unsigned field, const std::wstring& path) {
  if (!impl_->record) return kInvalidHandle;
  if (!impl_->InRange(field)) return kInvalidParameter;
  fs::path host;
  Status status = ToHostPath(path, host);
  if (status == kSuccess) status = CheckReadableFile(host);
  if (status == kSuccess && !libmsi_record_load_stream(impl_->record.get(), field, host.c_str())) {
    status = kFunctionFailed;
  }
  if (status != kSuccess) {
    LogFailure("InstallerRecord::SetStreamFromFile", Quoted(WideToUtf8(path)), "the file cannot be read", status);
    return status;
  }
  impl_->fields[field] = {Impl::Kind::kStream, 0, {}};
  return kSuccess;
}

bool InstallerRecord::IsNull(unsigned field) const {
  if (!impl_->InRange(field)) return true;
  return libmsi_record_is_null(impl_->record.get(), field);
}

std::string InstallerRecord::GetString(unsigned field) const {
  if (!impl_->InRange(field) || libmsi_record_is_null(impl_->record.get(), field)) return {};
  gchar* text = libmsi_record_get_string(impl_->record.get(), field);
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

int InstallerRecord::GetInteger(unsigned field) const {
  // MSI_NULL_INTEGER, as the Windows Installer answers for an empty or non-numeric field.
  if (!impl_->InRange(field) || libmsi_record_is_null(impl_->record.get(), field)) return INT_MIN;
  return libmsi_record_get_int(impl_->record.get(), field);
}

// ---------------------------------------------------------------------------------------------
// InstallerDatabase::Impl

struct InstallerDatabase::Impl {
  std::shared_ptr<DatabaseState> state = std::make_shared<DatabaseState>();
  GObjectRef<LibmsiSummaryInfo> summary;
  std::string path;  // the Windows path, for the logs
  std::string lastError;

  Status Fail(const char* operation, const std::string& subject, const std::string& what, Status status) {
    lastError = FormatText("%s: %s (error code is: %ld)", subject.c_str(), what.c_str(), status);
    LogFailure(operation, subject, what, status);
    return status;
  }
};

// ---------------------------------------------------------------------------------------------
// InstallerView

struct InstallerView::Impl {
  std::shared_ptr<DatabaseState> state;
  GObjectRef<LibmsiDatabase> database;  // our own reference: the query may outlive Close()
  GObjectRef<LibmsiQuery> query;
  std::string statement;
  wine::SqlTargets targets;
  std::string lastError;

  Status Fail(const char* operation, const std::string& what, Status status) {
    lastError = FormatText("%s: %s (error code is: %ld)", statement.c_str(), what.c_str(), status);
    LogFailure(operation, Quoted(statement), what, status);
    return status;
  }

  bool Usable() const { return query && state && state->open; }

  // The checks libmsi makes too late (see the top of the file). Empty when the values may go.
  std::string CheckValues(const InstallerRecord* record) {
    std::string why;
    if (!state->Representable(statement, why)) return why;
    if (record != nullptr) {
      for (const auto& field : record->impl()->fields) {
        if (field.kind == InstallerRecord::Impl::Kind::kString && !state->Representable(field.text, why)) {
          return why;
        }
      }
    }
    if (targets.kind != wine::SqlTargets::Kind::kInsert && targets.kind != wine::SqlTargets::Kind::kUpdate) {
      return {};
    }
    const ColumnTypes& columns = state->Columns(targets.table);
    for (const wine::SqlAssignment& assignment : targets.assignments) {
      auto found = columns.types.find(assignment.column);
      if (found == columns.types.end()) continue;
      const std::string& type = found->second;
      if (type.empty() || (type[0] != 'i' && type[0] != 'I')) continue;
      long long value = 0;
      bool haveValue = false;
      const wine::SqlValue& v = assignment.value;
      if (v.kind == wine::SqlValue::Kind::kInteger || v.kind == wine::SqlValue::Kind::kString) {
        haveValue = ParseDecimal(v.text, value);
      } else if (v.kind == wine::SqlValue::Kind::kParameter && record != nullptr &&
                 v.parameter < record->impl()->fields.size()) {
        const auto& field = record->impl()->fields[v.parameter];
        if (field.kind == InstallerRecord::Impl::Kind::kInteger) {
          value = field.integer;
          haveValue = true;
        } else if (field.kind == InstallerRecord::Impl::Kind::kString) {
          haveValue = ParseDecimal(field.text, value);
        }
      }
      if (haveValue && !IntegerFits(type, value, why)) {
        return FormatText("column `%s` of table `%s`: %s", assignment.column.c_str(), targets.table.c_str(),
                          why.c_str());
      }
    }
    return {};
  }
};

InstallerView::InstallerView() : impl_(std::make_unique<Impl>()) {}

InstallerView::~InstallerView() { Close(); }

Status InstallerView::Open(InstallerDatabase& database, const std::string& statement) {
  Close();
  impl_->statement = statement;
  impl_->lastError.clear();
  InstallerDatabase::Impl* db = database.impl();
  if (db == nullptr || !db->state->open) {
    return impl_->Fail("InstallerView::Open", "the database is not open", kInvalidHandle);
  }
  impl_->state = db->state;
  impl_->database.reset(LIBMSI_DATABASE(g_object_ref(db->state->db.get())));
  ScopedGError error;
  impl_->query.reset(libmsi_query_new(db->state->db.get(), statement.c_str(), error.out()));
  if (!impl_->query) {
    Status status = StatusFromGError(error.get(), kBadQuerySyntax);
    impl_->state.reset();
    impl_->database.reset();
    return impl_->Fail("InstallerView::Open", GErrorText(error.get(), "statement not accepted"), status);
  }
  impl_->targets = wine::ReadSqlTargets(statement);
  return kSuccess;
}

Status InstallerView::Execute(const InstallerRecord* record) {
  if (!impl_->Usable()) return impl_->Fail("InstallerView::Execute", "the view is not open", kInvalidHandle);
  if (record != nullptr && !record->impl()->record) {
    return impl_->Fail("InstallerView::Execute", "the record is not usable", kInvalidHandle);
  }
  if (impl_->state->readOnly && (impl_->targets.kind != wine::SqlTargets::Kind::kOther)) {
    return impl_->Fail("InstallerView::Execute", "the database is open read-only", kAccessDenied);
  }
  std::string refused = impl_->CheckValues(record);
  if (!refused.empty()) return impl_->Fail("InstallerView::Execute", refused, kFunctionFailed);

  ScopedGError error;
  LibmsiRecord* bound = record != nullptr ? record->impl()->record.get() : nullptr;
  if (!libmsi_query_execute(impl_->query.get(), bound, error.out())) {
    Status status = StatusFromGError(error.get(), kFunctionFailed);
    return impl_->Fail("InstallerView::Execute", GErrorText(error.get(), "row refused"), status);
  }
  if (impl_->targets.kind == wine::SqlTargets::Kind::kSchemaChange) impl_->state->columns.clear();
  return kSuccess;
}

Status InstallerView::Fetch(std::unique_ptr<InstallerRecord>& row) {
  if (!impl_->Usable()) return impl_->Fail("InstallerView::Fetch", "the view is not open", kInvalidHandle);
  ScopedGError error;
  LibmsiRecord* fetched = libmsi_query_fetch(impl_->query.get(), error.out());
  if (fetched == nullptr) {
    if (error.get() == nullptr) return kNoMoreItems;
    Status status = StatusFromGError(error.get(), kFunctionFailed);
    return impl_->Fail("InstallerView::Fetch", GErrorText(error.get(), "fetch failed"), status);
  }
  auto result = std::make_unique<InstallerRecord>(0);
  result->impl()->record.reset(fetched);
  result->impl()->count = libmsi_record_get_field_count(fetched);
  result->impl()->fields.assign(result->impl()->count + 1, {});
  row = std::move(result);
  return kSuccess;
}

void InstallerView::Close() {
  if (impl_->query) libmsi_query_close(impl_->query.get(), nullptr);
  impl_->query.reset();
  impl_->database.reset();
  impl_->state.reset();
  impl_->targets = {};
}

const std::string& InstallerView::lastError() const { return impl_->lastError; }

// ---------------------------------------------------------------------------------------------
// InstallerDatabase

InstallerDatabase::InstallerDatabase() : impl_(std::make_unique<Impl>()) {}

InstallerDatabase::~InstallerDatabase() { Close(); }

namespace {

Status OpenDatabase(InstallerDatabase::Impl& impl, const std::wstring& path, bool readOnly) {
  wine::PrepareGLib();
  const char* operation = readOnly ? "InstallerDatabase::OpenReadOnly" : "InstallerDatabase::Open";
  impl.path = WideToUtf8(path);
  fs::path host;
  Status status = ToHostPath(path, host);
  if (status != kSuccess) return impl.Fail(operation, Quoted(impl.path), "no drive maps the path", status);
  status = CheckReadableFile(host);
  if (status != kSuccess) return impl.Fail(operation, Quoted(impl.path), "the package cannot be read", status);
  if (!readOnly) {
    // The commit writes a new file beside the package and renames it over the package.
    if (::access(host.c_str(), W_OK) != 0 || ::access(host.parent_path().c_str(), W_OK | X_OK) != 0) {
      return impl.Fail(operation, Quoted(impl.path), "the package or its folder is not writable", kAccessDenied);
    }
  }
  ScopedGError error;
  LibmsiDatabase* db =
      readOnly ? libmsi_database_new(host.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, error.out())
               // No separate output path: libmsi then writes the commit back onto the package (a
               // new file renamed over it). Naming the package itself as the output path would be
               // wrong: libmsi deletes its output file when the database is closed without a
               // commit, or when the open fails.
               : libmsi_database_new(host.c_str(), LIBMSI_DB_FLAGS_TRANSACT, nullptr, error.out());
  if (db == nullptr) {
    return impl.Fail(operation, Quoted(impl.path), GErrorText(error.get(), "not an installer package"),
                     StatusFromGError(error.get(), kOpenFailed));
  }
  impl.state->db.reset(db);
  impl.state->hostPath = host;
  impl.state->open = true;
  impl.state->readOnly = readOnly;
  impl.state->ReadCodepage();
  return kSuccess;
}

}  // namespace

Status InstallerDatabase::Open(const std::wstring& path) {
  Close();
  impl_->lastError.clear();
  return OpenDatabase(*impl_, path, false);
}

Status InstallerDatabase::OpenReadOnly(const std::wstring& path) {
  Close();
  impl_->lastError.clear();
  return OpenDatabase(*impl_, path, true);
}

bool InstallerDatabase::IsOpen() const { return impl_->state->open; }

Status InstallerDatabase::Execute(const std::string& statement, const InstallerRecord* record) {
  InstallerView view;
  Status status = view.Open(*this, statement);
  if (status == kSuccess) status = view.Execute(record);
  if (status != kSuccess) impl_->lastError = view.lastError();
  view.Close();
  return status;
}

Status InstallerDatabase::InsertStream(const std::string& name, const std::wstring& filePath) {
  const char* operation = "InstallerDatabase::InsertStream";
  if (!IsOpen()) return impl_->Fail(operation, Quoted(name), "the database is not open", kInvalidHandle);
  if (impl_->state->readOnly) return impl_->Fail(operation, Quoted(name), "the database is open read-only", kAccessDenied);
  InstallerRecord record(2);
  Status status = record.SetString(1, name);
  if (status != kSuccess || name.empty()) {
    return impl_->Fail(operation, Quoted(name), "not a usable stream name", kInvalidParameter);
  }
  status = record.SetStreamFromFile(2, filePath);
  if (status != kSuccess) {
    return impl_->Fail(operation, Quoted(name) + " from " + Quoted(WideToUtf8(filePath)), "the file cannot be read",
                       status);
  }
  // "Adds or replaces": an existing stream of that name goes first.
  InstallerRecord key(1);
  key.SetString(1, name);
  Status removed = Execute(kDeleteStreamStatement, &key);
  if (removed != kSuccess) return removed;
  return Execute(kInsertStreamStatement, &record);
}

Status InstallerDatabase::ImportTable(const std::wstring& idtFilePath) {
  const char* operation = "InstallerDatabase::ImportTable";
  std::string subject = Quoted(WideToUtf8(idtFilePath));
  if (!IsOpen()) return impl_->Fail(operation, subject, "the database is not open", kInvalidHandle);
  if (impl_->state->readOnly) return impl_->Fail(operation, subject, "the database is open read-only", kAccessDenied);
  fs::path host;
  Status status = ToHostPath(idtFilePath, host);
  if (status == kSuccess) status = CheckReadableFile(host);
  if (status != kSuccess) return impl_->Fail(operation, subject, "the table file cannot be read", status);

  std::ifstream in(host, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof()) return impl_->Fail(operation, subject, "the table file cannot be read", kReadFault);
  wine::TableFileFacts facts;
  std::string problem;
  if (!wine::CheckTableFile(text.str(), facts, problem)) {
    return impl_->Fail(operation, subject, problem, kInvalidData);
  }
  ScopedGError error;
  if (!libmsi_database_import(impl_->state->db.get(), host.c_str(), error.out())) {
    Status failed = StatusFromGError(error.get(), kFunctionFailed);
    return impl_->Fail(operation, subject + " (table " + facts.table + ")",
                       GErrorText(error.get(), "import refused"), failed);
  }
  impl_->state->columns.erase(facts.table);
  if (facts.codepageOnly) impl_->state->ReadCodepage();
  return kSuccess;
}

namespace {

// The summary information object of the database, made on first use.
LibmsiSummaryInfo* Summary(InstallerDatabase::Impl& impl, Status& status) {
  status = kSuccess;
  if (impl.summary) return impl.summary.get();
  ScopedGError error;
  unsigned updates = impl.state->readOnly ? 0 : kSummaryUpdateCount;
  impl.summary.reset(libmsi_summary_info_new(impl.state->db.get(), updates, error.out()));
  if (!impl.summary) {
    status = impl.Fail("InstallerDatabase::SummaryInformation", Quoted(impl.path),
                       GErrorText(error.get(), "no summary information"), StatusFromGError(error.get(), kFunctionFailed));
  }
  return impl.summary.get();
}

}  // namespace

Status InstallerDatabase::SetSummaryText(unsigned property, const std::string& utf8) {
  const char* operation = "InstallerDatabase::SetSummaryText";
  std::string subject = FormatText("summary property %u", property);
  if (!IsOpen()) return impl_->Fail(operation, subject, "the database is not open", kInvalidHandle);
  if (impl_->state->readOnly) return impl_->Fail(operation, subject, "the database is open read-only", kAccessDenied);
  if (!IsStringProperty(property)) return impl_->Fail(operation, subject, "not a text property", 1629);
  if (!g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)) {
    return impl_->Fail(operation, subject, "the text is not UTF-8", kInvalidParameter);
  }
  Status status = kSuccess;
  LibmsiSummaryInfo* summary = Summary(*impl_, status);
  if (summary == nullptr) return status;
  ScopedGError error;
  if (!libmsi_summary_info_set_string(summary, static_cast<LibmsiProperty>(property), utf8.c_str(), error.out())) {
    return impl_->Fail(operation, subject, GErrorText(error.get(), "refused"),
                       StatusFromGError(error.get(), kFunctionFailed));
  }
  return kSuccess;
}

Status InstallerDatabase::SetSummaryInteger(unsigned property, int value) {
  const char* operation = "InstallerDatabase::SetSummaryInteger";
  std::string subject = FormatText("summary property %u", property);
  if (!IsOpen()) return impl_->Fail(operation, subject, "the database is not open", kInvalidHandle);
  if (impl_->state->readOnly) return impl_->Fail(operation, subject, "the database is open read-only", kAccessDenied);
  if (!IsIntegerProperty(property)) return impl_->Fail(operation, subject, "not an integer property", 1629);
  Status status = kSuccess;
  LibmsiSummaryInfo* summary = Summary(*impl_, status);
  if (summary == nullptr) return status;
  ScopedGError error;
  if (!libmsi_summary_info_set_int(summary, static_cast<LibmsiProperty>(property), value, error.out())) {
    return impl_->Fail(operation, subject, GErrorText(error.get(), "refused"),
                       StatusFromGError(error.get(), kFunctionFailed));
  }
  return kSuccess;
}

std::string InstallerDatabase::GetSummaryText(unsigned property) {
  if (!IsOpen()) return {};
  Status status = kSuccess;
  LibmsiSummaryInfo* summary = Summary(*impl_, status);
  if (summary == nullptr) return {};
  // Asked by the property's known type: libmsi complains (a GLib warning) when asked for the type
  // of an empty property.
  if (IsStringProperty(property)) {
    const gchar* text = libmsi_summary_info_get_string(summary, static_cast<LibmsiProperty>(property), nullptr);
    return text != nullptr ? text : "";
  }
  if (IsIntegerProperty(property)) {
    ScopedGError error;
    gint value = libmsi_summary_info_get_int(summary, static_cast<LibmsiProperty>(property), error.out());
    return error.get() == nullptr ? std::to_string(value) : std::string();
  }
  return {};
}

Status InstallerDatabase::PersistSummary() {
  const char* operation = "InstallerDatabase::PersistSummary";
  if (!IsOpen()) return impl_->Fail(operation, Quoted(impl_->path), "the database is not open", kInvalidHandle);
  if (impl_->state->readOnly) return impl_->Fail(operation, Quoted(impl_->path), "the database is open read-only", kAccessDenied);
  if (!impl_->summary) return kSuccess;  // nothing was changed
  ScopedGError error;
  if (!libmsi_summary_info_persist(impl_->summary.get(), error.out())) {
    return impl_->Fail(operation, Quoted(impl_->path), GErrorText(error.get(), "not written"),
                       StatusFromGError(error.get(), kFunctionFailed));
  }
  return kSuccess;
}

Status InstallerDatabase::Commit() {
  const char* operation = "InstallerDatabase::Commit";
  if (!IsOpen()) return impl_->Fail(operation, Quoted(impl_->path), "the database is not open", kInvalidHandle);
  if (impl_->state->readOnly) return impl_->Fail(operation, Quoted(impl_->path), "the database is open read-only", kAccessDenied);
  // The new file libmsi renames over the package is made private (0600): the package keeps the
  // permissions it had.
  std::error_code ec;
  fs::perms permissions = fs::status(impl_->state->hostPath, ec).permissions();
  bool havePermissions = !ec;
  ScopedGError error;
  if (!libmsi_database_commit(impl_->state->db.get(), error.out())) {
    return impl_->Fail(operation, Quoted(impl_->path), GErrorText(error.get(), "not written"),
                       StatusFromGError(error.get(), kWriteFault));
  }
  if (havePermissions) fs::permissions(impl_->state->hostPath, permissions, ec);
  return kSuccess;
}

void InstallerDatabase::Close() {
  impl_->summary.reset();
  // Views still open keep the engine's object alive but can no longer be used.
  impl_->state->open = false;
  impl_->state->columns.clear();
  impl_->state->db.reset();
  impl_->state = std::make_shared<DatabaseState>();
}

const std::string& InstallerDatabase::lastError() const { return impl_->lastError; }

}  // namespace platform
