#include "platform/cabinet_maker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/wine/cabinet_join.h"
#include "platform/wine/cabinet_writer.h"
#include "platform/wine/ddf_parser.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace platform;
using platform::wine::CabinetCompression;
using platform::wine::DirectiveFile;
using platform::wine::ParseDirectiveFile;

namespace {

// The header exactly as the package builder writes it.
std::string Header(const std::string& diskDirectory) {
  return ".Option EXPLICIT\n"
         ".Set Cabinet = off\n"
         ".Set Compress = off\n"
         ".Set MaxDiskSize = CDROM\n"
         ".Set ReservePerCabinetSize = 6144\n"
         ".Set DiskDirectoryTemplate = '" + diskDirectory + "'\n"
         ".Set CompressionType = MSZIP\n"
         ".Set CompressionLevel = 7\n"
         ".Set CompressionMemory = 21\n"
         ".Set CabinetNameTemplate = 'MSIProject.cab'\n"
         ".Set Cabinet=on\n"
         ".Set Compress=on\n"
         ".Set UniqueFiles=off\n";
}

int Gcab(const std::vector<std::string>& arguments, std::string* output = nullptr) {
  std::vector<std::string> command = {"gcab"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunHostCommand(command, {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"}, output);
}

std::uint16_t U16At(const std::string& bytes, size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                    (static_cast<unsigned char>(bytes[offset + 1]) << 8));
}

size_t EntriesIn(const fs::path& folder) {
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    (void)entry;
    ++n;
  }
  return n;
}

TEST(CabinetDirectiveTest, ReadsTheBuildersDirectiveFile) {
  const std::string text = Header("C:\\Out\\Packages\\") +
                           "'C:\\Program Files\\App\\read me.txt' 'read_me.txt'\r\n"
                           "'C:\\Program Files\\App\\it''s.dll' 'it_s.dll'\n"
                           "\"C:\\Data\\say \"\"hi\"\".txt\" \"say_hi.txt\"\n"
                           "; a comment line\n"
                           "\n"
                           "   'C:\\Daten\\Grüße 日本.txt'   'Gruesse'   ; trailing comment\n"
                           "C:\\bare\\name.ini /inf=no\n";
  DirectiveFile parsed;
  std::string error;
  ASSERT_EQ(kSuccess, ParseDirectiveFile(text, parsed, error)) << error;
  EXPECT_EQ(L"C:\\Out\\Packages\\", parsed.diskDirectory);
  EXPECT_EQ(L"MSIProject.cab", parsed.cabinetName);
  ASSERT_EQ(5u, parsed.files.size());
  EXPECT_EQ(L"C:\\Program Files\\App\\read me.txt", parsed.files[0].source);
  EXPECT_EQ(L"read_me.txt", parsed.files[0].member);
  EXPECT_EQ(CabinetCompression::kMszip, parsed.files[0].compression);
  EXPECT_EQ(L"C:\\Program Files\\App\\it's.dll", parsed.files[1].source);
  EXPECT_EQ(L"C:\\Data\\say \"hi\".txt", parsed.files[2].source);
  EXPECT_EQ(L"C:\\Daten\\Grüße 日本.txt", parsed.files[3].source);
  EXPECT_EQ(L"Gruesse", parsed.files[3].member);
  EXPECT_EQ(19u, parsed.files[3].line);
  EXPECT_EQ(L"C:\\bare\\name.ini", parsed.files[4].source);
  EXPECT_EQ(L"name.ini", parsed.files[4].member);  // no member name: the file's own name
  EXPECT_FALSE(parsed.notes.empty());              // MaxDiskSize is not applied

  // A header alone is a valid, empty list; defaults apply without settings.
  ASSERT_EQ(kSuccess, ParseDirectiveFile(Header("C:\\Out\\"), parsed, error)) << error;
  EXPECT_TRUE(parsed.files.empty());
  ASSERT_EQ(kSuccess, ParseDirectiveFile("\xEF\xBB\xBF" "a.txt\n", parsed, error)) << error;
  EXPECT_EQ(L"DISK1", parsed.diskDirectory);
  EXPECT_EQ(L"1.CAB", parsed.cabinetName);
  ASSERT_EQ(1u, parsed.files.size());

  // Settings apply to the lines after them.
  ASSERT_EQ(kSuccess, ParseDirectiveFile(".Set SourceDir=C:\\src\n.Set DestinationDir=sub\n"
                                         "a.txt\n.Set Compress=off\n.Set CompressionType=LZX:21\n"
                                         ".New Folder\nD:\\abs.txt x\n",
                                         parsed, error)) << error;
  ASSERT_EQ(2u, parsed.files.size());
  EXPECT_EQ(L"C:\\src\\a.txt", parsed.files[0].source);
  EXPECT_EQ(L"sub\\a.txt", parsed.files[0].member);
  EXPECT_FALSE(parsed.files[0].newFolder);
  EXPECT_EQ(L"D:\\abs.txt", parsed.files[1].source);
  EXPECT_EQ(CabinetCompression::kNone, parsed.files[1].compression);
  EXPECT_TRUE(parsed.files[1].newFolder);
}

TEST(CabinetDirectiveTest, RefusesMalformedDirectivesWithTheirLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {".Option EXPLICIT\n.Set Frobnicate=1\n", "line 2"},       // undefined variable
      {".Bogus x\n", "line 1"},                                   // unknown directive
      {".Option STRICT\n", "line 1"},
      {".Set Compress=maybe\n", "line 1"},
      {".Set CompressionType=ROT13\n", "line 1"},
      {".Set CabinetNameTemplate\n", "line 1"},                  // no "="
      {".Set CabinetNameTemplate = 'x.cab\n", "line 1"},         // unterminated quote
      {".Set CabinetNameTemplate = 'x.cab' extra\n", "line 1"},
      {".New Cabinet\n", "line 1"},
      {"'C:\\a.txt\n", "line 1"},                                 // unterminated quote
      {"'C:\\a.txt'x 'b'\n", "line 1"},                          // glued to the quote
      {"'C:\\a.txt' '' \n", "line 1"},                           // empty member name
      {"'C:\\a.txt' 'm' extra\n", "line 1"},
      {"'' 'm'\n", "line 1"},                                     // empty source
      {".Set Cabinet=off\n'C:\\a.txt' 'm'\n", "line 2"},         // files outside a cabinet
      {"'C:\\a.txt' 'm'\n'C:\\b.txt' 'm'\n", "line 2"},          // the same member twice
      {"'C:\\a.txt' '" + std::string(256, 'n') + "'\n", "line 1"},
  };
  for (const auto& [text, where] : cases) {
    DirectiveFile parsed;
    std::string error;
    EXPECT_EQ(kInvalidData, ParseDirectiveFile(text, parsed, error)) << text;
    EXPECT_NE(std::string::npos, error.find(where)) << text << " -> " << error;
    EXPECT_TRUE(parsed.files.empty()) << text;
  }
  // Without .Option EXPLICIT an unknown variable is merely ignored; .Define makes one known.
  DirectiveFile parsed;
  std::string error;
  EXPECT_EQ(kSuccess, ParseDirectiveFile(".Set Frobnicate=1\n", parsed, error)) << error;
  EXPECT_EQ(kSuccess, ParseDirectiveFile(".Option EXPLICIT\n.Define Mine=1\n.Set Mine=2\n", parsed, error)) << error;
}

class CabinetMakerTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_.Activate(); }

  // Writes the directive file into C:\work\Temp and returns its Windows path.
  std::wstring WriteDirectives(const std::string& text) {
    prefix_.WriteDriveCFile("work/Temp/MSIProject.ddf", text);
    prefix_.WriteDriveCFile("work/Temp/BuildAllCab.bat",
                            "@echo off\r\ndel \"*.CAB\"\r\n\"MAKECAB.EXE\" /f \"MSIProject.ddf\"");
    return L"C:\\work\\Temp\\MSIProject.ddf";
  }
  fs::path Cabinet() const { return prefix_.driveC() / "out" / "Packages" / "MSIProject.cab"; }

  FixturePrefix prefix_;
  const std::wstring batch_ = L"C:\\work\\Temp\\BuildAllCab.bat";
};

