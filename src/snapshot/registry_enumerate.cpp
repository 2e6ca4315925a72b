#include "snapshot/registry_enumerate.h"

#include <cstdio>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/registry.h"
#include "project/xml_document_handler.h"
#include "snapshot/reg_cmp.h"
#include "snapshot/reg_snapshot.h"
#include "snapshot/user_hive_names.h"


namespace {

constexpr const wchar_t* kUsers = L"HKEY_USERS";
constexpr const wchar_t* kClassesBranch = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";

// Creates an empty file (a Windows path); false when it cannot be created.
bool CreateEmptyFile(const std::wstring& path) {
  std::FILE* file = platform::OpenFileStream(path, "wb");
  if (file == nullptr) return false;
  return std::fclose(file) == 0;
}

bool KeyExists(const std::wstring& keyPath) {
  const size_t slash = keyPath.find(L'\\');
  const std::wstring rootName = keyPath.substr(0, slash);
  const auto root = platform::RootKeyTable.find(rootName);
  if (root == platform::RootKeyTable.end()) return false;
  platform::RegistryKey key;
  const bool exists =
      key.Open(root->second, slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1)) ==
      platform::kSuccess;
  key.Close();
  return exists;
}

// Removes every occurrence of `what` from `text`, matching the letters A-Z without regard to case
// (registry paths are case-insensitive; the captured paths keep the case the registry gave).
void RemoveAllIgnoringCase(std::wstring& text, const std::wstring& what) {
  const std::wstring upperWhat = FoldAsciiUpper(what);
  std::wstring upper = FoldAsciiUpper(text);
  size_t pos = 0;
  while ((pos = upper.find(upperWhat, pos)) != std::wstring::npos) {
    text.erase(pos, what.size());
    upper.erase(pos, what.size());
  }
}

}  // namespace

CRegistryEnumerate::CRegistryEnumerate(CWorkContext& context, CIncludeExcludeRules& rules)
    : context_(context),
      rules_(rules),
      changeDocument_(std::make_unique<CXMLDocumentHandler>()),
      rulesDocument_(std::make_unique<CXMLDocumentHandler>()) {
  changeDocument_->SetCaptureRecords(&rules_, nullptr);
}

CRegistryEnumerate::~CRegistryEnumerate() {
  if (logger_ != nullptr) CLogger::ReleaseInstance(logger_);
}

void CRegistryEnumerate::LogLevel1(const std::string& text) {
  if (logger_ != nullptr) logger_->Write(1, text);
}

int CRegistryEnumerate::Initialize() {
  registrySnapshotFolder_ = context_.WorkFolder + "\\SnapShot" + "\\RegSystemDir";
  firstSnapshotFolder_ = registrySnapshotFolder_ + "\\FirstSnapShot";
  secondSnapshotFolder_ = registrySnapshotFolder_ + "\\SecondSnapShot";
  firstSnapshotBase_ = firstSnapshotFolder_ + "\\" + "RegSnapShot";
  secondSnapshotBase_ = secondSnapshotFolder_ + "\\" + "RegSnapShot";
  differenceBase_ = context_.WorkFolder + "\\Temp" + "\\" + "Difference";
  changeDocument_->Load(context_.TemplateProjectPath);
  if (logger_ == nullptr) logger_ = CLogger::GetInstance();
  return 1;
}

int CRegistryEnumerate::Uninitialize() {
  AddedKeys.clear();
  ModifiedKeys.clear();
  DeletedKeys.clear();
  if (logger_ != nullptr) {
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
  }
  return 1;
}

std::wstring CRegistryEnumerate::SnapshotFileName(bool second, size_t index) const {
  return Utf8ToWide((second ? secondSnapshotBase_ : firstSnapshotBase_) + std::to_string(index) + ".reg");
}

std::wstring CRegistryEnumerate::DifferenceFileName(size_t index) const {
  return Utf8ToWide(differenceBase_ + std::to_string(index) + ".reg");
}

bool CRegistryEnumerate::IsFirstSnapshotExist() {
  CTraceScope trace(logger_, "CRegistryEnumerate::IsFirstSnapshotExist");
  auto ensure = [this](const std::string& folder) {
    const long code = platform::EnsureFolder(folder);
    if (code != 0) {
      LogLevel1(FormatText("Directory %s not created successfully error code is: %ld ", folder.c_str(), code));
    }
  };
  if (platform::PathExists(Utf8ToWide(FormatText("%s0.reg", firstSnapshotBase_.c_str())))) {
    ensure(secondSnapshotFolder_);
    FirstSnapshotTaken = 1;
  } else {
    ensure(context_.WorkFolder + "\\SnapShot");
    ensure(registrySnapshotFolder_);
    ensure(firstSnapshotFolder_);
    FirstSnapshotTaken = 0;
  }
  return FirstSnapshotTaken != 0;
}

