#include "snapshot/enumerate_wrapper.h"

#include <functional>
#include <string>

#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/process.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "project/xml_document_handler.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/registry_enumerate.h"
#include "snapshot/uninstall_set_aside.h"

CEnumerateWrapper::CEnumerateWrapper(CWorkContext& context, CIncludeExcludeRules& rules, CSkippedFiles& skipped)
    : context_(context),
      rules_(rules),
      skipped_(skipped),
      fileEnumerate_(std::make_unique<CFileEnumerate>(context, rules, skipped)),
      registryEnumerate_(std::make_unique<CRegistryEnumerate>(context, rules)),
      projectDocument_(std::make_unique<CXMLDocumentHandler>()) {}

CEnumerateWrapper::~CEnumerateWrapper() {
  if (logger_) CLogger::ReleaseInstance(logger_);
}

int CEnumerateWrapper::Initialize() {
  if (!logger_) logger_ = CLogger::GetInstance();
  int result = 1;
  if (fileEnumerate_->Initialize() != 1) {
    logger_->Write(2, "CEnumerateWrapper::Initialize Failed to Initialize FileEnumerate Class");
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
    result = 0;
  } else if (registryEnumerate_->Initialize() != 1) {
    logger_->Write(2, "CEnumerateWrapper::Initialize Failed to Initialize RegistryEnumerate Class");
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
    result = 0;
  }
  projectLoaded_ = projectDocument_->Load(context_.TemplateProjectPath);
  return result;
}

int CEnumerateWrapper::Uninitialize() {
  if (logger_) {
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
  }
  platform::DeleteFolderTree(Utf8ToWide(context_.WorkFolder) + L"\\Temp");
  fileEnumerate_->Uninitialize();
  registryEnumerate_->Uninitialize();
  return 1;
}

bool CEnumerateWrapper::IsFirstSnapshotExist() {
  const bool files = fileEnumerate_->IsFirstSnapshotExist();
  const bool registry = registryEnumerate_->IsFirstSnapshotExist();
  const bool both = files && registry;
  fileEnumerate_->SetFirstSnapshotTaken(both);
  registryEnumerate_->SetFirstSnapshotTaken(both);
  return both;
}

int CEnumerateWrapper::CaptureSnapshot(const CaptureChoiceMap& choices) {
  ProgressCounter = 0;
  if (CancelRequest.IsRequested()) return 0;  // nothing begun, nothing to undo
  if (prepareMachine_ && !fileEnumerate_->FirstSnapshotTaken()) {
    // Wine's own start-up writes must happen before the first snapshot, not after it.
    platform::Status status = platform::PrepareMachineForCapture();
    if (status != platform::kSuccess && logger_) {
      logger_->Write(2, FormatText("CEnumerateWrapper::CaptureSnapshot Unable to prepare the machine, error code is: %ld",
                                   status));
    }
  }
  int result = 1;
  for (const auto& [key, list] : choices) {
    if (CancelRequest.IsRequested()) {
      // Whatever half was already taken is no longer one half of a snapshot of the same moment.
      RemoveSnapshotsOfThisRun();
      return 0;
    }
    if (key == L"File") {
      if (fileEnumerate_->CaptureSnapShot(list) != 1) {
        if (logger_) logger_->Write(2, "CEnumerateWrapper::CaptureSnapshot Failed to CaptureSnapShot of FileEnumerate Class");
        result = 0;
      }
    } else if (key == L"Registry") {
      std::vector<std::wstring> keys = list;
      if (registryEnumerate_->CaptureSnapShot(keys) != 1) {
        if (logger_) {
          logger_->Write(2, "CEnumerateWrapper::CaptureSnapshot Failed to CaptureSnapShot of RegistryEnumerate Class");
        }
        result = 0;
      }
    }
  }
  if (CancelRequest.IsRequested()) {
    RemoveSnapshotsOfThisRun();
    return 0;
  }
  return result;
}

