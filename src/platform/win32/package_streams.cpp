#include "platform/package_streams.h"

#include "platform/installer_database.h"

// Windows' own installer database reads a stream from its file through the storage, without
// holding it whole, so the streams go in through it.
namespace platform {

Status AddStreamsToPackage(const std::wstring& packagePath, const std::vector<PackageStream>& streams,
                           std::string* error, const std::function<bool()>& cancelled) {
  InstallerDatabase database;
  Status status = database.Open(packagePath);
  for (size_t i = 0; status == kSuccess && i < streams.size(); ++i) {
    // Closing without a commit leaves the package as it was.
    if (cancelled && cancelled()) {
      database.Close();
      if (error != nullptr) *error = "cancelled";
      return kCancelled;
    }
    status = database.InsertStream(streams[i].name, streams[i].filePath);
  }
  if (status == kSuccess) status = database.Commit();
  if (status != kSuccess && error != nullptr) *error = database.lastError();
  database.Close();
  return status;
}

}  // namespace platform