TEST_F(CabinetMakerTest, WritesTheListedFilesUnderTheirMemberNames) {
  const std::string readMe = "read me\r\n";
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "line " + std::to_string(i * 7919 % 10007) + "\n";
  const std::string quoted = std::string("\0\x01\x02quoted", 9);
  const std::string unicode = "Grüße 日本\n";
  prefix_.WriteDriveCFile("Program Files/App/read me.txt", readMe);
  prefix_.WriteDriveCFile("Program Files/App/big.log", big);
  prefix_.WriteDriveCFile("Program Files/App/it's \"here\".dat", quoted);
  prefix_.WriteDriveCFile("Program Files/App/Grüße 日本.txt", unicode);
  fs::create_directories(prefix_.driveC() / "out" / "Packages");

  std::wstring ddf = WriteDirectives(Header("C:\\out\\Packages\\") +
                                     "'C:\\Program Files\\App\\read me.txt' 'read_me.txt'\n"
                                     "'C:\\Program Files\\App\\big.log' 'big.log'\n"
                                     "'C:\\Program Files\\App\\it''s \"here\".dat' 'it_s_here.dat'\n"
                                     "'c:\\program files\\app\\Grüße 日本.txt' 'Grüße_日本.txt'\n");
  ASSERT_EQ(kSuccess, MakeCabinet(ddf, batch_));
  ASSERT_TRUE(fs::is_regular_file(Cabinet()));
  EXPECT_EQ(1u, EntriesIn(Cabinet().parent_path()));  // no temporary file left beside it
  const std::string cabinet = ReadHostFile(Cabinet());
  ASSERT_GE(cabinet.size(), 44u);
  EXPECT_EQ("MSCF", cabinet.substr(0, 4));
  EXPECT_EQ(1u, U16At(cabinet, 26));  // one folder
  EXPECT_EQ(4u, U16At(cabinet, 28));  // four files
  EXPECT_LT(cabinet.size(), big.size() / 2);  // compressed

  std::string listing;
  ASSERT_EQ(0, Gcab({"-t", Cabinet().string()}, &listing)) << listing;
  EXPECT_EQ("read_me.txt\nbig.log\nit_s_here.dat\nGrüße_日本.txt\n", listing);
  TempFolder extracted;
  std::string output;
  ASSERT_EQ(0, Gcab({"-x", "-C", extracted.path().string(), Cabinet().string()}, &output)) << output;
  EXPECT_EQ(readMe, ReadHostFile(extracted.path() / "read_me.txt"));
  EXPECT_EQ(big, ReadHostFile(extracted.path() / "big.log"));
  EXPECT_EQ(quoted, ReadHostFile(extracted.path() / "it_s_here.dat"));
  EXPECT_EQ(unicode, ReadHostFile(extracted.path() / "Grüße_日本.txt"));

  // The disk directory is made when missing; relative paths are the directive file's folder's.
  prefix_.WriteDriveCFile("work/Temp/local.txt", "local");
  ddf = WriteDirectives(".Set DiskDirectoryTemplate=cabs\n.Set CabinetNameTemplate=x*.cab\nlocal.txt\n");
  ASSERT_EQ(kSuccess, MakeCabinet(ddf, batch_));
  listing.clear();
  ASSERT_EQ(0, Gcab({"-t", (prefix_.driveC() / "work" / "Temp" / "cabs" / "x1.cab").string()}, &listing));
  EXPECT_EQ("local.txt\n", listing);
}

