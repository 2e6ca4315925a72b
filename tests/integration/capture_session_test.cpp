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
    session_ = std::make_unique<CCaptureSession>(nullptr);
    manager_ = &session_->Manager();
    SetUpCaptureWorkPaths(manager_->Context(), scratch_.path());
    // What the machine holds before the installer runs.
    WriteC("CorvaneData/modify.txt", "original\r\n");
    WriteC("CorvaneData/delete.txt", "to be deleted\r\n");
    WriteC("CorvaneData/same.txt", "unchanged\r\n");
    WriteC("windows/corvane.ini", "[Main]\r\nKey=Old\r\nKeep=1\r\n");
    ASSERT_EQ(manager_->Initialize(), 1);
  }

  void TearDown() override {
    if (manager_) {
      manager_->Uninitialize();
      session_.reset();
    }
    setenv("HOME", previousHome_.c_str(), 1);
  }

  void WriteC(const std::string& relative, const std::string& bytes) {
    fs::path path = wine_.driveC() / relative;
    fs::create_directories(path.parent_path());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
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

  // Every Directory/File of a file list, as "folder|file" (a folder without files as "folder|").
  static std::set<std::string> FileEntries(const pugi::xml_node& root, const char* list) {
    std::set<std::string> entries;
    for (pugi::xpath_node directory : root.select_nodes((std::string(list) + "/Directory").c_str())) {
      std::string folder = directory.node().attribute("Name").value();
      bool any = false;
      for (pugi::xml_node file : directory.node().children("File")) {
        entries.insert(folder + "|" + file.attribute("Name").value());
        any = true;
      }
      if (!any) entries.insert(folder + "|");
    }
    return entries;
  }

  static std::set<std::string> RegistryEntries(const pugi::xml_node& root, const char* list) {
    std::set<std::string> entries;
    for (pugi::xpath_node key : root.select_nodes((std::string(list) + "/SubKey").c_str())) {
      for (pugi::xml_node value : key.node().children("Value")) {
        entries.insert(std::string(key.node().attribute("Name").value()) + "|" + value.attribute("Name").value() + "|" +
                       value.attribute("Type").value());
      }
    }
    return entries;
  }

  static std::set<std::string> IniEntries(const pugi::xml_node& root, const char* list) {
    std::set<std::string> entries;
    for (pugi::xpath_node file : root.select_nodes((std::string(list) + "/File").c_str())) {
      for (pugi::xml_node section : file.node().children("Section")) {
        entries.insert(std::string(file.node().attribute("Name").value()) + "|" + section.attribute("Name").value() +
                       "|" + section.attribute("Key").value() + "=" + section.attribute("Value").value());
      }
    }
    return entries;
  }

  void ExpectProjectHoldsExactlyTheChanges() {
    pugi::xml_document project;
    ASSERT_TRUE(project.load_file(platform::Machine::HostPath(manager_->Context().ProjectFilePath).c_str()))
        << WideToUtf8(manager_->Context().ProjectFilePath);
    pugi::xml_node root = project.document_element();
    // A new INI file is a file like any other; only a changed one goes entry by entry.
    EXPECT_EQ(FileEntries(root, "FileSystem/AddedItems/DirectoryList"),
              (std::set<std::string>{"C:\\CorvaneData|added.txt", "C:\\CorvaneData|new.ini",
                                     "C:\\CorvaneData\\NewFolder|inner.txt"}));
    EXPECT_EQ(FileEntries(root, "FileSystem/ModifiedItems/DirectoryList"),
              (std::set<std::string>{"C:\\CorvaneData|modify.txt"}));
    // A deleted file cannot go into a package: the change writers leave it out.
    EXPECT_EQ(FileEntries(root, "FileSystem/DeletedItems/DirectoryList"), std::set<std::string>{});
    EXPECT_EQ(RegistryEntries(root, "RegistrySystem/AddedItems/SubKeyList"),
              (std::set<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\CorvaneTest|\"Name\"|REG_SZ",
                                     "HKEY_CURRENT_USER\\Software\\CorvaneTest\\Sub|\"Count\"|REG_DWORD"}));
    EXPECT_EQ(RegistryEntries(root, "RegistrySystem/ModifiedItems/SubKeyList"), std::set<std::string>{});
    EXPECT_EQ(RegistryEntries(root, "RegistrySystem/DeletedItems/SubKeyList"), std::set<std::string>{});
    EXPECT_EQ(IniEntries(root, "INIFileSystem/ModifiedItems/FileList"),
              std::set<std::string>{"%WINDIR%\\corvane.ini|Main|Key=NewValue"});
    EXPECT_EQ(IniEntries(root, "INIFileSystem/AddedItems/FileList"), std::set<std::string>{});
    EXPECT_EQ(IniEntries(root, "INIFileSystem/DeletedItems/FileList"), std::set<std::string>{});
    pugi::xml_node product = root.child("ProductInformation").child("ProductInformation");
    EXPECT_STREQ(product.attribute("ApplicationName").value(), "Capture Test");
  }

  WinePrefixCopy wine_;
  TempFolder scratch_;
  std::string previousHome_;
  std::unique_ptr<CCaptureSession> session_;  // owns the manager
  CUIManager* manager_ = nullptr;
};

TEST_F(CaptureSessionWineTest, PreparingTheMachineAbsorbsOneStartOfWine) {
  // Every start of the prefix's server rewrites the registry files (new inodes): seeing that
  // happen shows Wine did start, and returning shows its server ended again.
  struct stat before {};
  ASSERT_EQ(stat((wine_.prefix() / "system.reg").c_str(), &before), 0);
  EXPECT_EQ(platform::PrepareMachineForCapture(), platform::kSuccess);
  struct stat after {};
  ASSERT_EQ(stat((wine_.prefix() / "system.reg").c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  // Nothing of the prefix runs any more: a wait for its server returns at once.
  std::string output;
  EXPECT_EQ(RunHostCommand({"wineserver", "-w"}, wine_.WineEnvironment(), &output), 0);
}

TEST_F(CaptureSessionWineTest, CaptureInOneRun) {
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
  session_.reset();
  manager_ = nullptr;
  platform::Machine::Reset();
  session_ = std::make_unique<CCaptureSession>(nullptr);
  manager_ = &session_->Manager();
  SetUpCaptureWorkPaths(manager_->Context(), scratch_.path());
  manager_->Context().ProjectFilePath.clear();
  ASSERT_EQ(manager_->Initialize(), 1);
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
