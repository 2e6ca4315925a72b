#pragma once
#include <string>

#include "platform/status.h"

// The cabinet pass of the package build: the batch file, the directive file ("MSIProject.ddf")
// listing every packaged file under its cabinet key, and the cabinet the cabinet maker makes from
// it. Paths are UTF-8 Windows paths. One build at a time: Prepare starts a build's pass.
class CMsiCabinetPass {
 public:
  static constexpr const char* kCabinetName = "MSIProject.cab";

  // The places of this build: the batch file and the directive file in `workFolder`, the cabinet
  // in `diskDirectory`. Forgets the lines of an earlier build.
  void Prepare(const std::string& workFolder, const std::string& diskDirectory);
  // Writes the batch file ("BuildAllCab.bat"); false when it cannot be written.
  bool WriteBatchFile() const;
  // Starts the directive file with its header, written at once, so that a place the file cannot
  // go fails the build before the tables; false then.
  bool StartDirectiveFile();
  // Lists one file (its real path) under its cabinet key.
  void AddFile(const std::string& realPath, const std::string& key);
  // Writes the whole directive file; false when it cannot be written.
  bool WriteDirectiveFile() const;
  // Runs the cabinet maker on the directive file; kSuccess or its status.
  platform::Status MakeCabinet(const char* batchPath) const;
  // Whether the cabinet file is there (made by MakeCabinet).
  bool CabinetExists() const;
  void RemoveCabinet() const;
  // Forgets the lines listed (the files stay where they are).
  void Clear();

  int lines() const { return lines_; }
  const std::string& directivePath() const { return directivePath_; }
  const std::string& batchPath() const { return batchPath_; }
  const std::string& cabinetPath() const { return cabinetPath_; }

 private:
  std::string batchPath_;
  std::string directivePath_;
  std::string cabinetPath_;
  std::string diskDirectory_;
  std::string directiveText_;  // the directive file as listed so far
  int lines_ = 0;
};
