#include "package/msi_table.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/strings.h"
#include "platform/file_system.h"

namespace {

struct ColumnSpec {
  const char* name;
  const char* type;
};

struct TableSpec {
  uint32_t kind;
  const char* name;
  const char* entryTag;
  const char* errorTag;
  const char* statement;
  std::vector<ColumnSpec> columns;
  std::vector<int> inserted;
  std::vector<int> keys;
};

// The tables as the blank template (data/blank/*.idt) defines them.
const std::vector<TableSpec>& Specs() {
  static const std::vector<TableSpec> specs = {
      {COMPONENT_TABLE, "Component", "COMPONENT_TABLE", "COMPONENT_TABLE",
       "INSERT INTO `Component` (`Component`.`Component`,`Component`.`ComponentId`,`Component`.`Directory_`,"
       "`Component`.`Attributes`) VALUES (?,?,?,?)",
       {{"Component", "s72"}, {"ComponentId", "S38"}, {"Directory_", "s72"}, {"Attributes", "i2"},
        {"Condition", "S255"}, {"KeyPath", "S72"}},
       {0, 1, 2, 3}, {0}},
      {FEATURE_COMPONENT_TABLE, "FeatureComponents", "FEATURE_COMPONENT_TABLE", "FEATURE_COMPONENT_TABLE",
       "INSERT INTO `FeatureComponents` (`FeatureComponents`.`Feature_`,`FeatureComponents`.`Component_`) "
       "VALUES (?,?)",
       {{"Feature_", "s38"}, {"Component_", "s72"}}, {0, 1}, {0, 1}},
      {DIRECTORY_TABLE, "Directory", "DIRECTORY_TABLE", "DIRECTORY_TABLE",
       "INSERT INTO `Directory` (`Directory`.`Directory`,`Directory`.`Directory_Parent`,`Directory`.`DefaultDir`) "
       "VALUES (?,?,?)",
       {{"Directory", "s72"}, {"Directory_Parent", "S72"}, {"DefaultDir", "l255"}}, {0, 1, 2}, {0}},
      {FILE_TABLE, "File", "FILE_TABLE", "FILE_TABLE",
       "INSERT INTO `File` (`File`.`File`,`File`.`Component_`,`File`.`FileName`,`File`.`FileSize`,`File`.`Version`,"
       "`File`.`Language`,`File`.`Attributes`,`File`.`Sequence`) VALUES (?,?,?,?,?,? ,?, ?)",
       {{"File", "s72"}, {"Component_", "s72"}, {"FileName", "l255"}, {"FileSize", "i4"}, {"Version", "S72"},
        {"Language", "S20"}, {"Attributes", "I2"}, {"Sequence", "i4"}},
       {0, 1, 2, 3, 4, 5, 6, 7}, {0}},
      {ICON_TABLE, "Icon", "ICON_TABLE", "ICON_TABLE", "INSERT INTO `Icon` (`Name`, `Data`) VALUES (?, ?)",
       {{"Name", "s72"}, {"Data", "v0"}}, {0, 1}, {0}},
      {MEDIA_TABLE, "Media", "MEDIA_TABLE", "MEDIA_TABLE",
       "INSERT INTO `Media` (`Media`.`DiskId`,`Media`.`LastSequence`,`Media`.`Cabinet`) VALUES (?,?,?)",
       {{"DiskId", "i2"}, {"LastSequence", "i4"}, {"DiskPrompt", "L64"}, {"Cabinet", "S255"},
        {"VolumeLabel", "S32"}, {"Source", "S72"}},
       {0, 1, 3}, {0}},
      {REGISTRY_TABLE, "Registry", "REGISTRY_TABLE", "REGISTRY_TABLE",
       "INSERT INTO `Registry` (`Registry`.`Registry`,`Registry`.`Root`,`Registry`.`Key`,`Registry`.`Name`,"
       "`Registry`.`Value`,`Registry`.`Component_`) VALUES (?,?,?,?,?,?)",
       {{"Registry", "s72"}, {"Root", "i2"}, {"Key", "l255"}, {"Name", "L255"}, {"Value", "L0"},
        {"Component_", "s72"}},
       {0, 1, 2, 3, 4, 5}, {0}},
      {PROPERTY_TABLE, "Property", "PROPERTY_TABLE", "PROPERTY_TABLE",
       "INSERT INTO `Property` (`Property`.`Property`,`Property`.`Value`) VALUES (?,?)",
       {{"Property", "s72"}, {"Value", "l0"}}, {0, 1}, {0}},
      {SHORTCUT_TABLE, "Shortcut", "SHORTCUT_TABLE", "SHORTCUT_TABLE",
       "INSERT INTO `Shortcut` (`Shortcut`.`Shortcut`,`Shortcut`.`Directory_`,`Shortcut`.`Name`,"
       "`Shortcut`.`Component_`,`Shortcut`.`Target`,`Shortcut`.`Arguments`,`Shortcut`.`Description`,"
       "`Shortcut`.`Hotkey`,`Shortcut`.`Icon_`,`Shortcut`.`IconIndex`,`Shortcut`.`ShowCmd`,`Shortcut`.`WkDir`) "
       "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)",
       {{"Shortcut", "s72"}, {"Directory_", "s72"}, {"Name", "l128"}, {"Component_", "s72"}, {"Target", "s72"},
        {"Arguments", "S255"}, {"Description", "L255"}, {"Hotkey", "I2"}, {"Icon_", "S72"},
        {"IconIndex", "I2"}, {"ShowCmd", "I2"}, {"WkDir", "S72"}},
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {0}},
      {INI_FILE_TABLE, "IniFile", "INI_TABLE", "INI_FILE_TABLE",
       "INSERT INTO `IniFile` (`IniFile`.`IniFile`,`IniFile`.`FileName`,`IniFile`.`DirProperty`,"
       "`IniFile`.`Section`,`IniFile`.`Key`,`IniFile`.`Value`,`IniFile`.`Action`,`IniFile`.`Component_`) "
       "VALUES (?,?,?,?,?,?,?,?)",
       {{"IniFile", "s72"}, {"FileName", "l255"}, {"DirProperty", "S72"}, {"Section", "l96"}, {"Key", "l128"},
        {"Value", "l255"}, {"Action", "i2"}, {"Component_", "s72"}},
       {0, 1, 2, 3, 4, 5, 6, 7}, {0}},
      {REMOVE_INI_FILE_TABLE, "RemoveIniFile", "REMOVE_INI_FILE_TABLE", "REMOVE_INI_FILE_TABLE",
       "INSERT INTO `RemoveIniFile` (`RemoveIniFile`.`RemoveIniFile`,`RemoveIniFile`.`FileName`,"
       "`RemoveIniFile`.`DirProperty`,`RemoveIniFile`.`Section`,`RemoveIniFile`.`Key`,`RemoveIniFile`.`Value`,"
       "`RemoveIniFile`.`Action`,`RemoveIniFile`.`Component_`) VALUES (?,?,?,?,?,?,?,?)",
       {{"RemoveIniFile", "s72"}, {"FileName", "l255"}, {"DirProperty", "S72"}, {"Section", "l96"},
        {"Key", "l128"}, {"Value", "L255"}, {"Action", "i2"}, {"Component_", "s72"}},
       {0, 1, 2, 3, 4, 5, 6, 7}, {0}},
      {CREATE_FOLDER_TABLE, "CreateFolder", "", "CREATE_FOLDER_TABLE",
       "INSERT INTO `CreateFolder` (`CreateFolder`.`Directory_`,`CreateFolder`.`Component_`) VALUES (?,?)",
       {{"Directory_", "s72"}, {"Component_", "s72"}}, {0, 1}, {0, 1}},
      {REMOVE_FILE_TABLE, "RemoveFile", "REMOVE_FILE_TABLE", "REMOVE_FILE_TABLE",
       "INSERT INTO `RemoveFile` (`RemoveFile`.`FileKey`,`RemoveFile`.`Component_`,`RemoveFile`.`FileName`,"
       "`RemoveFile`.`DirProperty`,`RemoveFile`.`InstallMode`) VALUES (?,?,?,?,?)",
       {{"FileKey", "s72"}, {"Component_", "s72"}, {"FileName", "L255"}, {"DirProperty", "s72"},
        {"InstallMode", "i2"}},
       {0, 1, 2, 3, 4}, {0}},
  };
  return specs;
}

const TableSpec* FindSpec(uint32_t kind) {
  for (const TableSpec& spec : Specs())
    if (spec.kind == kind) return &spec;
  return nullptr;
}

// Decimal text with an optional sign, as the engine reads a number given as text.
bool ParseNumber(const std::string& text, long long& value) {
  if (text.empty()) return false;
  size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (start == text.size()) return false;
  for (size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  errno = 0;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return errno == 0;
}

bool HasLineBreakOrTab(const std::vector<std::string>& row) {
  for (const std::string& field : row)
    if (field.find_first_of("\t\r\n") != std::string::npos) return true;
  return false;
}

}  // namespace

std::unique_ptr<CMsiTable> CMsiTable::Create(uint32_t kind) {
  const TableSpec* spec = FindSpec(kind);
  if (spec == nullptr) return nullptr;
  std::unique_ptr<CMsiTable> table(new CMsiTable());
  table->kind_ = kind;
  table->name_ = spec->name;
  table->statement_ = spec->statement;
  for (const ColumnSpec& column : spec->columns) table->columns_.push_back({column.name, column.type});
  table->inserted_ = spec->inserted;
  table->keys_ = spec->keys;
  return table;
}

const char* CMsiTable::EntryTag(uint32_t kind) {
  const TableSpec* spec = FindSpec(kind);
  return spec == nullptr ? "" : spec->entryTag;
}

const char* CMsiTable::ErrorTag(uint32_t kind) {
  const TableSpec* spec = FindSpec(kind);
  return spec == nullptr ? "" : spec->errorTag;
}

std::string CMsiTable::KeyOf(const std::vector<std::string>& fullRow) const {
  std::string key;
  for (int column : keys_) {
    key += fullRow[column];
    key += '\t';
  }
  return key;
}

bool CMsiTable::LoadExisting(platform::InstallerDatabase& database, std::string& reason) {
  if (loaded_) return true;
  platform::InstallerView view;
  std::string select = "SELECT ";
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].stream()) continue;
    if (select.size() > 7) select += ",";
    select += "`" + columns_[i].name + "`";
  }
  select += " FROM `" + name_ + "`";
  if (view.Open(database, select) != platform::kSuccess || view.Execute(nullptr) != platform::kSuccess) {
    reason = "the table " + name_ + " is missing from the package (" + view.lastError() + ")";
    return false;
  }
  std::unique_ptr<platform::InstallerRecord> record;
  while (view.Fetch(record) == platform::kSuccess && record) {
    std::vector<std::string> row(columns_.size());
    unsigned field = 1;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].stream()) continue;
      if (!record->IsNull(field))
        row[i] = columns_[i].integer() ? std::to_string(record->GetInteger(field)) : record->GetString(field);
      ++field;
    }
    keySet_.insert(KeyOf(row));
    existing_.push_back(std::move(row));
  }
  view.Close();
  loaded_ = true;
  return true;
}

