#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

// The file API of the machine: directory search with attributes, times and sizes, folders, copy
// and delete, attributes, and read-only mapping. Paths are Windows paths (see machine.h).
namespace platform {

// Attribute bits, with their Win32 values.
inline constexpr uint32_t kAttrReadOnly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
// A folder that is a link. Walkers must list it but not descend into it: links can lead off the
// drive or form cycles. (A profile folder of the machine that is a link does not carry it; see
// DirectorySearch.)
inline constexpr uint32_t kAttrReparsePoint = 0x400;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// One entry of a directory search. Times are FILETIME values: 100-ns intervals since 1601-01-01 UTC.
struct FindData {
  std::wstring name;  // the name only, with the case it has on disk
  uint32_t attributes = 0;
  uint64_t creationTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;  // 0 for folders
};

// Directory search, as FindFirstFile/FindNextFile. The pattern is a folder path followed by "\"
// and a name pattern ("*", "*.*", "*.ini", or an exact name; '*' and '?' as on Windows, matched
// without regard to letter case). "." and ".." are reported for a folder, as on Windows.
// A search whose folder lies inside a link folder (kAttrReparsePoint) finds nothing and reports
// kPathNotFound, so no folder is walked twice and no walk leaves the drive.
// Wine backend, precisely: a folder that is a symbolic link is listed with kAttrDirectory |
// kAttrReparsePoint (walkers never descend into it), except a profile folder of the machine (a
// path of the user's Shell Folders key, such as the Desktop, in a user's own prefix where Wine
// linked it into the Linux home): that one is the machine's folder, listed as a plain folder and
// searched through its link; when several profile folders link to one place, only the first
// (Desktop, Documents, Downloads, Music, Pictures, Videos, Templates, then the rest) is.
// Inside such a profile folder, a folder that is another walked profile folder's target or that
// holds the drive itself (a prefix kept in the home) is listed with kAttrReparsePoint.
// A search given a folder path directly is refused with kPathNotFound when the way from the drive
// root to that folder passes through a link whose target lies outside the drive's own folder
// (other than a walked profile folder), outside the profile folder it passed through, is that
// folder itself or one of the folders already on the way (a cycle), or meets a folder that the
// listing marks as not to be entered. Links that stay inside the drive and lead elsewhere may be
// searched by their path (on Z:, /lib -> usr/lib).
// Links to files are listed as files with the target's size and times; a dangling link is a
// file of size 0 with kAttrReparsePoint. Entries come sorted by name (upper-cased, as NTFS
// lists them), "." and ".." first; a drive root has no "." and "..".
// Attributes are those Wine shows: kAttrDirectory or kAttrArchive; kAttrReadOnly when no
// write permission bit is set; kAttrHidden for names starting with "." (Wine's default) or
// when stored as Wine stores it (extended attribute user.DOSATTRIB, as kAttrSystem).
// creationTime is the birth time where the file system keeps one, else the last-write time.
class DirectorySearch {
 public:
  explicit DirectorySearch(const std::wstring& pattern);
  ~DirectorySearch();
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // kSuccess when the search found at least one entry; kFileNotFound when the folder exists but
  // nothing matches; kPathNotFound when the folder does not exist; kAccessDenied when unreadable.
  Status status() const;
  // Fills the next entry and returns true; false when there are no more (data untouched).
  bool Next(FindData& data);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// True when an entry (file or folder) exists at the path.
bool PathExists(const std::wstring& path);
// Attributes of a file or folder, or kInvalidAttributes when it does not exist.
uint32_t GetAttributes(const std::wstring& path);
// Sets the attributes that the platform can keep (read-only at least). kSuccess or a status.
Status SetAttributes(const std::wstring& path, uint32_t attributes);

// Creates one folder level (the parent must exist). kAlreadyExists if it is there already,
// kPathNotFound if the parent is missing.
Status MakeFolder(const std::wstring& path);
// Removes an empty folder.
Status RemoveFolder(const std::wstring& path);
// Copies a file; with failIfExists an existing target gives kFileExists and is left alone.
// The target receives the source's last-write time, as Windows does.
Status CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists);
// Deletes a file (not a folder). A read-only file gives kAccessDenied, as on Windows.
Status RemoveFile(const std::wstring& path);
// Renames a file within its drive, replacing a file of the target's name (as MoveFileEx with
// MOVEFILE_REPLACE_EXISTING). A folder at the target gives kAccessDenied.
Status RenameFile(const std::wstring& from, const std::wstring& to);
// Replaces the whole content of a file, or makes it: the bytes are written to a new file beside
// it, flushed to disk and renamed over it, so that a failure (or a reader at any moment) finds the
// old file whole or the new one whole, never a part. A link is followed and its target replaced;
// the file's permission bits are kept. A read-only file is not written (kAccessDenied), as on
// Windows. This is the one write-then-rename of the program.
Status ReplaceAtomically(const std::wstring& path, std::string_view bytes);
// The size of a file in bytes; kSuccess, or a status (a folder gives kAccessDenied).
Status GetFileSize(const std::wstring& path, uint64_t& size);

// Opens a file as a C stream with an fopen mode ("rb", "wb", ...). nullptr on failure, and then
// the status in *status when given: kPathNotFound (unmapped drive or missing folder),
// kAccessDenied, kDiskFull, or another status.
std::FILE* OpenFileStream(const std::wstring& path, const char* mode, Status* status = nullptr);

// Read-only view of a whole file. The data stays valid while the object lives.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the file; kSuccess or a status. An empty file maps successfully with size 0.
  Status Open(const std::wstring& path);
  void Close();
  const unsigned char* data() const { return data_; }
  uint64_t size() const { return size_; }

 private:
  const unsigned char* data_ = nullptr;
  uint64_t size_ = 0;
  void* handle_ = nullptr;  // backend-owned
};

}  // namespace platform
