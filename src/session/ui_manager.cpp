#include "session/ui_manager.h"

#include <algorithm>
#include <cstdio>

#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "snapshot/scan_details.h"

namespace {

constexpr const wchar_t* kSnapshotTakenKey = L"IsSnapshotTaken";
constexpr const wchar_t* kCaptureMachineKey = L"CaptureMachine";
constexpr const char* kScanDetailsName = "ScanDetails.txt";

std::wstring ProjectFileFor(const CWorkContext& context, const SetupFileInformation& info) {
  return Utf8ToWide(context.OutputFolder) + L"\\Packages" + L"\\" + info.ApplicationName + L"_" + info.Version +
         L".xml";
}

}  // namespace

CUIManager::CUIManager()
    : msiHandler_(std::make_unique<CMSIHandler>(context_)),
      wrapper_(std::make_unique<CEnumerateWrapper>(context_, rules_, skippedFiles_)) {}

CUIManager::~CUIManager() {
  if (logger_) CLogger::ReleaseInstance(logger_);
}

int CUIManager::Initialize() {
  if (initialized_) return 1;
  // A capture pending on another machine is not this machine's: its data lies on that machine.
  context_.SnapshotTaken = GetPendingMarkOwner() == PendingMarkOwner::kThisMachine;
  if (!context_.SnapshotTaken) {
    // No capture is waiting: whatever an earlier one left behind must not be offered again.
    const std::wstring work = Utf8ToWide(context_.WorkFolder);
    platform::DeleteFolderTree(work + L"\\Temp");
    platform::DeleteFolderTree(work + L"\\SnapShot");
    platform::DeleteFolderTree(context_.INIBackupFolder);
  }
  snapshotFolderPath_ = FormatText("%s%s", context_.WorkFolder.c_str(), "\\SnapShot");
  platform::EnsureFolder(snapshotFolderPath_);
  iniBackupFolderPath_ = WideToUtf8(context_.INIBackupFolder);
  platform::EnsureFolder(iniBackupFolderPath_);

  int result = wrapper_->Initialize();
  if (result == 1) {
    initialized_ = true;
    if (!logger_) logger_ = CLogger::GetInstance();
  }
  return result;
}

int CUIManager::Uninitialize() {
  if (!initialized_) return 1;
  SetSnapshotTakenMark(false);
  int result = wrapper_->Uninitialize();
  if (logger_) {
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
  }
  initialized_ = false;
  return result;
}

PendingMarkOwner CUIManager::GetPendingMarkOwner(std::wstring* machine) const {
  if (machine) machine->clear();
  if (platform::GetProfileNumber(kSnapshotSection, kSnapshotTakenKey, 0, context_.ConfigFilePath) == 0) {
    return PendingMarkOwner::kNone;
  }
  const std::wstring owner =
      platform::GetProfileText(kSnapshotSection, kCaptureMachineKey, L"", context_.ConfigFilePath);
  if (machine) *machine = owner;
  return owner.empty() || owner == platform::Machine::Name() ? PendingMarkOwner::kThisMachine
                                                             : PendingMarkOwner::kOtherMachine;
}

bool CUIManager::SetSnapshotTakenMark(bool taken) {
  if (GetPendingMarkOwner() == PendingMarkOwner::kOtherMachine) {
    context_.SnapshotTaken = false;
    return false;
  }
  if (taken) {
    // The owner first: an interruption between the writes never leaves a mark without it.
    platform::WriteProfileText(kSnapshotSection, kCaptureMachineKey, platform::Machine::Name(),
                               context_.ConfigFilePath);
    platform::WriteProfileText(kSnapshotSection, kSnapshotTakenKey, L"1", context_.ConfigFilePath);
  } else {
    platform::DeleteProfileKey(kSnapshotSection, kSnapshotTakenKey, context_.ConfigFilePath);
    platform::DeleteProfileKey(kSnapshotSection, kCaptureMachineKey, context_.ConfigFilePath);
  }
  context_.SnapshotTaken = taken;
  return true;
}

bool CUIManager::IsFirstSnapshotExist() {
  bool exists = wrapper_->IsFirstSnapshotExist();
  if (exists) ReadScanDetails();
  return exists;
}

int CUIManager::CaptureSnapshot() { return wrapper_->CaptureSnapshot(captureChoices_); }

int CUIManager::CompareSnapshot() { return wrapper_->CompareSnapshot(); }