bool CMsiTable::Add(platform::InstallerDatabase& database, const MsiRow& row, std::string& reason) {
  if (row.size() != inserted_.size()) {
    reason = "the row has " + std::to_string(row.size()) + " fields instead of " + std::to_string(inserted_.size());
    return false;
  }
  if (!LoadExisting(database, reason)) return false;
  std::vector<std::string> full(columns_.size());
  for (size_t i = 0; i < inserted_.size(); ++i) full[inserted_[i]] = row[i];

  for (size_t i = 0; i < columns_.size(); ++i) {
    const Column& column = columns_[i];
    const std::string& value = full[i];
    if (value.empty()) {
      if (!column.nullable()) {
        reason = "column " + column.name + " must not be empty";
        return false;
      }
      continue;
    }
    // A longer text would damage the whole package (kMaxTextBytes).
    if (!column.integer() && value.size() > kMaxTextBytes) {
      reason = "column " + column.name + " holds " + std::to_string(value.size()) +
               " bytes, more than a package's string table can hold (" + std::to_string(kMaxTextBytes) + ")";
      return false;
    }
    if (column.integer()) {
      long long number = 0;
      const long long limit = column.width() == 2 ? 32767 : INT_MAX;
      if (!ParseNumber(value, number)) {
        reason = "column " + column.name + " is not a number: '" + value + "'";
        return false;
      }
      if (number > limit || number < -limit) {
        reason = "column " + column.name + " is out of range: " + value;
        return false;
      }
    }
  }
  const std::string key = KeyOf(full);
  if (keySet_.count(key) != 0) {
    reason = "duplicate key";
    return false;
  }

  if (kind_ == ICON_TABLE) {
    // The stream is read now, from the icon file named by the second field.
    platform::InstallerView view;
    if (view.Open(database, statement_) != platform::kSuccess) {
      reason = "statement refused: " + view.lastError();
      return false;
    }
    platform::InstallerRecord record(2);
    record.SetString(1, full[0]);
    if (record.SetStreamFromFile(2, Utf8ToWide(full[1])) != platform::kSuccess) {
      reason = "cannot read the icon file " + full[1];
      return false;
    }
    if (view.Execute(&record) != platform::kSuccess) {
      reason = "row refused: " + view.lastError();
      return false;
    }
    view.Close();
    keySet_.insert(key);
    return true;
  }

  keySet_.insert(key);
  pending_.push_back(std::move(full));
  return true;
}

