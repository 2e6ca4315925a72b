#pragma once
#include <cstdint>
#include <memory>
#include <string>

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

class InstallerDatabase {
 public:
  InstallerDatabase();
  ~InstallerDatabase();
  InstallerDatabase(const InstallerDatabase&) = delete;
  InstallerDatabase& operator=(const InstallerDatabase&) = delete;

  // Opens an existing package for changes in place (persist mode "direct"); Commit() writes them.
  Status Open(const std::wstring& path);
  // Opens a package read-only (for checks and tests).
  Status OpenReadOnly(const std::wstring& path);
  bool IsOpen() const;

  // Runs one statement with an optional record (open, execute, close).
  Status Execute(const std::string& statement, const InstallerRecord* record = nullptr);
  // Adds or replaces a stream of the _Streams table with the contents of a file.
  Status InsertStream(const std::string& name, const std::wstring& filePath);
  // Imports a table from a file in the installer's table export format.
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
