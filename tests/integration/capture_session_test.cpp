// A capture session without a user interface on a copy of a fresh Wine prefix: the choices, the
// first snapshot, changes made by Windows programs under Wine, the second snapshot, the comparison
// and the project file, which must hold exactly those changes. Once in one run of the program,
// once with the program restarted between the two snapshots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <pugixml.hpp>
#include <sys/stat.h>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "platform/process.h"
#include "session/capture_session.h"
#include "session/ui_manager.h"
#include "support/capture_setup.h"
#include "support/package_places.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

class CaptureSessionWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wine_.ok()) << wine_.error();
    // Wine started by the program uses HOME: keep it on the copy's own home, like the test runs.
    if (const char* home = std::getenv("HOME")) previousHome_ = home;
    setenv("HOME", wine_.home().c_str(), 1);
    // What the machine holds before the installer runs.
    WriteHostFile(wine_.driveC() / "CorvaneData/modify.txt", "original\r\n");
    WriteHostFile(wine_.driveC() / "CorvaneData/delete.txt", "to be deleted\r\n");
    WriteHostFile(wine_.driveC() / "CorvaneData/same.txt", "unchanged\r\n");
    WriteHostFile(wine_.driveC() / "windows/corvane.ini", "[Main]\r\nKey=Old\r\nKeep=1\r\n");
    StartProgram();
  }

  // As a start of the program: a new session on the same work paths.
  void StartProgram() {
    session_.reset();
    platform::Machine::Reset();
    session_ = std::make_unique<CCaptureSession>(nullptr);
    manager_ = &session_->Manager();
    SetUpCaptureWorkPaths(manager_->Context(), scratch_.path());
    manager_->Context().ProjectFilePath.clear();
    ASSERT_EQ(manager_->Initialize(), 1);
  }

  void TearDown() override {
    if (manager_) {
      manager_->Uninitialize();
      session_.reset();
    }
    setenv("HOME", previousHome_.c_str(), 1);
  }

  CaptureChoiceMap Choices() {
    CaptureChoiceMap choices;
    choices[L"File"] = {L"C:\\"};
    choices[L"Registry"] = {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\CorvaneTest", L"HKEY_CURRENT_USER\\Software\\CorvaneTest"};
    choices[L"SetupFilePath"] = {L"Z:\\nowhere\\setup.exe"};
    choices[L"SetupFileInfo"] = {L"Capture Test", L"1.0", L"Corvane"};
    return choices;
  }

  // What the installer does, through Windows programs of the prefix.
  void MakeChanges() {
    ASSERT_EQ(wine_.Run({"cmd", "/c",
                         "echo added> C:\\CorvaneData\\added.txt"
                         " & mkdir C:\\CorvaneData\\NewFolder"
                         " & echo inner> C:\\CorvaneData\\NewFolder\\inner.txt"
                         " & echo more content>> C:\\CorvaneData\\modify.txt"
                         " & del C:\\CorvaneData\\delete.txt"
                         " & echo [Main]> C:\\windows\\corvane.ini"
                         " & echo Key=NewValue>> C:\\windows\\corvane.ini"
                         " & echo Keep=1>> C:\\windows\\corvane.ini"
                         " & echo [Fresh]> C:\\CorvaneData\\new.ini"
                         " & echo Added=1>> C:\\CorvaneData\\new.ini"}),
              0);
    ASSERT_EQ(wine_.Run({"reg", "add", "HKLM\\Software\\CorvaneTest", "/v", "Name", "/t", "REG_SZ", "/d", "Value", "/f"}), 0);
    ASSERT_EQ(wine_.Run({"reg", "add", "HKCU\\Software\\CorvaneTest\\Sub", "/v", "Count", "/t", "REG_DWORD", "/d", "5",
                         "/f"}),
              0);
  }

  void ExpectProjectHoldsExactlyTheChanges() {
    const fs::path path = platform::Machine::HostPath(manager_->Context().ProjectFilePath);
    std::string error;
    // A new INI file is a file like any other; only a changed one goes entry by entry. A deleted
    // file cannot go into a package: the change writers leave it out. A new key without values of
    // its own is listed as a key.
    EXPECT_EQ(ProjectItems(path, error),
              (std::set<std::string>{"added|file|C:\\CorvaneData|added.txt", "added|file|C:\\CorvaneData|new.ini",
                                     "added|file|C:\\CorvaneData\\NewFolder|inner.txt",
                                     "modified|file|C:\\CorvaneData|modify.txt",
                                     "added|value|HKEY_LOCAL_MACHINE\\SOFTWARE\\CorvaneTest|\"Name\"|REG_SZ",
                                     "added|key|HKEY_CURRENT_USER\\Software\\CorvaneTest",
                                     "added|value|HKEY_CURRENT_USER\\Software\\CorvaneTest\\Sub|\"Count\"|REG_DWORD",
                                     "modified|ini|%WINDIR%\\corvane.ini|Main|Key=NewValue"}));
    EXPECT_TRUE(error.empty()) << error;
    pugi::xml_document project;
    ASSERT_TRUE(project.load_file(path.c_str())) << path;
    pugi::xml_node product = project.document_element().child("ProductInformation").child("ProductInformation");
    EXPECT_STREQ(product.attribute("ApplicationName").value(), "Capture Test");
  }

  WinePrefixCopy wine_;
  TempFolder scratch_;
  std::string previousHome_;
  std::unique_ptr<CCaptureSession> session_;  // owns the manager
  CUIManager* manager_ = nullptr;
};

