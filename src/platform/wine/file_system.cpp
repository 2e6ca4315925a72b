#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "core/strings.h"
#include "platform/directory_listing.h"
#include "platform/machine.h"
#include "platform/text.h"
#include "platform/wine/errno_status.h"
#include "platform/wine/file_descriptor.h"
#include "platform/wine/replace_file.h"
#include "platform/wine/shell_folders.h"

namespace fs = std::filesystem;

namespace platform {

namespace wine {

Status StatusFromErrno(int error, const fs::path& hostPath, ExistsMeaning exists) {
  switch (error) {
    case 0:
      return kSuccess;
    case ENOENT: {
      // Windows tells a missing leaf (2) from a missing folder on the way (3).
      struct stat st {};
      const fs::path parent = hostPath.parent_path();
      bool parentIsFolder = !parent.empty() && ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      return parentIsFolder ? kFileNotFound : kPathNotFound;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kAccessDenied;
    case EEXIST:
      return exists == ExistsMeaning::kFile ? kFileExists : kAlreadyExists;
    case ENOTEMPTY:
      return kDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kDiskFull;
    case ENOMEM:
      return kNotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
      return kSharingViolation;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EINVAL:
      return kInvalidParameter;
    case EBADF:
      return kInvalidHandle;
    case EIO:
    default:
      return kGenFailure;
  }
}

}  // namespace wine

namespace {

using wine::ExistsMeaning;
using wine::StatusFromErrno;

// FILETIME of a Unix time: 100-ns units since 1601-01-01.
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  int64_t value = (seconds + kSecondsFrom1601To1970) * 10000000LL + nanoseconds / 100;
  return value < 0 ? 0 : static_cast<uint64_t>(value);
}

// What one stat call tells about an entry.
struct EntryInfo {
  bool ok = false;
  uint32_t mode = 0;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t lastWriteTime = 0;
};

// statx gives the birth time where the file system keeps it; otherwise the creation time is the
// last-write time, as Wine reports it.
EntryInfo Inspect(const fs::path& path, bool follow) {
  EntryInfo info;
  struct statx sx {};
  int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  if (::statx(AT_FDCWD, path.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return info;
  info.ok = true;
  info.mode = sx.stx_mode;
  info.size = S_ISREG(sx.stx_mode) ? sx.stx_size : 0;
  info.lastWriteTime = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  info.creationTime = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                                                   : info.lastWriteTime;
  return info;
}

// Wine keeps the attributes Unix cannot hold (hidden, system) in this extended attribute, written
// as "0x%x".
constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr uint32_t kStoredAttributeMask = kAttrHidden | kAttrSystem;

uint32_t StoredAttributes(const fs::path& path) {
  char buffer[32] = {};
  ssize_t length = ::getxattr(path.c_str(), kDosAttributeName, buffer, sizeof(buffer) - 1);
  if (length <= 0) return 0;
  buffer[length] = '\0';
  return static_cast<uint32_t>(std::strtoul(buffer, nullptr, 0)) & kStoredAttributeMask;
}

// Attributes as Wine shows them: a folder or an archive file; read-only when nobody may write;
// hidden when the name starts with a dot (Wine's default, ShowDotFiles off) or when stored so.
uint32_t AttributesOf(const EntryInfo& info, const std::string& name, const fs::path& path) {
  uint32_t attributes = S_ISDIR(info.mode) ? kAttrDirectory : kAttrArchive;
  if ((info.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  attributes |= StoredAttributes(path);
  return attributes;
}

bool IsWithin(const fs::path& path, const fs::path& base) {
  auto p = path.begin();
  for (auto b = base.begin(); b != base.end(); ++b, ++p) {
    if (b->empty()) continue;
    if (p == path.end() || *p != *b) return false;
  }
  return true;
}

// The drive part of a Windows path ("C:"), or empty.
std::wstring DriveOf(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':') return {};
  return path.substr(0, 2);
}

// True when the Windows path names a drive root ("C:", "C:\", "C:\foo\..").
bool IsDriveRoot(const std::wstring& path, const fs::path& host) {
  std::wstring drive = DriveOf(path);
  return !drive.empty() && host == Machine::HostPath(drive + L"\\");
}

wchar_t Fold(wchar_t c) { return ToUpperSimple(c); }

bool NameLess(const std::wstring& a, const std::wstring& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::wstring UpperText(std::wstring text) {
  for (wchar_t& c : text) c = Fold(c);
  return text;
}

// A profile folder of the machine that is a link leading off its drive: in a user's own prefix
// Wine links Desktop, Documents, ... into the Linux home. Such a link is the machine's folder and
// is walked as one. When several lead to the same place only the first of them (Desktop before
// Documents, ...) is, so that nothing is walked twice.
struct ProfileLink {
  std::wstring windowsPath;  // upper-cased
  fs::path target;           // resolved
};

// The profile folders that are links leading off the drive, first come first walked. `watched`
// receives the folders that hold the profile folders: a link made or removed changes their times.
std::vector<ProfileLink> FindWalkedProfileLinks(const std::wstring& drive, const fs::path& driveRoot,
                                                std::set<fs::path>& watched) {
  std::vector<ProfileLink> links;
  const std::wstring upperDrive = UpperText(drive);
  for (const std::wstring& path : wine::ShellFolderPaths()) {
    if (DriveOf(path) != upperDrive) continue;
    const fs::path host = Machine::HostPath(path);
    if (host.empty()) continue;
    watched.insert(host.parent_path());
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) continue;
    std::error_code ec;
    const fs::path target = fs::canonical(host, ec);
    if (ec || !fs::is_directory(target, ec) || IsWithin(target, driveRoot)) continue;
    bool taken = false;
    for (const ProfileLink& link : links) taken = taken || link.target == target;
    if (!taken) links.push_back({path, target});
  }
  return links;
}

// A walk searches every folder below a profile link and needs the links each time: they are
// found once per prefix, drive, user.reg and state of the folders that hold the profile folders.
struct ProfileLinkCache {
  std::string key;
  std::set<fs::path> watched;
  std::string watchedState;
  std::vector<ProfileLink> links;
};
std::mutex g_profileLinkMutex;
ProfileLinkCache g_profileLinks;

std::string StateOf(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "-|";
  return std::to_string(st.st_size) + "." + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec) + "|";
}

std::string StateOf(const std::set<fs::path>& folders) {
  std::string state;
  for (const fs::path& folder : folders) state += StateOf(folder);
  return state;
}

std::vector<ProfileLink> WalkedProfileLinks(const std::wstring& drive, const fs::path& driveRoot) {
  const fs::path root = Machine::Root();
  const std::string key = root.string() + "|" + WideToUtf8(drive) + "|" + StateOf(root / "user.reg");
  std::set<fs::path> watched;
  {
    std::lock_guard<std::mutex> lock(g_profileLinkMutex);
    watched = g_profileLinks.watched;
    if (g_profileLinks.key == key && StateOf(watched) == g_profileLinks.watchedState) return g_profileLinks.links;
  }
  watched.clear();
  std::vector<ProfileLink> links = FindWalkedProfileLinks(drive, driveRoot, watched);
  const std::string watchedState = StateOf(watched);
  std::lock_guard<std::mutex> lock(g_profileLinkMutex);
  g_profileLinks = ProfileLinkCache{key, watched, watchedState, links};
  return links;
}

// The profile links of one drive, looked up only when a walk meets a link that leaves the drive
// (a prefix made by the project has none).
class ProfileLinks {
 public:
  ProfileLinks(std::wstring drive, fs::path driveRoot) : drive_(std::move(drive)), driveRoot_(std::move(driveRoot)) {}

  // The walked profile link at a Windows path (upper-cased, no trailing backslash), or nullptr.
  const ProfileLink* At(const std::wstring& upperPath) {
    for (const ProfileLink& link : Links()) {
      if (link.windowsPath == upperPath) return &link;
    }
    return nullptr;
  }
  // True for a folder inside the profile link `through` that must not be walked from there: the
  // place of another walked profile link (walked by that one's path), or a folder that holds
  // the drive itself (a prefix kept in the home, ~/.wine, would be walked again).
  bool IsBarrier(const fs::path& folder, const ProfileLink& through) {
    if (IsWithin(driveRoot_, folder)) return true;
    for (const ProfileLink& link : Links()) {
      if (&link != &through && link.target == folder) return true;
    }
    return false;
  }

 private:
  const std::vector<ProfileLink>& Links() {
    if (!loaded_) {
      links_ = WalkedProfileLinks(drive_, driveRoot_);
      loaded_ = true;
    }
    return links_;
  }

  std::wstring drive_;
  fs::path driveRoot_;
  bool loaded_ = false;
  std::vector<ProfileLink> links_;
};

// Where a search looks: the host folder, whether it is a drive root, and the profile link the
// way passed through (nullptr when it stayed on the drive).
struct SearchFolder {
  fs::path host;
  bool isDriveRoot = false;
  std::wstring upperWindowsPath;  // the way taken, upper-cased, no trailing backslash
  std::unique_ptr<ProfileLinks> profiles;
  const ProfileLink* through = nullptr;  // one of `profiles`
};

// The host folder of a search, walked from the drive root: kPathNotFound when the folder is
// missing, is not a folder, or the way to it passes through a link that leads back to a folder
// already on the way, or leaves the drive (other than a profile link of the machine), or, inside
// a profile link, leaves that link's target or meets a barrier (ProfileLinks::IsBarrier).
Status ResolveSearchFolder(const std::wstring& folder, SearchFolder& result) {
  const std::wstring drive = DriveOf(folder);
  if (drive.empty()) return kPathNotFound;
  const fs::path host = Machine::HostPath(folder);
  const fs::path driveHost = Machine::HostPath(drive + L"\\");
  if (host.empty() || driveHost.empty()) return kPathNotFound;
  std::error_code ec;
  const fs::path driveRoot = fs::canonical(driveHost, ec);
  if (ec) return kPathNotFound;
  result.profiles = std::make_unique<ProfileLinks>(drive, driveRoot);
  ProfileLinks* profiles = result.profiles.get();

  fs::path current = driveRoot;
  std::wstring windowsPath = UpperText(drive);
  const ProfileLink* through = nullptr;
  const fs::path relative = host.lexically_relative(driveHost);
  for (const fs::path& component : relative) {
    if (component.empty() || component == ".") continue;
    windowsPath += L'\\';
    windowsPath += UpperText(Utf8ToWide(component.string()));
    fs::path next = current / component;
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) {
      Status status = StatusFromErrno(errno, next);
      return status == kFileNotFound ? kPathNotFound : status;
    }
    if (S_ISLNK(st.st_mode)) {
      fs::path target = fs::canonical(next, ec);
      if (ec) return kPathNotFound;
      const fs::path& area = through != nullptr ? through->target : driveRoot;
      if (IsWithin(target, area)) {
        if (IsWithin(current, target)) return kPathNotFound;  // back to a folder on the way
        if (through != nullptr && profiles->IsBarrier(target, *through)) return kPathNotFound;
      } else if (through == nullptr && profiles->At(windowsPath) != nullptr) {
        through = profiles->At(windowsPath);
      } else {
        return kPathNotFound;  // leaves the drive
      }
      next = target;
    } else if (through != nullptr && S_ISDIR(st.st_mode) && profiles->IsBarrier(next, *through)) {
      return kPathNotFound;
    }
    current = next;
  }
  struct stat st {};
  if (::stat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kPathNotFound;
  result.isDriveRoot = current == driveRoot;
  result.host = current;
  result.upperWindowsPath = windowsPath;
  result.through = through;
  return kSuccess;
}

FindData MakeFindData(const std::wstring& name, const EntryInfo& info, uint32_t attributes) {
  FindData data;
  data.name = name;
  data.attributes = attributes;
  data.creationTime = info.creationTime;
  data.lastWriteTime = info.lastWriteTime;
  data.size = S_ISDIR(info.mode) ? 0 : info.size;
  return data;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DirectorySearch

Status ListDirectory(const std::wstring& pattern, std::vector<FindData>& entries) {
  size_t slash = pattern.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return kPathNotFound;
  std::wstring folder = pattern.substr(0, slash);
  const std::wstring namePattern = pattern.substr(slash + 1);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';

  SearchFolder where;
  const Status resolved = ResolveSearchFolder(folder, where);
  if (resolved != kSuccess) return resolved;
  const fs::path& host = where.host;
  ProfileLinks* profiles = where.profiles.get();

  DIR* dir = ::opendir(host.c_str());
  if (dir == nullptr) return errno == ENOENT || errno == ENOTDIR ? kPathNotFound : StatusFromErrno(errno, host);
  std::vector<FindData> found;
  // A drive root has no "." and "..", as on Windows.
  if (!where.isDriveRoot) {
    for (const char* dot : {".", ".."}) {
      std::wstring name = Utf8ToWide(dot);
      if (!MatchFileName(namePattern, name)) continue;
      EntryInfo info = Inspect(host / dot, true);
      if (info.ok) found.push_back(MakeFindData(name, info, AttributesOf(info, dot, host / dot)));
    }
  }
  std::vector<FindData> names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::wstring wide = Utf8ToWide(name);
    if (!MatchFileName(namePattern, wide)) continue;
    const fs::path path = host / name;
    EntryInfo own = Inspect(path, false);
    if (!own.ok) continue;  // vanished meanwhile
    if (S_ISLNK(own.mode)) {
      EntryInfo target = Inspect(path, true);
      if (!target.ok) {
        // A dangling link: a file of no size that cannot be opened.
        names.push_back(MakeFindData(wide, own, kAttrArchive | kAttrReparsePoint));
      } else if (S_ISDIR(target.mode)) {
        uint32_t attributes = AttributesOf(target, name, path) | kAttrReparsePoint;
        // A profile folder that links off the drive is the machine's folder: walked like one.
        if (where.through == nullptr && profiles->At(where.upperWindowsPath + L"\\" + UpperText(wide)) != nullptr) {
          attributes &= ~kAttrReparsePoint;
        }
        names.push_back(MakeFindData(wide, target, attributes));
      } else {
        names.push_back(MakeFindData(wide, target, AttributesOf(target, name, path)));
      }
    } else {
      uint32_t attributes = AttributesOf(own, name, path);
      // Inside a profile link, a folder walked by another path is listed but not to be entered.
      if (S_ISDIR(own.mode) && where.through != nullptr && profiles->IsBarrier(path, *where.through)) {
        attributes |= kAttrReparsePoint;
      }
      names.push_back(MakeFindData(wide, own, attributes));
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), [](const FindData& a, const FindData& b) { return NameLess(a.name, b.name); });
  found.insert(found.end(), std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()));
  entries = std::move(found);
  return entries.empty() ? kFileNotFound : kSuccess;
}

// ---------------------------------------------------------------------------------------------
// Single entries

bool PathExists(const std::wstring& path) {
  const fs::path host = Machine::HostPath(path);
  struct stat st {};
  return !host.empty() && ::lstat(host.c_str(), &st) == 0;
}

uint32_t GetAttributes(const std::wstring& path) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kInvalidAttributes;
  EntryInfo own = Inspect(host, false);
  if (!own.ok) return kInvalidAttributes;
  const std::string name = host.filename().string();
  if (!S_ISLNK(own.mode)) return AttributesOf(own, name, host);
  EntryInfo target = Inspect(host, true);
  if (!target.ok) return kAttrArchive | kAttrReparsePoint;
  uint32_t attributes = AttributesOf(target, name, host);
  // The drive's own link is the drive, not a link folder inside it; a profile folder that links
  // off the drive is the machine's folder.
  if (S_ISDIR(target.mode) && !IsDriveRoot(path, host)) {
    SearchFolder where;
    const bool walked = ResolveSearchFolder(path, where) == kSuccess &&
                        where.through != nullptr && where.upperWindowsPath == where.through->windowsPath;
    if (!walked) attributes |= kAttrReparsePoint;
  }
  return attributes;
}

Status SetAttributes(const std::wstring& path, uint32_t attributes) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return StatusFromErrno(errno, host);
  // Like Wine, read-only is ignored for folders: it would only stop the folder being filled.
  if (!S_ISDIR(st.st_mode)) {
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly) {
      mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      mode |= S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && ::chmod(host.c_str(), mode) != 0) return StatusFromErrno(errno, host);
  }
  // Hidden and system go where Wine keeps them; a file system without user attributes keeps
  // only what the mode bits can say, which is not an error (Wine does the same).
  uint32_t stored = attributes & kStoredAttributeMask;
  if (stored != StoredAttributes(host)) {
    if (stored == 0) {
      ::removexattr(host.c_str(), kDosAttributeName);
    } else {
      char buffer[16];
      int length = std::snprintf(buffer, sizeof(buffer), "0x%x", stored);
      ::setxattr(host.c_str(), kDosAttributeName, buffer, static_cast<size_t>(length), 0);
    }
  }
  return kSuccess;
}