bool CMsiTable::BindRecord(const std::vector<std::string>& fullRow, const std::vector<int>& columns,
                           platform::InstallerRecord& record, std::string& reason) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& column = columns_[columns[i]];
    const std::string& value = fullRow[columns[i]];
    const unsigned field = static_cast<unsigned>(i + 1);
    platform::Status status;
    if (value.empty()) {
      status = record.SetNull(field);
    } else if (column.integer()) {
      long long number = 0;
      ParseNumber(value, number);
      status = record.SetInteger(field, static_cast<int>(number));
    } else {
      status = record.SetString(field, value);
    }
    if (status != platform::kSuccess) {
      reason = "cannot set field " + column.name;
      return false;
    }
  }
  return true;
}

platform::Status CMsiTable::InsertRows(platform::InstallerDatabase& database,
                                       const std::vector<std::vector<std::string>>& rows, std::string& error) {
  if (rows.empty()) return platform::kSuccess;
  platform::InstallerView view;
  platform::Status status = view.Open(database, statement_);
  if (status != platform::kSuccess) {
    error = "statement refused: " + statement_ + " (" + view.lastError() + ")";
    return status;
  }
  platform::Status result = platform::kSuccess;
  for (const std::vector<std::string>& row : rows) {
    platform::InstallerRecord record(static_cast<unsigned>(inserted_.size()));
    std::string reason;
    if (!BindRecord(row, inserted_, record, reason)) {
      if (result == platform::kSuccess) error = name_ + " row " + row[keys_[0]] + ": " + reason;
      result = platform::kFunctionFailed;
      continue;
    }
    status = view.Execute(&record);
    if (status != platform::kSuccess && result == platform::kSuccess) {
      error = name_ + " row " + row[keys_[0]] + " refused: " + view.lastError();
      result = status;
    }
  }
  view.Close();
  return result;
}