int CUIManager::GenerateProjectFile(const ShortcutList& shortcuts, const IconMap& icons) {
  ProductInfo product{setupFileInfo_.ApplicationName, setupFileInfo_.Version, setupFileInfo_.CompanyName};
  int result = wrapper_->GenerateProjectFile(shortcuts, icons, product);
  if (result == 1) {
    platform::DeleteFolderTree(Utf8ToWide(snapshotFolderPath_));
    platform::DeleteFolderTree(Utf8ToWide(iniBackupFolderPath_));
  }
  return result;
}

void CUIManager::SetSetupFileInfo(const std::wstring& applicationName, const std::wstring& version,
                                  const std::wstring& companyName) {
  setupFileInfo_.ApplicationName = applicationName;
  setupFileInfo_.Version = version;
  setupFileInfo_.CompanyName = companyName;
}

int CUIManager::WriteScanDetails(const CaptureChoiceMap& choices) {
  captureChoices_ = choices;
  std::string bytes;
  for (const auto& [key, values] : captureChoices_) {
    std::vector<std::wstring> list = values;
    uint32_t type = 0;
    if (key == L"File") {
      type = kScanDetailFile;
    } else if (key == L"Registry") {
      type = kScanDetailRegistry;
    } else if (key == L"SetupFilePath") {
      type = kScanDetailSetupFilePath;
    } else if (key == L"SetupFileInfo") {
      type = kScanDetailSetupFileInfo;
      // The texts name the project file: characters a file name cannot hold become "_".
      for (std::wstring& text : list) text = SanitizeFileName(text);
      list.resize(std::max<size_t>(list.size(), 3));
      SetSetupFileInfo(list[0], list[1], list[2]);
      list.resize(values.size());
      context_.SetProjectFilePath(ProjectFileFor(context_, setupFileInfo_));
    } else {
      continue;
    }
    for (const std::wstring& text : list) AppendScanDetail(bytes, type, text);
  }
  // After the four kinds the reader has always known, which skips it.
  if (!setupArguments_.empty()) AppendScanDetail(bytes, kScanDetailSetupArguments, setupArguments_);

  const std::wstring path = Utf8ToWide(FormatText("%s\\%s", snapshotFolderPath_.c_str(), kScanDetailsName));
  std::FILE* file = platform::OpenFileStream(path, "wb");
  if (!file) {
    if (logger_) logger_->Write(2, "CUIManager::WriteScanDetails Unable to create " + WideToUtf8(path));
    return 0;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0) written = false;
  if (!written && logger_) logger_->Write(2, "CUIManager::WriteScanDetails Unable to write " + WideToUtf8(path));
  // Without the file a restart could not resume the capture.
  return written ? 1 : 0;
}

int CUIManager::ReadScanDetails() {
  const std::wstring path = Utf8ToWide(FormatText("%s\\%s", snapshotFolderPath_.c_str(), kScanDetailsName));
  ScanDetailLists lists;
  platform::MappedFile file;
  if (file.Open(path) == platform::kSuccess) {
    ScanDetailsReadEnd end = ParseScanDetails(file.data(), static_cast<size_t>(file.size()), lists);
    if (end != ScanDetailsReadEnd::kComplete && logger_) {
      logger_->Write(2, "CUIManager::ReadScanDetails Damaged record in " + WideToUtf8(path));
    }
  }
  captureChoices_[L"File"] = lists.files;
  captureChoices_[L"Registry"] = lists.registry;
  captureChoices_[L"SetupFilePath"] = lists.setupFilePath;
  captureChoices_[L"SetupFileInfo"] = lists.setupFileInfo;
  if (!lists.setupFilePath.empty()) setupFilePath_ = lists.setupFilePath.front();
  setupArguments_ = lists.setupArguments.empty() ? std::wstring() : lists.setupArguments.front();
  if (lists.setupFileInfo.size() >= 3) {
    SetSetupFileInfo(lists.setupFileInfo[0], lists.setupFileInfo[1], lists.setupFileInfo[2]);
    context_.SetProjectFilePath(ProjectFileFor(context_, setupFileInfo_));
  } else if (logger_) {
    // Without all three texts the project file name would be made up: keep the one in force.
    logger_->Write(2, "CUIManager::ReadScanDetails The product texts are incomplete in " + WideToUtf8(path));
  }
  return 1;
}

long CUIManager::RewriteChanges(int kind) { return wrapper_->RewriteChanges(kind); }

void CUIManager::GetFileChangeMaps(FolderFileMap*& added, FolderFileMap*& modified, FolderFileMap*& deleted) {
  wrapper_->GetFileChangeMaps(added, modified, deleted);
}

void CUIManager::GetRegistryChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted) {
  wrapper_->GetRegistryChangeMaps(added, modified, deleted);
}

void CUIManager::GetExecutableList(std::vector<std::wstring>& list) { wrapper_->GetExecutableList(list); }