TEST_F(CabinetMakerTest, FailuresLeaveNoCabinet) {
  prefix_.WriteDriveCFile("App/a.txt", "a");
  fs::create_directories(Cabinet().parent_path());
  const std::string old = "an old cabinet of an earlier build";

  // A missing source file: its status, and neither the old nor a partial cabinet stays.
  prefix_.WriteDriveCFile("out/Packages/MSIProject.cab", old);
  std::wstring ddf = WriteDirectives(Header("C:\\out\\Packages\\") + "'C:\\App\\a.txt' 'a'\n'C:\\App\\gone.txt' 'gone'\n");
  EXPECT_EQ(kFileNotFound, MakeCabinet(ddf, batch_));
  EXPECT_FALSE(fs::exists(Cabinet()));
  EXPECT_EQ(0u, EntriesIn(Cabinet().parent_path()));
  // The same in the second of two folders made at once: the first is stopped, no folder is left.
  ddf = WriteDirectives(Header("C:\\out\\Packages\\") +
                        "'C:\\App\\a.txt' 'a'\n.New Folder\n'C:\\App\\gone.txt' 'gone'\n");
  EXPECT_EQ(kFileNotFound, MakeCabinet(ddf, batch_));
  EXPECT_EQ(0u, EntriesIn(Cabinet().parent_path()));
  ddf = WriteDirectives(Header("C:\\out\\Packages\\") + "'C:\\NoFolder\\gone.txt' 'gone'\n");
  EXPECT_EQ(kPathNotFound, MakeCabinet(ddf, batch_));
  ddf = WriteDirectives(Header("C:\\out\\Packages\\") + "'C:\\App' 'folder'\n");
  EXPECT_EQ(kAccessDenied, MakeCabinet(ddf, batch_));
  ddf = WriteDirectives(Header("C:\\out\\Packages\\") + "'Q:\\unmapped.txt' 'q'\n");
  EXPECT_EQ(kPathNotFound, MakeCabinet(ddf, batch_));
  EXPECT_EQ(0u, EntriesIn(Cabinet().parent_path()));

  // An empty file list makes no cabinet (an empty one is not readable).
  prefix_.WriteDriveCFile("out/Packages/MSIProject.cab", old);
  ddf = WriteDirectives(Header("C:\\out\\Packages\\"));
  EXPECT_EQ(kNoMoreFiles, MakeCabinet(ddf, batch_));
  EXPECT_FALSE(fs::exists(Cabinet()));

  // Malformed directives and a missing directive file.
  ddf = WriteDirectives(Header("C:\\out\\Packages\\") + "'C:\\App\\a.txt' 'a'\n'C:\\App\\a.txt' 'a'\n");
  EXPECT_EQ(kInvalidData, MakeCabinet(ddf, batch_));
  EXPECT_FALSE(fs::exists(Cabinet()));
  EXPECT_EQ(kFileNotFound, MakeCabinet(L"C:\\work\\Temp\\missing.ddf", batch_));
  EXPECT_EQ(kPathNotFound, MakeCabinet(L"C:\\nowhere\\MSIProject.ddf", batch_));
  EXPECT_EQ(kPathNotFound, MakeCabinet(L"", batch_));
}

