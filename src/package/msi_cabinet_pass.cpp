#include "package/msi_cabinet_pass.h"

#include "core/strings.h"
#include "platform/cabinet_maker.h"
#include "platform/file_system.h"

void CMsiCabinetPass::Prepare(const std::string& workFolder, const std::string& diskDirectory) {
  diskDirectory_ = diskDirectory;
  cabinetPath_ = diskDirectory + "\\" + kCabinetName;
  batchPath_ = workFolder + "\\BuildAllCab.bat";
  directivePath_ = workFolder + "\\MSIProject.ddf";
  Clear();
}

bool CMsiCabinetPass::WriteBatchFile() const {
  return platform::ReplaceAtomically(Utf8ToWide(batchPath_),
                                     "@echo off\r\ndel \"*.CAB\"\r\n\"MAKECAB.EXE\" /f \"MSIProject.ddf\"") ==
         platform::kSuccess;
}

bool CMsiCabinetPass::StartDirectiveFile() {
  directiveText_ = ".Option EXPLICIT\r\n"
                   ".Set Cabinet = off\r\n"
                   ".Set Compress = off\r\n"
                   ".Set MaxDiskSize = CDROM\r\n"
                   ".Set ReservePerCabinetSize = 6144\r\n"
                   ".Set DiskDirectoryTemplate = '" +
                   diskDirectory_ +
                   "\\'\r\n"
                   ".Set CompressionType = MSZIP\r\n"
                   ".Set CompressionLevel = 7\r\n"
                   ".Set CompressionMemory = 21\r\n"
                   ".Set CabinetNameTemplate = '" +
                   kCabinetName +
                   "'\r\n"
                   ".Set Cabinet=on\r\n"
                   ".Set Compress=on\r\n"
                   ".Set UniqueFiles=off\r\n";
  lines_ = 0;
  return WriteDirectiveFile();
}

void CMsiCabinetPass::AddFile(const std::string& realPath, const std::string& key) {
  std::string path = realPath;
  ReplaceAll(path, "'", "''");
  directiveText_ += "'" + path + "' '" + key + "'\r\n";
  ++lines_;
}

bool CMsiCabinetPass::WriteDirectiveFile() const {
  return platform::ReplaceAtomically(Utf8ToWide(directivePath_), directiveText_) == platform::kSuccess;
}

platform::Status CMsiCabinetPass::MakeCabinet(const char* batchPath) const {
  return platform::MakeCabinet(Utf8ToWide(directivePath_), Utf8ToWide(batchPath));
}

bool CMsiCabinetPass::CabinetExists() const {
  const uint32_t attributes = platform::GetAttributes(Utf8ToWide(cabinetPath_));
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) == 0;
}

void CMsiCabinetPass::RemoveCabinet() const {
  if (!cabinetPath_.empty()) platform::RemoveFile(Utf8ToWide(cabinetPath_));
}

void CMsiCabinetPass::Clear() {
  directiveText_.clear();
  lines_ = 0;
}
