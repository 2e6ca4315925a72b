#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/wine/errno_status.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::vector<FindData> Search(const std::wstring& pattern, Status* status = nullptr) {
  DirectorySearch search(pattern);
  if (status) *status = search.status();
  std::vector<FindData> out;
  FindData data;
  while (search.Next(data)) out.push_back(data);
  return out;
}

Status StatusOf(const std::wstring& pattern) {
  Status status = -1;
  Search(pattern, &status);
  return status;
}

std::vector<std::wstring> Names(const std::vector<FindData>& entries) {
  std::vector<std::wstring> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

const FindData* Find(const std::vector<FindData>& entries, const std::wstring& name) {
  for (const auto& e : entries) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

void SetMtime(const fs::path& path, int64_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

// FILETIME of a Unix time.
uint64_t FileTimeOf(int64_t seconds) { return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL; }

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
    prefix_.WriteDriveCFile("data/Alpha.INI", "[a]\nb=c\n");
    prefix_.WriteDriveCFile("data/beta.txt", "12345");
    prefix_.WriteDriveCFile("data/README", "no extension");
    prefix_.WriteDriveCFile("data/.hidden", "");
    prefix_.InDriveC("data/Sub", true);
  }
  FixturePrefix prefix_;
};

// Patterns match as on Windows ('*', '?', letters without regard to case, "*.*" and "x.*" also
// without a dot); entries come "." and ".." first, then sorted by upper-cased name; the status
// tells an empty result from a missing folder.
TEST_F(FileSystemTest, SearchMatchesSortsAndReportsAsOnWindows) {
  const struct {
    const wchar_t* pattern;
    Status status;
    std::vector<std::wstring> names;
  } cases[] = {
      {L"C:\\data\\*", kSuccess, {L".", L"..", L".hidden", L"Alpha.INI", L"beta.txt", L"README", L"Sub"}},
      {L"C:\\data\\*.*", kSuccess, {L".", L"..", L".hidden", L"Alpha.INI", L"beta.txt", L"README", L"Sub"}},
      {L"C:\\data\\*.ini", kSuccess, {L"Alpha.INI"}},
      {L"C:\\data\\B???.TXT", kSuccess, {L"beta.txt"}},
      {L"c:\\DATA\\BETA.txt", kSuccess, {L"beta.txt"}},
      {L"C:\\data\\readme.*", kSuccess, {L"README"}},
      {L"C:\\data\\*a*.i*i", kSuccess, {L"Alpha.INI"}},
      {L"C:\\data\\?.txt", kFileNotFound, {}},
      {L"C:\\data\\*.exe", kFileNotFound, {}},
      {L"C:\\nothere\\*", kPathNotFound, {}},
      {L"C:\\data\\beta.txt\\*", kPathNotFound, {}},
      {L"Q:\\*", kPathNotFound, {}},
      {L"no-folder-at-all", kPathNotFound, {}},
  };
  for (const auto& c : cases) {
    Status status = -1;
    EXPECT_EQ(c.names, Names(Search(c.pattern, &status))) << WideToUtf8(c.pattern);
    EXPECT_EQ(c.status, status) << WideToUtf8(c.pattern);
  }
  // The drive root has no "." and "..", as on Windows.
  auto root = Names(Search(L"C:\\*"));
  EXPECT_EQ(root.end(), std::find(root.begin(), root.end(), L"."));
  EXPECT_NE(root.end(), std::find(root.begin(), root.end(), L"data"));
}

// File links look like their targets; a dangling one is a file of no size.
TEST_F(FileSystemTest, EntriesCarrySizesTimesAndAttributes) {
  SetMtime(prefix_.driveC() / "data/beta.txt", 1700000000);
  chmod((prefix_.driveC() / "data/Alpha.INI").c_str(), 0444);
  fs::create_symlink(prefix_.driveC() / "data/beta.txt", prefix_.driveC() / "data/link.txt");
  fs::create_symlink(prefix_.driveC() / "data/gone", prefix_.driveC() / "data/dangling");
  const auto entries = Search(L"C:\\data\\*");
  const struct {
    const wchar_t* name;
    uint32_t attributes;
    uint32_t mask;  // the attribute bits compared
    uint64_t size;
  } cases[] = {
      {L"beta.txt", kAttrArchive, ~0u, 5},
      {L"Alpha.INI", kAttrArchive | kAttrReadOnly, ~0u, 8},
      {L".hidden", kAttrHidden, kAttrHidden, 0},
      {L"Sub", kAttrDirectory, ~0u, 0},
      {L".", kAttrDirectory, ~kAttrReadOnly, 0},
      {L"link.txt", 0, kAttrDirectory | kAttrReparsePoint, 5},
      {L"dangling", 0, kAttrDirectory, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    const FindData* entry = Find(entries, c.name);
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(c.attributes, entry->attributes & c.mask);
    EXPECT_EQ(c.size, entry->size);
  }
  EXPECT_EQ(FileTimeOf(1700000000), Find(entries, L"beta.txt")->lastWriteTime);
  EXPECT_NE(0u, Find(entries, L"beta.txt")->creationTime);
}

TEST_F(FileSystemTest, LinkFoldersAreListedButNotEntered) {
  // A link that leaves the drive and is no profile folder of the machine.
  TempFolder home;
  home.WriteFile("secret.txt", "x");
  fs::create_directory_symlink(home.path(), prefix_.InDriveC("users/root", true) / "Elsewhere");
  auto entries = Search(L"C:\\users\\root\\*");
  const FindData* link = Find(entries, L"Elsewhere");
  ASSERT_NE(nullptr, link);
  EXPECT_EQ(kAttrDirectory | kAttrReparsePoint, link->attributes & (kAttrDirectory | kAttrReparsePoint));
  EXPECT_EQ(kPathNotFound, StatusOf(L"C:\\users\\root\\Elsewhere\\*"));
  EXPECT_EQ(kPathNotFound, StatusOf(L"C:\\users\\root\\elsewhere\\secret.txt"));
  EXPECT_EQ(kAttrDirectory | kAttrReparsePoint,
            GetAttributes(L"C:\\users\\root\\Elsewhere") & (kAttrDirectory | kAttrReparsePoint));
  // The drive itself is no link folder.
  EXPECT_EQ(kAttrDirectory, GetAttributes(L"C:\\") & (kAttrDirectory | kAttrReparsePoint));
}

TEST_F(FileSystemTest, ProfileFolderLinksAreTheMachinesFolders) {
  // A user's own prefix: Wine linked Desktop and Documents to a home that also holds the prefix
  // (as ~/.wine), and Music to a folder inside that home.
  const fs::path home = prefix_.prefix().parent_path();
  const fs::path music = home / "scratch" / "music";
  fs::create_directories(music);
  std::ofstream(home / "note.txt").flush();
  prefix_.AddUserReg(
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1700000000\n"
      "\"My Music\"=\"C:\\\\users\\\\root\\\\Music\"\n");
  const fs::path user = prefix_.InDriveC("users/root", true);
  fs::create_directory_symlink(home, user / "Desktop");
  fs::create_directory_symlink(home, user / "Documents");
  fs::create_directory_symlink(music, user / "Music");
  const uint32_t kind = kAttrDirectory | kAttrReparsePoint;

  auto entries = Search(L"C:\\users\\root\\*");
  ASSERT_NE(nullptr, Find(entries, L"Desktop"));
  EXPECT_EQ(kAttrDirectory, Find(entries, L"Desktop")->attributes & kind);
  EXPECT_EQ(kAttrDirectory, Find(entries, L"Music")->attributes & kind);
  // Documents leads where the Desktop does: only the first of them is walked.
  EXPECT_EQ(kind, Find(entries, L"Documents")->attributes & kind);
  EXPECT_EQ(kAttrDirectory, GetAttributes(L"C:\\users\\root\\desktop") & kind);
  EXPECT_EQ(kind, GetAttributes(L"C:\\users\\root\\Documents") & kind);

  entries = Search(L"C:\\users\\root\\Desktop\\*");
  EXPECT_NE(nullptr, Find(entries, L"note.txt"));
  // The folder that holds the drive is not walked again from the Desktop; neither is the place
  // of another profile folder.
  EXPECT_EQ(kind, Find(entries, L"prefix")->attributes & kind);
  EXPECT_EQ(kAttrDirectory, Find(entries, L"scratch")->attributes & kind);
  EXPECT_EQ(kind, Find(Search(L"C:\\users\\root\\Desktop\\scratch\\*"), L"music")->attributes & kind);
  for (const wchar_t* refused : {L"C:\\users\\root\\Desktop\\prefix\\*", L"C:\\users\\root\\Desktop\\scratch\\music\\*",
                                 L"C:\\users\\root\\Documents\\*"}) {
    EXPECT_EQ(kPathNotFound, StatusOf(refused)) << refused;
  }
  EXPECT_EQ(kFileNotFound, StatusOf(L"C:\\users\\root\\Music\\*.txt"));  // there, and empty
}

TEST_F(FileSystemTest, LinkCyclesEndAndInDriveLinksMaySearch) {
  fs::create_directory_symlink(prefix_.driveC() / "data", prefix_.driveC() / "data/Sub/back");
  fs::create_directory_symlink(prefix_.driveC(), prefix_.driveC() / "data/toroot");
  EXPECT_EQ(kPathNotFound, StatusOf(L"C:\\data\\Sub\\back\\*"));
  EXPECT_EQ(kPathNotFound, StatusOf(L"C:\\data\\toroot\\*"));
  // A link that stays inside the drive and leads elsewhere can be searched by its path.
  fs::create_directory_symlink(prefix_.driveC() / "data/Sub", prefix_.InDriveC("other", true) / "sub-link");
  prefix_.WriteDriveCFile("data/Sub/inner.txt", "i");
  EXPECT_EQ((std::vector<std::wstring>{L"inner.txt"}), Names(Search(L"C:\\other\\sub-link\\*.txt")));
}

TEST_F(FileSystemTest, FoldersAreMadeAndRemoved) {
  EXPECT_EQ(kSuccess, MakeFolder(L"C:\\data\\New"));
  EXPECT_TRUE(fs::is_directory(prefix_.driveC() / "data/New"));
  EXPECT_EQ(kAlreadyExists, MakeFolder(L"C:\\DATA\\new"));
  EXPECT_EQ(kPathNotFound, MakeFolder(L"C:\\missing\\New"));
  EXPECT_EQ(kPathNotFound, MakeFolder(L"Q:\\New"));
  prefix_.WriteDriveCFile("data/New/f", "");
  EXPECT_EQ(kDirNotEmpty, RemoveFolder(L"C:\\data\\New"));
  EXPECT_EQ(kNotADirectory, RemoveFolder(L"C:\\data\\beta.txt"));
  EXPECT_EQ(kFileNotFound, RemoveFolder(L"C:\\data\\nothing"));
  fs::remove(prefix_.driveC() / "data/New/f");
  EXPECT_EQ(kSuccess, RemoveFolder(L"C:\\data\\new"));
  EXPECT_FALSE(fs::exists(prefix_.driveC() / "data/New"));
  // A link folder goes as a link; its target stays.
  TempFolder outside;
  outside.WriteFile("keep.txt", "k");
  fs::create_directory_symlink(outside.path(), prefix_.driveC() / "data/outlink");
  EXPECT_EQ(kSuccess, RemoveFolder(L"C:\\data\\outlink"));
  EXPECT_TRUE(fs::exists(outside.path() / "keep.txt"));
  // Never the drive itself.
  EXPECT_EQ(kAccessDenied, RemoveFolder(L"C:\\"));
  EXPECT_EQ(kAccessDenied, RemoveFolder(L"C:\\data\\.."));
  EXPECT_TRUE(fs::exists(prefix_.prefix() / "dosdevices/c:"));
}

TEST_F(FileSystemTest, CopyKeepsLastWriteTimeAndRespectsExistingTargets) {
  const fs::path beta = prefix_.driveC() / "data/beta.txt";
  SetMtime(beta, 1600000000);
  EXPECT_EQ(kSuccess, CopyFileTo(L"C:\\data\\beta.txt", L"C:\\data\\Sub\\copy.txt", true));
  const fs::path copy = prefix_.driveC() / "data/Sub/copy.txt";
  EXPECT_EQ("12345", ReadHostFile(copy));
  auto entries = Search(L"C:\\data\\Sub\\copy.txt");
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(FileTimeOf(1600000000), entries[0].lastWriteTime);

  prefix_.WriteDriveCFile("data/Sub/other.txt", "old");
  EXPECT_EQ(kFileExists, CopyFileTo(L"C:\\data\\beta.txt", L"C:\\data\\Sub\\other.txt", true));
  EXPECT_EQ("old", ReadHostFile(prefix_.driveC() / "data/Sub/other.txt"));
  EXPECT_EQ(kSuccess, CopyFileTo(L"C:\\data\\beta.txt", L"C:\\data\\Sub\\OTHER.TXT", false));
  EXPECT_EQ("12345", ReadHostFile(prefix_.driveC() / "data/Sub/other.txt"));

  chmod((prefix_.driveC() / "data/Sub/other.txt").c_str(), 0444);
  EXPECT_EQ(kAccessDenied, CopyFileTo(L"C:\\data\\README", L"C:\\data\\Sub\\other.txt", false));
  EXPECT_EQ(kFileNotFound, CopyFileTo(L"C:\\data\\none.txt", L"C:\\data\\Sub\\x.txt", false));
  EXPECT_EQ(kPathNotFound, CopyFileTo(L"C:\\data\\beta.txt", L"C:\\nope\\x.txt", false));
  EXPECT_EQ(kAccessDenied, CopyFileTo(L"C:\\data\\Sub", L"C:\\data\\x.txt", false));
  // Nothing half-made is left beside the targets.
  for (const auto& entry : fs::directory_iterator(prefix_.driveC() / "data/Sub")) {
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".copy-")) << entry.path();
  }
}

