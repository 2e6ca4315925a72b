// The cabinet maker under Wine: reads the directive file the package builder wrote and has the
// cabinet written with libgcab, in-process (there is no MAKECAB.EXE to run).
#include "platform/cabinet_maker.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/cabinet_writer.h"
#include "platform/wine/ddf_parser.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

std::wstring FolderOf(const std::wstring& windowsPath) {
  size_t slash = windowsPath.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : windowsPath.substr(0, slash);
}

bool IsAbsolute(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':';
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (folder.back() == L'\\' || folder.back() == L'/') return folder + name;
  return folder + L"\\" + name;
}

// Host paths of the listed files. A capture's folders hold many files each: each folder is
// looked up once (with the machine's rules for letter case), and a file that is there under its
// exact name needs no further look; any other path gets the whole lookup, as before.
class HostPaths {
 public:
  fs::path Of(const std::wstring& windowsPath) {
    const size_t slash = windowsPath.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? std::wstring() : windowsPath.substr(slash + 1);
    if (slash == std::wstring::npos || slash < 2 || name.empty() || name == L"." || name == L"..")
      return Machine::HostPath(windowsPath);
    const std::wstring folder = windowsPath.substr(0, slash);
    auto found = folders_.find(folder);
    if (found == folders_.end()) found = folders_.emplace(folder, Machine::HostPath(folder)).first;
    if (!found->second.empty()) {
      fs::path candidate = found->second / WideToUtf8(name);
      struct stat info {};
      if (::lstat(candidate.c_str(), &info) == 0) return candidate;
    }
    return Machine::HostPath(windowsPath);
  }

 private:
  std::map<std::wstring, fs::path> folders_;
};

Status Fail(const std::string& subject, const std::string& what, Status status, std::string* error) {
  if (error != nullptr) *error = what;
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, FormatText("MakeCabinet failed for %s: %s (error code is: %ld)", subject.c_str(), what.c_str(),
                              status));
  CLogger::ReleaseInstance(logger);
  return status;
}

}  // namespace

Status MakeCabinet(const std::wstring& directiveFilePath, const std::wstring& batchFilePath,
                   const CabinetWatch* watch, std::string* errorText) {
  // The batch file only deletes old cabinets of its folder and runs MAKECAB on the directive file;
  // here the directive file is read directly, and an old cabinet at the target is removed below.
  (void)batchFilePath;
  std::string subject = "\"" + WideToUtf8(directiveFilePath) + "\"";

  fs::path directiveHost = Machine::HostPath(directiveFilePath);
  if (directiveHost.empty()) return Fail(subject, "no drive maps the path", kPathNotFound, errorText);
  std::error_code ec;
  if (!fs::is_regular_file(directiveHost, ec)) {
    return Fail(subject, "the directive file does not exist",
                fs::is_directory(directiveHost.parent_path(), ec) ? kFileNotFound : kPathNotFound, errorText);
  }
  wine::DirectiveFile directives;
  std::string error;
  Status status = kSuccess;
  {
    // The text goes once it is read: the cabinet of a big capture takes a while to write.
    std::ifstream in(directiveHost, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in.good() && !in.eof()) return Fail(subject, "the directive file cannot be read", kReadFault, errorText);
    status = wine::ParseDirectiveFile(text.str(), directives, error);
  }
  if (status != kSuccess) return Fail(subject, error, status, errorText);
  if (!directives.notes.empty()) {
    CLogger* logger = CLogger::GetInstance();
    for (const std::string& note : directives.notes) logger->Write(1, "MakeCabinet: " + note);
    CLogger::ReleaseInstance(logger);
  }

  // Relative paths are relative to the folder the maker runs in: the directive file's folder.
  const std::wstring base = FolderOf(directiveFilePath);
  std::wstring diskDirectory = IsAbsolute(directives.diskDirectory) ? directives.diskDirectory
                                                                     : Join(base, directives.diskDirectory);
  std::wstring cabinetPath = Join(diskDirectory, directives.cabinetName);
  fs::path cabinetHost = Machine::HostPath(cabinetPath);
  if (cabinetHost.empty()) return Fail(subject, "no drive maps " + WideToUtf8(cabinetPath), kPathNotFound, errorText);
  // A cabinet left from an earlier build must not pass for this one.
  fs::remove(cabinetHost, ec);

  if (directives.files.empty()) {
    // An empty cabinet is not a readable cabinet: none is made.
    return Fail(subject, "it lists no file, so no cabinet is made", kNoMoreFiles, errorText);
  }

  std::vector<wine::CabinetMember> members;
  members.reserve(directives.files.size());
  HostPaths hostPaths;
  for (const wine::DirectiveFileEntry& entry : directives.files) {
    std::wstring source = IsAbsolute(entry.source) ? entry.source : Join(base, entry.source);
    fs::path host = hostPaths.Of(source);
    if (host.empty()) {
      return Fail(subject, FormatText("line %zu: no drive maps %s", entry.line, WideToUtf8(source).c_str()),
                  kPathNotFound, errorText);
    }
    members.push_back({host, WideToUtf8(entry.member), entry.compression, entry.newFolder});
  }
  directives.files = {};  // the members hold what the writing needs

  fs::create_directories(cabinetHost.parent_path(), ec);
  if (!fs::is_directory(cabinetHost.parent_path(), ec)) {
    return Fail(subject, "the folder of " + WideToUtf8(cabinetPath) + " cannot be created", kPathNotFound, errorText);
  }
  status = wine::WriteCabinet(members, cabinetHost, wine::kMaxCabinetFolderBytes, error, watch);
  if (status != kSuccess) return Fail(subject, error, status, errorText);
  return kSuccess;
}

}  // namespace platform
