// The change files and the project file: the included/excluded split, every writer with its
// element order and messages, the usability test, executables, and INI folder relocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "core/status_values.h"
#include "project_fixture.h"

namespace {

class ChangeFileTest : public ProjectDataTest {
 protected:
  void SetUp() override {
    ProjectDataTest::SetUp();
    MakeFolder("work");
  }
};

constexpr const char* kSplitFileSystem =
    "FileSystem\n"
    "  Excluded\n"
    "    DirectoryList\n"
    "  Included\n"
    "    FileSystem\n"
    "      AddedItems\n"
    "        DirectoryList\n"
    "      DeletedItems\n"
    "        DirectoryList\n"
    "      ModifiedItems\n"
    "        DirectoryList\n";

TEST_F(ChangeFileTest, SplitRestructuresOnlyTheChosenKindUnderAnyRootName) {
  CXMLDocumentHandler doc;
  // A template with another root name and extra content beyond the skeleton.
  ASSERT_EQ(1, doc.LoadXML(L"<MyProject note='x'><FileSystem><AddedItems><DirectoryList/></AddedItems>"
                           L"<ModifiedItems><DirectoryList/></ModifiedItems><DeletedItems><DirectoryList/>"
                           L"</DeletedItems></FileSystem><RegistrySystem><AddedItems><SubKeyList/></AddedItems>"
                           L"</RegistrySystem><Extra/></MyProject>"));
  ASSERT_EQ(1, doc.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", OnC(L"work\\FileChanges.xml")));
  CXMLDocumentHandler saved;
  ASSERT_EQ(1, saved.Load(OnC(L"work\\FileChanges.xml")));
  const std::string expected = std::string(kSplitFileSystem) + "RegistrySystem\n  AddedItems\n    SubKeyList\nExtra\n";
  EXPECT_EQ(expected, DumpTree(saved.GetRootElement()));
  // Splitting again gives the same structure, not a second copy.
  ASSERT_EQ(1, saved.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", OnC(L"work\\FileChanges.xml")));
  EXPECT_EQ(expected, DumpTree(saved.GetRootElement()));
  // The change paths of the split file all resolve.
  for (const wchar_t* path : {xmlpath::kIncludedFileAdded, xmlpath::kIncludedFileModified,
                              xmlpath::kIncludedFileDeleted, xmlpath::kExcludedFiles}) {
    EXPECT_TRUE(saved.GetRootElement().SelectSingleNode(path).IsValid()) << WideToUtf8(path);
  }
  EXPECT_EQ(0, saved.SplitIncludedExcluded(L"NoSuchKind", L"DirectoryList", OnC(L"work\\x.xml")));
}

// Every writer puts each new element first; the project's own lists hold the icons with the
// programs that use them, and the product texts.
TEST_F(ChangeFileTest, WritersPutEachNewElementFirst) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(TemplatePath()));
  const std::wstring out = OnC(L"work\\order.xml");
  RegKeyMap keys{{L"HKEY_LOCAL_MACHINE\\SOFTWARE\\A", {{L"", L"\"one\"", L"REG_SZ", L""}, {L"", L"@", L"REG_DWORD", L""}}},
                 {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\B", {{L"", L"\"multi\"", L"REG_MULTI_SZ", L""}}}};
  ASSERT_EQ(1, doc.InsertRegistryKeyAndValueInXML(xmlpath::kRegModified, keys, out));
  INIFileMap inis{{L"%WINDIR%\\a.ini", {{L"S1", L"K1", L"V1"}, {L"S2", L"K2", L"V=2"}}},
                  {L"%WINDIR%\\b.ini", {{L"S", L"K", L""}}}};
  ASSERT_EQ(1, doc.InsertINIKeyAndValueInXML(xmlpath::kIniModified, inis, out));
  ShortcutList shortcuts{{L"First", L"a.exe", L"DesktopFolder", L"C:\\windows\\a.ico", L"1"},
                         {L"Second", L"b.exe", L"ProgramMenuFolder", L"D:\\b.ico", L"2"}};
  ASSERT_EQ(1, doc.InsertShortcutInXML(xmlpath::kShortcutList, shortcuts, out));
  ASSERT_EQ(1, doc.InsertShortcutICONInXML(xmlpath::kShortcutIcons,
                                           {{L"example.ico", {L"6", L"AAABAA", {L"example.exe", L"b.exe"}}}}, out));
  ASSERT_EQ(1, doc.InsertProductInfoInXML(xmlpath::kProductInformation, L"Example", L"1.0", L"Example Ltd", out));
  CXMLDocumentHandler back;
  ASSERT_EQ(1, back.Load(out));
  CXMLNodeHandler root = back.GetRootElement();
  EXPECT_EQ(R"(SubKey Name="HKEY_LOCAL_MACHINE\SOFTWARE\B"
  Value Name=""multi"" Type=""
SubKey Name="HKEY_LOCAL_MACHINE\SOFTWARE\A"
  Value Name="@" Type="REG_DWORD"
  Value Name=""one"" Type="REG_SZ"
)",
            DumpTree(root.SelectSingleNode(xmlpath::kRegModified)));
  EXPECT_EQ(R"(File Name="%WINDIR%\b.ini"
  Section Name="S" Key="K" Value=""
File Name="%WINDIR%\a.ini"
  Section Name="S2" Key="K2" Value="V=2"
  Section Name="S1" Key="K1" Value="V1"
)",
            DumpTree(root.SelectSingleNode(xmlpath::kIniModified)));
  EXPECT_EQ(R"(Shortcut Name="Second" ExeName="b.exe" Directory="ProgramMenuFolder" Icon="D:\b.ico" IconIndex="2"
Shortcut Name="First" ExeName="a.exe" Directory="DesktopFolder" Icon="%WINDIR%\a.ico" IconIndex="1"
)",
            DumpTree(root.SelectSingleNode(xmlpath::kShortcutList)));
  EXPECT_EQ("Icon Name=\"example.ico\" Size=\"6\" Data=\"AAABAA\"\n  EXE Name=\"b.exe\"\n  EXE Name=\"example.exe\"\n",
            DumpTree(root.SelectSingleNode(xmlpath::kShortcutIcons)));
  EXPECT_EQ("ProductInformation ApplicationName=\"Example\" Version=\"1.0\" CompanyName=\"Example Ltd\"\n",
            DumpTree(root.SelectSingleNode(xmlpath::kProductInformation)));
}

