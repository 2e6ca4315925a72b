#include "platform/file_system.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/directory_listing.h"

// The native file API. Link folders (reparse points) are reported as Windows reports them.
namespace platform {
namespace {

uint64_t FromFileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

Status LastStatus() { return static_cast<Status>(GetLastError()); }

}  // namespace

// The system matches the name pattern and lists in its own order.
Status ListDirectory(const std::wstring& pattern, std::vector<FindData>& entries) {
  WIN32_FIND_DATAW data{};
  HANDLE handle = FindFirstFileW(pattern.c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) return LastStatus();
  do {
    FindData entry;
    entry.name = data.cFileName;
    entry.attributes = data.dwFileAttributes;
    entry.creationTime = FromFileTime(data.ftCreationTime);
    entry.lastWriteTime = FromFileTime(data.ftLastWriteTime);
    entry.size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? 0
                     : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entries.push_back(std::move(entry));
  } while (FindNextFileW(handle, &data));
  FindClose(handle);
  return kSuccess;
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

uint32_t GetAttributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

Status SetAttributes(const std::wstring& path, uint32_t attributes) {
  return SetFileAttributesW(path.c_str(), attributes) ? kSuccess : LastStatus();
}

Status MakeFolder(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) ? kSuccess : LastStatus();
}

Status RemoveFolder(const std::wstring& path) {
  return RemoveDirectoryW(path.c_str()) ? kSuccess : LastStatus();
}

Status CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists) {
  return CopyFileW(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) ? kSuccess : LastStatus();
}

Status RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) ? kSuccess : LastStatus(); }

Status RenameFile(const std::wstring& from, const std::wstring& to) {
  const DWORD target = GetFileAttributesW(to.c_str());
  if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY)) return kAccessDenied;
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? kSuccess : LastStatus();
}

Status ReplaceAtomically(const std::wstring& path, std::string_view bytes) {
  const DWORD existing = GetFileAttributesW(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return kAccessDenied;
  }
  // Written beside the file, flushed, then moved over it in one step.
  const std::wstring temporary = path + L".new-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetCurrentThreadId());
  HANDLE file =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastStatus();
  Status status = kSuccess;
  size_t done = 0;
  while (status == kSuccess && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      status = LastStatus();
      if (status == kSuccess) status = kWriteFault;
    }
    done += written;
  }
  if (status == kSuccess && !FlushFileBuffers(file)) status = LastStatus();
  CloseHandle(file);
  if (status == kSuccess &&
      !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    status = LastStatus();
  }
  if (status != kSuccess) DeleteFileW(temporary.c_str());
  return status;
}

Status GetFileSize(const std::wstring& path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return LastStatus();
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kAccessDenied;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return kSuccess;
}

namespace {
const unsigned char kEmptyData[1] = {0};
}

MappedFile::~MappedFile() { Close(); }

Status MappedFile::Open(const std::wstring& path) {
  Close();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastStatus();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    Status status = LastStatus();
    CloseHandle(file);
    return status;
  }
  if (size.QuadPart == 0) {
    CloseHandle(file);
    data_ = kEmptyData;
    size_ = 0;
    return kSuccess;
  }
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  Status status = mapping ? kSuccess : LastStatus();
  CloseHandle(file);
  if (!mapping) return status;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  status = view ? kSuccess : LastStatus();
  CloseHandle(mapping);
  if (!view) return status;
  handle_ = view;
  data_ = static_cast<const unsigned char*>(view);
  size_ = static_cast<uint64_t>(size.QuadPart);
  return kSuccess;
}

void MappedFile::Close() {
  if (handle_ != nullptr) UnmapViewOfFile(handle_);
  handle_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

std::FILE* OpenFileStream(const std::wstring& path, const char* mode, Status* status) {
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  std::FILE* file = _wfopen(path.c_str(), wideMode.c_str());
  if (status != nullptr) *status = file != nullptr ? kSuccess : static_cast<Status>(GetLastError());
  return file;
}

}  // namespace platform