// ---------------------------------------------------------------------------------------------
// Folders and files

Status MakeFolder(const std::wstring& path) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  if (::mkdir(host.c_str(), 0777) != 0) return StatusFromErrno(errno, host, ExistsMeaning::kFolder);
  return kSuccess;
}

Status RemoveFolder(const std::wstring& path) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  if (IsDriveRoot(path, host)) return kAccessDenied;
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return StatusFromErrno(errno, host);
  if (S_ISLNK(st.st_mode)) {
    // A link folder goes as a link; what it points to is never touched.
    struct stat target {};
    if (::stat(host.c_str(), &target) == 0 && !S_ISDIR(target.st_mode)) return kNotADirectory;
    if (::unlink(host.c_str()) != 0) return StatusFromErrno(errno, host);
    return kSuccess;
  }
  if (!S_ISDIR(st.st_mode)) return kNotADirectory;
  if (::rmdir(host.c_str()) != 0) {
    return errno == EEXIST ? kDirNotEmpty : StatusFromErrno(errno, host);
  }
  return kSuccess;
}

Status RemoveFile(const std::wstring& path) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  if (IsDriveRoot(path, host)) return kAccessDenied;
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return StatusFromErrno(errno, host);
  if (!S_ISLNK(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) return kAccessDenied;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return kAccessDenied;  // read-only
  }
  if (::unlink(host.c_str()) != 0) return StatusFromErrno(errno, host);
  return kSuccess;
}