void CEnumerateWrapper::RemoveSnapshotsOfThisRun() {
  // The enumerators remove the files of a walk they cut short themselves; the other half, taken
  // before the request, goes here. A first snapshot that was taken stays a first snapshot.
  const bool second = fileEnumerate_->FirstSnapshotTaken() && registryEnumerate_->IsFirstSnapshotTaken();
  const std::wstring folder = Utf8ToWide(context_.WorkFolder) + L"\\SnapShot";
  if (second) {
    platform::RemoveFile(folder + L"\\FileSystemDir\\SecondSnapShot.txt");
    platform::DeleteFolderTree(folder + L"\\RegSystemDir\\SecondSnapShot");
  } else {
    platform::RemoveFile(folder + L"\\FileSystemDir\\FirstSnapShot.txt");
    platform::DeleteFolderTree(folder + L"\\RegSystemDir\\FirstSnapShot");
    // The INI backups belong to the first snapshot's walk.
    platform::DeleteFolderTree(context_.INIBackupFolder);
    platform::EnsureFolder(WideToUtf8(context_.INIBackupFolder));
    fileEnumerate_->SetFirstSnapshotTaken(false);
    registryEnumerate_->SetFirstSnapshotTaken(false);
  }
  if (logger_) logger_->Write(1, "CEnumerateWrapper::CaptureSnapshot cancelled; nothing of the snapshot is kept");
}

int CEnumerateWrapper::CompareSnapshot() {
  const std::string temp = context_.WorkFolder + "\\Temp";
  long status = platform::EnsureFolder(temp);
  if (status != 0 && logger_) {
    logger_->Write(1, FormatText("Directory %s not created successfully error code is: %ld ", temp.c_str(), status));
  }
  ProgressCounter = 0;
  // What an earlier comparison set aside or skipped is not this one's.
  rules_.ClearExclusionReasons();
  skipped_.ClearSkippedFiles();
  if (CancelRequest.IsRequested()) return 0;
  if (fileEnumerate_->CompareChanges() != 1) {
    if (logger_) logger_->Write(2, "CEnumerateWrapper::CompareSnapshot Failed to CompareSnapshot of FileEnumerate Class");
    return 0;
  }
  int result = 1;
  ProgressCounter = 1;
  // The change files are written only at the end, so a comparison stopped before that leaves none.
  if (CancelRequest.IsRequested()) return 0;
  const bool registryCompared = registryEnumerate_->CompareChanges() == 1;
  if (registryCompared) {
    // The original setup's uninstall entry and uninstaller are set aside before anything is
    // written: the package registers and removes itself.
    RegKeyMap* addedKeys = nullptr;
    RegKeyMap* modifiedKeys = nullptr;
    RegKeyMap* deletedKeys = nullptr;
    registryEnumerate_->GetChangeMaps(addedKeys, modifiedKeys, deletedKeys);
    const std::vector<std::wstring> setAside = CUninstallSetAside().Apply(
        *addedKeys, *modifiedKeys, registryEnumerate_->ExcludedKeyChanges(), fileEnumerate_->AddedFolders(),
        fileEnumerate_->ModifiedFolders(), fileEnumerate_->ExcludedChanges(), rules_);
    for (const std::wstring& item : setAside) {
      if (logger_) {
        logger_->Write(1, "CEnumerateWrapper::CompareSnapshot Set aside " + WideToUtf8(item) + ": " +
                              WideToUtf8(rules_.ExclusionReason(item)));
      }
    }
  }
  if (CancelRequest.IsRequested()) return 0;
  fileEnumerate_->WriteChanges();
  if (!registryCompared || registryEnumerate_->WriteChanges() != 1) {
    if (logger_) {
      logger_->Write(2, "CEnumerateWrapper::CompareSnapshot Failed to CompareSnapshot of RegistryEnumerate Class");
    }
    result = 0;
  }
  ProgressCounter = 0;
  return result;
}

