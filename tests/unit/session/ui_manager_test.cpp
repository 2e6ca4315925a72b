// The capture session manager (CUIManager): the saved choices ("ScanDetails.txt"), the scan state across restarts,
// and a whole capture on a hand-made prefix (no Wine runs here).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/strings.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "snapshot/enumerate_wrapper.h"
#include "snapshot/file_enumerate.h"
#include "session/capture_session.h"
#include "session/ui_manager.h"
#include "support/capture_setup.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

// The choices of a capture of "Z:\setup.exe" (App 1.0 by Vendor) that walks these folders and keys.
CaptureChoiceMap Choices(std::vector<std::wstring> files, std::vector<std::wstring> keys) {
  return {{L"File", std::move(files)}, {L"Registry", std::move(keys)}, {L"SetupFilePath", {L"Z:\\setup.exe"}},
          {L"SetupFileInfo", {L"App", L"1.0", L"Vendor"}}};
}

class CaptureSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
    StartSession();
  }
  // A session owns its manager; the tests reach the manager through it.
  void StartSession() {
    session_ = std::make_unique<CCaptureSession>(nullptr);
    manager_ = &session_->Manager();
    SetUpCaptureWorkPaths(Context(), prefix_.Scratch());
  }
  CWorkContext& Context() { return manager_->Context(); }

  // As a restart of the program: the manager goes, the folder values are set up again.
  void Restart() {
    session_.reset();
    StartSession();
    ASSERT_EQ(manager_->Initialize(), 1);
    manager_->Wrapper().SetPrepareMachine(false);
  }

  std::string ScanDetailsBytes() {
    return ReadHostFile(platform::Machine::HostPath(Utf8ToWide(manager_->SnapshotFolderPath() + "\\ScanDetails.txt")));
  }

  FixturePrefix prefix_;
  std::unique_ptr<CCaptureSession> session_;
  CUIManager* manager_ = nullptr;
};

// Two sessions of one process (a wizard and a test, say) share no engine state: the rules one
// reads or edits, the reasons it records, the INI folders it relocates and its paths stay its own.
TEST_F(CaptureSessionTest, SessionsShareNoEngineState) {
  prefix_.WriteDriveCFile("rules.xml", R"(<Rules>
  <FileSystem><IncludedItems/><ExcludedItems><ExcludedEntry Name="\Noise" Description="noise"/></ExcludedItems></FileSystem>
  <RegistrySystem><IncludedItems/><ExcludedItems/></RegistrySystem>
</Rules>)");
  Context().RulesFilePath = L"C:\\rules.xml";
  CCaptureSession other(nullptr);
  SetUpCaptureWorkPaths(other.Context(), prefix_.Scratch() / "other");
  ASSERT_NE(&other.Manager(), manager_);
  EXPECT_NE(other.Context().RulesFilePath, Context().RulesFilePath);

  EXPECT_EQ(1u, session_->GetExcludedItems(xmlpath::kExcludedFileRules).size());
  EXPECT_TRUE(other.Rules().GetExcludedRules(RuleKind::kFiles).empty());
  ASSERT_TRUE(other.Rules().AddExcludedRule(RuleKind::kRegistry, L"HKEY_CURRENT_USER\\Other", L"other"));
  other.Rules().SetExclusionReason(L"C:\\App\\uninst.exe", L"its uninstaller");
  other.INIFolders().RecordINIFolder(L"C:\\App");
  EXPECT_TRUE(session_->Rules().GetExcludedRules(RuleKind::kRegistry).empty());
  EXPECT_TRUE(session_->Rules().ExclusionReason(L"C:\\App\\uninst.exe").empty());
  EXPECT_TRUE(session_->INIFolders().GetINIFolderTable().empty());

  // Ending one session leaves the other's rules as they were.
  session_.reset();
  manager_ = nullptr;
  EXPECT_EQ(L"its uninstaller", other.Rules().ExclusionReason(L"c:\\app\\UNINST.EXE"));
  EXPECT_EQ(1u, other.Rules().GetExcludedRules(RuleKind::kRegistry).size());
}

