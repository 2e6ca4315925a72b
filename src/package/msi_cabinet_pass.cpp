#include "package/msi_cabinet_pass.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/strings.h"
#include "platform/cabinet_maker.h"
#include "platform/file_system.h"

void CMsiCabinetPass::Prepare(const std::string& workFolder, const std::string& diskDirectory) {
  workFolder_ = workFolder;
  diskDirectory_ = diskDirectory;
  cabinetPath_ = diskDirectory + "\\" + kCabinetName;
  batchPath_ = workFolder + "\\BuildAllCab.bat";
  directivePath_ = workFolder + "\\MSIProject.ddf";
  Clear();
}

void CMsiCabinetPass::SetLimits(std::uint64_t splitAboveBytes, std::uint64_t maxCabinetBytes,
                                unsigned cabinetsWhenSplit, unsigned maxCabinetFiles) {
  splitAboveBytes_ = splitAboveBytes;
  maxCabinetBytes_ = std::clamp<std::uint64_t>(maxCabinetBytes, 1, platform::kMaxCabinetBytes);
  cabinetsWhenSplit_ = cabinetsWhenSplit;
  maxCabinetFiles_ = std::clamp(maxCabinetFiles, 1u, platform::kMaxCabinetFiles);
}

void CMsiCabinetPass::SetFolderLimits(std::uint64_t minFolderBytes, unsigned folders) {
  minFolderBytes_ = std::max<std::uint64_t>(minFolderBytes, 1);
  folders_ = folders;
}

bool CMsiCabinetPass::WriteBatchFile() const {
  std::string text = "@echo off\r\ndel \"*.CAB\"";
  if (cabinets_.size() <= 1) {
    text += "\r\n\"MAKECAB.EXE\" /f \"MSIProject.ddf\"";
  } else {
    for (size_t i = 0; i < cabinets_.size(); ++i)
      text += "\r\n\"MAKECAB.EXE\" /f \"MSIProject" + std::to_string(i + 1) + ".ddf\"";
  }
  return platform::ReplaceAtomically(Utf8ToWide(batchPath_), text) == platform::kSuccess;
}

std::string CMsiCabinetPass::Header(const std::string& cabinetName) const {
  return ".Option EXPLICIT\r\n"
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
         cabinetName +
         "'\r\n"
         ".Set Cabinet=on\r\n"
         ".Set Compress=on\r\n"
         ".Set UniqueFiles=off\r\n";
}

bool CMsiCabinetPass::StartDirectiveFile() {
  Clear();
  return WriteDirectiveFile();
}

void CMsiCabinetPass::AddFile(const std::string& realPath, const std::string& key, std::uint64_t size) {
  std::string path = realPath;
  ReplaceAll(path, "'", "''");
  lines_.push_back({"'" + path + "' '" + key + "'\r\n", size});
  listedBytes_ += size;
}

bool CMsiCabinetPass::WriteDirectiveFile() const {
  std::string text = Header(kCabinetName);
  for (const Line& line : lines_) text += line.text;
  return platform::ReplaceAtomically(Utf8ToWide(directivePath_), text) == platform::kSuccess;
}

bool CMsiCabinetPass::WriteCabinetDirectives(const Cabinet& cabinet, const std::vector<Run>& folders) const {
  std::string text = Header(cabinet.name);
  size_t nextFolder = 1;
  for (int i = cabinet.firstLine; i < cabinet.firstLine + cabinet.lineCount; ++i) {
    if (nextFolder < folders.size() && folders[nextFolder].firstLine == i) {
      text += ".New Folder\r\n";
      ++nextFolder;
    }
    text += lines_[i].text;
  }
  return platform::ReplaceAtomically(Utf8ToWide(cabinet.directivePath), text) == platform::kSuccess;
}

std::vector<CMsiCabinetPass::Run> CMsiCabinetPass::BalancedRuns(std::uint64_t wanted, std::uint64_t maxBytes) const {
  const std::uint64_t count = lines_.size();
  wanted = std::max(wanted, (listedBytes_ + maxBytes - 1) / maxBytes);
  wanted = std::max<std::uint64_t>(wanted, (count + maxCabinetFiles_ - 1) / maxCabinetFiles_);
  wanted = std::clamp<std::uint64_t>(wanted, 1, count);

  // Each run aims at an equal share of what is left for the runs still to make, takes a line that
  // crosses its aim only when that brings it closer, and never exceeds `maxBytes`.
  std::vector<Run> runs;
  std::uint64_t remaining = listedBytes_;
  const int end = lines();
  int next = 0;
  while (next < end) {
    const std::uint64_t runsLeft = std::max<std::uint64_t>(1, wanted - std::min<std::uint64_t>(wanted, runs.size()));
    const std::uint64_t aim = remaining / runsLeft;
    Run run;
    run.firstLine = next;
    while (next < end) {
      const std::uint64_t size = lines_[next].size;
      if (run.lineCount > 0) {
        if (run.bytes + size > maxBytes || run.lineCount >= static_cast<int>(maxCabinetFiles_)) break;
        if (runsLeft > 1 && run.bytes + size / 2 > aim) break;
        // Leave at least one line for each run still to make.
        if (static_cast<std::uint64_t>(end - next) < runsLeft) break;
      }
      run.bytes += size;
      ++run.lineCount;
      ++next;
    }
    remaining -= run.bytes;
    runs.push_back(run);
  }
  return runs;
}