int CRegistryEnumerate::CaptureSnapShot(std::vector<std::wstring>& startingKeys) {
  CTraceScope trace(logger_, "CRegistryEnumerate::CaptureSnapShot");
  auto ensure = [this](const std::string& folder) {
    const long code = platform::EnsureFolder(folder);
    if (code != 0) {
      LogLevel1(FormatText("RegistryEnumerate: Directory %s not created successfully error code is: %ld ",
                           folder.c_str(), code));
    }
  };
  const bool second = FirstSnapshotTaken == 1;
  if (second) {
    platform::DeleteFolderTree(Utf8ToWide(secondSnapshotFolder_));
    platform::DeleteFolderTree(Utf8ToWide(context_.WorkFolder + "\\Temp"));
  }
  // Every level, so that a capture also works when the folders were removed behind our back.
  ensure(context_.WorkFolder + "\\SnapShot");
  ensure(registrySnapshotFolder_);
  ensure(second ? secondSnapshotFolder_ : firstSnapshotFolder_);

  KeyCounter.store(0);

  // Only the default profile of HKEY_USERS is walked: the first entry naming HKEY_USERS becomes
  // HKEY_USERS\.DEFAULT, later ones go.
  bool usersSeen = false;
  for (auto it = startingKeys.begin(); it != startingKeys.end();) {
    if (it->find(kUsers) == std::wstring::npos) {
      ++it;
    } else if (!usersSeen) {
      *it = L"HKEY_USERS\\.DEFAULT";
      usersSeen = true;
      ++it;
    } else {
      it = startingKeys.erase(it);
    }
  }

  for (size_t i = 0; i < startingKeys.size() && !CancelRequest.IsRequested(); ++i) {
    StatusCaption.Set(MessageText(146) + startingKeys[i]);
    TakeSnapShot(startingKeys[i], SnapshotFileName(second, i));
    ProgressCounter.fetch_add(1);
  }
  if (CancelRequest.IsRequested()) {
    // The files of a walk cut short are no snapshot: they go, and a first snapshot stays untaken.
    platform::DeleteFolderTree(Utf8ToWide(second ? secondSnapshotFolder_ : firstSnapshotFolder_));
    if (logger_) logger_->Write(1, "CRegistryEnumerate::CaptureSnapShot cancelled; the snapshot files are removed");
    return 0;
  }

  FirstSnapshotTaken = 1;
  rootCount_ = static_cast<int>(startingKeys.size());
  if (startingKeys.empty()) {
    // An empty list still leaves a first snapshot that a later start finds.
    const std::wstring marker = SnapshotFileName(false, 0);
    if (!CreateEmptyFile(marker)) {
      if (logger_) logger_->Write(2, "CRegistryEnumerate::CaptureSnapShot Cannot create " + WideToUtf8(marker));
    }
  }
  return 1;
}

platform::Status CRegistryEnumerate::TakeSnapShot(const std::wstring& startingKey, const std::wstring& fileName) {
  CTraceScope trace(logger_, "CRegistryEnumerate::TakeSnapShot");
  CRegSnapshot snapshot;
  snapshot.File_Open_Create(fileName);
  return TakeSnapShot_Internal(snapshot, startingKey);
}

platform::Status CRegistryEnumerate::TakeSnapShot_Internal(CRegSnapshot& snapshot, const std::wstring& startingKey) {
  CTraceScope trace(logger_, "CRegistryEnumerate::TakeSnapShot_Internal");
  const size_t slash = startingKey.find(L'\\');
  const std::wstring rootName = startingKey.substr(0, slash);
  const std::wstring path = slash == std::wstring::npos ? std::wstring() : startingKey.substr(slash + 1);
  const auto root = platform::RootKeyTable.find(rootName);
  if (root == platform::RootKeyTable.end()) {
    std::string message = "Invalid key: '" + WideToUtf8(startingKey) + "'. Must be one of:";
    for (const auto& entry : platform::RootKeyTable) {
      if (entry.first.size() < 5) message += " " + WideToUtf8(entry.first);
    }
    message += "\r\n";
    std::fputs(message.c_str(), stderr);
    return 1;
  }
  return snapshot.TakeFirstSnapShot(rootName, root->second, path);
}

bool CRegistryEnumerate::CompareFiles(const std::wstring& firstFile, const std::wstring& secondFile,
                                      const std::wstring& differenceFile) {
  CTraceScope trace(logger_, "CRegistryEnumerate::CompareFiles");
  CRegCmp cmp;
  cmp.SetCallback(this);
  return cmp.CompareFiles(firstFile, secondFile, differenceFile);
}

void CRegistryEnumerate::WriteMaps(int& lastResult) {
  lastResult =
      changeDocument_->InsertRegistryKeyAndValueInXML(xmlpath::kIncludedRegAdded, AddedKeys, context_.RegChangesPath);
  lastResult = changeDocument_->InsertRegistryKeyAndValueInXML(xmlpath::kIncludedRegModified, ModifiedKeys,
                                                               context_.RegChangesPath);
  lastResult = changeDocument_->InsertRegistryKeyAndValueInXML(xmlpath::kIncludedRegDeleted, DeletedKeys,
                                                               context_.RegChangesPath);
  lastResult = changeDocument_->InsertRegistryKeyAndValueInXML(xmlpath::kExcludedKeys, excludedKeyChanges_,
                                                               context_.RegChangesPath);
}