TEST_F(CaptureSessionTest, ChoicesAreSavedInKeyOrderWithSanitisedProductTexts) {
  ASSERT_EQ(manager_->Initialize(), 1);
  CaptureChoiceMap choices = Choices({L"C:\\Program Files\\"}, {L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"HKEY_CURRENT_USER\\Software"});
  choices[L"SetupFilePath"] = {L"Z:\\setups\\setup.exe"};
  choices[L"SetupFileInfo"] = {L"My: App?", L"1.0/2", L"Maker <Ltd>"};
  ASSERT_EQ(manager_->WriteScanDetails(choices), 1);
  EXPECT_EQ(manager_->GetSetupFileInfo().ApplicationName, L"My_ App_");
  EXPECT_EQ(manager_->GetSetupFileInfo().Version, L"1.0_2");
  EXPECT_EQ(manager_->GetSetupFileInfo().CompanyName, L"Maker _Ltd_");
  EXPECT_EQ(Context().ProjectFilePath, Utf8ToWide(Context().OutputFolder) + L"\\Packages\\My_ App__1.0_2.xml");

  // Record types in the file: File, Registry, Registry, three SetupFileInfo, SetupFilePath.
  std::string bytes = ScanDetailsBytes();
  std::vector<int> types;
  for (size_t position = 0; position + 8 <= bytes.size();) {
    types.push_back(bytes[position]);
    size_t length = static_cast<unsigned char>(bytes[position + 4]) | (static_cast<unsigned char>(bytes[position + 5]) << 8);
    position += 8 + length;
  }
  EXPECT_EQ(types, (std::vector<int>{1, 2, 2, 4, 4, 4, 3}));

  // After a restart with a capture waiting, the choices come back, the product texts as stored.
  manager_->SetSnapshotTakenMark(true);
  Context().ProjectFilePath.clear();
  Restart();
  ASSERT_EQ(manager_->ReadScanDetails(), 1);
  CaptureChoiceMap read = manager_->GetCaptureChoices();
  for (const wchar_t* list : {L"File", L"Registry", L"SetupFilePath"}) EXPECT_EQ(read[list], choices[list]) << WideToUtf8(list);
  EXPECT_EQ(read[L"SetupFileInfo"], (std::vector<std::wstring>{L"My_ App_", L"1.0_2", L"Maker _Ltd_"}));
  EXPECT_EQ(manager_->GetSetupFilePath(), L"Z:\\setups\\setup.exe");
  EXPECT_EQ(Context().ProjectFilePath, Utf8ToWide(Context().OutputFolder) + L"\\Packages\\My_ App__1.0_2.xml");
}

TEST_F(CaptureSessionTest, OldCaptureDataIsWipedUnlessACaptureIsWaiting) {
  prefix_.WriteDriveCFile("users/root/Temp/SnapShot/FileSystemDir/FirstSnapShot.txt", "");
  prefix_.WriteDriveCFile("users/root/AppData/Roaming/INIBackup/windows/old.ini", "[a]\nb=c\n");
  ASSERT_EQ(manager_->Initialize(), 1);
  EXPECT_FALSE(Context().SnapshotTaken);
  EXPECT_FALSE(fs::exists(prefix_.InDriveC("users/root/Temp/SnapShot/FileSystemDir/FirstSnapShot.txt")));
  EXPECT_FALSE(fs::exists(prefix_.InDriveC("users/root/AppData/Roaming/INIBackup/windows")));
  EXPECT_TRUE(fs::is_directory(prefix_.InDriveC("users/root/Temp/SnapShot")));
  EXPECT_TRUE(fs::is_directory(prefix_.InDriveC("users/root/AppData/Roaming/INIBackup")));
  EXPECT_FALSE(manager_->IsFirstSnapshotExist());

  // With the mark set, the data survives a restart.
  manager_->SetSnapshotTakenMark(true);
  EXPECT_EQ(platform::GetProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"", Context().ConfigFilePath), L"1");
  prefix_.WriteDriveCFile("users/root/Temp/SnapShot/FileSystemDir/FirstSnapShot.txt", "");
  Restart();
  EXPECT_TRUE(Context().SnapshotTaken);
  EXPECT_TRUE(fs::exists(prefix_.InDriveC("users/root/Temp/SnapShot/FileSystemDir/FirstSnapShot.txt")));
  // Only the file half exists: no first snapshot, and both halves start over.
  EXPECT_FALSE(manager_->IsFirstSnapshotExist());
  EXPECT_FALSE(manager_->Wrapper().FileEnumerator().FirstSnapshotTaken());

  // The end of the session removes the mark.
  EXPECT_EQ(manager_->Uninitialize(), 1);
  EXPECT_EQ(platform::GetProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"none", Context().ConfigFilePath),
            L"none");
  EXPECT_FALSE(manager_->IsInitialized());
}