TEST_F(FileSystemTest, RemoveFileRefusesReadOnlyAndFolders) {
  chmod((prefix_.driveC() / "data/beta.txt").c_str(), 0444);
  EXPECT_EQ(kAccessDenied, RemoveFile(L"C:\\data\\beta.txt"));
  EXPECT_TRUE(PathExists(L"C:\\data\\beta.txt"));
  EXPECT_EQ(kAccessDenied, RemoveFile(L"C:\\data\\Sub"));
  EXPECT_EQ(kFileNotFound, RemoveFile(L"C:\\data\\none"));
  EXPECT_EQ(kPathNotFound, RemoveFile(L"C:\\none\\none"));
  EXPECT_EQ(kSuccess, RemoveFile(L"C:\\data\\readme"));
  EXPECT_FALSE(PathExists(L"C:\\data\\README"));
}

// The one write-then-rename of the program, and the rename and size it builds on.
TEST_F(FileSystemTest, ReplaceRenameAndSizeKeepWholeFiles) {
  const fs::path data = prefix_.driveC() / "data";
  EXPECT_EQ(kSuccess, ReplaceAtomically(L"C:\\data\\new.txt", "first"));
  EXPECT_EQ("first", ReadHostFile(data / "new.txt"));
  // An existing file keeps its permission bits; through a link, the link's target is replaced.
  chmod((data / "beta.txt").c_str(), 0640);
  EXPECT_EQ(kSuccess, ReplaceAtomically(L"C:\\data\\BETA.TXT", "replaced"));
  EXPECT_EQ("replaced", ReadHostFile(data / "beta.txt"));
  struct stat st {};
  ASSERT_EQ(0, stat((data / "beta.txt").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);
  fs::create_symlink("README", data / "link.txt");
  EXPECT_EQ(kSuccess, ReplaceAtomically(L"C:\\data\\link.txt", "through"));
  EXPECT_TRUE(fs::is_symlink(data / "link.txt"));
  EXPECT_EQ("through", ReadHostFile(data / "README"));
  // Refused as on Windows: the old content stays whole and nothing is left beside it.
  chmod((data / "beta.txt").c_str(), 0444);
  EXPECT_EQ(kAccessDenied, ReplaceAtomically(L"C:\\data\\beta.txt", "lost"));
  EXPECT_EQ("replaced", ReadHostFile(data / "beta.txt"));
  EXPECT_EQ(kAccessDenied, ReplaceAtomically(L"C:\\data\\Sub", "lost"));
  EXPECT_EQ(kPathNotFound, ReplaceAtomically(L"C:\\nope\\x.txt", "lost"));
  for (const auto& entry : fs::directory_iterator(data)) {
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".new-")) << entry.path();
  }

  uint64_t size = 0;
  EXPECT_EQ(kSuccess, GetFileSize(L"C:\\data\\new.txt", size));
  EXPECT_EQ(5u, size);
  EXPECT_EQ(kAccessDenied, GetFileSize(L"C:\\data\\Sub", size));
  EXPECT_EQ(kFileNotFound, GetFileSize(L"C:\\data\\none", size));

  // A rename replaces a file of the target's name (found without regard to case), never a folder.
  EXPECT_EQ(kSuccess, RenameFile(L"C:\\data\\new.txt", L"C:\\data\\alpha.ini"));
  EXPECT_EQ("first", ReadHostFile(data / "Alpha.INI"));
  EXPECT_FALSE(PathExists(L"C:\\data\\new.txt"));
  EXPECT_EQ(kAccessDenied, RenameFile(L"C:\\data\\Alpha.INI", L"C:\\data\\Sub"));
  EXPECT_EQ(kFileNotFound, RenameFile(L"C:\\data\\none", L"C:\\data\\x"));
}