Status RenameFile(const std::wstring& from, const std::wstring& to) {
  const fs::path source = Machine::HostPath(from);
  const fs::path target = Machine::HostPath(to);
  if (source.empty() || target.empty()) return kPathNotFound;
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return StatusFromErrno(errno, source);
  if (S_ISDIR(st.st_mode)) return kAccessDenied;
  if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kAccessDenied;
  if (::rename(source.c_str(), target.c_str()) != 0) return StatusFromErrno(errno, target, ExistsMeaning::kFile);
  return kSuccess;
}

Status ReplaceAtomically(const std::wstring& path, std::string_view bytes) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  if (IsDriveRoot(path, host)) return kAccessDenied;
  return StatusFromErrno(wine::ReplaceHostFile(host, bytes), host, ExistsMeaning::kFile);
}

Status GetFileSize(const std::wstring& path, uint64_t& size) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return StatusFromErrno(errno, host);
  if (S_ISDIR(st.st_mode)) return kAccessDenied;
  size = static_cast<uint64_t>(st.st_size);
  return kSuccess;
}

std::FILE* OpenFileStream(const std::wstring& path, const char* mode, Status* status) {
  const fs::path host = Machine::HostPath(path);
  std::FILE* file = host.empty() ? nullptr : std::fopen(host.c_str(), mode);
  if (status != nullptr) {
    *status = file != nullptr ? kSuccess
              : host.empty()  ? kPathNotFound
                              : wine::StatusFromErrno(errno, host, wine::ExistsMeaning::kFile);
  }
  return file;
}