int CEnumerateWrapper::GenerateProjectFile(const ShortcutList& shortcuts, const IconMap& icons,
                                           const ProductInfo& product) {
  CTraceScope trace(logger_, "CEnumerateWrapper::GenerateProjectFile");
  ProgressCounter = 0;
  if (projectLoaded_ == 1) {
    // The project file is saved at every step: its folder must be there.
    const std::wstring projectFolder = context_.ProjectFilePath.substr(0, context_.ProjectFilePath.find_last_of(L'\\'));
    for (size_t slash = projectFolder.find(L'\\'); slash != std::wstring::npos;
         slash = projectFolder.find(L'\\', slash + 1)) {
      if (slash > 2) platform::EnsureFolder(WideToUtf8(projectFolder.substr(0, slash)));
    }
    platform::EnsureFolder(WideToUtf8(projectFolder));
    // The document is saved at every step: a request honoured between steps removes the file, so
    // that no half project is left to be built.
    const std::function<bool()> steps[] = {
        [&] {
          return ReplaceNodeInProjectFile(context_.FileChangesPath, L"FileSystem//Included//FileSystem", L"FileSystem");
        },
        [&] {
          return ReplaceNodeInProjectFile(context_.RegChangesPath, L"RegistrySystem//Included//RegistrySystem",
                                          L"RegistrySystem");
        },
        [&] { return ReplaceNodeInProjectFile(context_.INIChangesPath, L"INIFileSystem", L"INIFileSystem"); },
        [&] {
          return projectDocument_->InsertShortcutInXML(xmlpath::kShortcutList, shortcuts, context_.ProjectFilePath) ==
                 1;
        },
        [&] {
          return projectDocument_->InsertShortcutICONInXML(xmlpath::kShortcutIcons, icons, context_.ProjectFilePath) ==
                 1;
        },
        [&] {
          return projectDocument_->InsertProductInfoInXML(xmlpath::kProductInformation, product.applicationName,
                                                          product.version, product.companyName,
                                                          context_.ProjectFilePath) == 1;
        },
    };
    bool saved = true;
    for (const auto& step : steps) {
      if (CancelRequest.IsRequested()) {
        platform::RemoveFile(context_.ProjectFilePath);
        if (logger_) logger_->Write(1, "CEnumerateWrapper::GenerateProjectFile cancelled; no project file is kept");
        return 0;
      }
      if (!step()) saved = false;
    }
    // A project file that could not be saved whole is no project file.
    if (!saved) return 0;
  } else {
    return 0;
  }
  return 1;
}

bool CEnumerateWrapper::ReplaceNodeInProjectFile(const std::wstring& sourceFile, const std::wstring& sourcePath,
                                                 const std::wstring& targetPath) {
  static const char* kNotFound = "CEnumerateWrapper::ReplaceNodeInProjectFile Unable to find the Specified TAG in XML";
  CXMLNodeHandler target = projectDocument_->GetRootElement().SelectSingleNode(targetPath);
  CXMLNodeHandler parent = target ? CXMLNodeHandler(target.node().parent()) : CXMLNodeHandler();
  if (!target || !parent) {
    if (logger_) logger_->Write(2, kNotFound);
  } else {
    CXMLDocumentHandler source;
    if (source.Load(sourceFile) == 1) {
      CXMLNodeHandler replacement = source.GetRootElement().SelectSingleNode(sourcePath);
      if (!replacement || !parent.ReplaceChild(replacement, target)) {
        if (logger_) logger_->Write(2, kNotFound);
      }
    }
  }
  if (!projectDocument_->Save(context_.ProjectFilePath)) {
    if (logger_) {
      logger_->Write(2, "CEnumerateWrapper::ReplaceNodeInProjectFile Unable to save XML File"
                        "\t\t\t\t\t\t\t\t\t\t\tCheck the project file path is valid");
    }
    return false;
  }
  return true;
}

long CEnumerateWrapper::RewriteChanges(int kind) {
  if (kind == 0) return fileEnumerate_->RewriteFileChanges();
  if (kind == 1) return registryEnumerate_->RewriteRegChanges();
  return 0;
}

void CEnumerateWrapper::GetFileChangeMaps(FolderFileMap*& added, FolderFileMap*& modified, FolderFileMap*& deleted) {
  added = &fileEnumerate_->AddedFolders();
  modified = &fileEnumerate_->ModifiedFolders();
  deleted = &fileEnumerate_->DeletedFolders();
}

void CEnumerateWrapper::GetRegistryChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted) {
  registryEnumerate_->GetChangeMaps(added, modified, deleted);
}

void CEnumerateWrapper::GetExecutableList(std::vector<std::wstring>& list) { fileEnumerate_->GetExecutableList(list); }

FolderFileMap& CEnumerateWrapper::ExcludedChanges() { return fileEnumerate_->ExcludedChanges(); }

RegKeyMap& CEnumerateWrapper::ExcludedKeyChanges() { return registryEnumerate_->ExcludedKeyChanges(); }
