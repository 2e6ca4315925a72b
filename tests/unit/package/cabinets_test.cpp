// The package's cabinets: one "MSIProject.cab" for a few files, several made in parallel when the
// files come to more (forced here with low limits), a failure or cancel of any cabinet leaves no
// package and no cabinet. Packages are read back with libmsi and unpacked by msiextract (msitools),
// an independent reader that follows the Media rows and cabinet streams as an installer does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <numeric>
#include <random>
#include <thread>
#include <sstream>

#include "core/status_values.h"
#include "package/msi_cabinet_pass.h"
#include "package_fixture.h"
#include "platform/cabinet_maker.h"
#include "platform/package_streams.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

using package_test::Builder;
using package_test::ProjectText;
using package_test::Rows;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes files f1.txt, f2.txt, ... of the given sizes (distinct contents) into Program Files\Vendor
// and returns the project's directory list.
std::string WriteFiles(Builder& build, const std::vector<size_t>& sizes) {
  std::string list = "<Directory Name=\"%PROGRAMFILES%\\Vendor\">";
  for (size_t i = 0; i < sizes.size(); ++i) {
    const std::string name = "f" + std::to_string(i + 1) + ".txt";
    std::string bytes(sizes[i], 'a');
    for (size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<char>('a' + (j * 7 + i) % 26);
    build.prefix().WriteDriveCFile("Program Files/Vendor/" + name, bytes);
    list += "<File Name=\"" + name + "\"/>";
  }
  return list + "</Directory>";
}

// Unpacks the package with msiextract and checks every file against its source.
void ExpectUnpacksIdentically(Builder& build, size_t fileCount) {
  TempFolder out;
  std::string output;
  ASSERT_EQ(RunHostCommand({"/usr/bin/msiextract", "-C", out.path().string(), build.PackageHostPath().string()},
                           {"PATH=/usr/bin:/bin"}, &output),
            0)
      << output;
  for (size_t i = 1; i <= fileCount; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    fs::path found;
    for (const auto& entry : fs::recursive_directory_iterator(out.path()))
      if (entry.path().filename() == name) found = entry.path();
    ASSERT_FALSE(found.empty()) << name << " is not in the package:\n" << output;
    EXPECT_EQ(ReadFile(found), ReadFile(build.prefix().driveC() / "Program Files/Vendor" / name)) << name;
  }
}

TEST(CabinetsTest, FewFilesKeepTheSingleCabinetAndLargerOnesAreSplitInSequenceOrder) {
  const std::vector<size_t> sizes{3000, 1000, 1000, 4000, 500, 500, 2000, 100};
  const size_t total = std::accumulate(sizes.begin(), sizes.end(), size_t{0});
  struct Case {
    const char* what;
    uint64_t splitAbove;
    uint64_t maxCabinet;
    unsigned cabinets;  // asked for when split
    size_t expectedMedia;  // 0: at least as many as the cabinet's limits need
    unsigned folders = 1;  // of the single cabinet
    unsigned maxFiles = platform::kMaxCabinetFiles;
  } cases[] = {
      {"default limits: one cabinet, as always", CMsiCabinetPass::kDefaultSplitAboveBytes, platform::kMaxCabinetBytes,
       0, 1},
      {"one cabinet in three folders", CMsiCabinetPass::kDefaultSplitAboveBytes, platform::kMaxCabinetBytes, 0, 1, 3},
      {"split in three balanced runs", 1000, platform::kMaxCabinetBytes, 3, 3},
      {"the cabinet limit adds runs", 1000, 4500, 1, 0},
      {"as many runs as files at most", 1000, platform::kMaxCabinetBytes, 20, sizes.size()},
      {"few bytes but more files than a cabinet lists", CMsiCabinetPass::kDefaultSplitAboveBytes,
       platform::kMaxCabinetBytes, 1, 0, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Builder build;
    build.handler().SetCabinetLimits(c.splitAbove, c.maxCabinet, c.cabinets, c.maxFiles);
    if (c.folders > 1) build.handler().SetCabinetFolderLimits(1000, c.folders);
    ASSERT_EQ(build.Build(ProjectText(WriteFiles(build, sizes))), 1);

    const Rows media = build.Table("SELECT `DiskId`,`LastSequence`,`Cabinet` FROM `Media` ORDER BY `DiskId`");
    if (c.expectedMedia > 0) {
      ASSERT_EQ(media.size(), c.expectedMedia);
    } else {
      ASSERT_GE(media.size(), std::max((total + c.maxCabinet - 1) / c.maxCabinet,
                                       (sizes.size() + c.maxFiles - 1) / c.maxFiles));
    }
    const Rows streams = build.Table("SELECT `Name` FROM `_Streams`");
    const fs::path work = build.prefix().InDriveC("users/root/Temp/Temp");
    if (media.size() == 1) {
      // Exactly today's shape: one row, one stream, one directive file and no numbered ones.
      EXPECT_EQ(media[0], (std::vector<std::string>{"1", std::to_string(sizes.size()), "#MSIProject.cab"}));
      EXPECT_TRUE(package_test::HasRow(streams, {"MSIProject.cab"}));
      EXPECT_FALSE(package_test::HasRow(streams, {"MSIProject1.cab"}));
      EXPECT_FALSE(fs::exists(work / "MSIProject1.ddf"));
      EXPECT_NE(build.DirectiveText().find(".Set CabinetNameTemplate = 'MSIProject.cab'"), std::string::npos);
      // A folder's worth of files or more per core (lowered here) is cut into folders.
      EXPECT_EQ(Occurrences(build.DirectiveText(), ".New Folder") + 1, c.folders);
    } else {
      // Disks 1..n, each cabinet a stream, the runs contiguous and in Sequence order, none over the limit.
      const Rows files = build.Table("SELECT `Sequence`,`FileSize` FROM `File` ORDER BY `Sequence`");
      ASSERT_EQ(files.size(), sizes.size());
      int previous = 0;
      uint64_t biggest = 0;
      for (size_t i = 0; i < media.size(); ++i) {
        const std::string name = "MSIProject" + std::to_string(i + 1) + ".cab";
        EXPECT_EQ(media[i][0], std::to_string(i + 1));
        EXPECT_EQ(media[i][2], "#" + name);
        EXPECT_TRUE(package_test::HasRow(streams, {name})) << name;
        const int last = std::stoi(media[i][1]);
        EXPECT_GT(last, previous);
        uint64_t bytes = 0;
        for (int sequence = previous + 1; sequence <= last; ++sequence) bytes += std::stoull(files[sequence - 1][1]);
        EXPECT_LE(bytes, c.maxCabinet);
        EXPECT_LE(last - previous, static_cast<int>(c.maxFiles));
        biggest = std::max(biggest, bytes);
        previous = last;
      }
      EXPECT_EQ(previous, static_cast<int>(sizes.size()));
      // Balanced: no run holds more than its share plus one file.
      if (c.cabinets > 1 && c.cabinets < sizes.size()) {
        EXPECT_LE(biggest, total / media.size() + 4000);
      }
      EXPECT_FALSE(package_test::HasRow(streams, {"MSIProject.cab"}));
    }
    ExpectUnpacksIdentically(build, sizes.size());
    // The cabinets went into the package; none is left beside it.
    for (const auto& entry : fs::directory_iterator(build.PackageHostPath().parent_path()))
      EXPECT_NE(entry.path().extension(), ".cab") << entry.path();
  }
}

TEST(CabinetsTest, AFailedOrImpossibleCabinetFailsTheBuildAndLeavesNothing) {
  const std::vector<size_t> sizes{2000, 2000, 2000, 2000, 2000, 2000};
  struct Case {
    const char* what;
    uint64_t maxCabinet;
    const char* blocker;  // a non-empty folder where this cabinet must go
    const char* named;    // what the error names
  } cases[] = {
      {"the second of three parallel cabinets cannot be put in place", platform::kMaxCabinetBytes,
       "MSIProject2.cab", "MSIProject2.cab"},
      {"a file bigger than any cabinet", 1500, nullptr, "f1.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Builder build;
    build.handler().SetCabinetLimits(1000, c.maxCabinet, 3);
    const fs::path out = build.PackageHostPath().parent_path();
    if (c.blocker != nullptr) {
      fs::create_directories(out / c.blocker / "inside");
    }
    EXPECT_EQ(build.Build(ProjectText(WriteFiles(build, sizes))), 0);
    bool named = false;
    for (const std::string& error : build.errors()) named |= error.find(c.named) != std::string::npos;
    EXPECT_TRUE(named) << (build.errors().empty() ? "no error" : build.errors().front());
    EXPECT_FALSE(fs::exists(build.PackageHostPath()));
    EXPECT_FALSE(fs::exists(build.PackageHostPath().string() + ".partial"));
    for (const auto& entry : fs::directory_iterator(out))
      EXPECT_TRUE(entry.path().extension() != ".cab" || fs::is_directory(entry.path())) << entry.path();
  }
}

// The pass itself: progress counts every byte once, and a cancel leaves no cabinet.
TEST(CabinetsTest, MakingCabinetsReportsBytesAndACancelLeavesNoCabinet) {
  Builder build;  // for its machine
  const fs::path work = build.prefix().InDriveC("users/root/Temp/Temp");
  const fs::path disk = build.prefix().Scratch() / "out";
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "completed");
    CMsiCabinetPass pass;
    pass.SetLimits(1, platform::kMaxCabinetBytes, 4);
    pass.Prepare(WideToUtf8(platform::Machine::WindowsPath(work)), WideToUtf8(platform::Machine::WindowsPath(disk)));
    ASSERT_TRUE(pass.StartDirectiveFile());
    uint64_t listed = 0;
    for (int i = 0; i < 8; ++i) {
      const std::string bytes(1000 + 100 * i, static_cast<char>('k' + i));
      const fs::path file = build.prefix().WriteDriveCFile("data/d" + std::to_string(i), bytes);
      pass.AddFile(WideToUtf8(platform::Machine::WindowsPath(file)), "d" + std::to_string(i), bytes.size());
      listed += bytes.size();
    }
    std::string error;
    ASSERT_TRUE(pass.PlanCabinets(error)) << error;
    ASSERT_EQ(pass.cabinets().size(), 4u);

    CMsiCabinetPass::Watch watch;
    uint64_t lastDone = 0;
    uint64_t lastTotal = 0;
    watch.progress = [&](uint64_t done, uint64_t total) {
      EXPECT_GE(done, lastDone);  // never goes back
      lastDone = done;
      lastTotal = total;
    };
    watch.cancelled = [cancel] { return cancel; };
    std::vector<std::string> errors;
    const platform::Status status = pass.MakeCabinets(watch, errors);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(lastTotal, listed);
    if (cancel) {
      EXPECT_EQ(status, platform::kCancelled);
      EXPECT_FALSE(pass.CabinetsExist());
      for (const auto& cabinet : pass.cabinets())
        EXPECT_FALSE(fs::exists(disk / cabinet.name)) << cabinet.name;
    } else {
      EXPECT_EQ(status, platform::kSuccess);
      EXPECT_EQ(lastDone, listed);
      EXPECT_TRUE(pass.CabinetsExist());
      pass.RemoveCabinets();
      EXPECT_FALSE(pass.CabinetsExist());
    }
  }
}

// libgcab writes a cabinet's header, then its data, then goes back and writes the header again;
// the cabinet maker gathers those writes in a buffer of 256 KiB. A cabinet of many files with long
// member names has a header larger than that buffer: it still unpacks whole. (Its files are also
// listed in other letter case than on disk, found as the machine finds them.)
TEST(CabinetsTest, ACabinetWhoseHeaderOutgrowsTheWritersBufferUnpacksWhole) {
  Builder build;  // for its machine
  const fs::path work = build.prefix().InDriveC("users/root/Temp/Temp");
  const fs::path disk = build.prefix().Scratch() / "out";
  CMsiCabinetPass pass;
  pass.Prepare(WideToUtf8(platform::Machine::WindowsPath(work)), WideToUtf8(platform::Machine::WindowsPath(disk)));
  ASSERT_TRUE(pass.StartDirectiveFile());
  constexpr int kFiles = 5000;  // some 57 bytes of header each: over 280 KB
  const fs::path data = build.prefix().InDriveC("many", true);
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i);
    std::ofstream(data / name, std::ios::binary) << "content of file " << i;
    // A few files are listed in other letters (the machine's names ignore case).
    const std::string listed = WideToUtf8(platform::Machine::WindowsPath(data / name));
    pass.AddFile(i % 500 != 7 ? listed : FoldAsciiUpper(listed), "a_member_name_long_enough_to_matter_" + std::to_string(i),
                 20);
  }
  ASSERT_TRUE(pass.WriteDirectiveFile());
  std::string error;
  ASSERT_TRUE(pass.PlanCabinets(error)) << error;
  ASSERT_EQ(pass.cabinets().size(), 1u);
  std::vector<std::string> errors;
  ASSERT_EQ(pass.MakeCabinets({}, errors), platform::kSuccess) << (errors.empty() ? "" : errors.front());
  TempFolder out;
  std::string output;
  ASSERT_EQ(RunHostCommand({"/usr/bin/gcab", "-x", "-C", out.path().string(), (disk / "MSIProject.cab").string()},
                           {"PATH=/usr/bin:/bin"}, &output),
            0)
      << output;
  int whole = 0;
  for (int i = 0; i < kFiles; ++i)
    whole += ReadFile(out.path() / ("a_member_name_long_enough_to_matter_" + std::to_string(i))) ==
             "content of file " + std::to_string(i);
  EXPECT_EQ(whole, kFiles);
  pass.RemoveCabinets();
}

