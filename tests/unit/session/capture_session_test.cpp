// The capture session: its product texts (from what is given, the setup's version resource or
// package properties, or stand-ins), and a capture on a hand-made prefix where every long step is
// first cancelled and then run again (no Wine runs here).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <pugixml.hpp>

#include "core/status_values.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "session/capture_session.h"
#include "support/capture_setup.h"
#include "support/fixture_prefix.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

class CaptureProductTextsTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_.Activate(); }
  std::wstring Windows(const fs::path& host) { return platform::Machine::WindowsPath(host); }

  FixturePrefix machine_;
  TempFolder folder_;
};

TEST_F(CaptureProductTextsTest, CommandLineFirstThenVersionResourceThenStandIns) {
  using namespace pe_builder;
  const std::string block =
      VersionBlock(FixedFileInfo(3, 1, 0, 0), {0x04B00409u},
                   {{L"040904B0",
                     {{L"ProductName", L"  Resource Product "}, {L"ProductVersion", L"3.1"}, {L"CompanyName", L"Resource Labs"}}}});
  const fs::path setup = folder_.WriteFile("ResSetup.exe", BuildPe({{16, 1, 1033, block}}));

  ProductTexts given;
  ProductTexts texts = CCaptureSession::ChooseProductTexts(given, Windows(setup));
  EXPECT_EQ(texts.name, L"Resource Product");  // trimmed
  EXPECT_EQ(texts.version, L"3.1");
  EXPECT_EQ(texts.company, L"Resource Labs");

  given.name = L"Given";
  given.company = L"   ";  // blank: as if not given
  texts = CCaptureSession::ChooseProductTexts(given, Windows(setup));
  EXPECT_EQ(texts.name, L"Given");
  EXPECT_EQ(texts.version, L"3.1");
  EXPECT_EQ(texts.company, L"Resource Labs");

  // No version resource at all: the file name and stand-ins.
  const fs::path bare = folder_.WriteFile("Bare Setup.v2.exe", "MZ not really a program");
  texts = CCaptureSession::ChooseProductTexts(ProductTexts(), Windows(bare));
  EXPECT_EQ(texts.name, L"Bare Setup.v2");
  EXPECT_EQ(texts.version, L"1.0");
  EXPECT_EQ(texts.company, L"Unknown");
}

TEST_F(CaptureProductTextsTest, WindowsInstallerPackageGivesItsProperties) {
  const fs::path wxs = folder_.WriteFile(
      "p.wxs",
      "<?xml version=\"1.0\"?><Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">"
      "<Product Id=\"*\" Name=\"Package Product\" Language=\"1033\" Version=\"4.5.6\" Manufacturer=\"Package Maker\" "
      "UpgradeCode=\"11111111-2222-3333-4444-555555555555\"><Package InstallerVersion=\"200\" Compressed=\"yes\"/>"
      "<Directory Id=\"TARGETDIR\" Name=\"SourceDir\"/><Feature Id=\"F\" Level=\"1\"/></Product></Wix>");
  const fs::path msi = folder_.path() / "p.msi";
  std::string output;
  ASSERT_EQ(RunHostCommand({"wixl", "-o", msi.string(), wxs.string()}, {"PATH=/usr/bin:/bin"}, &output), 0) << output;
  const ProductTexts texts = CCaptureSession::ChooseProductTexts(ProductTexts(), Windows(msi));
  EXPECT_EQ(texts.name, L"Package Product");
  EXPECT_EQ(texts.version, L"4.5.6");
  EXPECT_EQ(texts.company, L"Package Maker");
}

