#pragma once
#include <string>
#include <string_view>
#include <vector>

// A small reading of the statements the package builder sends to the installer database, enough to
// know which column each value goes to. libmsi checks integer ranges only after it has begun
// storing the row (an out-of-range value leaves a half-written row behind), so the backend checks
// the values first and needs to know their columns.
namespace platform::wine {

struct SqlValue {
  enum class Kind { kParameter, kInteger, kString, kOther };
  Kind kind = Kind::kOther;
  unsigned parameter = 0;  // 1-based index of the "?" in the statement (kParameter)
  std::string text;        // the literal (kInteger, kString)
};

struct SqlAssignment {
  std::string column;
  SqlValue value;
};

struct SqlTargets {
  enum class Kind { kOther, kInsert, kUpdate, kSchemaChange };
  Kind kind = Kind::kOther;
  std::string table;
  std::vector<SqlAssignment> assignments;  // INSERT columns or UPDATE ... SET pairs
};

// Reads INSERT INTO t (c, ...) VALUES (v, ...) and UPDATE t SET c = v, ...; CREATE, DROP and ALTER
// are reported as schema changes. Anything it cannot follow is kOther (no checks are made then;
// the engine still judges the statement).
SqlTargets ReadSqlTargets(std::string_view statement);

}  // namespace platform::wine
