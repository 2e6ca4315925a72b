#include "snapshot/ini_handler.h"

#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "project/xml_document_handler.h"

namespace {

constexpr const wchar_t* kAddedCategory = L"INIFileSystem//AddedItems//FileList";
constexpr const wchar_t* kModifiedCategory = L"INIFileSystem//ModifiedItems//FileList";
constexpr const wchar_t* kDeletedCategory = L"INIFileSystem//DeletedItems//FileList";

}  // namespace

CINIHandler::CINIHandler(const CWorkContext& context)
    : context_(context), document_(std::make_unique<CXMLDocumentHandler>()) {}

CINIHandler::~CINIHandler() = default;

long CINIHandler::Initialize() {
  loaded_ = document_->Load(context_.TemplateProjectPath);
  return loaded_;
}

void CINIHandler::Reset() {
  oldContent_.clear();
  newContent_.clear();
  addedEntries_.clear();
  modifiedEntries_.clear();
  deletedEntries_.clear();
  notes_.clear();
}

int CINIHandler::CompareINIFile(const std::wstring& backupPath, const std::wstring& currentPath) {
  oldSectionNames_.clear();
  newSectionNames_.clear();
  ReadINIFile(backupPath, true);
  ReadINIFile(currentPath, false);
  currentFile_ = currentPath;
  ToTokenForm(currentFile_);
  // A new section without keys has nothing to compare, and nothing the package could write.
  for (const std::wstring& name : newSectionNames_) {
    if (oldSectionNames_.count(name) == 0 && newContent_.count(name) == 0) {
      notes_.push_back("the INI file " + WideToUtf8(currentPath) + " gained the section [" + WideToUtf8(name) +
                       "] without any key: the Windows Installer cannot write an empty section, so the package "
                       "does not create it");
    }
  }
  oldSectionNames_.clear();
  newSectionNames_.clear();
  CompareSections();
  return 1;
}

void CINIHandler::ReadINIFile(const std::wstring& path, bool intoOld) {
  // Every section is read: a fixed-size name buffer would drop the sections past its end and
  // report their keys as deleted or added when they did not change.
  const uint32_t attributes = platform::GetAttributes(path);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory)) return;
  // The file is read once for all its sections.
  for (const platform::ProfileSection& section : platform::GetProfileSections(path)) {
    (intoOld ? oldSectionNames_ : newSectionNames_).insert(section.name);
    ParseSection(section.name, section.lines, intoOld);
  }
}

bool CINIHandler::ParseLine(const std::wstring& line, std::wstring& key, std::wstring& value) {
  size_t start = line.find_first_not_of(L'=');
  if (start == std::wstring::npos) return false;
  size_t equals = line.find(L'=', start);
  if (equals == std::wstring::npos) return false;
  size_t valueStart = line.find_first_not_of(L'=', equals);
  if (valueStart == std::wstring::npos) return false;
  key = line.substr(start, equals - start);
  // The value is the rest of the line: an "=" inside it (a URL's query, say) is part of it.
  value = line.substr(valueStart);
  return !key.empty() && !value.empty();
}

int CINIHandler::ParseSection(const std::wstring& name, const std::vector<std::wstring>& lines, bool intoOld) {
  if (lines.empty()) return 0;
  INIKeyMap keys;
  std::wstring key;
  std::wstring value;
  for (const std::wstring& line : lines) {
    if (!ParseLine(line, key, value)) continue;
    keys.emplace(key, value);  // a repeated key keeps its first value
  }
  if (keys.empty()) return 1;
  INISectionMap& content = intoOld ? oldContent_ : newContent_;
  content.emplace(name, std::move(keys));  // a repeated section keeps its first content
  return 1;
}

void CINIHandler::CompareSections() {
  for (auto oldSection = oldContent_.begin(); oldSection != oldContent_.end();) {
    auto newSection = newContent_.find(oldSection->first);
    if (newSection == newContent_.end()) {
      ++oldSection;
      continue;
    }
    CompareKeys(oldSection->first, oldSection->second, newSection->second);
    newContent_.erase(newSection);
    oldSection = oldContent_.erase(oldSection);
  }
  for (const auto& [section, keys] : oldContent_) {
    for (const auto& [key, value] : keys) AddINIEntry(kDeletedCategory, INIEntry{section, key, value});
  }
  oldContent_.clear();
  for (const auto& [section, keys] : newContent_) {
    for (const auto& [key, value] : keys) AddINIEntry(kAddedCategory, INIEntry{section, key, value});
  }
  newContent_.clear();
}

void CINIHandler::CompareKeys(const std::wstring& section, INIKeyMap& oldKeys, INIKeyMap& newKeys) {
  for (auto oldKey = oldKeys.begin(); oldKey != oldKeys.end();) {
    auto newKey = newKeys.find(oldKey->first);
    if (newKey == newKeys.end()) {
      ++oldKey;
      continue;
    }
    if (oldKey->second != newKey->second) {
      AddINIEntry(kModifiedCategory, INIEntry{section, newKey->first, newKey->second});
    }
    newKeys.erase(newKey);
    oldKey = oldKeys.erase(oldKey);
  }
  for (const auto& [key, value] : oldKeys) AddINIEntry(kDeletedCategory, INIEntry{section, key, value});
  oldKeys.clear();
  for (const auto& [key, value] : newKeys) AddINIEntry(kAddedCategory, INIEntry{section, key, value});
  newKeys.clear();
}

void CINIHandler::AddINIEntry(const std::wstring& category, const INIEntry& entry) {
  INIFileMap* target = nullptr;
  if (category == kAddedCategory) {
    target = &addedEntries_;
  } else if (category == kModifiedCategory) {
    target = &modifiedEntries_;
  } else if (category == kDeletedCategory) {
    target = &deletedEntries_;
  } else {
    return;
  }
  (*target)[currentFile_].push_back(entry);
}

void CINIHandler::WriteINIChanges() {
  if (loaded_ != 1) return;
  document_->InsertINIKeyAndValueInXML(kAddedCategory, addedEntries_, context_.INIChangesPath);
  document_->InsertINIKeyAndValueInXML(kDeletedCategory, deletedEntries_, context_.INIChangesPath);
  document_->InsertINIKeyAndValueInXML(kModifiedCategory, modifiedEntries_, context_.INIChangesPath);
}
