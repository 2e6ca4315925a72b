#include "platform/installer_database.h"

#include <vector>

// Not written yet for Windows (msi.dll: MsiOpenDatabaseW, MsiDatabaseOpenViewW, ...). Records
// keep their fields so that callers behave; every database operation fails honestly.
namespace platform {

struct InstallerRecord::Impl {
  struct Field {
    bool isNull = true;
    bool isInteger = false;
    int integer = 0;
    std::string text;
  };
  std::vector<Field> fields;
};

InstallerRecord::InstallerRecord(unsigned fieldCount) : impl_(std::make_unique<Impl>()) {
  impl_->fields.resize(fieldCount + 1);
}
InstallerRecord::~InstallerRecord() = default;
unsigned InstallerRecord::fieldCount() const { return static_cast<unsigned>(impl_->fields.size() - 1); }

Status InstallerRecord::SetString(unsigned field, const std::string& utf8) {
  if (field == 0 || field > fieldCount()) return kInvalidParameter;
  impl_->fields[field] = {utf8.empty(), false, 0, utf8};
  return kSuccess;
}
Status InstallerRecord::SetInteger(unsigned field, int value) {
  if (field == 0 || field > fieldCount()) return kInvalidParameter;
  impl_->fields[field] = {false, true, value, {}};
  return kSuccess;
}
Status InstallerRecord::SetNull(unsigned field) {
  if (field == 0 || field > fieldCount()) return kInvalidParameter;
  impl_->fields[field] = {};
  return kSuccess;
}
Status InstallerRecord::SetStreamFromFile(unsigned field, const std::wstring& path) {
  (void)path;
  if (field == 0 || field > fieldCount()) return kInvalidParameter;
  return kInvalidFunction;
}
bool InstallerRecord::IsNull(unsigned field) const {
  return field == 0 || field > fieldCount() || impl_->fields[field].isNull;
}
std::string InstallerRecord::GetString(unsigned field) const {
  if (IsNull(field)) return {};
  const auto& f = impl_->fields[field];
  return f.isInteger ? std::to_string(f.integer) : f.text;
}
int InstallerRecord::GetInteger(unsigned field) const {
  if (IsNull(field) || !impl_->fields[field].isInteger) return static_cast<int>(0x80000000u);  // MSI_NULL_INTEGER
  return impl_->fields[field].integer;
}

namespace {
const std::string kNotAvailable = "the installer database is not available in this build";
}

struct InstallerView::Impl {};
InstallerView::InstallerView() : impl_(std::make_unique<Impl>()) {}
InstallerView::~InstallerView() = default;
Status InstallerView::Open(InstallerDatabase& database, const std::string& statement) {
  (void)database;
  (void)statement;
  return kInvalidFunction;
}
Status InstallerView::Execute(const InstallerRecord* record) {
  (void)record;
  return kInvalidFunction;
}
Status InstallerView::Fetch(std::unique_ptr<InstallerRecord>& row) {
  row.reset();
  return kInvalidFunction;
}
void InstallerView::Close() {}
const std::string& InstallerView::lastError() const { return kNotAvailable; }

struct InstallerDatabase::Impl {};
InstallerDatabase::InstallerDatabase() : impl_(std::make_unique<Impl>()) {}
InstallerDatabase::~InstallerDatabase() = default;
Status InstallerDatabase::Open(const std::wstring& path) {
  (void)path;
  return kInvalidFunction;
}
Status InstallerDatabase::OpenReadOnly(const std::wstring& path) {
  (void)path;
  return kInvalidFunction;
}
bool InstallerDatabase::IsOpen() const { return false; }
Status InstallerDatabase::Execute(const std::string& statement, const InstallerRecord* record) {
  (void)statement;
  (void)record;
  return kInvalidFunction;
}
Status InstallerDatabase::InsertStream(const std::string& name, const std::wstring& filePath) {
  (void)name;
  (void)filePath;
  return kInvalidFunction;
}
Status InstallerDatabase::ImportTable(const std::wstring& idtFilePath) {
  (void)idtFilePath;
  return kInvalidFunction;
}
Status InstallerDatabase::SetSummaryText(unsigned property, const std::string& utf8) {
  (void)property;
  (void)utf8;
  return kInvalidFunction;
}
Status InstallerDatabase::SetSummaryInteger(unsigned property, int value) {
  (void)property;
  (void)value;
  return kInvalidFunction;
}
std::string InstallerDatabase::GetSummaryText(unsigned property) {
  (void)property;
  return {};
}
Status InstallerDatabase::PersistSummary() { return kInvalidFunction; }
Status InstallerDatabase::Commit() { return kInvalidFunction; }
void InstallerDatabase::Close() {}
const std::string& InstallerDatabase::lastError() const { return kNotAvailable; }

}  // namespace platform