// Each long step, asked to stop before it starts, reports a cancellation, leaves none of its
// files and leaves the capture as it stood; run again, it does its work, and the package holds what
// an uncancelled capture's would.
TEST(CaptureSessionCancelTest, EveryLongStepCancelledThenRunAgain) {
  FixturePrefix prefix;
  prefix.Activate();
  CCaptureSession session(nullptr);
  CWorkContext& context = session.Context();
  SetUpCaptureWorkPaths(context, prefix.Scratch());
  context.ProgramFolder = WideToUtf8(platform::Machine::WindowsPath(CORVANE_PROGRAM_DIR));
  prefix.WriteDriveCFile("Program Files/App/change.txt", "v1");
  prefix.AddSystemReg("\n[Software\\\\Vendor] 1700000000\n\"Old\"=\"1\"\n");
  const fs::path snapshots = prefix.InDriveC("users/root/Temp/SnapShot");
  const fs::path firstFiles = snapshots / "FileSystemDir/FirstSnapShot.txt";
  const fs::path firstKeys = snapshots / "RegSystemDir/FirstSnapShot";
  const fs::path secondFiles = snapshots / "FileSystemDir/SecondSnapShot.txt";
  const fs::path secondKeys = snapshots / "RegSystemDir/SecondSnapShot";
  const fs::path output = prefix.Scratch() / "output";
  auto pending = [&context] {
    return platform::GetProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"", context.ConfigFilePath);
  };

  ASSERT_TRUE(session.Initialize().succeeded());
  session.Manager().Wrapper().SetPrepareMachine(false);
  CaptureChoiceMap choices;
  choices[L"File"] = {L"C:\\Program Files\\"};
  choices[L"Registry"] = {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"};
  choices[L"SetupFilePath"] = {L"Z:\\setup.exe"};
  choices[L"SetupFileInfo"] = {L"App", L"1.0", L"Vendor"};
  ASSERT_TRUE(session.BeginCapture(L"Z:\\setup.exe", {L"App", L"1.0", L"Vendor"}, L"", choices).succeeded());

  // Runs a step with the request set: true when it reports a cancellation with its reason.
  auto cancelled = [](const std::function<COperationResult()>& step) {
    CancelRequest.Request();
    const COperationResult result = step();
    CancelRequest.Clear();
    EXPECT_FALSE(result.errors().empty());
    return result.cancelled();
  };

  // The first snapshot: nothing of it, nothing pending; then a whole one, pending.
  EXPECT_TRUE(cancelled([&] { return session.CaptureFirstSnapshot(); }));
  EXPECT_FALSE(fs::exists(firstFiles));
  EXPECT_TRUE(!fs::exists(firstKeys) || fs::is_empty(firstKeys));
  EXPECT_EQ(pending(), L"");
  EXPECT_FALSE(session.IsFirstSnapshotExist());
  ASSERT_TRUE(session.CaptureFirstSnapshot().succeeded());
  EXPECT_TRUE(fs::exists(firstFiles));
  EXPECT_EQ(pending(), L"1");

  // What the installer does.
  prefix.WriteDriveCFile("Program Files/App/change.txt", "version 2");
  prefix.WriteDriveCFile("Program Files/App/new/added.dll", "MZ");
  prefix.AddSystemReg("\n[Software\\\\Vendor\\\\App] 1700000001\n\"Path\"=\"C:\\\\Program Files\\\\App\"\n");

  // The second snapshot: the first stays, pending; none of the second is left.
  EXPECT_TRUE(cancelled([&] { return session.CaptureSecondSnapshot(); }));
  EXPECT_TRUE(fs::exists(firstFiles));
  EXPECT_TRUE(fs::exists(firstKeys / "RegSnapShot0.reg"));
  EXPECT_FALSE(fs::exists(secondFiles));
  EXPECT_TRUE(!fs::exists(secondKeys) || fs::is_empty(secondKeys));
  EXPECT_EQ(pending(), L"1");
  ASSERT_TRUE(session.CaptureSecondSnapshot().succeeded());

  // The comparison writes no change file when stopped.
  EXPECT_TRUE(cancelled([&] { return session.CompareSnapshot(); }));
  EXPECT_FALSE(fs::exists(platform::Machine::HostPath(session.Context().FileChangesPath)));
  EXPECT_FALSE(fs::exists(platform::Machine::HostPath(session.Context().RegChangesPath)));
  ASSERT_TRUE(session.CompareSnapshot().succeeded());

  // The project file: none left, the snapshots kept (the capture can go on from them).
  const fs::path project = platform::Machine::HostPath(session.Context().ProjectFilePath);
  EXPECT_TRUE(cancelled([&] { return session.GenerateProjectFile({}, {}); }));
  EXPECT_FALSE(fs::exists(project));
  EXPECT_TRUE(fs::exists(secondFiles));
  EXPECT_EQ(pending(), L"1");
  ASSERT_TRUE(session.GenerateProjectFile({}, {}).succeeded());
  EXPECT_FALSE(fs::exists(snapshots));
  EXPECT_FALSE(session.EndIfNothingChanged());

  // The build: no package, no half-built file in the output folder; then the package.
  EXPECT_TRUE(cancelled([&] { return session.BuildPackage(); }));
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(output)) {
    if (entry.is_regular_file()) left.insert(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::set<std::string>{}) << "files left by a cancelled build";
  ASSERT_TRUE(session.BuildPackage().succeeded());
  EXPECT_TRUE(fs::is_regular_file(output / "App.msi"));
  EXPECT_EQ(HostPathText(session.PackagePath()), fs::weakly_canonical(output / "App.msi").string());

  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(project.c_str()));
  pugi::xml_node root = document.document_element();
  EXPECT_TRUE(root.select_node("FileSystem/AddedItems/DirectoryList/Directory[@Name='%PROGRAMFILES%\\App\\new']/File[@Name='added.dll']"));
  EXPECT_TRUE(root.select_node("FileSystem/ModifiedItems/DirectoryList/Directory[@Name='%PROGRAMFILES%\\App']/File[@Name='change.txt']"));
  EXPECT_TRUE(root.select_node("RegistrySystem/AddedItems/SubKeyList/SubKey[@Name='HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App']"));
  session.EndCapture();
  EXPECT_EQ(pending(), L"");
}

// Choices that cannot be saved would make the first snapshot unresumable: the start fails and
// says where.
TEST(CaptureSessionBeginTest, ChoicesThatCannotBeSavedFailTheStart) {
  FixturePrefix prefix;
  prefix.Activate();
  CCaptureSession session(nullptr);
  SetUpCaptureWorkPaths(session.Context(), prefix.Scratch());
  ASSERT_TRUE(session.Initialize().succeeded());
  const fs::path snapshots = prefix.InDriveC("users/root/Temp/SnapShot");
  fs::remove_all(snapshots);
  prefix.WriteDriveCFile("users/root/Temp/SnapShot", "a file where the folder belongs");
  const ProductTexts texts{L"App", L"1.0", L"Vendor"};
  const COperationResult begun =
      session.BeginCapture(L"Z:\\setup.exe", texts, L"", session.BuildCaptureChoices(L"Z:\\setup.exe", texts));
  EXPECT_FALSE(begun.succeeded());
  EXPECT_FALSE(begun.cancelled());
  EXPECT_NE(begun.error().find("ScanDetails.txt"), std::string::npos) << begun.error();
  session.Uninitialize();
}

}  // namespace
