// Round trips on real installers written by others - NSIS's example scripts, 32-bit and 64-bit,
// and an Inno Setup setup built from a script of ours - judged by an independent differ of the
// prefix rather than by our own project file. For each installer:
//   A: the program captures the setup silently (-Capture= with -Arguments=) and builds a package;
//   C: the setup itself runs on a fresh prefix, with the differ around it;
//   B: the package is installed with msiexec /i /qn on another fresh prefix, with the differ
//      around it.
// B must hold what C holds - every file (content), registry value (type and data), INI file or
// entry and shortcut (folder, name, target, arguments) at the same place, and nothing else - apart
// from the setup's own uninstaller and uninstall entry (a package has its own) and the Windows
// Installer's bookkeeping. Each case prints "<installer>: wrote N, reproduced R, missing M,
// extra E" and the items behind the figures.
//
// The 32-bit example2's package is also installed on a 32-bit prefix (WINEARCH=win32) and compared
// there with the setup run on that kind of prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/strings.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/prefix_diff.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = CORVANE_SOURCE_DIR;
const fs::path kNsisExamples = "/usr/share/doc/nsis/Examples";
// Inno Setup's setups need a display even when they run silently.
const char* const kInnoArguments = "/VERYSILENT /SUPPRESSMSGBOXES /NORESTART";

struct RealInstaller {
  std::string name;    // in the summary line
  std::string script;  // an NSIS example, or our Inno Setup script (.iss)
  bool amd64 = false;  // NSIS: built with Target amd64-unicode
  bool alsoOnWin32Prefix = false;

  bool inno() const { return script.size() > 4 && script.compare(script.size() - 4, 4, ".iss") == 0; }
  std::string arguments() const { return inno() ? kInnoArguments : "/S"; }
};

void PrintTo(const RealInstaller& installer, std::ostream* out) { *out << installer.name; }

// The Windows path of a host path, through Wine's Z: drive.
std::string OnDriveZ(const fs::path& host) {
  std::string path = "Z:" + fs::absolute(host).string();
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find(' ', start), text.size());
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// What the setup itself writes (run as the shell's "open" would, with the silent arguments).
std::vector<PrefixItem> WrittenBySetup(const WinePrefixCopy& machine, const fs::path& setup,
                                       const RealInstaller& installer) {
  std::vector<std::string> arguments = {"start", "/wait", "/unix", setup.string()};
  for (const std::string& word : SplitWords(installer.arguments())) arguments.push_back(word);
  return WrittenBy(machine, arguments, installer.inno());
}

std::vector<PrefixItem> WrittenByPackage(const WinePrefixCopy& machine, const fs::path& package) {
  return WrittenBy(machine, {"msiexec", "/i", OnDriveZ(package), "/qn"});
}

std::string List(const char* label, const std::vector<PrefixItem>& items) {
  std::string text;
  for (const PrefixItem& item : items) text += std::string("  ") + label + ": " + item.Text() + "\n";
  return text;
}

// Whether the capture's output names a registry value item ("<key>|<name>") in a warning: the
// package could not hold it as captured and said so.
bool NamedInAWarning(const PrefixItem& item, const std::string& captureOutput) {
  const size_t bar = item.place.find('|');
  if (item.kind != "value" || bar == std::string::npos) return false;
  const std::string named = "the registry value " + item.place.substr(bar + 1) + " of " + item.place.substr(0, bar) + " ";
  std::istringstream lines(captureOutput);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("warning:") != std::string::npos && FoldAsciiLower(line).find(FoldAsciiLower(named)) != std::string::npos) return true;
  }
  return false;
}

