// The capture session's product texts: from what is given, the setup's version resource or
// package properties, or stand-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/strings.h"
#include "platform/machine.h"
#include "session/capture_session.h"
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

}  // namespace