platform::Status CMsiTable::ImportRows(platform::InstallerDatabase& database, const std::wstring& scratchFolder,
                                       std::string& error) {
  // The import replaces the whole table: the template's rows are written again with the new ones.
  // A row holding a tab or a line break cannot stand on one line of the file; it is inserted
  // through the statement afterwards.
  std::vector<std::vector<std::string>> later;
  const std::wstring idtPath = scratchFolder + L"\\" + Utf8ToWide(name_) + L".idt";
  std::string text;
  auto writeLine = [&text](const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i != 0) text += '\t';
      text += fields[i];
    }
    text += "\r\n";
  };
  std::vector<std::string> names;
  std::vector<std::string> types;
  for (const Column& column : columns_) {
    names.push_back(column.name);
    types.push_back(column.type);
  }
  std::vector<std::string> keyLine{name_};
  for (int key : keys_) keyLine.push_back(columns_[key].name);
  writeLine(names);
  writeLine(types);
  writeLine(keyLine);
  for (const auto& row : existing_) writeLine(row);
  for (const auto& row : pending_) {
    if (HasLineBreakOrTab(row)) {
      later.push_back(row);
      continue;
    }
    writeLine(row);
  }
  if (platform::ReplaceAtomically(idtPath, text) != platform::kSuccess) {
    error = "cannot write the table file " + WideToUtf8(idtPath);
    return platform::kWriteFault;
  }
  platform::Status status = database.ImportTable(idtPath);
  platform::RemoveFile(idtPath);
  if (status != platform::kSuccess) {
    error = "import of the table " + name_ + " failed: " + database.lastError();
    return status;
  }
  return InsertRows(database, later, error);
}

platform::Status CMsiTable::Flush(platform::InstallerDatabase& database, const std::wstring& scratchFolder,
                                  std::string& error) {
  if (pending_.empty()) return platform::kSuccess;
  platform::Status status = pending_.size() > bulkRows_ ? ImportRows(database, scratchFolder, error)
                                                        : InsertRows(database, pending_, error);
  for (auto& row : pending_) existing_.push_back(std::move(row));
  pending_.clear();
  return status;
}
