// The names setups write that are hard to carry (tests/fixtures/odd-names-setup.nsi: a path past
// 260 characters, trailing dots and spaces, reserved device names, characters special in SQL,
// XML, the directive file and formatted text, characters outside the Basic Multilingual Plane, a
// registry value of 1 MB, a key 100 deep, an empty and a huge INI section) round-tripped: the
// program captures the setup on one fresh machine; the setup itself runs on a second and the
// package is installed with msiexec on a third, both watched by the independent differ. Every
// item the setup wrote is at the same place with the same content after the package's install,
// or the capture named it in a warning; the package writes nothing the setup did not.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/machine.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/prefix_diff.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

// How a warning names an item: a file by its full path, a registry value as "value <name> of
// <key>", anything else by its last name.
std::string NamedAs(const PrefixItem& item) {
  if (item.kind == "file" || item.kind == "folder") return item.place;
  const size_t bar = item.place.rfind('|');
  if (item.kind == "value" && bar != std::string::npos) {
    return "value " + item.place.substr(bar + 1) + " of " + item.place.substr(0, bar);
  }
  const std::string place = bar == std::string::npos ? item.place : item.place.substr(bar + 1);
  const size_t slash = place.rfind('\\');
  return slash == std::string::npos ? place : place.substr(slash + 1);
}

bool NamedInAWarning(const PrefixItem& item, const std::string& captureOutput) {
  const std::string name = FoldAsciiLower(NamedAs(item));
  std::istringstream lines(captureOutput);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("warning") != std::string::npos && FoldAsciiLower(line).find(name) != std::string::npos) return true;
  }
  return false;
}

TEST(OddNamesTest, EveryItemIsPackagedExactlyOrNamedInAWarning) {
  TempFolder work;
  const fs::path setup = work.path() / "setup" / "odd-names-setup.exe";
  ASSERT_TRUE(BuildFixtureSetup("odd-names-setup.nsi", setup));

  // A: the capture.
  const fs::path out = work.path() / "out";
  const fs::path package = out / "odd.msi";
  std::string captureOutput;
  {
    WinePrefixCopy machine;
    ASSERT_TRUE(machine.ok()) << machine.error();
    const fs::path program = CopyProgram(work);
    const int status = RunProgram(program, machine,
                                  {"-Capture=" + setup.string(), "-Path=" + out.string(), "-File=odd.msi"},
                                  &captureOutput);
    ASSERT_EQ(status, 0) << captureOutput << ReadHostFile(program / "ErrorLog.txt");
  }
  // C: the setup itself; B: the package.
  std::vector<PrefixItem> bySetup, byPackage;
  {
    WinePrefixCopy machine;
    ASSERT_TRUE(machine.ok()) << machine.error();
    bySetup = WrittenBy(machine, {WideToUtf8(platform::Machine::WindowsPath(setup))});
  }
  {
    WinePrefixCopy machine;
    ASSERT_TRUE(machine.ok()) << machine.error();
    byPackage = WrittenBy(machine, {"msiexec", "/i", WideToUtf8(platform::Machine::WindowsPath(package)), "/qn"});
  }
  const std::string productCode = PackageProperty(package, "ProductCode");
  TakeInstallerBookkeeping(bySetup, productCode);
  TakeInstallerBookkeeping(byPackage, productCode);
  const PrefixComparison result = ComparePrefixItems(bySetup, byPackage);

  std::string unexplained;
  int warned = 0;
  for (const PrefixItem& item : result.missing) {
    if (NamedInAWarning(item, captureOutput)) {
      ++warned;
      std::printf("  named in a warning: %s\n", item.Text().substr(0, 300).c_str());
    } else {
      unexplained += "  " + item.Text().substr(0, 300) + "\n";
    }
  }
  for (const PrefixItem& item : result.reproduced) std::printf("  reproduced: %s\n", item.place.c_str());
  std::printf("odd names: wrote %zu, reproduced %zu, named in a warning %d, silently lost or changed %zu, extra %zu\n",
              bySetup.size(), result.reproduced.size(), warned, result.missing.size() - warned, result.extra.size());
  EXPECT_GE(bySetup.size(), 20u) << "the setup wrote less than it should";
  EXPECT_TRUE(unexplained.empty()) << "lost or changed without a warning:\n" << unexplained << "capture said:\n"
                                   << captureOutput;
  // An empty section has no key for the installer to write: it is named instead.
  EXPECT_NE(captureOutput.find("warning: the INI file C:\\windows\\win.ini gained the section [Corvane Empty]"),
            std::string::npos)
      << captureOutput;
  std::string extra;
  for (const PrefixItem& item : result.extra) extra += "  " + item.Text().substr(0, 300) + "\n";
  EXPECT_TRUE(extra.empty()) << "written by the package, not by the setup:\n" << extra;
}

}  // namespace