TEST_F(FileSystemTest, AttributesReadAndWrite) {
  EXPECT_EQ(kInvalidAttributes, GetAttributes(L"C:\\data\\none"));
  EXPECT_EQ(kInvalidAttributes, GetAttributes(L"Q:\\x"));
  EXPECT_EQ(kAttrArchive, GetAttributes(L"C:\\data\\beta.txt"));
  EXPECT_EQ(kSuccess, SetAttributes(L"C:\\data\\beta.txt", kAttrArchive | kAttrReadOnly));
  EXPECT_EQ(kAttrArchive | kAttrReadOnly, GetAttributes(L"C:\\data\\beta.txt"));
  struct stat st {};
  ASSERT_EQ(0, stat((prefix_.driveC() / "data/beta.txt").c_str(), &st));
  EXPECT_EQ(0u, st.st_mode & 0222);
  EXPECT_EQ(kSuccess, SetAttributes(L"C:\\data\\beta.txt", kAttrArchive));
  EXPECT_EQ(kAttrArchive, GetAttributes(L"C:\\data\\beta.txt"));
  // Read-only is not applied to folders (it would only stop them being filled).
  EXPECT_EQ(kSuccess, SetAttributes(L"C:\\data\\Sub", kAttrDirectory | kAttrReadOnly));
  EXPECT_EQ(kAttrDirectory, GetAttributes(L"C:\\data\\Sub"));
  EXPECT_EQ(kFileNotFound, SetAttributes(L"C:\\data\\none", 0));
  EXPECT_TRUE(PathExists(L"c:\\DATA\\sub"));
  EXPECT_FALSE(PathExists(L"C:\\data\\none"));
}