TEST_F(ChangeFileTest, EmptyKeysAreDroppedOnlyFromThePlainAddedList) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(TemplatePath()));
  const std::wstring out = OnC(L"work\\keys.xml");
  RegKeyMap keys{{L"HKEY_CURRENT_USER\\Software\\Empty", {}}};
  ASSERT_EQ(1, doc.InsertRegistryKeyAndValueInXML(xmlpath::kRegAdded, keys, out));
  ASSERT_EQ(1, doc.InsertRegistryKeyAndValueInXML(xmlpath::kRegModified, keys, out));
  CXMLNodeHandler root = doc.GetRootElement();
  EXPECT_EQ("", DumpTree(root.SelectSingleNode(xmlpath::kRegAdded)));
  EXPECT_EQ("SubKey Name=\"HKEY_CURRENT_USER\\Software\\Empty\"\n", DumpTree(root.SelectSingleNode(xmlpath::kRegModified)));
  // The progress line ends on the last key written.
  EXPECT_EQ(L"Writing registry key 0", StatusDetail.Get());
}

TEST_F(ChangeFileTest, ExcludedItemsSetAsideForAReasonCarryIt) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(TemplatePath()));
  const std::wstring out = OnC(L"work\\FileChanges.xml");
  ASSERT_EQ(1, doc.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", out));
  ASSERT_EQ(1, doc.SplitIncludedExcluded(L"RegistrySystem", L"SubKeyList", out));
  doc.SetCaptureRecords(&rules_, nullptr);
  rules_.SetExclusionReason(L"C:\\App\\uninst.exe", L"its own uninstaller");
  rules_.SetExclusionReason(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Uninstall\\App", L"its own entry");
  FolderFileMap files{{L"C:\\App", {L"C:\\App\\uninst.exe", L"C:\\App\\other.log"}}};
  RegKeyMap keys{{L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Uninstall\\App", {}}, {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Noise", {}}};
  ASSERT_EQ(1, doc.InsertDirectoryAndFileInXML(xmlpath::kExcludedFiles, files, out, true));
  ASSERT_EQ(1, doc.InsertRegistryKeyAndValueInXML(xmlpath::kExcludedKeys, keys, out));
  // The same items in an included list carry nothing.
  ASSERT_EQ(1, doc.InsertRegistryKeyAndValueInXML(xmlpath::kIncludedRegModified, keys, out));
  CXMLNodeHandler root = doc.GetRootElement();
  EXPECT_EQ(R"(Directory Name="C:\App"
  File Name="other.log"
  File Name="uninst.exe" Reason="its own uninstaller"
)",
            DumpTree(root.SelectSingleNode(xmlpath::kExcludedFiles)));
  EXPECT_EQ(R"(SubKey Name="HKEY_LOCAL_MACHINE\SOFTWARE\Uninstall\App" Reason="its own entry"
SubKey Name="HKEY_LOCAL_MACHINE\SOFTWARE\Noise"
)",
            DumpTree(root.SelectSingleNode(xmlpath::kExcludedKeys)));
  EXPECT_EQ(std::string::npos, DumpTree(root.SelectSingleNode(xmlpath::kIncludedRegModified)).find("Reason"));
}