// A member marked for a new folder starts one; each folder is compressed on its own, as its first
// member says, and the folders are joined into one cabinet. The real limit of a folder (65535
// blocks of 32 KiB) is about 2 GB; a small one shows the behaviour.
TEST_F(CabinetMakerTest, FoldersAreCompressedApartAndJoinedAndOneBeyondTheLimitIsRefused) {
  std::vector<wine::CabinetMember> members;
  std::vector<std::string> contents;
  for (int i = 0; i < 4; ++i) {
    contents.push_back(std::string(60 + i, static_cast<char>('a' + i)));
    fs::path file = prefix_.WriteDriveCFile("big/f" + std::to_string(i), contents.back());
    members.push_back({file, "member" + std::to_string(i), CabinetCompression::kNone, i == 2});
  }
  members[2].compression = CabinetCompression::kMszip;  // the second folder's first member
  members[3].compression = CabinetCompression::kNone;   // a later member's setting does not count
  fs::path target = prefix_.driveC() / "big" / "all.cab";
  std::string error;
  ASSERT_EQ(kSuccess, wine::WriteCabinet(members, target, 62 + 63, error)) << error;
  const std::string cabinet = ReadHostFile(target);
  EXPECT_EQ(2u, U16At(cabinet, 26));      // two folders
  EXPECT_EQ(4u, U16At(cabinet, 28));      // four files
  EXPECT_EQ(0u, U16At(cabinet, 36 + 6));  // the first stored
  EXPECT_EQ(1u, U16At(cabinet, 44 + 6));  // the second MSZIP
  std::string listing;
  ASSERT_EQ(0, Gcab({"-t", target.string()}, &listing));
  EXPECT_EQ("member0\nmember1\nmember2\nmember3\n", listing);
  TempFolder extracted;
  ASSERT_EQ(0, Gcab({"-x", "-C", extracted.path().string(), target.string()}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(contents[i], ReadHostFile(extracted.path() / ("member" + std::to_string(i))));

  // One byte more than a folder holds: refused, naming where the limit was passed, nothing written.
  EXPECT_EQ(kInvalidData, wine::WriteCabinet(members, target.parent_path() / "too.cab", 62 + 62, error));
  EXPECT_NE(std::string::npos, error.find("f3")) << error;
  EXPECT_FALSE(fs::exists(target.parent_path() / "too.cab"));
  EXPECT_EQ(4u, EntriesIn(target.parent_path()) - 1);  // the four sources and all.cab only
  EXPECT_EQ(kNoMoreFiles, wine::WriteCabinet({}, target.parent_path() / "none.cab", 130, error));
  // More files than the header can count (libgcab wraps the count around and loses the rest).
  const std::vector<wine::CabinetMember> tooMany(kMaxCabinetFiles + 1, members[0]);
  EXPECT_EQ(kInvalidData, wine::WriteCabinet(tooMany, target.parent_path() / "many.cab", 1ull << 30, error));
  EXPECT_FALSE(fs::exists(target.parent_path() / "many.cab"));

  // A part that is no cabinet is not joined.
  EXPECT_EQ(kInvalidData, wine::JoinCabinets({target, members[0].source}, target.parent_path() / "joined.cab", error));
  EXPECT_FALSE(fs::exists(target.parent_path() / "joined.cab"));
}

TEST_F(CabinetMakerTest, AWatchedCabinetCountsItsBytesAndStopsWhenAsked) {
  std::vector<wine::CabinetMember> members;
  uint64_t total = 0;
  for (int i = 0; i < 5; ++i) {
    const std::string bytes(70000 + 1000 * i, static_cast<char>('p' + i));
    members.push_back({prefix_.WriteDriveCFile("watched/f" + std::to_string(i), bytes), "m" + std::to_string(i)});
    total += bytes.size();
  }
  const fs::path folder = prefix_.driveC() / "watched";
  for (bool folders : {false, true}) {
    members[2].newFolder = members[4].newFolder = folders;
    for (bool stop : {false, true}) {
      SCOPED_TRACE(std::string(folders ? "three folders, " : "one folder, ") + (stop ? "stopped" : "completed"));
      std::atomic<uint64_t> done{0};
      std::atomic<bool> stopFlag{stop};
      const CabinetWatch watch{&done, &stopFlag};
      const fs::path target = folder / (stop ? "stopped.cab" : "whole.cab");
      std::string error;
      const Status status = wine::WriteCabinet(members, target, wine::kMaxCabinetFolderBytes, error, &watch);
      if (stop) {
        EXPECT_EQ(kCancelled, status) << error;
        EXPECT_FALSE(fs::exists(target));
        EXPECT_EQ(6u, EntriesIn(folder));  // the five sources and whole.cab: no temporary or folder left
      } else {
        ASSERT_EQ(kSuccess, status) << error;
        EXPECT_EQ(total, done.load());  // every file counted once
        std::string listing;
        ASSERT_EQ(0, Gcab({"-t", target.string()}, &listing));
        EXPECT_EQ("m0\nm1\nm2\nm3\nm4\n", listing);
      }
    }
  }
}

// Cabinets of several megabytes come out whole (a buffered writer once corrupted every block past
// its first megabyte), in three folders made two at a time: gcab extracts every member byte for
// byte, checksums included.
TEST_F(CabinetMakerTest, ACabinetOfSeveralMegabytesExtractsWhole) {
  std::vector<wine::CabinetMember> members;
  std::vector<std::string> contents;
  uint32_t state = 12345;
  for (int i = 0; i < 3; ++i) {
    std::string bytes(1500000, '\0');
    for (char& c : bytes) {
      state = state * 1103515245u + 12345u;
      c = static_cast<char>('a' + (state >> 24) % 8);  // compressible, but not trivially
    }
    contents.push_back(bytes);
    members.push_back({prefix_.WriteDriveCFile("mb/f" + std::to_string(i), bytes), "m" + std::to_string(i),
                       CabinetCompression::kMszip, i > 0});
  }
  const fs::path target = prefix_.driveC() / "mb" / "big.cab";
  std::string error;
  ASSERT_EQ(kSuccess, wine::WriteCabinet(members, target, wine::kMaxCabinetFolderBytes, error)) << error;
  EXPECT_EQ(3u, U16At(ReadHostFile(target), 26));
  TempFolder extracted;
  std::string output;
  ASSERT_EQ(0, Gcab({"-x", "-C", extracted.path().string(), target.string()}, &output)) << output;
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(contents[i] == ReadHostFile(extracted.path() / ("m" + std::to_string(i)))) << i;
}

}  // namespace
