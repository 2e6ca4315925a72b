// The project reader on a large capture's project: every list read in document order, with text
// and comments between the elements left out.
#include "package/project_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "core/strings.h"
#include "project/xml_document_handler.h"

namespace {

TEST(ProjectReaderTest, ReadsTensOfThousandsOfFoldersInOrder) {
  // A list of n folders is read in one walk (it once asked for the i-th child n times).
  constexpr int kFolders = 20000;
  std::wstring text = L"<CorvaneProject><FileSystem><AddedItems><DirectoryList>";
  for (int i = 0; i < kFolders; ++i) {
    text += L"<Directory Name=\"C:\\P\\" + std::to_wstring(i) + L"\"><File Name=\"a\"/><!-- c -->\n<File Name=\"b\"/>";
    text += L"</Directory>\n";
  }
  text += L"</DirectoryList></AddedItems></FileSystem><RegistrySystem><AddedItems><SubKeyList>";
  text += L"<SubKey Name=\"K1\"/><SubKey Name=\"K2\"><Value Name=\"v\" Type=\"REG_SZ\" Data=\"d\"/></SubKey>";
  text += L"</SubKeyList></AddedItems></RegistrySystem></CorvaneProject>";
  CXMLDocumentHandler document;
  ASSERT_EQ(document.LoadXML(text), 1);

  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  FolderFileMap map;
  project_reader::ReadFolders(document, xmlpath::kFileAdded, folders, files, map);
  ASSERT_EQ(folders.size(), static_cast<size_t>(kFolders));
  ASSERT_EQ(files.size(), 2u * kFolders);
  EXPECT_EQ(folders[12345], L"C:\\P\\12345");
  EXPECT_EQ(files[2 * 12345 + 1], L"C:\\P\\12345\\b");
  EXPECT_EQ(map[L"C:\\P\\9"], (std::vector<std::wstring>{L"C:\\P\\9\\a", L"C:\\P\\9\\b"}));

  std::vector<RegValueRecord> entries;
  RegKeyMap keys;
  project_reader::ReadRegistry(document, xmlpath::kRegAdded, entries, &keys);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].key, L"K1");
  EXPECT_TRUE(entries[0].valueName.empty());
  EXPECT_EQ(entries[1].valueName, L"v");
  EXPECT_EQ(keys[L"K2"].size(), 1u);
}

}  // namespace