// Sets C's items (the setup's) against B's (the package's) and reports the figures. Items the
// capture named in a warning count as changed, not as missing.
void CompareAndReport(const std::string& name, std::vector<PrefixItem> bySetup, std::vector<PrefixItem> byPackage,
                      const std::string& productCode, const std::string& captureOutput) {
  const std::vector<PrefixItem> setAside = TakeUninstallRegistration(bySetup);
  TakeInstallerBookkeeping(bySetup, productCode);
  TakeInstallerBookkeeping(byPackage, productCode);
  PrefixComparison result = ComparePrefixItems(bySetup, byPackage);
  std::vector<PrefixItem> warned;
  std::erase_if(result.missing, [&](const PrefixItem& item) {
    if (!NamedInAWarning(item, captureOutput)) return false;
    warned.push_back(item);
    return true;
  });
  std::printf("%s: wrote %zu, reproduced %zu, changed with a warning %zu, missing %zu, extra %zu\n%s%s%s%s%s",
              name.c_str(), bySetup.size(), result.reproduced.size(), warned.size(), result.missing.size(),
              result.extra.size(), List("missing", result.missing).c_str(), List("extra", result.extra).c_str(),
              List("warned", warned).c_str(), List("set aside", setAside).c_str(),
              List("reproduced", result.reproduced).c_str());
  std::fflush(stdout);
  ::testing::Test::RecordProperty("wrote", static_cast<int>(bySetup.size()));
  ::testing::Test::RecordProperty("reproduced", static_cast<int>(result.reproduced.size()));
  ::testing::Test::RecordProperty("missing", static_cast<int>(result.missing.size()));
  ::testing::Test::RecordProperty("extra", static_cast<int>(result.extra.size()));
  EXPECT_FALSE(bySetup.empty()) << name << ": the setup wrote nothing the differ saw";
  EXPECT_TRUE(result.missing.empty()) << name << ": written by the setup, not by its package:\n"
                                      << List("missing", result.missing);
  EXPECT_TRUE(result.extra.empty()) << name << ": written by the package, not by the setup:\n" << List("extra", result.extra);
}

class RealInstallersTest : public ::testing::TestWithParam<RealInstaller> {
 protected:
  // Builds the setup into work_/setup; its path, or empty (test failed or skipped).
  fs::path BuildSetup(const RealInstaller& installer) {
    const fs::path folder = work_.path() / "setup";
    fs::create_directories(folder);
    std::string output;
    if (installer.inno()) return BuildInnoSetup(installer, folder);
    // The examples `File` themselves (and install-*.nsi build AppGen.nsi), so they are built from
    // a copy.
    for (const char* file : {installer.script.c_str(), "AppGen.nsi"}) {
      fs::copy_file(kNsisExamples / file, folder / file, fs::copy_options::overwrite_existing);
    }
    // makensis works in the script's folder, where OutFile puts the setup.
    std::vector<std::string> command = {"makensis", "-V2"};
    if (installer.amd64) command.push_back("-XTarget amd64-unicode");
    command.push_back((folder / installer.script).string());
    if (RunHostCommand(command, {"PATH=/usr/bin:/bin"}, &output) != 0) {
      ADD_FAILURE() << "makensis " << installer.script << " failed: " << output;
      return {};
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() == ".exe") return entry.path();
    }
    ADD_FAILURE() << "makensis built no setup: " << output;
    return {};
  }

  fs::path BuildInnoSetup(const RealInstaller& installer, const fs::path& folder) {
    std::string output;
    const int fetched = RunHostCommand({"bash", (kSource / "scripts" / "fetch-innosetup.sh").string(), CORVANE_TOOLS_CACHE},
                                       {"PATH=/usr/bin:/bin", "HOME=" + work_.path().string()}, &output);
    if (fetched == 3) {
      skipReason_ = "the Inno Setup compiler cannot be fetched (npm does not reach its registry): " + output;
      return {};
    }
    if (fetched != 0) {
      ADD_FAILURE() << "fetch-innosetup.sh failed: " << output;
      return {};
    }
    const fs::path iscc = LastLine(output);
    fs::copy(fs::path(CORVANE_FIXTURES_DIR) / "real-installers", folder, fs::copy_options::recursive);
    // The compiler is a 32-bit Windows program; it runs in a prefix of its own.
    WinePrefixCopy compilerMachine;
    if (!compilerMachine.ok()) {
      ADD_FAILURE() << compilerMachine.error();
      return {};
    }
    output.clear();
    if (compilerMachine.Run({iscc.string(), "/Q", OnDriveZ(folder / installer.script)}, &output) != 0) {
      ADD_FAILURE() << "ISCC failed: " << output;
      return {};
    }
    const fs::path setup = folder / "corvane-inno-setup.exe";
    if (!fs::is_regular_file(setup)) ADD_FAILURE() << "ISCC built no setup: " << output;
    return fs::is_regular_file(setup) ? setup : fs::path();
  }

  // A: captures the setup with the program; the built package's path, or empty.
  fs::path Capture(const fs::path& setup, const RealInstaller& installer) {
    WinePrefixCopy machine;
    if (!machine.ok()) {
      ADD_FAILURE() << machine.error();
      return {};
    }
    const fs::path program = CopyProgram(work_);
    const fs::path out = work_.path() / "out";
    std::string output;
    const int status = RunProgram(program, machine,
                                  {"-Capture=" + setup.string(), "-Arguments=" + installer.arguments(),
                                   "-Path=" + out.string(), "-File=RealInstaller.msi"},
                                  &output);
    const fs::path package = out / "RealInstaller.msi";
    captureOutput_ = output;
    if (status != 0 || !fs::is_regular_file(package)) {
      ADD_FAILURE() << "the capture of " << installer.name << " failed (status " << status << "):\n"
                    << output << ReadHostFile(program / "ErrorLog.txt");
      return {};
    }
    return package;
  }

  TempFolder work_;
  std::string captureOutput_;  // what the program said during the capture
  std::string skipReason_;  // set when the setup cannot be built on this machine
};

