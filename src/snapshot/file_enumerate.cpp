#include "snapshot/file_enumerate.h"

#include <cstring>

#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "project/xml_document_handler.h"
#include "snapshot/ini_handler.h"


namespace {

constexpr const wchar_t* kAddedCategory = L"FileSystem//AddedItems//DirectoryList";
constexpr const wchar_t* kModifiedCategory = L"FileSystem//ModifiedItems//DirectoryList";
constexpr const wchar_t* kDeletedCategory = L"FileSystem//DeletedItems//DirectoryList";

// The status detail is a display: refreshing it for every entry would cost more than the walk.
constexpr unsigned kDetailEvery = 64;

std::wstring UpperTokenForm(const std::wstring& path) {
  std::wstring token = path;
  ToTokenForm(token);
  return ToUpperUnicode(token);
}

std::wstring LastPiece(const std::wstring& text) {
  size_t slash = text.find_last_of(L'\\');
  return slash == std::wstring::npos ? text : text.substr(slash + 1);
}

}  // namespace

// The snapshot file being written: entries go through the stream's own buffer.
class CFileEnumerate::SnapshotStream {
 public:
  explicit SnapshotStream(const std::string& path) {
    file_ = platform::OpenFileStream(Utf8ToWide(path), "wb");
    if (file_) std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~SnapshotStream() { Close(); }
  bool IsOpen() const { return file_ != nullptr; }
  void Write(const FileSnapshotRecord& record) {
    unsigned char entry[kFileEntrySize];
    if (!EncodeFileSnapshotEntry(record, entry)) return;
    if (file_ && std::fwrite(entry, 1, sizeof(entry), file_) != sizeof(entry)) failed_ = true;
  }
  // False when any write or the final flush failed.
  bool Close() {
    if (file_) {
      if (std::fclose(file_) != 0) failed_ = true;
      file_ = nullptr;
    }
    return !failed_;
  }

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

CFileEnumerate::CFileEnumerate(CWorkContext& context, CIncludeExcludeRules& rules, CSkippedFiles& skipped)
    : context_(context),
      rules_(rules),
      skipped_(skipped),
      iniHandler_(std::make_unique<CINIHandler>(context)),
      changeDocument_(std::make_unique<CXMLDocumentHandler>()) {
  changeDocument_->SetCaptureRecords(&rules_, &skipped_);
}

CFileEnumerate::~CFileEnumerate() {
  if (logger_) CLogger::ReleaseInstance(logger_);
}

int CFileEnumerate::Initialize() {
  snapshotFolder_ = FormatText("%s%s%s", context_.WorkFolder.c_str(), "\\SnapShot", "\\FileSystemDir");
  firstSnapshotPath_ =
      FormatText("%s%s%s\\%s", context_.WorkFolder.c_str(), "\\SnapShot", "\\FileSystemDir", "FirstSnapShot.txt");
  secondSnapshotPath_ =
      FormatText("%s%s%s\\%s", context_.WorkFolder.c_str(), "\\SnapShot", "\\FileSystemDir", "SecondSnapShot.txt");
  changeDocument_->Load(context_.TemplateProjectPath);
  iniHandler_->Initialize();

  builtinExclusions_.clear();
  builtinExclusions_.insert(L"%APPDATA%\\INIBACKUP");
  builtinExclusions_.insert(L"%USERPROFILE%\\LOCAL SETTINGS\\TEMP");
  builtinExclusions_.insert(L"%USERPROFILE%\\APPDATA\\LOCAL\\TEMP");
  builtinExclusions_.insert(UpperTokenForm(Utf8ToWide(context_.ProgramFolder)));
  // The work folder holds the snapshots and change files being written. Under Wine it is not
  // below AppData\Local, so it needs its own entry or a capture would record its own work.
  if (!context_.WorkFolder.empty()) builtinExclusions_.insert(UpperTokenForm(Utf8ToWide(context_.WorkFolder)));
  builtinExclusions_.erase(std::wstring());

  exclusionNames_.clear();
  exclusionNamesUsable_ = true;
  for (const std::wstring& exclusion : builtinExclusions_) {
    std::wstring last = LastPiece(exclusion);
    // A piece that is a token changes under the token form: such an entry cannot be pre-tested.
    if (last.find(L'%') != std::wstring::npos || last.empty()) exclusionNamesUsable_ = false;
    exclusionNames_.insert(last);
  }

  if (!logger_) logger_ = CLogger::GetInstance();
  return 1;
}

int CFileEnumerate::Uninitialize() {
  firstMap_.Clear();
  secondMap_.Clear();
  addedFolders_.clear();
  deletedFolders_.clear();
  modifiedFolders_.clear();
  builtinExclusions_.clear();
  exclusionNames_.clear();
  exclusionNamesUsable_ = false;
  iniHandler_->Reset();
  if (logger_) {
    CLogger::ReleaseInstance(logger_);
    logger_ = nullptr;
  }
  return 1;
}

bool CFileEnumerate::IsFirstSnapshotExist() {
  CTraceScope trace(logger_, "CFileEnumerate::IsFirstSnapshotExist");
  if (platform::PathExists(Utf8ToWide(firstSnapshotPath_))) {
    firstSnapshotTaken_ = true;
  } else {
    platform::EnsureFolder(snapshotFolder_);
    firstSnapshotTaken_ = false;
  }
  return firstSnapshotTaken_;
}

bool CFileEnumerate::IsINIFile(std::wstring_view path) {
  if (path.size() < 4) return false;
  std::wstring_view tail = path.substr(path.size() - 4);
  return tail == L".ini" || tail == L".INI";
}

bool CFileEnumerate::IsSameFile(const FileSnapshotRecord& first, const FileSnapshotRecord& second) {
  return first.lastWriteTime == second.lastWriteTime && first.size == second.size;
}

std::wstring CFileEnumerate::RootExclusionKey(const std::wstring& root) {
  std::wstring key = root;
  ToTokenForm(key);
  // Only a trailing backslash is dropped: cutting any last character would let a root written
  // without one (the work folder, say) escape its exclusion.
  if (!key.empty() && key.back() == L'\\') key.pop_back();
  return ToUpperUnicode(key);
}

bool CFileEnumerate::IsBuiltinExcluded(const std::wstring& path) const {
  if (builtinExclusions_.empty()) return false;
  if (exclusionNamesUsable_) {
    std::wstring last = ToUpperUnicode(LastPiece(path));
    if (exclusionNames_.find(last) == exclusionNames_.end()) return false;
  }
  return builtinExclusions_.count(UpperTokenForm(path)) != 0;
}

void CFileEnumerate::UpdateDetail() {
  const std::string format = WideToUtf8(MessageText(152));
  std::string text = FormatText(format.c_str(), folderCount_, fileCount_);
  if (text.size() > 255) text.resize(255);
  StatusDetail.Set(Utf8ToWide(text));
}

int CFileEnumerate::CaptureSnapShot(const std::vector<std::wstring>& roots) {
  CTraceScope trace(logger_, "CFileEnumerate::CaptureSnapShot");
  std::string target = firstSnapshotPath_;
  if (firstSnapshotTaken_) {
    StatusCaption.Set(MessageText(149));
    PopulateMap();
    platform::RemoveFile(Utf8ToWide(secondSnapshotPath_));
    platform::DeleteFolderTree(Utf8ToWide(context_.WorkFolder) + L"\\Temp");
    target = secondSnapshotPath_;
  }
  SnapshotStream stream(target);
  if (!stream.IsOpen()) {
    // Without its file a first snapshot could not survive a restart, and a second one would be
    // compared against nothing: report the failure instead of a capture that is not there.
    if (logger_) logger_->Write(2, "CFileEnumerate::CaptureSnapShot Unable to create " + target);
    return 0;
  }
  folderCount_ = 0;
  fileCount_ = 0;
  detailTick_ = 0;
  for (const std::wstring& root : roots) {
    if (CancelRequest.IsRequested()) break;
    if (builtinExclusions_.count(RootExclusionKey(root)) == 0) {
      StatusCaption.Set(MessageText(148) + root);
      ScanFiles(root, WideToUtf8(root), stream);
    }
    ++ProgressCounter;
  }
  UpdateDetail();
  if (CancelRequest.IsRequested()) {
    // A walk cut short is no snapshot: its file goes, so that nothing takes it for a complete one.
    stream.Close();
    platform::RemoveFile(Utf8ToWide(target));
    if (logger_) logger_->Write(1, "CFileEnumerate::CaptureSnapShot cancelled; " + target + " removed");
    return 0;
  }
  if (!firstSnapshotTaken_) firstSnapshotTaken_ = true;
  if (!stream.Close()) {
    if (logger_) logger_->Write(2, "CFileEnumerate::CaptureSnapShot Unable to write " + target);
    return 0;
  }
  return 1;
}

void CFileEnumerate::ScanFiles(const std::wstring& folder, const std::string& folderUtf8, SnapshotStream& stream) {
  CTraceScope trace(logger_, "CFileEnumerate::ScanFiles");
  const bool endsWithSlash = !folder.empty() && folder.back() == L'\\';
  const std::wstring prefix = endsWithSlash ? folder : folder + L"\\";
  const std::string prefixUtf8 = endsWithSlash ? folderUtf8 : folderUtf8 + "\\";
  if (CancelRequest.IsRequested()) return;
  platform::DirectorySearch search(prefix + L"*.*");
  if (search.status() != platform::kSuccess) return;

  CFileSnapshotMap& map = firstSnapshotTaken_ ? secondMap_ : firstMap_;
  platform::FindData entry;
  std::wstring path;
  std::string pathUtf8;
  while (search.Next(entry)) {
    if (entry.name == L"." || entry.name == L"..") continue;
    path.assign(prefix).append(entry.name);
    if (IsBuiltinExcluded(path)) continue;
    pathUtf8.assign(prefixUtf8).append(WideToUtf8(entry.name));
    const bool isFolder = (entry.attributes & platform::kAttrDirectory) != 0;
    if (pathUtf8.size() > kFileRecordMaxPath) {
      // A record cannot hold it; neither can it hold anything below a folder of that path.
      if (logger_) logger_->Write(2, "CFileEnumerate::ScanFiles Path too long to record: " + pathUtf8);
      continue;
    }
    FileSnapshotRecord record;
    record.path = pathUtf8;
    record.creationTime = FileTimeToUnixSeconds(entry.creationTime);
    record.lastWriteTime = FileTimeToUnixSeconds(entry.lastWriteTime);
    record.size = isFolder ? 0 : entry.size;
    record.isDirectory = isFolder;
    if (isFolder) {
      ++folderCount_;
    } else {
      ++fileCount_;
    }
    map.Insert(record.path, record.lastWriteTime, record.size, record.isDirectory);
    stream.Write(record);
    if (++detailTick_ % kDetailEvery == 0) UpdateDetail();

    if (isFolder) {
      // A link folder is recorded but never entered: links can lead off the drive or in a circle.
      if ((entry.attributes & platform::kAttrReparsePoint) == 0) ScanFiles(path, pathUtf8, stream);
    } else if (!firstSnapshotTaken_ && IsINIFile(path)) {
      BackupOrCompareINIFile(path);
    }
  }
}

int CFileEnumerate::PopulateMap() {
  CTraceScope trace(logger_, "CFileEnumerate::PopulateMap");
  platform::MappedFile file;
  if (file.Open(Utf8ToWide(firstSnapshotPath_)) != platform::kSuccess) return 1;
  // Everything the file holds replaces what the map held: the file is the first snapshot.
  firstMap_.Clear();
  FileSnapshotReadEnd end = ParseFileSnapshot(file.data(), static_cast<size_t>(file.size()),
                                              [this](const FileSnapshotRecord& record) {
                                                firstMap_.Insert(record.path, record.lastWriteTime, record.size,
                                                                 record.isDirectory);
                                              });
  if (end == FileSnapshotReadEnd::kBadLength && logger_) {
    logger_->Write(2, "CFileEnumerate::PopulateMap Invalid entry length in " + firstSnapshotPath_);
  } else if (end == FileSnapshotReadEnd::kTruncated && logger_) {
    logger_->Write(2, "CFileEnumerate::PopulateMap Truncated entry at the end of " + firstSnapshotPath_);
  }
  return 1;
}

std::wstring CFileEnumerate::BackupPathOf(const std::wstring& path, bool makeFolders) {
  const std::vector<std::wstring> pieces = SplitPathComponents(path);
  std::wstring backup = context_.INIBackupFolder;
  if (pieces.size() < 2) return backup + L"\\" + (pieces.empty() ? std::wstring() : pieces.back());
  for (size_t i = 1; i + 1 < pieces.size(); ++i) {
    backup += L"\\" + pieces[i];
    if (makeFolders) {
      const std::string narrow = WideToUtf8(backup);
      long status = platform::EnsureFolder(narrow);
      if (status != 0 && logger_) {
        logger_->Write(1, FormatText("Directory %s not created successfully error code is: %ld ", narrow.c_str(), status));
      }
    }
  }
  return backup + L"\\" + pieces.back();
}

int CFileEnumerate::BackupOrCompareINIFile(const std::wstring& path) {
  if (!firstSnapshotTaken_) {
    const std::wstring backup = BackupPathOf(path, true);
    platform::CopyFileTo(path, backup, false);  // a failed copy shows later as keys all added
  } else {
    const std::wstring backup = BackupPathOf(path, false);
    iniHandler_->CompareINIFile(backup, path);
  }
  return 1;
}

std::wstring CFileEnumerate::FolderOfChange(const std::wstring& path, bool isFolder) {
  if (isFolder) return path;
  const std::vector<std::wstring> pieces = SplitPathComponents(path);
  std::wstring folder;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    if (i > 0) folder += L'\\';
    folder.append(pieces[i]);
  }
  return folder;
}

void CFileEnumerate::AddChangedItem(const std::wstring& category, const std::wstring& path, bool isFolder) {
  // An INI file the setup changed or removed is compared entry by entry; one it made is packaged
  // as it is, byte for byte (rebuilt from its entries it would lose comments, order and empty
  // sections). A folder is never an INI file, whatever its name.
  if (!isFolder && IsINIFile(path) && category != kAddedCategory) {
    BackupOrCompareINIFile(path);
    return;
  }
  FolderFileMap* target = nullptr;
  if (category == kAddedCategory) {
    target = &addedFolders_;
  } else if (category == kModifiedCategory) {
    target = &modifiedFolders_;
  } else if (category == kDeletedCategory) {
    target = &deletedFolders_;
  } else {
    return;
  }
  const std::wstring folder = FolderOfChange(path, isFolder);
  if (!excludedItems_.empty() && IsFolderExcluded(excludedItems_, folder)) target = &excludedChanges_;
  std::vector<std::wstring>& files = (*target)[folder];
  if (!isFolder) files.push_back(path);
}

void CFileEnumerate::LoadExclusionRules() {
  excludedItems_.clear();
  CXMLDocumentHandler rules;
  if (rules.Load(context_.RulesFilePath) != 1) return;  // no rules: nothing is excluded
  rules.ReadExcludedItems(xmlpath::kExcludedFileRules, rules.GetRootElement(), rules_);
  excludedItems_ = rules_.GetExcludedRules(RuleKind::kFiles);
}

void CFileEnumerate::PrepareChangeDocument() {
  changeDocument_->SplitIncludedExcluded(L"FileSystem", L"DirectoryList", context_.FileChangesPath);
  changeDocument_->Load(context_.FileChangesPath);
}

int CFileEnumerate::WriteChangeFile(bool skipUsabilityTest) {
  // The four lists go into the document and the file is saved once at the end: saving after each
  // list (or each folder) rewrites the whole growing file every time.
  constexpr bool kSaveLater = false;
  changeDocument_->InsertDirectoryAndFileInXML(xmlpath::kIncludedFileAdded, addedFolders_, context_.FileChangesPath,
                                               skipUsabilityTest, kSaveLater);
  changeDocument_->InsertDirectoryAndFileInXML(xmlpath::kIncludedFileModified, modifiedFolders_,
                                               context_.FileChangesPath, skipUsabilityTest, kSaveLater);
  changeDocument_->InsertDirectoryAndFileInXML(xmlpath::kIncludedFileDeleted, deletedFolders_, context_.FileChangesPath,
                                               skipUsabilityTest, kSaveLater);
  const int written = changeDocument_->InsertDirectoryAndFileInXML(
      xmlpath::kExcludedFiles, excludedChanges_, context_.FileChangesPath, skipUsabilityTest, kSaveLater);
  // Whatever was written is saved, even when a list failed; a document that did not load (the
  // split file could not be read) holds nothing and leaves the file as it is.
  if (!changeDocument_->IsLoaded()) return written;
  if (!changeDocument_->Save(context_.FileChangesPath)) {
    if (logger_) logger_->Write(2, "CFileEnumerate::WriteChangeFile Unable to save XML File");
    return 0;
  }
  return written;
}

int CFileEnumerate::CompareSnapshot() {
  CTraceScope trace(logger_, "CFileEnumerate::CompareSnapshot");
  CompareChanges();
  return WriteChanges();
}

int CFileEnumerate::CompareChanges() {
  LoadExclusionRules();
  if (!firstMap_.Empty() || !secondMap_.Empty()) StatusCaption.Set(MessageText(147));
  CompareMaps();
  return 1;
}

int CFileEnumerate::WriteChanges() {
  PrepareChangeDocument();
  WriteChangeFile(false);
  iniHandler_->WriteINIChanges();
  return 1;
}

long CFileEnumerate::RewriteFileChanges() {
  long loaded = changeDocument_->Load(context_.TemplateProjectPath);
  if (loaded != 1) return loaded;
  PrepareChangeDocument();
  return WriteChangeFile(true);
}

void CFileEnumerate::GetExecutableList(std::vector<std::wstring>& list) const {
  const std::vector<std::wstring>& found = changeDocument_->GetCapturedExecutables();
  list = found;
}

void CFileEnumerate::CompareMaps() {
  // Both maps are ordered by path, so the three passes are merges. A path found in both is
  // settled by the first pass; the later passes take what only one map holds.
  const size_t firstCount = firstMap_.Count();
  const size_t secondCount = secondMap_.Count();
  std::vector<bool> firstSettled(firstCount, false);
  std::vector<bool> secondSettled(secondCount, false);
  size_t i = 0;
  size_t j = 0;
  while (i < firstCount && j < secondCount) {
    std::string_view a = firstMap_.PathAt(i);
    std::string_view b = secondMap_.PathAt(j);
    if (a < b) {
      ++i;
    } else if (b < a) {
      ++j;
    } else {
      FileSnapshotRecord first{a, 0, firstMap_.LastWriteTimeAt(i), firstMap_.SizeAt(i), firstMap_.IsDirectoryAt(i)};
      FileSnapshotRecord second{b, 0, secondMap_.LastWriteTimeAt(j), secondMap_.SizeAt(j), secondMap_.IsDirectoryAt(j)};
      if (!IsSameFile(first, second)) AddChangedItem(kModifiedCategory, Utf8ToWide(b), second.isDirectory);
      firstSettled[i++] = true;
      secondSettled[j++] = true;
    }
  }
  for (size_t k = 0; k < firstCount; ++k) {
    if (!firstSettled[k]) AddChangedItem(kDeletedCategory, Utf8ToWide(firstMap_.PathAt(k)), firstMap_.IsDirectoryAt(k));
  }
  for (size_t k = 0; k < secondCount; ++k) {
    if (!secondSettled[k]) AddChangedItem(kAddedCategory, Utf8ToWide(secondMap_.PathAt(k)), secondMap_.IsDirectoryAt(k));
  }
  firstMap_.Clear();
  secondMap_.Clear();
}
