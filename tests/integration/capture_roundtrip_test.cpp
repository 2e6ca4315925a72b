// From installer to package with one command, on real installers under Wine: the sample setup
// (NSIS) and the sample package (.msi, which goes through the Windows Installer) are captured with
// -Capture on one fresh machine; the project file must list exactly what each wrote (noise and
// misses are counted against the sample's expected-items.txt); the package is then installed with
// msiexec /i /qn on a second fresh machine, which must hold the same file contents, registry
// values, INI entries and shortcuts at the places the package's tables map them to - for these
// 64-bit samples the very places the setup wrote on the first machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/environment.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = CORVANE_SOURCE_DIR;

std::string Join(const std::set<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "  " + item + "\n";
  return text;
}

// What the machine holds at the places of a package, read through the machine seam (so the same
// reader serves both machines).
struct MachineFacts {
  std::map<std::string, std::string> files;     // path -> bytes
  std::map<std::string, bool> folders;          // path -> exists
  std::map<std::string, std::string> values;    // place -> type and data, "" when missing
  std::map<std::string, std::string> iniEntries;  // place -> value, "<none>" when missing
  std::map<std::string, std::string> shortcuts;   // link name -> target found in it, "" when missing

  bool operator==(const MachineFacts& other) const {
    return files == other.files && folders == other.folders && values == other.values &&
           iniEntries == other.iniEntries && shortcuts == other.shortcuts;
  }
};

std::string ValueText(uint32_t type, const std::vector<uint8_t>& data) {
  std::string text = std::to_string(type) + ":";
  if (type == platform::kRegSz || type == platform::kRegExpandSz) {
    std::wstring wide = Utf16LeToWide(data.data(), data.size());
    while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    return text + WideToUtf8(wide);
  }
  for (uint8_t byte : data) text += FormatText("%02x", byte);
  return text;
}

platform::RootKey RootOf(const std::string& name) {
  if (name == "HKEY_LOCAL_MACHINE") return platform::RootKey::LocalMachine;
  if (name == "HKEY_CURRENT_USER") return platform::RootKey::CurrentUser;
  if (name == "HKEY_USERS") return platform::RootKey::Users;
  return platform::RootKey::ClassesRoot;
}

// The target a link names, found as text inside it (links written by a setup and by the Windows
// Installer differ in their other bytes).
std::string LinkTarget(const std::string& bytes, const std::string& target) {
  if (bytes.find(target) != std::string::npos) return target;
  if (bytes.find(WideToUtf16Le(Utf8ToWide(target))) != std::string::npos) return target;
  return "<other target>";
}

// `setupSide`: the links are read where a setup on Windows puts them (for a per-machine package
// the all-users folders); otherwise where this machine's Windows Installer does.
MachineFacts ReadFacts(const PackagePlaces& places, bool setupSide) {
  platform::Machine::Reset();
  MachineFacts facts;
  for (const std::string& file : places.files) {
    const fs::path host = platform::Machine::HostPath(Utf8ToWide(file));
    facts.files[file] = fs::is_regular_file(host) ? ReadHostFile(host) : std::string("<missing>");
  }
  for (const std::string& folder : places.createdFolders) {
    facts.folders[folder] = fs::is_directory(platform::Machine::HostPath(Utf8ToWide(folder)));
  }
  for (const PackagePlaces::Value& value : places.values) {
    platform::RegistryKey key;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    std::string text;
    if (key.Open(RootOf(value.root), Utf8ToWide(value.key)) == platform::kSuccess &&
        key.QueryValue(Utf8ToWide(value.name), type, data) == platform::kSuccess) {
      text = ValueText(type, data);
    }
    facts.values[value.place()] = text;
  }
  for (const PackagePlaces::IniEntry& entry : places.iniEntries) {
    facts.iniEntries[entry.place()] = WideToUtf8(platform::GetProfileText(
        Utf8ToWide(entry.section), Utf8ToWide(entry.key), L"<none>", Utf8ToWide(entry.file)));
  }
  for (const PackagePlaces::Shortcut& link : places.shortcuts) {
    const std::string& path = setupSide ? link.windowsPath : link.path;
    const fs::path host = platform::Machine::HostPath(Utf8ToWide(path));
    facts.shortcuts[path.substr(path.rfind('\\') + 1)] =
        fs::is_regular_file(host) ? LinkTarget(ReadHostFile(host), link.target) : "";
  }
  return facts;
}