TEST_P(RealInstallersTest, PackageWritesWhatTheSetupWrote) {
  const RealInstaller& installer = GetParam();
  const fs::path setup = BuildSetup(installer);
  if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
  ASSERT_FALSE(setup.empty());

  const fs::path package = Capture(setup, installer);
  ASSERT_FALSE(package.empty());
  const std::string productCode = PackageProperty(package, "ProductCode");
  // C: the setup on a fresh machine; B: its package on another. On a 32-bit machine as well, when
  // the case says so.
  TempFolder win32;
  std::vector<fs::path> pristines = {fs::path(CORVANE_PRISTINE_PREFIX).parent_path()};
  if (installer.alsoOnWin32Prefix) {
    std::string error;
    ASSERT_TRUE(MakeWin32Machine(win32.path(), error)) << error;
    pristines.push_back(win32.path());
  }
  for (const fs::path& pristine : pristines) {
    std::vector<PrefixItem> bySetup, byPackage;
    {
      WinePrefixCopy machineC(pristine);
      ASSERT_TRUE(machineC.ok()) << machineC.error();
      bySetup = WrittenBySetup(machineC, setup, installer);
    }
    WinePrefixCopy machineB(pristine);
    ASSERT_TRUE(machineB.ok()) << machineB.error();
    byPackage = WrittenByPackage(machineB, package);
    CompareAndReport(installer.name + (machineB.win32() ? " on a 32-bit prefix" : ""), bySetup, byPackage, productCode,
                     captureOutput_);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Setups, RealInstallersTest,
    ::testing::Values(RealInstaller{"example1 (32-bit)", "example1.nsi", false, false},
                      RealInstaller{"example1 (64-bit)", "example1.nsi", true, false},
                      RealInstaller{"example2 (32-bit)", "example2.nsi", false, true},
                      RealInstaller{"example2 (64-bit)", "example2.nsi", true, false},
                      RealInstaller{"install-shared (32-bit)", "install-shared.nsi", false, false},
                      RealInstaller{"install-shared (64-bit)", "install-shared.nsi", true, false},
                      RealInstaller{"install-per-user (32-bit)", "install-per-user.nsi", false, false},
                      RealInstaller{"install-per-user (64-bit)", "install-per-user.nsi", true, false},
                      RealInstaller{"Inno Setup (32-bit)", "corvane-inno.iss", false, false}),
    [](const ::testing::TestParamInfo<RealInstaller>& info) {
      std::string name;
      for (char c : info.param.name) {
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      }
      return name;
    });

}  // namespace
