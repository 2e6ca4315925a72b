#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/installer_database.h"

class CLogger;

// The installer tables the package builder writes, with the numbers callers pass.
enum MsiTableKind : uint32_t {
  COMPONENT_TABLE = 0,
  FEATURE_COMPONENT_TABLE = 2,
  DIRECTORY_TABLE = 3,
  FILE_TABLE = 4,
  ICON_TABLE = 5,
  MEDIA_TABLE = 6,
  REGISTRY_TABLE = 7,
  PROPERTY_TABLE = 8,
  SHORTCUT_TABLE = 9,
  INI_FILE_TABLE = 10,
  REMOVE_INI_FILE_TABLE = 11,
  CREATE_FOLDER_TABLE = 12,
  // Folders of the package's shortcuts, removed again on uninstall.
  REMOVE_FILE_TABLE = 13,
};

// One row as the builder hands it over: UTF-8 text fields in the order of the table's statement.
// An empty field is a NULL; numbers are decimal text. For the Icon table the second field is the
// path of the icon file, whose bytes become the Data stream.
using MsiRow = std::vector<std::string>;

// One installer table of the package being built: its statement, its columns, and the rows added
// to it in this build. Every value is bound as a parameter, so no text (a folder O'Brien, an INI
// section [it's]) can break a statement.
//
// Rows are checked when they are added, as the database would check them (a NOT NULL column left
// empty, a number that is not one or is out of range, a key already present in the template or in
// this build): a refused row is reported and never reaches the package; the first row of a key
// wins. Accepted rows are written by Flush(): row by row through the statement, or, for a large
// table, by importing the whole table once in the installer's table export format. Rows of the
// Icon table (a stream column) are inserted at once.
//
// Under Wine both ways cost time that grows with the square of the row count, and about the same
// (bench/table_rows_bench): every row libmsi adds, by statement or by import, is first compared
// with every row of its table for a duplicate key. No way into libmsi avoids that comparison;
// docs/libmsi-key-index.patch is the change to libmsi that makes both linear.
class CMsiTable {
 public:
  // Tables with more pending rows than this are written by import.
  static constexpr size_t kDefaultBulkRows = 1000;
  // The longest text a cell may hold: libmsi keeps the length of a string of its string table in
  // 17 bits, so a longer one is saved but the package cannot be read back (measured: 131071
  // bytes load, 131072 do not).
  static constexpr size_t kMaxTextBytes = 0x1FFFF;

  // Nullptr for a number that names no table (1, 13 and above).
  static std::unique_ptr<CMsiTable> Create(uint32_t kind);
  // "COMPONENT_TABLE", ... as written to the logs; "INI_TABLE" for the entry line of kind 10.
  static const char* EntryTag(uint32_t kind);
  static const char* ErrorTag(uint32_t kind);

  uint32_t kind() const { return kind_; }
  const std::string& name() const { return name_; }
  const std::string& statement() const { return statement_; }
  size_t fieldCount() const { return inserted_.size(); }

  // Checks a row and queues it (Icon: inserts it). False with the reason when it is refused.
  bool Add(platform::InstallerDatabase& database, const MsiRow& row, std::string& reason);
  // Writes the queued rows; `scratchFolder` (a Windows path) receives the temporary table file of
  // an import. kSuccess, or the status of the first failure with the reason in `error`.
  platform::Status Flush(platform::InstallerDatabase& database, const std::wstring& scratchFolder,
                         std::string& error);
  size_t pendingRows() const { return pending_.size(); }
  void SetBulkRows(size_t rows) { bulkRows_ = rows; }

 private:
  struct Column {
    std::string name;
    std::string type;  // the export format's type: s72, S255, l0, i2, I4, v0 ...
    bool nullable() const { return type[0] >= 'A' && type[0] <= 'Z'; }
    bool integer() const { return type[0] == 'i' || type[0] == 'I'; }
    bool stream() const { return type[0] == 'v' || type[0] == 'V'; }
    int width() const { return std::atoi(type.c_str() + 1); }
  };

  CMsiTable() = default;
  bool LoadExisting(platform::InstallerDatabase& database, std::string& reason);
  std::string KeyOf(const std::vector<std::string>& fullRow) const;
  bool BindRecord(const std::vector<std::string>& fullRow, const std::vector<int>& columns,
                  platform::InstallerRecord& record, std::string& reason) const;
  platform::Status InsertRows(platform::InstallerDatabase& database,
                              const std::vector<std::vector<std::string>>& rows, std::string& error);
  platform::Status ImportRows(platform::InstallerDatabase& database, const std::wstring& scratchFolder,
                              std::string& error);

  uint32_t kind_ = 0;
  std::string name_;
  std::string statement_;
  std::vector<Column> columns_;  // every column of the table, in table order
  std::vector<int> inserted_;    // the statement's fields, as column indexes
  std::vector<int> keys_;        // primary key columns
  bool loaded_ = false;
  std::vector<std::vector<std::string>> existing_;  // rows the table held before this build
  std::vector<std::vector<std::string>> pending_;   // full rows, in table column order
  std::set<std::string> keySet_;
  size_t bulkRows_ = kDefaultBulkRows;
};
