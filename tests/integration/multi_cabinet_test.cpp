// A package whose files are split into several cabinets, or whose one cabinet is cut into folders
// compressed apart (both forced here with low limits instead of many megabytes of files), installs
// with Wine's own Windows Installer: every file arrives byte for byte, whichever cabinet or folder
// it was in.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <string>

#include "core/strings.h"
#include "core/work_context.h"
#include "package/msi_handler.h"
#include "platform/cabinet_maker.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "session/work_context_setup.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFolder = fs::path("Program Files (x86)") / "Multi Cabinet";

struct Split {
  const char* name;
  unsigned cabinets;  // Media rows and cabinet streams
  unsigned folders;   // of the one cabinet
};

void PrintTo(const Split& split, std::ostream* out) { *out << split.name; }

class MultiCabinetTest : public ::testing::TestWithParam<Split> {};

TEST_P(MultiCabinetTest, ThePackageInstallsEveryFileUnderWine) {
  const Split split = GetParam();
  WinePrefixCopy machine;
  ASSERT_TRUE(machine.ok()) << machine.error();

  // Files of mixed sizes and kinds (text, random bytes, empty), in two folders.
  std::map<fs::path, std::string> staged;
  std::mt19937 random(7);
  for (int i = 0; i < 12; ++i) {
    std::string bytes;
    const size_t size = i == 5 ? 0 : static_cast<size_t>(20000 + (random() % 150000));
    bytes.reserve(size);
    for (size_t j = 0; j < size; ++j)
      bytes.push_back(i % 3 == 0 ? static_cast<char>(random()) : static_cast<char>('a' + (j * 13 + i) % 26));
    const fs::path relative = fs::path(i % 2 == 0 ? "bin" : "data") / ("part" + std::to_string(i) + ".dat");
    const fs::path host = machine.driveC() / kFolder / relative;
    fs::create_directories(host.parent_path());
    FILE* file = std::fopen(host.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    staged[relative] = std::move(bytes);
  }
  std::string list;
  for (const char* folder : {"bin", "data"}) {
    list += "<Directory Name=\"%PROGRAMFILES% (x86)\\Multi Cabinet\\" + std::string(folder) + "\">";
    for (const auto& [relative, bytes] : staged)
      if (relative.parent_path() == folder) list += "<File Name=\"" + relative.filename().string() + "\"/>";
    list += "</Directory>";
  }
  TempFolder work;
  const fs::path project = work.WriteFile(
      "project.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project><FileSystem><AddedItems><DirectoryList>" + list +
          "</DirectoryList></AddedItems><ModifiedItems><DirectoryList/></ModifiedItems><DeletedItems><DirectoryList/>"
          "</DeletedItems></FileSystem><RegistrySystem><AddedItems><SubKeyList/></AddedItems><ModifiedItems>"
          "<SubKeyList/></ModifiedItems><DeletedItems><SubKeyList/></DeletedItems></RegistrySystem><INIFileSystem/>"
          "<ShortcutList/><ShortcutICONs/><ProductInformation><ProductInformation ApplicationName=\"Multi\" "
          "Version=\"1.0\" CompanyName=\"Corvane Tests\"/></ProductInformation></Project>\n");
  fs::create_directories(work.path() / "out");

  CWorkContext context;
  SetupWorkContext(context, platform::Machine::WindowsPath(work.path() / "out"), L"multi.msi");
  context.ProgramFolder = WideToUtf8(platform::Machine::WindowsPath(CORVANE_PROGRAM_DIR));
  // The builder's scratch folder (the program makes it at start-up).
  const fs::path scratch = platform::Machine::HostPath(Utf8ToWide(context.WorkFolder + "\\Temp"));
  ASSERT_FALSE(scratch.empty());
  fs::create_directories(scratch);
  {
    CMSIHandler handler(context);
    handler.SetPackageBitness(CMSIHandler::PackageBitness::Bits32);
    if (split.cabinets > 1) handler.SetCabinetLimits(1, platform::kMaxCabinetBytes, split.cabinets);
    if (split.folders > 1) handler.SetCabinetFolderLimits(1000, split.folders);
    const PackageBuildResult result =
        handler.Build(nullptr, WideToUtf8(platform::Machine::WindowsPath(project)).c_str());
    ASSERT_TRUE(result.built) << (result.errors.empty() ? "" : result.errors.front());
  }

  EXPECT_EQ(Occurrences(ReadHostFile(scratch / "MSIProject.ddf"), ".New Folder") + 1, split.folders);

  // Each cabinet a stream with its Media row.
  {
    platform::InstallerDatabase package;
    ASSERT_EQ(package.OpenReadOnly(platform::Machine::WindowsPath(work.path() / "out" / "multi.msi")),
              platform::kSuccess);
    for (const char* statement : {"SELECT `DiskId` FROM `Media`", "SELECT `Name` FROM `_Streams`"}) {
      platform::InstallerView view;
      ASSERT_EQ(view.Open(package, statement), platform::kSuccess);
      ASSERT_EQ(view.Execute(nullptr), platform::kSuccess);
      int rows = 0;
      std::unique_ptr<platform::InstallerRecord> row;
      while (view.Fetch(row) == platform::kSuccess && row) {
        const std::string value = row->GetString(1);
        if (value.size() == 1 || value.rfind("MSIProject", 0) == 0) ++rows;
      }
      EXPECT_EQ(rows, static_cast<int>(split.cabinets)) << statement;
    }
  }

  // The setup's files go; the package brings them back.
  fs::remove_all(machine.driveC() / kFolder);
  fs::copy_file(work.path() / "out" / "multi.msi", machine.driveC() / "multi.msi");
  ASSERT_EQ(machine.Run({"msiexec", "/i", "C:\\multi.msi", "/qn", "/l*v", "C:\\install.log"}), 0)
      << ReadHostFile(machine.driveC() / "install.log").substr(0, 4000);
  for (const auto& [relative, bytes] : staged) {
    const fs::path installed = machine.driveC() / kFolder / relative;
    ASSERT_TRUE(fs::exists(installed)) << relative;
    EXPECT_TRUE(ReadHostFile(installed) == bytes) << relative;
  }
}

INSTANTIATE_TEST_SUITE_P(Splits, MultiCabinetTest,
                         ::testing::Values(Split{"FourCabinets", 4, 1}, Split{"OneCabinetInThreeFolders", 1, 3}),
                         [](const ::testing::TestParamInfo<Split>& info) { return std::string(info.param.name); });

}  // namespace
