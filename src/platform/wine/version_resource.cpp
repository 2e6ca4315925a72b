#include "platform/version_resource.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "core/strings.h"
#include "platform/machine.h"
#include "platform/pe_reader.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// Executables larger than this are not read whole (no setup program we handle comes near it).
constexpr uintmax_t kMaxExecutableSize = uintmax_t{1} << 31;

Status ReadWholeFile(const std::wstring& path, std::string& bytes) {
  const fs::path host = Machine::HostPath(path);
  if (host.empty()) return kPathNotFound;
  std::error_code ec;
  const fs::file_status st = fs::status(host, ec);
  if (ec || !fs::exists(st)) return fs::is_directory(host.parent_path(), ec) ? kFileNotFound : kPathNotFound;
  if (!fs::is_regular_file(st)) return kAccessDenied;
  const uintmax_t size = fs::file_size(host, ec);
  if (ec) return kAccessDenied;
  if (size > kMaxExecutableSize) return kBadFormat;
  std::ifstream in(host, std::ios::binary);
  if (!in) return kAccessDenied;
  bytes.resize(static_cast<size_t>(size));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return kSuccess;
}

}  // namespace

Status ReadFileVersionResource(const std::wstring& path, FileVersionResource& out) {
  out = FileVersionResource{};
  std::string bytes;
  if (Status s = ReadWholeFile(path, bytes); s != kSuccess) return s;
  pe::Image image;
  if (!image.Parse(bytes)) return kBadFormat;
  const std::vector<pe::Resource> versions = image.ResourcesOfType(pe::kResourceVersion);
  if (versions.empty()) return kBadFormat;
  pe::VersionData data;
  if (!pe::ReadVersionData(versions.front().data, data)) return kBadFormat;
  out.fixedBlock = std::move(data.fixed);
  out.translations = std::move(data.translations);
  for (auto& t : data.stringTables) out.stringTables.push_back({std::move(t.key), std::move(t.strings)});
  return kSuccess;
}

Status ExtractIconAsIco(const std::wstring& path, int index, std::string& icoBytes) {
  std::string bytes;
  if (Status s = ReadWholeFile(path, bytes); s != kSuccess) return s;
  pe::Image image;
  if (!image.Parse(bytes)) return kBadFormat;
  std::string ico;
  if (!pe::ExtractIconFile(image, index, ico)) return kBadFormat;
  icoBytes = std::move(ico);
  return kSuccess;
}

uint16_t UserDefaultLanguage() { return 1033; }

}  // namespace platform