TEST_F(CaptureSessionTest, WholeCaptureResumesAfterARestart) {
  prefix_.WriteDriveCFile("Program Files/App/keep.txt", "keep");
  prefix_.WriteDriveCFile("Program Files/App/change.txt", "v1");
  prefix_.WriteDriveCFile("windows/app.ini", "[Main]\nSetting=1\n");
  prefix_.AddSystemReg("\n[Software\\\\Vendor] 1700000000\n\"Old\"=\"1\"\n");
  ASSERT_EQ(manager_->Initialize(), 1);
  manager_->Wrapper().SetPrepareMachine(false);
  ASSERT_FALSE(manager_->IsFirstSnapshotExist());

  const CaptureChoiceMap choices = Choices({L"C:\\Program Files\\", L"C:\\windows\\"}, {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"});
  ASSERT_EQ(manager_->WriteScanDetails(choices), 1);
  ASSERT_EQ(manager_->CaptureSnapshot(), 1);
  manager_->SetSnapshotTakenMark(true);

  // What the installer does.
  prefix_.WriteDriveCFile("Program Files/App/change.txt", "version 2");
  prefix_.WriteDriveCFile("Program Files/App/new/added.dll", "MZ");
  prefix_.WriteDriveCFile("Program Files/App/new/app.exe", "MZ");
  prefix_.WriteDriveCFile("Program Files/App/new/tool.exe", "MZ");
  prefix_.WriteDriveCFile("windows/app.ini", "[Main]\nSetting=22\n");
  prefix_.AddSystemReg("\n[Software\\\\Vendor\\\\App] 1700000001\n\"Path\"=\"C:\\\\Program Files\\\\App\"\n");

  Restart();
  EXPECT_TRUE(Context().SnapshotTaken);
  ASSERT_TRUE(manager_->IsFirstSnapshotExist());  // both halves survived the restart
  EXPECT_EQ(manager_->GetCaptureChoices()[L"File"], choices.at(L"File"));
  ASSERT_EQ(manager_->CaptureSnapshot(), 1);
  ASSERT_EQ(manager_->CompareSnapshot(), 1);

  // The programs offered as shortcut targets are those the review leaves in the package: one set
  // aside (and the change file written again) is offered no more.
  const std::wstring folder = L"C:\\Program Files\\App\\new";
  std::vector<std::wstring> programs = session_->GetExecutableList();
  std::sort(programs.begin(), programs.end());
  EXPECT_EQ(programs, (std::vector<std::wstring>{folder + L"\\app.exe", folder + L"\\tool.exe"}));
  FolderFileMap* added = nullptr;
  FolderFileMap* modified = nullptr;
  FolderFileMap* deleted = nullptr;
  session_->GetFileChangeMaps(added, modified, deleted);
  std::vector<std::wstring>& files = (*added)[folder];
  ASSERT_NE(std::find(files.begin(), files.end(), folder + L"\\tool.exe"), files.end());
  files.erase(std::find(files.begin(), files.end(), folder + L"\\tool.exe"));
  session_->ExcludedFileChanges()[folder].push_back(folder + L"\\tool.exe");
  EXPECT_TRUE(session_->RewriteChanges(RuleKind::kFiles).succeeded());
  EXPECT_EQ(session_->GetExecutableList(), std::vector<std::wstring>{folder + L"\\app.exe"});

  ASSERT_EQ(manager_->GenerateProjectFile({}, {}), 1);

  pugi::xml_document project;
  ASSERT_TRUE(project.load_file(platform::Machine::HostPath(Context().ProjectFilePath).c_str()))
      << WideToUtf8(Context().ProjectFilePath);
  pugi::xml_node root = project.document_element();
  EXPECT_TRUE(root.select_node("FileSystem/AddedItems/DirectoryList/Directory[@Name='%PROGRAMFILES%\\App\\new']/File[@Name='added.dll']"));
  EXPECT_TRUE(root.select_node("FileSystem/ModifiedItems/DirectoryList/Directory[@Name='%PROGRAMFILES%\\App']/File[@Name='change.txt']"));
  EXPECT_FALSE(root.select_node("//File[@Name='keep.txt']"));
  EXPECT_FALSE(root.select_node("//File[@Name='tool.exe']"));
  EXPECT_FALSE(root.select_node("FileSystem/Included"));
  EXPECT_TRUE(root.select_node("RegistrySystem/AddedItems/SubKeyList/SubKey[@Name='HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App']"));
  EXPECT_TRUE(root.select_node("INIFileSystem/ModifiedItems/FileList/File[@Name='%WINDIR%\\app.ini']/Section[@Key='Setting'][@Value='22']"));
  EXPECT_TRUE(root.select_node("ProductInformation/ProductInformation[@ApplicationName='App'][@CompanyName='Vendor']"));
  // The snapshots and INI backups are gone once the project file exists.
  EXPECT_FALSE(fs::exists(prefix_.InDriveC("users/root/Temp/SnapShot")));
  EXPECT_FALSE(fs::exists(prefix_.InDriveC("users/root/AppData/Roaming/INIBackup")));
  EXPECT_EQ(manager_->Uninitialize(), 1);
}

// The pending mark names its machine: a mark of another machine (another prefix sharing the
// program folder) is neither taken for this machine's, nor replaced, nor removed; the setup's
// arguments come back with the choices after a restart.
TEST_F(CaptureSessionTest, PendingMarkBelongsToItsMachineAndArgumentsSurviveARestart) {
  const std::wstring self = platform::Machine::Name();
  ASSERT_FALSE(self.empty());
  ASSERT_EQ(manager_->Initialize(), 1);
  manager_->Wrapper().SetPrepareMachine(false);
  EXPECT_EQ(manager_->GetPendingMarkOwner(), PendingMarkOwner::kNone);

  const CaptureChoiceMap choices = Choices({L"C:\\Program Files\\"}, {});
  manager_->SetSetupArguments(L"/S /D=C:\\Program Files\\My App");
  ASSERT_EQ(manager_->WriteScanDetails(choices), 1);
  ASSERT_TRUE(manager_->SetSnapshotTakenMark(true));
  std::wstring named;
  EXPECT_EQ(manager_->GetPendingMarkOwner(&named), PendingMarkOwner::kThisMachine);
  EXPECT_EQ(named, self);
  Restart();
  EXPECT_TRUE(Context().SnapshotTaken);
  ASSERT_EQ(manager_->ReadScanDetails(), 1);
  EXPECT_EQ(manager_->GetSetupArguments(), L"/S /D=C:\\Program Files\\My App");
  // The four lists the pages know are unchanged by the added record.
  EXPECT_EQ(manager_->GetCaptureChoices().size(), 4u);
  EXPECT_EQ(manager_->GetCaptureChoices()[L"SetupFileInfo"], choices.at(L"SetupFileInfo"));

  // Another machine's mark.
  const std::wstring other = L"/srv/prefixes/other";
  platform::WriteProfileText(L"SnapshotDetails", L"CaptureMachine", other, Context().ConfigFilePath);
  Restart();
  EXPECT_FALSE(Context().SnapshotTaken);
  EXPECT_EQ(manager_->GetPendingMarkOwner(&named), PendingMarkOwner::kOtherMachine);
  EXPECT_EQ(named, other);
  EXPECT_FALSE(manager_->SetSnapshotTakenMark(true));
  EXPECT_FALSE(manager_->SetSnapshotTakenMark(false));
  EXPECT_EQ(manager_->Uninitialize(), 1);
  EXPECT_EQ(platform::GetProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"", Context().ConfigFilePath), L"1");
  EXPECT_EQ(platform::GetProfileText(L"SnapshotDetails", L"CaptureMachine", L"", Context().ConfigFilePath), other);

  // A mark written before marks named their machine counts as this machine's.
  platform::DeleteProfileKey(L"SnapshotDetails", L"CaptureMachine", Context().ConfigFilePath);
  Restart();
  EXPECT_TRUE(Context().SnapshotTaken);
  EXPECT_EQ(manager_->Uninitialize(), 1);
  EXPECT_EQ(manager_->GetPendingMarkOwner(), PendingMarkOwner::kNone);
}

}  // namespace