// Storing big cabinets in the package copies gigabytes: a cancel stops the copy between blocks,
// and the package stays exactly as it was, with nothing left beside it.
TEST(CabinetsTest, StoringCabinetsInThePackageStopsOnCancelAndLeavesThePackageAsItWas) {
  Builder build;
  ASSERT_EQ(build.Build(ProjectText(WriteFiles(build, {100, 200}))), 1);
  const fs::path package = build.PackageHostPath();
  const std::string before = ReadFile(package);
  const fs::path cabinet = build.prefix().Scratch() / "Big.cab";
  std::ofstream(cabinet, std::ios::binary) << std::string(5u << 20, 'c');
  const auto listing = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(package.parent_path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> files = listing();
  for (int stopAt : {1, 3}) {
    SCOPED_TRACE("stopped at the question " + std::to_string(stopAt));
    int asked = 0;
    std::string error;
    EXPECT_EQ(platform::AddStreamsToPackage(platform::Machine::WindowsPath(package),
                                            {{"MSIProject9.cab", platform::Machine::WindowsPath(cabinet)}}, &error,
                                            [&] { return ++asked >= stopAt; }),
              platform::kCancelled);
    EXPECT_EQ(asked, stopAt);  // asked no further once stopped
    EXPECT_TRUE(ReadFile(package) == before);
    EXPECT_EQ(listing(), files);
  }
  // Not stopped, the same copy asks once per block and stores the stream.
  int asked = 0;
  ASSERT_EQ(platform::AddStreamsToPackage(platform::Machine::WindowsPath(package),
                                          {{"MSIProject9.cab", platform::Machine::WindowsPath(cabinet)}}, nullptr,
                                          [&] { return ++asked < 0; }),
            platform::kSuccess);
  EXPECT_GE(asked, 5);
  platform::InstallerDatabase database;
  ASSERT_EQ(database.OpenReadOnly(platform::Machine::WindowsPath(package)), platform::kSuccess);
  EXPECT_TRUE(package_test::HasRow(package_test::Select(database, "SELECT `Name` FROM `_Streams`"), {"MSIProject9.cab"}));
}

// A cancel request while the cabinets are made (seen through the detail line the compression
// writes) ends the build without a package or a cabinet; had the cabinets been quicker, the
// request is seen at the next step and the outcome is the same.
TEST(CabinetsTest, ACancelDuringCompressionLeavesNoPackage) {
  Builder build;
  build.handler().SetCabinetLimits(1, platform::kMaxCabinetBytes, 2);
  std::string list = "<Directory Name=\"%PROGRAMFILES%\\Vendor\">";
  std::mt19937 random(3);
  for (int i = 0; i < 6; ++i) {
    std::string bytes(3u << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    build.prefix().WriteDriveCFile("Program Files/Vendor/r" + std::to_string(i) + ".bin", bytes);
    list += "<File Name=\"r" + std::to_string(i) + ".bin\"/>";
  }
  list += "</Directory>";
  CancelRequest.Clear();
  StatusDetail.Clear();
  std::atomic<bool> ended{false};
  int result = -1;
  std::thread builder([&] {
    result = build.Build(ProjectText(list));
    ended = true;
  });
  while (!ended && StatusDetail.Get().find(L"compressed") == std::wstring::npos) std::this_thread::yield();
  CancelRequest.Request();
  builder.join();
  CancelRequest.Clear();
  EXPECT_EQ(result, 0);
  bool named = false;
  for (const std::string& error : build.errors()) named |= error.find("cancelled") != std::string::npos;
  EXPECT_TRUE(named);
  EXPECT_FALSE(fs::exists(build.PackageHostPath()));
  for (const auto& entry : fs::directory_iterator(build.PackageHostPath().parent_path()))
    EXPECT_NE(entry.path().extension(), ".cab") << entry.path();
}

}  // namespace