TEST_F(FileSystemTest, MappedFileShowsContent) {
  MappedFile file;
  ASSERT_EQ(kSuccess, file.Open(L"C:\\data\\BETA.TXT"));
  ASSERT_EQ(5u, file.size());
  EXPECT_EQ(0, std::memcmp(file.data(), "12345", 5));
  MappedFile empty;
  EXPECT_EQ(kSuccess, empty.Open(L"C:\\data\\.hidden"));
  EXPECT_EQ(0u, empty.size());
  MappedFile bad;
  EXPECT_EQ(kFileNotFound, bad.Open(L"C:\\data\\none"));
  EXPECT_EQ(kPathNotFound, bad.Open(L"C:\\none\\none"));
  EXPECT_EQ(kAccessDenied, bad.Open(L"C:\\data\\Sub"));
  EXPECT_EQ(nullptr, bad.data());
  // Reopening replaces the view.
  ASSERT_EQ(kSuccess, file.Open(L"C:\\data\\README"));
  EXPECT_EQ(12u, file.size());
}

TEST(FileSystemErrnoTest, HostErrorsMapToWindowsStatuses) {
  TempFolder folder;
  folder.WriteFile("present/file", "");
  using platform::wine::ExistsMeaning;
  using platform::wine::StatusFromErrno;
  EXPECT_EQ(kFileNotFound, StatusFromErrno(ENOENT, folder.path() / "present/missing"));
  EXPECT_EQ(kPathNotFound, StatusFromErrno(ENOENT, folder.path() / "absent/missing"));
  EXPECT_EQ(kPathNotFound, StatusFromErrno(ENOTDIR, folder.path() / "present/file/x"));
  EXPECT_EQ(kAlreadyExists, StatusFromErrno(EEXIST, folder.path()));
  EXPECT_EQ(kFileExists, StatusFromErrno(EEXIST, folder.path(), ExistsMeaning::kFile));
}

}  // namespace