int CRegistryEnumerate::CompareSnapshot() {
  CTraceScope trace(logger_, "CRegistryEnumerate::CompareSnapshot");
  CompareChanges();
  return WriteChanges();
}

int CRegistryEnumerate::CompareChanges() {
  if (rootCount_ > 0) StatusCaption.Set(MessageText(145));

  // A comparison's result is what it finds: a repeated comparison does not add to the last one.
  AddedKeys.clear();
  ModifiedKeys.clear();
  DeletedKeys.clear();
  excludedKeyChanges_.clear();

  ExcludedRegItems.clear();
  if (rulesDocument_->Load(context_.RulesFilePath) == 1) {
    rulesDocument_->ReadExcludedItems(xmlpath::kExcludedRegistryRules, rulesDocument_->GetRootElement(), rules_);
    ExcludedRegItems = rules_.GetExcludedRules(RuleKind::kRegistry);
  }

  platform::EnsureFolder(context_.WorkFolder + "\\Temp");
  for (int i = 0; i < rootCount_; ++i) {
    const size_t index = static_cast<size_t>(i);
    CompareFiles(SnapshotFileName(false, index), SnapshotFileName(true, index), DifferenceFileName(index));
  }
  return 1;
}

int CRegistryEnumerate::WriteChanges() {
  changeDocument_->Load(context_.TemplateProjectPath);
  changeDocument_->SplitIncludedExcluded(L"RegistrySystem", L"SubKeyList", context_.RegChangesPath);
  changeDocument_->Load(context_.RegChangesPath);
  int lastResult = 0;
  WriteMaps(lastResult);
  return 1;
}

void CRegistryEnumerate::GetChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted) {
  added = &AddedKeys;
  modified = &ModifiedKeys;
  deleted = &DeletedKeys;
}

int CRegistryEnumerate::RewriteRegChanges() {
  const int loaded = changeDocument_->Load(context_.TemplateProjectPath);
  if (loaded != 1) return loaded;
  changeDocument_->SplitIncludedExcluded(L"RegistrySystem", L"SubKeyList", context_.RegChangesPath);
  changeDocument_->Load(context_.RegChangesPath);
  int lastResult = 0;
  WriteMaps(lastResult);
  return lastResult;
}

void CRegistryEnumerate::OnRegistryChange(const std::wstring& category, const RegValueRecord& record) {
  RegKeyMap* target = nullptr;
  if (category == regcategory::kAdded) {
    target = &AddedKeys;
  } else if (category == regcategory::kModified) {
    target = &ModifiedKeys;
  } else if (category == regcategory::kDeleted) {
    target = &DeletedKeys;
  } else {
    return;
  }

  RegValueRecord stored = record;
  // The key line's brackets go: the maps hold plain key paths.
  stored.key = record.key.size() >= 2 ? record.key.substr(1, record.key.size() - 2) : std::wstring();

  if (IsKeyExcluded(ExcludedRegItems, stored.key)) target = &excludedKeyChanges_;

  auto entry = target->find(stored.key);
  if (entry == target->end()) entry = target->emplace(stored.key, std::vector<RegValueRecord>()).first;
  if (!stored.valueName.empty()) entry->second.push_back(std::move(stored));
}

void CRegistryEnumerate::GetEquivalentKeys(const std::wstring& keyPath, std::vector<std::wstring>& output) {
  const size_t slash = keyPath.find(L'\\');
  if (slash == std::wstring::npos) return;
  const std::wstring first = keyPath.substr(0, slash);
  const std::wstring rest = keyPath.substr(slash + 1);
  auto addIfExists = [&output](const std::wstring& candidate) {
    if (KeyExists(candidate)) output.push_back(candidate);
  };

  if (first == L"HKEY_CLASSES_ROOT") {
    addIfExists(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\" + rest);
  } else if (first == L"HKEY_LOCAL_MACHINE") {
    std::wstring below = keyPath;
    RemoveAllIgnoringCase(below, kClassesBranch);
    addIfExists(L"HKEY_CLASSES_ROOT\\" + below);
  } else if (first == L"HKEY_CURRENT_USER") {
    for (const std::wstring& hive : context_.UserHiveNames) addIfExists(L"HKEY_USERS\\" + hive + L"\\" + rest);
  } else if (first == kUsers) {
    const size_t hiveEnd = rest.find(L'\\');
    if (hiveEnd == std::wstring::npos) return;
    const std::wstring given = rest.substr(0, hiveEnd);
    const std::wstring below = rest.substr(hiveEnd + 1);
    addIfExists(L"HKEY_CURRENT_USER\\" + below);
    for (const std::wstring& hive : context_.UserHiveNames) {
      // The registry's own name comparison: under Wine the hive is ".Default" while captured
      // paths say ".DEFAULT", and the given key must not come back as its own equivalent.
      if (platform::CompareRegistryNames(hive, given) == 0) continue;
      addIfExists(L"HKEY_USERS\\" + hive + L"\\" + below);
    }
  }
}