bool CMsiCabinetPass::PlanCabinets(std::string& error) {
  cabinets_.clear();
  if (lines_.empty()) return true;
  for (const Line& line : lines_) {
    // libgcab cannot continue a file into the next cabinet.
    if (line.size > maxCabinetBytes_) {
      error = "the file " + line.text.substr(0, line.text.size() - 2) + " comes to " + std::to_string(line.size) +
              " bytes, more than one cabinet can hold (" + std::to_string(maxCabinetBytes_) + " bytes)";
      return false;
    }
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  if (listedBytes_ <= splitAboveBytes_ && listedBytes_ <= maxCabinetBytes_ && lines_.size() <= maxCabinetFiles_) {
    cabinets_.push_back({kCabinetName, directivePath_, cabinetPath_, 0, lines(), listedBytes_});
    const std::uint64_t folders =
        std::min<std::uint64_t>(folders_ > 0 ? folders_ : cores, listedBytes_ / minFolderBytes_);
    if (folders > 1 && !WriteCabinetDirectives(cabinets_.front(), BalancedRuns(folders, maxCabinetBytes_))) {
      error = "the directive file " + directivePath_ + " cannot be written";
      return false;
    }
    return true;
  }

  // As many cabinets as cores (or as asked), more when they would not fit, never more than files.
  for (const Run& run : BalancedRuns(cabinetsWhenSplit_ > 0 ? cabinetsWhenSplit_ : cores, maxCabinetBytes_)) {
    const std::string number = std::to_string(cabinets_.size() + 1);
    Cabinet cabinet;
    cabinet.name = "MSIProject" + number + ".cab";
    cabinet.directivePath = workFolder_ + "\\MSIProject" + number + ".ddf";
    cabinet.cabinetPath = diskDirectory_ + "\\" + cabinet.name;
    cabinet.firstLine = run.firstLine;
    cabinet.lineCount = run.lineCount;
    cabinet.bytes = run.bytes;
    cabinets_.push_back(std::move(cabinet));
  }
  for (const Cabinet& cabinet : cabinets_) {
    if (!WriteCabinetDirectives(cabinet)) {
      error = "the directive file " + cabinet.directivePath + " cannot be written";
      return false;
    }
  }
  if (!WriteBatchFile()) {
    error = "the batch file " + batchPath_ + " cannot be written";
    return false;
  }
  return true;
}

platform::Status CMsiCabinetPass::MakeCabinets(const Watch& watch, std::vector<std::string>& errors) const {
  if (cabinets_.empty()) return platform::kNoMoreFiles;
  std::atomic<std::uint64_t> bytesDone{0};
  std::atomic<bool> stop{false};
  std::atomic<size_t> nextCabinet{0};
  std::mutex mutex;  // guards errors, firstFailure, running
  std::condition_variable ended;
  platform::Status firstFailure = platform::kSuccess;
  size_t running = 0;
  const std::wstring batch = Utf8ToWide(batchPath_);
  const platform::CabinetWatch makerWatch{&bytesDone, &stop};

  // Each worker makes cabinets until none is left or a failure stops them all.
  const auto work = [&] {
    for (size_t index = nextCabinet++; index < cabinets_.size() && !stop.load(); index = nextCabinet++) {
      const Cabinet& cabinet = cabinets_[index];
      std::string error;
      const platform::Status status =
          platform::MakeCabinet(Utf8ToWide(cabinet.directivePath), batch, &makerWatch, &error);
      if (status != platform::kSuccess && status != platform::kCancelled) {
        std::lock_guard<std::mutex> lock(mutex);
        errors.push_back(FormatText("the cabinet %s was not made (status %ld): %s", cabinet.name.c_str(),
                                    static_cast<long>(status), error.c_str()));
        if (firstFailure == platform::kSuccess) firstFailure = status;
        stop = true;
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    --running;
    ended.notify_all();
  };

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t workerCount = std::min<size_t>(cabinets_.size(), cores);
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex);
    running = workerCount;
  }
  for (size_t i = 0; i < workerCount; ++i) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      // No thread to spare: the workers already started take the rest.
      std::lock_guard<std::mutex> lock(mutex);
      --running;
    }
  }
  if (workers.empty()) work();  // not even one: make them here

  // Watch until every worker has ended: the cancel request and the progress are looked at on this
  // thread, at least once even when the cabinets were quicker than the first look.
  bool cancelled = false;
  {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      const bool done = running == 0;
      lock.unlock();
      if (!cancelled && watch.cancelled && watch.cancelled()) {
        cancelled = true;
        stop = true;
      }
      if (watch.progress) watch.progress(bytesDone.load(), listedBytes_);
      lock.lock();
      if (done) break;
      ended.wait_for(lock, std::chrono::milliseconds(200), [&] { return running == 0; });
    }
  }
  for (std::thread& worker : workers) worker.join();

  if (firstFailure != platform::kSuccess || cancelled) {
    RemoveCabinets();
    return firstFailure != platform::kSuccess ? firstFailure : platform::kCancelled;
  }
  return platform::kSuccess;
}

bool CMsiCabinetPass::CabinetsExist() const {
  if (cabinets_.empty()) return false;
  for (const Cabinet& cabinet : cabinets_) {
    const uint32_t attributes = platform::GetAttributes(Utf8ToWide(cabinet.cabinetPath));
    if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) != 0) return false;
  }
  return true;
}

void CMsiCabinetPass::RemoveCabinets() const {
  for (const Cabinet& cabinet : cabinets_) platform::RemoveFile(Utf8ToWide(cabinet.cabinetPath));
  if (!cabinetPath_.empty()) platform::RemoveFile(Utf8ToWide(cabinetPath_));
}

void CMsiCabinetPass::Clear() {
  lines_.clear();
  listedBytes_ = 0;
  cabinets_.clear();
}