TEST_F(ChangeFileTest, FolderWriterKeepsOnlyUsableFiles) {
  prefix_.WriteDriveCFile("App/good.dll", "x");
  prefix_.WriteDriveCFile("App/Setup.EXE", "MZ");
  prefix_.WriteDriveCFile("App/Setup.exe.bak", "x");
  prefix_.WriteDriveCFile("App/work.tmp", "x");
  prefix_.WriteDriveCFile("App/link.lnk", "x");
  prefix_.WriteDriveCFile("Junk/only.tmp", "x");
  MakeFolder("App/folder.dat");
  FolderFileMap folders{
      {L"C:\\App",
       {L"C:\\App\\good.dll", L"C:\\App\\Setup.EXE", L"C:\\App\\Setup.exe.bak", L"C:\\App\\work.tmp",
        L"C:\\App\\link.lnk", L"C:\\App\\missing.txt", L"C:\\App\\folder.dat"}},
      {L"C:\\Junk", {L"C:\\Junk\\only.tmp"}},
      {L"C:\\NoFiles", {}}};
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(TemplatePath()));
  ASSERT_EQ(1, doc.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", OnC(L"work\\FileChanges.xml")));
  ASSERT_EQ(1, doc.Load(OnC(L"work\\FileChanges.xml")));
  doc.SetCaptureRecords(nullptr, &skipped_);
  FolderFileMap included = folders;
  ASSERT_EQ(1, doc.InsertDirectoryAndFileInXML(xmlpath::kIncludedFileAdded, included, OnC(L"work\\FileChanges.xml"), false));
  // A folder added without anything in it (C:\NoFiles) is kept: the installer made it empty.
  EXPECT_EQ(R"(Directory Name="C:\NoFiles"
Directory Name="C:\App"
  File Name="Setup.exe.bak"
  File Name="Setup.EXE"
  File Name="good.dll"
)",
            DumpTree(doc.GetRootElement().SelectSingleNode(xmlpath::kIncludedFileAdded)));
  // Folders that were not written are gone from the caller's map.
  ASSERT_EQ(2u, included.size());
  EXPECT_EQ(L"C:\\App", included.begin()->first);
  EXPECT_EQ(L"C:\\NoFiles", std::next(included.begin())->first);
  // Only the upper-case .EXE counts as an executable.
  ASSERT_EQ(1u, doc.GetCapturedExecutables().size());
  EXPECT_EQ(L"C:\\App\\Setup.EXE", doc.GetCapturedExecutables()[0]);
  const std::vector<std::wstring> skipped = skipped_.GetSkippedFiles();
  for (const wchar_t* path : {L"C:\\App\\work.tmp", L"C:\\App\\link.lnk", L"C:\\App\\missing.txt",
                              L"C:\\App\\folder.dat", L"C:\\Junk\\only.tmp"}) {
    EXPECT_EQ(1, std::count(skipped.begin(), skipped.end(), path)) << WideToUtf8(path);
  }

  // In the plain added list of a project every folder is written, even one without usable files;
  // with the skip flag nothing is tested and no executable is noted.
  CXMLDocumentHandler project;
  ASSERT_EQ(1, project.Load(TemplatePath()));
  FolderFileMap all = folders;
  ASSERT_EQ(1, project.InsertDirectoryAndFileInXML(xmlpath::kFileAdded, all, OnC(L"work\\p.xml"), false));
  EXPECT_EQ(3u, all.size());
  EXPECT_EQ(R"(Directory Name="C:\NoFiles"
Directory Name="C:\Junk"
Directory Name="C:\App"
  File Name="Setup.exe.bak"
  File Name="Setup.EXE"
  File Name="good.dll"
)",
            DumpTree(project.GetRootElement().SelectSingleNode(xmlpath::kFileAdded)));
  FolderFileMap modified = folders;
  ASSERT_EQ(1, project.InsertDirectoryAndFileInXML(xmlpath::kFileModified, modified, OnC(L"work\\p.xml"), true));
  EXPECT_EQ(2u, modified.size());  // the folder without files is not written
  EXPECT_EQ(7, project.GetRootElement().SelectSingleNode(xmlpath::kFileModified + std::wstring(L"/Directory[@Name='C:\\App']")).GetChildCount());
  EXPECT_TRUE(project.GetCapturedExecutables().empty());

  // The file is saved even when no folder was written.
  FolderFileMap none{{L"C:\\Gone", {L"C:\\Gone\\x.tmp"}}};
  ASSERT_EQ(1, project.InsertDirectoryAndFileInXML(xmlpath::kFileDeleted, none, OnC(L"work\\empty.xml"), false));
  EXPECT_TRUE(none.empty());
  CXMLDocumentHandler back;
  EXPECT_EQ(1, back.Load(OnC(L"work\\empty.xml")));
}

