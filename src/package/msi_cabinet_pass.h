#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cabinet_maker.h"
#include "platform/status.h"

// The cabinet pass of the package build: the batch file, the directive file ("MSIProject.ddf")
// listing every packaged file under its cabinet key, and the cabinets the cabinet maker makes from
// it. Paths are UTF-8 Windows paths. One build at a time: Prepare starts a build's pass.
//
// Files that come to little (up to splitAboveBytes) go into the one cabinet "MSIProject.cab" made
// from "MSIProject.ddf". More bytes, or more files than one cabinet can list, are split, in the
// order listed (which is File Sequence order), into contiguous runs balanced by bytes: one per
// core, and more when a run would exceed what one cabinet can hold. Run n is "MSIProject<n>.cab", made from its own "MSIProject<n>.ddf"; the
// cabinets are made in parallel, each by its own cabinet maker.
//
// The single cabinet is itself cut into folders (".New Folder"), one per core, when each would
// still hold at least a folder's worth of bytes: each folder is compressed on its own, so the
// maker compresses them at once. A few files keep one folder.
class CMsiCabinetPass {
 public:
  static constexpr const char* kCabinetName = "MSIProject.cab";
  // Below this the single cabinet is made on one core in a few seconds at most.
  static constexpr std::uint64_t kDefaultSplitAboveBytes = 64ull << 20;
  // The least a folder of the single cabinet holds when it is cut into folders.
  static constexpr std::uint64_t kDefaultFolderBytes = 1ull << 20;

  struct Cabinet {
    std::string name;           // the cabinet's file name, also its stream name in the package
    std::string directivePath;  // the directive file it is made from
    std::string cabinetPath;    // where the cabinet maker writes it
    int firstLine = 0;          // its files: lines [firstLine, firstLine + lineCount) of the listing
    int lineCount = 0;
    std::uint64_t bytes = 0;    // the size of its files
  };

  // What MakeCabinets reports while it waits, on the calling thread (both optional).
  struct Watch {
    std::function<bool()> cancelled;                                     // asked a few times a second
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;  // bytes compressed
  };

  // The places of this build: the batch file and the directive files in `workFolder`, the
  // cabinets in `diskDirectory`. Forgets the lines of an earlier build.
  void Prepare(const std::string& workFolder, const std::string& diskDirectory);
  // When to split, how much and how many files one cabinet may hold, and how many cabinets a split
  // makes at least (0: one per core). Kept across builds; tests lower them to split small files.
  void SetLimits(std::uint64_t splitAboveBytes, std::uint64_t maxCabinetBytes, unsigned cabinetsWhenSplit = 0,
                 unsigned maxCabinetFiles = platform::kMaxCabinetFiles);
  // The least a folder of the single cabinet holds, and how many folders it is cut into at most
  // (0: one per core). Kept across builds.
  void SetFolderLimits(std::uint64_t minFolderBytes, unsigned folders = 0);
  // Writes the batch file ("BuildAllCab.bat"); false when it cannot be written.
  bool WriteBatchFile() const;
  // Starts the directive file with its header, written at once, so that a place the file cannot
  // go fails the build before the tables; false then.
  bool StartDirectiveFile();
  // Lists one file (its real path and size) under its cabinet key.
  void AddFile(const std::string& realPath, const std::string& key, std::uint64_t size);
  // Writes the whole directive file; false when it cannot be written.
  bool WriteDirectiveFile() const;
  // Decides the cabinets of the files listed and writes the directive files of a split (and the
  // batch file that runs them). False, with the reason in `error`, when a file is too big for any
  // cabinet or a file cannot be written.
  bool PlanCabinets(std::string& error);
  // Makes every planned cabinet, as many at a time as there are cores, and waits for them. On
  // failure or cancel the makers still running are stopped and no cabinet is left; every failure
  // is one text in `errors`. kSuccess, kCancelled, or the status of the first failure.
  platform::Status MakeCabinets(const Watch& watch, std::vector<std::string>& errors) const;
  // Whether every planned cabinet file is there (made by MakeCabinets).
  bool CabinetsExist() const;
  void RemoveCabinets() const;
  // Forgets the lines listed and the cabinets planned (the files stay where they are).
  void Clear();

  int lines() const { return static_cast<int>(lines_.size()); }
  std::uint64_t listedBytes() const { return listedBytes_; }
  const std::vector<Cabinet>& cabinets() const { return cabinets_; }
  const std::string& directivePath() const { return directivePath_; }
  const std::string& batchPath() const { return batchPath_; }
  // The single cabinet's path ("MSIProject.cab" in the disk directory).
  const std::string& cabinetPath() const { return cabinetPath_; }

 private:
  struct Line {
    std::string text;  // the directive line, ended by CR LF
    std::uint64_t size = 0;
  };
  struct Run {
    int firstLine = 0;
    int lineCount = 0;
    std::uint64_t bytes = 0;
  };
  std::string Header(const std::string& cabinetName) const;
  // Cuts the lines into about `wanted` contiguous runs balanced by bytes, none over `maxBytes` or
  // the cabinet's file limit (more runs when needed), never more runs than lines.
  std::vector<Run> BalancedRuns(std::uint64_t wanted, std::uint64_t maxBytes) const;
  // The directive file of `cabinet`, a ".New Folder" before each run after the first.
  bool WriteCabinetDirectives(const Cabinet& cabinet, const std::vector<Run>& folders = {}) const;

  std::string batchPath_;
  std::string directivePath_;
  std::string cabinetPath_;
  std::string workFolder_;
  std::string diskDirectory_;
  std::vector<Line> lines_;
  std::uint64_t listedBytes_ = 0;
  std::vector<Cabinet> cabinets_;
  std::uint64_t splitAboveBytes_ = kDefaultSplitAboveBytes;
  std::uint64_t maxCabinetBytes_ = platform::kMaxCabinetBytes;
  unsigned cabinetsWhenSplit_ = 0;
  unsigned maxCabinetFiles_ = platform::kMaxCabinetFiles;
  std::uint64_t minFolderBytes_ = kDefaultFolderBytes;
  unsigned folders_ = 0;
};