// The expected item places, as Windows paths and keys of the capturing machine.
std::string Expanded(std::string path) {
  std::wstring wide = Utf8ToWide(path);
  FromTokenForm(wide);
  return WideToUtf8(wide);
}

class CaptureRoundTripTest : public ::testing::Test {
 protected:
  // Captures `setup` on machine A and checks the project against the expected items; on success
  // `package` and `project` name what was built.
  void CaptureAndCount(const fs::path& setup, const fs::path& expectedFile, const std::string& productFile,
                       const WinePrefixCopy& machine, fs::path& package) {
    const fs::path program = CopyProgram(work_);
    const fs::path out = work_.path() / "out";
    std::string output;
    ASSERT_EQ(RunProgram(program, machine, {"-Capture=" + setup.string(), "-Path=" + out.string()}, &output), 0)
        << output << ReadHostFile(program / "ErrorLog.txt");
    const fs::path project = out / "Packages" / productFile;
    std::string error;
    const std::set<std::string> captured = ProjectItems(project, error);
    ASSERT_TRUE(error.empty()) << error << "\n" << output;
    const std::set<std::string> expected = ExpectedItems(expectedFile);
    ASSERT_FALSE(expected.empty());
    std::set<std::string> noise, misses;
    for (const std::string& item : captured) {
      if (expected.count(item) == 0) noise.insert(item);
    }
    for (const std::string& item : expected) {
      if (captured.count(item) == 0) misses.insert(item);
    }
    std::printf("%s: %zu items captured, noise %zu, misses %zu\n", setup.filename().c_str(), captured.size(), noise.size(),
                misses.size());
    RecordProperty("noise", static_cast<int>(noise.size()));
    RecordProperty("misses", static_cast<int>(misses.size()));
    EXPECT_TRUE(noise.empty()) << "captured, but not written by the setup:\n" << Join(noise);
    EXPECT_TRUE(misses.empty()) << "written by the setup, but not captured:\n" << Join(misses);
    // The package's path is the last line of standard output (standard error comes before it).
    package = out / (productFile.substr(0, productFile.rfind('_')) + ".msi");
    ASSERT_TRUE(fs::is_regular_file(package)) << output;
    EXPECT_NE(output.find(package.string()), std::string::npos) << output;
    // The Windows Installer watch reports msiexec when, and only when, the setup used it.
    const bool isPackage = setup.extension() == ".msi";
    EXPECT_EQ(output.find("Windows Installer ran during the setup") != std::string::npos, isPackage) << output;
    if (isPackage) {
      EXPECT_NE(output.find("msiexec.exe /i"), std::string::npos) << output;
    }
    // A finished capture leaves nothing pending.
    EXPECT_EQ(ReadHostFile(program / "CorvaneRepackager.ini").find("IsSnapshotTaken"), std::string::npos);
  }

  // Installs the package on machine B and compares it with machine A at the package's places.
  void InstallAndCompare(const fs::path& package, const MachineFacts& before, const PackagePlaces& places) {
    WinePrefixCopy target;
    ASSERT_TRUE(target.ok()) << target.error();
    fs::copy_file(package, target.driveC() / "package.msi");
    std::string output;
    ASSERT_EQ(target.Run({"msiexec", "/i", "C:\\package.msi", "/qn"}, &output), 0) << output;
    const MachineFacts after = ReadFacts(places, false);
    EXPECT_EQ(after.files, before.files);
    EXPECT_EQ(after.folders, before.folders);
    EXPECT_EQ(after.values, before.values);
    EXPECT_EQ(after.iniEntries, before.iniEntries);
    EXPECT_EQ(after.shortcuts, before.shortcuts);
  }