namespace {

using wine::FileDescriptor;

// Copies every byte; 0 or the errno of the failure.
int CopyBytes(int from, int to) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    ssize_t done = 0;
    while (done < got) {
      ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += put;
    }
  }
}

// Moves the finished temporary file to the target; with noReplace an existing target is kept.
int MoveIntoPlace(const fs::path& temporary, const fs::path& target, bool noReplace) {
  if (!noReplace) return ::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: a hard link fails the same way on an existing target.
  if (::link(temporary.c_str(), target.c_str()) != 0) return errno;
  ::unlink(temporary.c_str());
  return 0;
}

}  // namespace

Status CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists) {
  const fs::path from = Machine::HostPath(source);
  fs::path to = Machine::HostPath(target);
  if (from.empty() || to.empty()) return kPathNotFound;

  FileDescriptor input(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (input.get() < 0) return StatusFromErrno(errno, from);
  struct stat sourceInfo {};
  if (::fstat(input.get(), &sourceInfo) != 0) return StatusFromErrno(errno, from);
  if (S_ISDIR(sourceInfo.st_mode)) return kAccessDenied;

  struct stat targetInfo {};
  if (::lstat(to.c_str(), &targetInfo) == 0) {
    if (failIfExists) return kFileExists;
    if (S_ISLNK(targetInfo.st_mode)) {
      // Writing through a link replaces the file it points to, not the link.
      std::error_code ec;
      fs::path resolved = fs::canonical(to, ec);
      if (!ec) to = resolved;
      if (ec || ::stat(to.c_str(), &targetInfo) != 0) return kAccessDenied;
    }
    if (S_ISDIR(targetInfo.st_mode)) return kAccessDenied;
    if ((targetInfo.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return kAccessDenied;
    if (targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino) return kSharingViolation;
  }

  // The copy is made beside the target and moved over it at the end, so a failed copy never
  // leaves a truncated target behind.
  std::string temporary = (to.parent_path() / ("." + to.filename().string() + ".copy-XXXXXX")).string();
  FileDescriptor output(::mkostemp(temporary.data(), O_CLOEXEC));
  if (output.get() < 0) return StatusFromErrno(errno, to, ExistsMeaning::kFile);
  auto fail = [&](int error) {
    output.Reset();
    ::unlink(temporary.c_str());
    return StatusFromErrno(error, to, ExistsMeaning::kFile);
  };
  if (int error = CopyBytes(input.get(), output.get())) return fail(error);
  if (::fchmod(output.get(), sourceInfo.st_mode & 0777) != 0) return fail(errno);
  const struct timespec times[2] = {{0, UTIME_NOW}, sourceInfo.st_mtim};
  if (::futimens(output.get(), times) != 0) return fail(errno);
  char stored[32];
  ssize_t storedLength = ::fgetxattr(input.get(), kDosAttributeName, stored, sizeof(stored));
  if (storedLength > 0) ::fsetxattr(output.get(), kDosAttributeName, stored, static_cast<size_t>(storedLength), 0);
  if (int error = output.Close()) {
    ::unlink(temporary.c_str());
    return StatusFromErrno(error, to, ExistsMeaning::kFile);
  }
  if (int error = MoveIntoPlace(temporary, to, failIfExists)) {
    ::unlink(temporary.c_str());
    return StatusFromErrno(error, to, ExistsMeaning::kFile);
  }
  return kSuccess;
}

// ---------------------------------------------------------------------------------------------
// MappedFile

namespace {
const unsigned char kEmptyData[1] = {0};
}

MappedFile::~MappedFile() { Close(); }

Status MappedFile::Open(const std::wstring& path) {
  Close();
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  FileDescriptor fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return StatusFromErrno(errno, host);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return StatusFromErrno(errno, host);
  if (S_ISDIR(st.st_mode)) return kAccessDenied;
  if (st.st_size == 0) {
    data_ = kEmptyData;
    size_ = 0;
    return kSuccess;
  }
  void* mapping = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (mapping == MAP_FAILED) return StatusFromErrno(errno, host);
  handle_ = mapping;
  data_ = static_cast<const unsigned char*>(mapping);
  size_ = static_cast<uint64_t>(st.st_size);
  return kSuccess;
}

void MappedFile::Close() {
  if (handle_ != nullptr) ::munmap(handle_, static_cast<size_t>(size_));
  handle_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace platform
