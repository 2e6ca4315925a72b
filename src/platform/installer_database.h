#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

// The Windows Installer database: open a package, run statements with records, streams, summary
// information, commit. Text is UTF-8. Every value can be bound as a "?" parameter of a record;
// that is the only safe way to pass text that may contain a single quote.
namespace platform {

class InstallerRecord {
 public:
  explicit InstallerRecord(unsigned fieldCount);
  ~InstallerRecord();
  InstallerRecord(const InstallerRecord&) = delete;
  InstallerRecord& operator=(const InstallerRecord&) = delete;

  unsigned fieldCount() const;
  // Fields count from 1. kSuccess or kInvalidParameter (field out of range).
  Status SetString(unsigned field, const std::string& utf8);
  Status SetInteger(unsigned field, int value);
  Status SetNull(unsigned field);
  // Reads a whole file into the field (MsiRecordSetStream). kSuccess, kFileNotFound, ...
  Status SetStreamFromFile(unsigned field, const std::wstring& path);

  // Read access, for records fetched from a view.
  bool IsNull(unsigned field) const;
  std::string GetString(unsigned field) const;
  int GetInteger(unsigned field) const;

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

class InstallerDatabase;

// A statement prepared on a database (MsiDatabaseOpenView ... MsiViewClose).
class InstallerView {
 public:
  InstallerView();
  ~InstallerView();
  InstallerView(const InstallerView&) = delete;
  InstallerView& operator=(const InstallerView&) = delete;

  // kSuccess, or kBadQuerySyntax when the statement is not accepted.
  Status Open(InstallerDatabase& database, const std::string& statement);
  // Runs the statement with the record's fields bound to its "?" markers (or none). May be called
  // again with another record. kSuccess, or kFunctionFailed when the row was refused.
  Status Execute(const InstallerRecord* record);
  // Next row of a SELECT: fills a new record; kNoMoreItems at the end.
  Status Fetch(std::unique_ptr<InstallerRecord>& row);
  void Close();
  // Text of the last failure (engine message and status), for the logs.
  const std::string& lastError() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Summary information property ids (Win32 PID_*).
inline constexpr unsigned kPidCodepage = 1;
inline constexpr unsigned kPidTitle = 2;
inline constexpr unsigned kPidSubject = 3;
inline constexpr unsigned kPidAuthor = 4;
inline constexpr unsigned kPidKeywords = 5;
inline constexpr unsigned kPidComments = 6;
inline constexpr unsigned kPidTemplate = 7;
inline constexpr unsigned kPidLastAuthor = 8;
inline constexpr unsigned kPidRevisionNumber = 9;
inline constexpr unsigned kPidPageCount = 14;
inline constexpr unsigned kPidWordCount = 15;
inline constexpr unsigned kPidAppName = 18;
inline constexpr unsigned kPidSecurity = 19;

// Whether a text value can be a field of a table file for InstallerDatabase::ImportTable: the
// format has no escapes, so TAB, CR and LF cannot be carried. (An empty value is NULL, as it is
// for every string column of the installer.)
inline bool CanImportAsTableText(std::string_view utf8) {
  return utf8.find_first_of("\t\r\n") == std::string_view::npos;
}

class InstallerDatabase {
 public:
  InstallerDatabase();
  ~InstallerDatabase();
  InstallerDatabase(const InstallerDatabase&) = delete;
  InstallerDatabase& operator=(const InstallerDatabase&) = delete;

  // Opens an existing package for changes in place (persist mode "direct"); Commit() writes them.
  // Under Wine the commit writes a new file beside the package and renames it over the package, so
  // the package's folder must be writable. Closing without Commit() discards the changes.
  // Under Wine libmsi keeps one descriptor of the package open per open and per commit, until the
  // process ends (a leak in libmsi; see the Wine backend).
  // kSuccess, kPathNotFound, kFileNotFound, kAccessDenied, kOpenFailed (not a package).
  Status Open(const std::wstring& path);
  // Opens a package read-only (for checks and tests).
  Status OpenReadOnly(const std::wstring& path);
  bool IsOpen() const;

  // Runs one statement with an optional record (open, execute, close).
  // Integer values bound to integer columns by INSERT and UPDATE (literals and "?" fields) are
  // checked against the column's range before the engine sees them (an i2 column holds
  // -32767..32767): the Windows Installer refuses such a row, and libmsi would leave half of it
  // behind. In a database whose code page is not 65001, text the code page cannot hold is refused
  // likewise (kFunctionFailed) instead of being stored empty or breaking the commit.
  Status Execute(const std::string& statement, const InstallerRecord* record = nullptr);
  // Adds or replaces a stream of the _Streams table with the contents of a file.
  Status InsertStream(const std::string& name, const std::wstring& filePath);
  // Imports a table from a file in the installer's table export format.
  //
  // Cheaper than a new INSERT statement per row, though not by an order, and no cheaper than one
  // parameterised INSERT executed again for every row: under Wine all three cost time that grows
  // with the square of the row count (libmsi looks for a duplicate key among all rows of the table
  // before it adds a row); bench/installer_database_bench measured imports about 1.7x cheaper than
  // a statement per row at 40,000 files, bench/table_rows_bench the same time as the re-executed
  // INSERT at 10,000 to 100,000 files.
  // The format: line 1 the column names, line 2 the column types (s72, S72, l255, i2,
  // I4, ...), line 3 the table name and its key columns, then one row per line; fields separated by
  // TAB, lines ended by CR LF (LF also reads); UTF-8 (the blank template forces code page 65001); an
  // empty field is NULL. A "_ForceCodepage" file (two empty lines, then "65001<TAB>_ForceCodepage")
  // sets the database code page.
  // - The import replaces the whole table: rows it held before are gone.
  // - The format has no escapes: a value holding a TAB, CR or LF cannot be written (see
  //   CanImportAsTableText) and must be inserted with a parameterised statement afterwards.
  // - Stream columns cannot be filled from a table file; set them through records.
  // The file is checked as a whole first (field counts, required values, integer ranges, duplicate
  // keys, UTF-8): kInvalidData and nothing imported when it fails. kSuccess, kFileNotFound,
  // kInvalidData, kFunctionFailed (engine refusal).
  Status ImportTable(const std::wstring& idtFilePath);

  // Summary information: string and integer properties; written by PersistSummary().
  Status SetSummaryText(unsigned property, const std::string& utf8);
  Status SetSummaryInteger(unsigned property, int value);
  std::string GetSummaryText(unsigned property);
  Status PersistSummary();

  Status Commit();
  void Close();
  // Text of the last failure (engine message and status), for the logs.
  const std::string& lastError() const;

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