// The folder writer saves the finished list once. Its file is byte for byte what saving after
// every folder left behind (the last of those saves), and what the document holds.
TEST_F(ChangeFileTest, FolderWriterSavesTheFinishedListOnce) {
  FolderFileMap folders;
  for (int i = 0; i < 30; ++i) {
    const std::wstring folder = L"C:\\Program Files\\Vendor\\Part" + std::to_wstring(i);
    folders[folder] = {folder + L"\\a.dll", folder + L"\\b & <c>.txt", folder + L"\\Пример.dat"};
  }
  folders[L"C:\\Program Files\\Vendor\\Empty"] = {};
  auto splitDocument = [&](CXMLDocumentHandler& doc, const std::wstring& path) {
    ASSERT_EQ(1, doc.Load(TemplatePath()));
    ASSERT_EQ(1, doc.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", path));
    ASSERT_EQ(1, doc.Load(path));
  };

  // A save after every folder: one folder per call, in the map's order.
  const std::wstring everyFolder = OnC(L"work\\every.xml");
  CXMLDocumentHandler stepwise;
  splitDocument(stepwise, everyFolder);
  for (const auto& entry : folders) {
    FolderFileMap one{entry};
    ASSERT_EQ(1, stepwise.InsertDirectoryAndFileInXML(xmlpath::kIncludedFileAdded, one, everyFolder, true));
  }

  const std::wstring once = OnC(L"work\\once.xml");
  CXMLDocumentHandler whole;
  splitDocument(whole, once);
  FolderFileMap all = folders;
  ASSERT_EQ(1, whole.InsertDirectoryAndFileInXML(xmlpath::kIncludedFileAdded, all, once, true));
  const std::string saved = ReadHostFile(Host(once));
  EXPECT_EQ(31, whole.GetRootElement().SelectSingleNode(xmlpath::kIncludedFileAdded).GetChildCount());
  EXPECT_EQ(ReadHostFile(Host(everyFolder)), saved);
  EXPECT_EQ(whole.ToText(), saved);

  // Without the save the file stays as the split left it, until the caller saves: several lists
  // into one file, saved once, as the comparison writes them.
  const std::wstring later = OnC(L"work\\later.xml");
  CXMLDocumentHandler deferred;
  splitDocument(deferred, later);
  const std::string split = ReadHostFile(Host(later));
  FolderFileMap added = folders;
  FolderFileMap deleted{{L"C:\\Old", {L"C:\\Old\\gone.txt"}}};
  ASSERT_EQ(1, deferred.InsertDirectoryAndFileInXML(xmlpath::kIncludedFileAdded, added, later, true, false));
  ASSERT_EQ(1, deferred.InsertDirectoryAndFileInXML(xmlpath::kIncludedFileDeleted, deleted, later, true, false));
  EXPECT_EQ(split, ReadHostFile(Host(later)));
  ASSERT_TRUE(deferred.Save(later));
  EXPECT_EQ(deferred.ToText(), ReadHostFile(Host(later)));
  EXPECT_EQ(1, deferred.GetRootElement().SelectSingleNode(xmlpath::kIncludedFileDeleted).GetChildCount());
  EXPECT_EQ(31, deferred.GetRootElement().SelectSingleNode(xmlpath::kIncludedFileAdded).GetChildCount());
}

// On a long map the progress line follows every twentieth folder. A save that fails is reported
// once, by the result and the log; without a save nothing fails.
TEST_F(ChangeFileTest, FolderWriterProgressAndAFailedSave) {
  CaptureLog();
  {
    CXMLDocumentHandler doc;
    ASSERT_EQ(1, doc.Load(TemplatePath()));
    FolderFileMap folders;
    for (int i = 0; i < 45; ++i) folders[L"C:\\F" + std::to_wstring(100 + i)] = {};
    EXPECT_EQ(0, doc.InsertDirectoryAndFileInXML(xmlpath::kFileAdded, folders, L"Q:\\out.xml", true));
    EXPECT_EQ(45, doc.GetRootElement().SelectSingleNode(xmlpath::kFileAdded).GetChildCount());
    EXPECT_EQ(L"Writing folder 40 of 45", StatusDetail.Get());
    FolderFileMap more{{L"C:\\C", {L"C:\\C\\c.txt"}}};
    EXPECT_EQ(1, doc.InsertDirectoryAndFileInXML(xmlpath::kFileModified, more, L"Q:\\out.xml", true, false));
  }
  const std::string log = ErrorLog();
  const std::string message = "CXMLDocumentHandler::InsertDirectoryAndFileInXML Unable to save XML File";
  const size_t first = log.find(message);
  ASSERT_NE(std::string::npos, first) << log;
  EXPECT_EQ(std::string::npos, log.find(message, first + 1)) << log;
}

TEST_F(ChangeFileTest, ExecutableDetection) {
  for (const wchar_t* yes : {L"C:\\App\\Setup.EXE", L"C:\\App\\setup.exe", L"C:\\Tools.exe\\run.exe"})
    EXPECT_TRUE(IsExecutablePath(yes)) << WideToUtf8(yes);
  for (const wchar_t* no : {L"C:\\App\\Setup.exe.bak", L"C:\\App\\setup.ex", L".exe", L""})
    EXPECT_FALSE(IsExecutablePath(no)) << WideToUtf8(no);
}

// Token-form paths are expanded for the test; a folder or an unreadable file is not usable.
TEST_F(ChangeFileTest, UsabilityOfACapturedFile) {
  const auto host = prefix_.WriteDriveCFile("Program Files/App/a.dll", "x");
  EXPECT_TRUE(IsUsableCapturedFile(L"%PROGRAMFILES%\\App\\a.dll", &skipped_));
  EXPECT_FALSE(IsUsableCapturedFile(L"%PROGRAMFILES%\\App\\b.dll", &skipped_));
  ASSERT_EQ(1u, skipped_.GetSkippedFiles().size());
  EXPECT_EQ(L"C:\\Program Files\\App\\b.dll", skipped_.GetSkippedFiles()[0]);
  EXPECT_FALSE(IsUsableCapturedFile(L"C:\\Program Files\\App", &skipped_));  // whatever the rights
  std::filesystem::permissions(host, std::filesystem::perms::none);
  std::ifstream probe(host);
  if (probe) GTEST_SKIP() << "running with rights that read any file";
  EXPECT_FALSE(IsUsableCapturedFile(L"C:\\Program Files\\App\\a.dll", &skipped_));
}

TEST_F(ChangeFileTest, NotLoadedAndMissingListsAreLogged) {
  CaptureLog();
  {
    // Every writer refuses a document that did not load, and one without its list, writing nothing.
    auto refusedByEveryWriter = [](CXMLDocumentHandler& doc, FolderFileMap& folders, const std::wstring& out) {
      EXPECT_EQ(0, doc.InsertDirectoryAndFileInXML(xmlpath::kFileAdded, folders, out, true));
      EXPECT_EQ(0, doc.InsertRegistryKeyAndValueInXML(xmlpath::kRegAdded, {}, out));
      EXPECT_EQ(0, doc.InsertINIKeyAndValueInXML(xmlpath::kIniAdded, {}, out));
      EXPECT_EQ(0, doc.InsertShortcutInXML(xmlpath::kShortcutList, {}, out));
      EXPECT_EQ(0, doc.InsertShortcutICONInXML(xmlpath::kShortcutIcons, {}, out));
      EXPECT_EQ(0, doc.InsertProductInfoInXML(xmlpath::kProductInformation, L"a", L"b", L"c", out));
      EXPECT_FALSE(std::filesystem::exists(Host(out)));
      EXPECT_EQ(1u, folders.size());
    };
    FolderFileMap folders{{L"C:\\A", {}}};
    const std::wstring out = OnC(L"work\\out.xml");
    CXMLDocumentHandler doc;
    ASSERT_EQ(0, doc.Load(OnC(L"work\\missing.xml")));
    refusedByEveryWriter(doc, folders, out);
    EXPECT_EQ(0, doc.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", out));
    CXMLDocumentHandler bare;
    ASSERT_EQ(1, bare.LoadXML(L"<Other/>"));
    refusedByEveryWriter(bare, folders, out);

    CXMLDocumentHandler unsaved;
    ASSERT_EQ(1, unsaved.Load(TemplatePath()));
    EXPECT_EQ(0, unsaved.InsertProductInfoInXML(xmlpath::kProductInformation, L"a", L"b", L"c", L"Q:\\out.xml"));
  }
  const std::string log = ErrorLog();
  // Each writer logs the document not loaded and, but for the icon writer, the missing list.
  for (const std::string writer : {"InsertDirectoryAndFileInXML", "InsertRegistryKeyAndValueInXML", "InsertINIKeyAndValueInXML",
                                   "InsertShortcutInXML", "InsertShortcutICONInXML", "InsertProductInfoInXML"}) {
    EXPECT_NE(std::string::npos, log.find("CXMLDocumentHandler::" + writer + " XML File Not Loaded")) << writer;
    if (writer == "InsertShortcutICONInXML") continue;
    EXPECT_NE(std::string::npos, log.find("CXMLDocumentHandler::" + writer + " Unable to")) << writer;
  }
  EXPECT_NE(std::string::npos, log.find("CXMLDocumentHandler::InsertProductInfoInXML Unable to save XML File"));
}

TEST_F(ChangeFileTest, UpdateINIDirectoriesMovesRelocatedFolders) {
  CaptureLog();
  iniFolders_.RecordINIFolder(L"C:\\App");
  iniFolders_.RecordINIFolder(L"C:\\windows");
  iniFolders_.RecordINIFolder(L"C:\\App");  // a second record keeps the first
  iniFolders_.RecordINIFolder(L"D:\\Old");
  ASSERT_TRUE(iniFolders_.RelocateINIFolder(L"C:\\App", L"D:\\NewApp"));
  ASSERT_TRUE(iniFolders_.RelocateINIFolder(L"D:\\Old", L"C:\\Program Files\\New"));
  EXPECT_FALSE(iniFolders_.RelocateINIFolder(L"C:\\Unknown", L"D:\\x"));
  iniFolders_.RecordINIFolder(L"C:\\App");  // a relocation made in this run is kept
  EXPECT_EQ(L"D:\\NewApp", iniFolders_.GetINIFolderTable()[L"C:\\App"]);
  INIFileMap files{{L"C:\\App\\app.ini", {{L"S", L"K", L"V"}}},
                   {L"C:\\App\\sub\\deep.ini", {{L"S", L"K2", L"V2"}}},
                   {L"C:\\Apple\\other.ini", {{L"S", L"K3", L"V3"}}},
                   {L"%WINDIR%\\win.ini", {{L"W", L"K", L"V"}}},
                   {L"D:\\Old\\a.ini", {{L"S", L"K", L"V"}}}};
  {
    CXMLDocumentHandler doc;
    doc.UpdateINIDirectories(files, iniFolders_);
    INIFileMap empty;
    doc.UpdateINIDirectories(empty, iniFolders_);
    EXPECT_TRUE(empty.empty());
  }
  ASSERT_EQ(5u, files.size());
  EXPECT_EQ(1u, files.count(L"%PROGRAMFILES%\\New\\a.ini"));  // relocated into a token folder: token form
  EXPECT_EQ(1u, files.count(L"D:\\NewApp\\app.ini"));
  EXPECT_EQ(1u, files.count(L"D:\\NewApp\\sub\\deep.ini"));
  EXPECT_EQ(L"K2", files[L"D:\\NewApp\\sub\\deep.ini"][0].Key);
  // A folder that merely begins with the same letters is not relocated.
  EXPECT_EQ(1u, files.count(L"C:\\Apple\\other.ini"));
  EXPECT_EQ(1u, files.count(L"%WINDIR%\\win.ini"));
  const std::string log = ErrorLog();
  EXPECT_NE(std::string::npos, log.find("CXMLDocumentHandler::UpdateINIDirectories: Unable to update path for C:\\Apple\\other.ini"));
  EXPECT_EQ(std::string::npos, log.find("Unable to update path for C:\\App\\app.ini"));
}

}  // namespace