  // The package's places must be where the setup wrote on machine A: every expected item has its
  // row, at the same path or key.
  static void ExpectSamePlaces(const std::set<std::string>& expected, const PackagePlaces& places,
                               const MachineFacts& onA) {
    std::set<std::string> files(places.files.begin(), places.files.end());
    std::set<std::string> folders(places.createdFolders.begin(), places.createdFolders.end());
    std::set<std::string> values, ini, links;
    for (const auto& value : places.values) values.insert(value.place());
    for (const auto& entry : places.iniEntries) ini.insert(entry.place());
    for (const auto& link : places.shortcuts) links.insert(link.path + "|" + link.target);
      for (const std::string& item : expected) {
      std::vector<std::string> f;
      for (size_t start = 0;;) {
        const size_t bar = item.find('|', start);
        f.push_back(item.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
      }
      if (f[1] == "file") {
        EXPECT_EQ(files.count(Expanded(f[2]) + "\\" + f[3]), 1u) << item;
      } else if (f[1] == "folder") {
        EXPECT_EQ(folders.count(Expanded(f[2])), 1u) << item;
      } else if (f[1] == "value") {
        std::string name = f[3] == "@" ? std::string() : f[3].substr(1, f[3].size() - 2);
        // The project names the key with its root in full, as the place does.
        EXPECT_EQ(values.count(f[2] + "|" + name), 1u) << item;
      } else if (f[1] == "ini") {
        EXPECT_EQ(ini.count(Expanded(f[2]) + "|" + f[3] + "|" + f[4].substr(0, f[4].find('='))), 1u) << item;
      } else if (f[0] == "shortcut") {
        bool found = false;
        for (const auto& link : places.shortcuts) {
          const std::string name = link.path.substr(link.path.rfind('\\') + 1);
          if (name == f[1] + ".lnk" && link.target.size() >= f[2].size() &&
              link.target.compare(link.target.size() - f[2].size(), f[2].size(), f[2]) == 0) {
            found = true;
            // The setup made its link at the same place, aimed at the same file.
            EXPECT_EQ(onA.shortcuts.at(name), link.target) << item;
          }
        }
        EXPECT_TRUE(found) << item;
      }
    }
    // And nothing in the package that the setup did not write (apart from the keys, which carry
    // no value rows).
    size_t expectedValues = 0, expectedFiles = 0, expectedIni = 0;
    for (const std::string& item : expected) {
      expectedValues += item.find("|value|") != std::string::npos;
      expectedFiles += item.find("|file|") != std::string::npos;
      expectedIni += item.find("|ini|") != std::string::npos;
    }
    EXPECT_EQ(values.size(), expectedValues);
    EXPECT_EQ(files.size(), expectedFiles);
    EXPECT_EQ(ini.size(), expectedIni);
  }

  void RoundTrip(const std::string& sample, const std::string& productFile) {
    const fs::path setup = BuildSample(sample, work_.path() / "setup");
    ASSERT_FALSE(setup.empty());
    const std::set<std::string> expected = ExpectedItems(kSource / "examples" / sample / "expected-items.txt");
    fs::path package;
    PackagePlaces places;
    MachineFacts onA;
    {
      WinePrefixCopy machine;
      ASSERT_TRUE(machine.ok()) << machine.error();
      CaptureAndCount(setup, kSource / "examples" / sample / "expected-items.txt", productFile, machine, package);
      if (HasFatalFailure()) return;
      EnvironmentValues = platform::ReadEnvironmentValues();
      std::string error;
      ASSERT_TRUE(ReadPackagePlaces(package, places, error)) << error;
      onA = ReadFacts(places, true);
      ExpectSamePlaces(expected, places, onA);
      // Everything the package installs is on machine A.
      for (const auto& [path, bytes] : onA.files) EXPECT_NE(bytes, "<missing>") << path;
      for (const auto& [place, value] : onA.values) EXPECT_FALSE(value.empty()) << place;
      for (const auto& [place, value] : onA.iniEntries) EXPECT_NE(value, "<none>") << place;
    }
    InstallAndCompare(package, onA, places);
  }

  TempFolder work_;
};

TEST_F(CaptureRoundTripTest, SampleSetupCapturedAndInstalledElsewhere) {
  RoundTrip("sample-installer", "Corvane Sample_1.2.0.xml");
}

TEST_F(CaptureRoundTripTest, SamplePackageThroughTheWindowsInstaller) {
  RoundTrip("sample-msi", "Corvane Sample MSI_1.2.0.xml");
}

}  // namespace