TEST_F(CaptureSessionWineTest, CaptureInOneRun) {
  // Preparing the machine absorbs one start of Wine. Every start of the prefix's server rewrites
  // the registry files (new inodes): seeing that happen shows Wine did start, and returning shows
  // its server ended again.
  struct stat before {};
  ASSERT_EQ(stat((wine_.prefix() / "system.reg").c_str(), &before), 0);
  EXPECT_EQ(platform::PrepareMachineForCapture(), platform::kSuccess);
  struct stat after {};
  ASSERT_EQ(stat((wine_.prefix() / "system.reg").c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  // Nothing of the prefix runs any more: a wait for its server returns at once.
  std::string output;
  EXPECT_EQ(RunHostCommand({"wineserver", "-w"}, wine_.WineEnvironment(), &output), 0);

  ASSERT_FALSE(manager_->IsFirstSnapshotExist());
  ASSERT_EQ(manager_->WriteScanDetails(Choices()), 1);
  ASSERT_EQ(manager_->CaptureSnapshot(), 1);  // makes the prefix quiet first
  manager_->SetSnapshotTakenMark(true);
  MakeChanges();
  ASSERT_EQ(manager_->CaptureSnapshot(), 1);
  ASSERT_EQ(manager_->CompareSnapshot(), 1);
  ASSERT_EQ(manager_->GenerateProjectFile({}, {}), 1);
  EXPECT_EQ(manager_->Context().ProjectFilePath,
            Utf8ToWide(manager_->Context().OutputFolder) + L"\\Packages\\Capture Test_1.0.xml");
  ExpectProjectHoldsExactlyTheChanges();
}

TEST_F(CaptureSessionWineTest, CaptureResumesAfterARestart) {
  ASSERT_FALSE(manager_->IsFirstSnapshotExist());
  ASSERT_EQ(manager_->WriteScanDetails(Choices()), 1);
  ASSERT_EQ(manager_->CaptureSnapshot(), 1);
  manager_->SetSnapshotTakenMark(true);
  MakeChanges();

  // The program ends without finishing the capture and starts again.
  StartProgram();
  EXPECT_TRUE(manager_->Context().SnapshotTaken);
  ASSERT_TRUE(manager_->IsFirstSnapshotExist());
  EXPECT_EQ(manager_->GetCaptureChoices()[L"Registry"], Choices()[L"Registry"]);
  EXPECT_EQ(manager_->GetSetupFileInfo().ApplicationName, L"Capture Test");

  ASSERT_EQ(manager_->CaptureSnapshot(), 1);
  ASSERT_EQ(manager_->CompareSnapshot(), 1);
  ASSERT_EQ(manager_->GenerateProjectFile({}, {}), 1);
  ExpectProjectHoldsExactlyTheChanges();
}

}  // namespace
