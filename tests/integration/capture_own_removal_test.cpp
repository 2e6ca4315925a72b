// A setup that, besides its program, puts a file on the desktop, writes a new INI file with
// comments, an empty section and keys out of order, and registers its own uninstaller, captured
// with the command line on a fresh machine: the desktop file is in the package, the INI file is
// packaged byte for byte (not rebuilt entry by entry), and the setup's uninstall entry and
// uninstaller are set aside with their reason instead of going into the package.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/work_paths.h"
#include "platform/environment.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const char* const kUninstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CorvaneRemoval";
const char* const kInstallDir = "C:\\Program Files\\Corvane Removal";

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// Every file below a host folder, by its path relative to it.
std::set<std::string> FilesBelow(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(folder).string());
  }
  return files;
}

TEST(CaptureOwnRemovalTest, DesktopFileNewIniFileAndTheSetupsOwnUninstaller) {
  TempFolder work;
  const fs::path setup = work.path() / "CorvaneRemovalSetup.exe";
  ASSERT_TRUE(BuildFixtureSetup("own-removal-setup.nsi", setup));

  WinePrefixCopy machine;
  ASSERT_TRUE(machine.ok()) << machine.error();
  const fs::path program = CopyProgram(work);
  // Tracing on, so that the set-aside items can be read from the debug log.
  std::string config = ReadHostFile(program / "CorvaneRepackager.ini");
  const size_t level = config.find("LogLevel=2");
  ASSERT_NE(level, std::string::npos);
  config.replace(level, 10, "LogLevel=3");
  WriteHostFile(program / "CorvaneRepackager.ini", config);

  const fs::path out = work.path() / "out";
  std::string output;
  ASSERT_EQ(RunProgram(program, machine,
                       {"-Capture=" + setup.string(), "-Path=" + out.string(), "-Product=Corvane Removal",
                        "-Version=1.0", "-Company=Corvane Labs"},
                       &output),
            0)
      << output << ReadHostFile(program / "ErrorLog.txt");

  // The setup really did all of it.
  const fs::path installed = machine.driveC() / "Program Files" / "Corvane Removal";
  const std::string iniBytes = ReadHostFile(installed / "settings.ini");
  ASSERT_NE(iniBytes.find("[Empty]"), std::string::npos);
  ASSERT_TRUE(fs::is_regular_file(installed / "uninstall.exe"));
  const std::string user = std::getenv("USER") ? std::getenv("USER") : "root";
  const fs::path desktop = machine.driveC() / "users" / user / "Desktop";
  ASSERT_FALSE(fs::is_symlink(desktop));
  ASSERT_TRUE(fs::is_regular_file(desktop / "Corvane Removal.txt"));

  // The project lists the desktop file and the INI file as files, and no INI entries of it.
  std::string error;
  const std::set<std::string> items = ProjectItems(out / "Packages" / "Corvane Removal_1.0.xml", error);
  ASSERT_TRUE(error.empty()) << error;
  EXPECT_EQ(items.count("added|file|%USERPROFILE%\\Desktop|Corvane Removal.txt"), 1u);
  EXPECT_EQ(items.count("added|file|%PROGRAMFILES%\\Corvane Removal|settings.ini"), 1u);
  EXPECT_EQ(items.count("added|file|%PROGRAMFILES%\\Corvane Removal|app.txt"), 1u);
  EXPECT_EQ(items.count("added|value|HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane Removal|\"Path\"|REG_SZ"), 1u);
  for (const std::string& item : items) {
    EXPECT_EQ(item.find("|ini|"), std::string::npos) << item;
    EXPECT_EQ(item.find("uninstall.exe"), std::string::npos) << item;
    EXPECT_EQ(item.find("Uninstall\\CorvaneRemoval"), std::string::npos) << item;
  }

  // The capture set the uninstall entry and its uninstaller aside, saying why.
  const std::string log = ReadHostFile(program / "DebugLog.txt");
  for (const std::string& item : {std::string(kUninstallKey), std::string(kInstallDir) + "\\uninstall.exe"}) {
    EXPECT_NE(log.find("Set aside " + item + ": The original setup's"), std::string::npos) << item;
  }

  // The package: the desktop file and the INI file are in it, the INI file byte for byte; the
  // uninstaller, its entry and INI rows are not.
  const fs::path package = out / "Corvane Removal.msi";
  ASSERT_TRUE(fs::is_regular_file(package)) << output;
  EnvironmentValues = platform::ReadEnvironmentValues();
  PackagePlaces places;
  ASSERT_TRUE(ReadPackagePlaces(package, places, error)) << error;
  EXPECT_TRUE(Contains(places.files, "C:\\users\\" + user + "\\Desktop\\Corvane Removal.txt"));
  EXPECT_TRUE(Contains(places.files, std::string(kInstallDir) + "\\settings.ini"));
  EXPECT_FALSE(Contains(places.files, std::string(kInstallDir) + "\\uninstall.exe"));
  EXPECT_TRUE(places.iniEntries.empty());
  for (const PackagePlaces::Value& value : places.values) {
    EXPECT_EQ(value.place().find("Uninstall"), std::string::npos) << value.place();
  }
  const fs::path extracted = work.path() / "extracted";
  fs::create_directories(extracted);
  output.clear();
  ASSERT_EQ(RunHostCommand({"msiextract", "-C", extracted.string(), package.string()}, {"PATH=/usr/bin:/bin"}, &output), 0)
      << output;
  bool iniFound = false;
  for (const std::string& file : FilesBelow(extracted)) {
    if (fs::path(file).filename() != "settings.ini") continue;
    iniFound = true;
    EXPECT_EQ(ReadHostFile(extracted / file), iniBytes) << file;
  }
  EXPECT_TRUE(iniFound) << "settings.ini is not among the package's files";
}

}  // namespace
