// The generic XML layer: loading with the loaded flag, paths relative to the root element,
// positional insertion and attributes, removal and replacement, indented saving, and bad input.
#include <gtest/gtest.h>

#include "project/xml_node_handler.h"
#include "project_fixture.h"

namespace {

class XmlLayerTest : public ProjectDataTest {};

TEST_F(XmlLayerTest, PathsAreRelativeToARootOfAnyName) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.LoadXML(L"<Anything><Other><FileSystem><AddedItems><DirectoryList Name='wrong'/>"
                           L"</AddedItems></FileSystem></Other><FileSystem><Deep><AddedItems><X>"
                           L"<DirectoryList Name='right'/></X></AddedItems></Deep></FileSystem></Anything>"));
  CXMLNodeHandler root = doc.GetRootElement();
  EXPECT_EQ(L"Anything", root.GetName());
  // "//" is the descendant axis: the list is found below a FileSystem CHILD of the root only.
  std::vector<CXMLNodeHandler> found = root.SelectNodes(L"FileSystem//AddedItems//DirectoryList");
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(L"right", found[0].GetAttribute(0));
  EXPECT_EQ(L"right", root.SelectSingleNode(L"FileSystem//AddedItems//DirectoryList").GetAttribute(0));
  EXPECT_FALSE(root.SelectSingleNode(L"Nothing//Here").IsValid());
  // A path the XPath engine rejects gives empty results, not an exception.
  EXPECT_TRUE(root.SelectNodes(L"FileSystem[[").empty());
  EXPECT_FALSE(root.SelectSingleNode(L"///").IsValid());
  CXMLNodeHandler empty;
  EXPECT_TRUE(empty.SelectNodes(L"A").empty());
  EXPECT_EQ(0, empty.GetChildCount());
  EXPECT_FALSE(empty.InsertChild(0, L"X").IsValid());
  EXPECT_EQ(L"", empty.GetAttribute(0));
}

TEST_F(XmlLayerTest, InsertChildPlacesByElementIndex) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.LoadXML(L"<R><P><A/>some text<B/></P></R>"));
  CXMLNodeHandler parent = doc.GetRootElement().SelectSingleNode(L"P");
  // Text between the children does not count as a child.
  EXPECT_EQ(2, parent.GetChildCount());
  ASSERT_TRUE(parent.InsertChild(0, L"X").IsValid());
  ASSERT_TRUE(parent.InsertChild(5, L"Y").IsValid());
  ASSERT_TRUE(parent.InsertChild(2, L"Z").IsValid());
  EXPECT_EQ("X\nA\nZ\nB\nY\n", DumpTree(parent));
  EXPECT_FALSE(parent.GetChild(5).IsValid());
  EXPECT_FALSE(parent.GetChild(-1).IsValid());
  // Names the file could not hold are refused; the document node takes no second root.
  EXPECT_FALSE(parent.InsertChild(0, L"").IsValid());
  EXPECT_FALSE(parent.InsertChild(0, L"a b").IsValid());
  EXPECT_FALSE(parent.InsertChild(0, L"<x>").IsValid());
  CXMLNodeHandler documentNode(doc.document());
  EXPECT_FALSE(documentNode.InsertChild(0, L"Second").IsValid());
  EXPECT_EQ(5, parent.GetChildCount());
}

TEST_F(XmlLayerTest, AttributesKeepTheOrderOfFirstSetting) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.LoadXML(L"<R/>"));
  CXMLNodeHandler e = doc.GetRootElement().InsertChild(0, L"E");
  e.SetAttribute(L"Name", L"n");
  e.SetAttribute(L"Type", L"t");
  e.SetAttribute(L"Extra", L"x");
  e.SetAttribute(L"Name", L"n2");  // replaced in place
  EXPECT_EQ(3, e.GetAttributeCount());
  EXPECT_EQ(L"n2", e.GetAttribute(0));
  EXPECT_EQ(L"t", e.GetAttribute(1));
  EXPECT_EQ(L"x", e.GetAttribute(2));
  EXPECT_EQ(L"", e.GetAttribute(3));
  EXPECT_EQ(L"", e.GetAttribute(-1));
}

TEST_F(XmlLayerTest, RemoveNodesAndReplaceChild) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.LoadXML(L"<R><K><L><L/></L><M/><L/></K><Keep/></R>"));
  CXMLNodeHandler root = doc.GetRootElement();
  // Nested matches: the outer one goes with its inner one, nothing is removed twice.
  root.RemoveNodes(L"K//L");
  EXPECT_EQ("K\n  M\nKeep\n", DumpTree(root));
  root.RemoveNodes(L"NoSuch");
  root.RemoveNodes(L"((");
  EXPECT_EQ("K\n  M\nKeep\n", DumpTree(root));

  // Replacement by a node of another document, which may go away afterwards.
  {
    CXMLDocumentHandler other;
    ASSERT_EQ(1, other.LoadXML(L"<O><K2 a='1'><C/></K2></O>"));
    CXMLNodeHandler replacement = other.GetRootElement().SelectSingleNode(L"K2");
    CXMLNodeHandler inserted = root.ReplaceChild(replacement, root.SelectSingleNode(L"K"));
    ASSERT_TRUE(inserted.IsValid());
    EXPECT_EQ(L"K2", inserted.GetName());
  }
  EXPECT_EQ("K2 a=\"1\"\n  C\nKeep\n", DumpTree(root));
  // The old node must be a child of this node; an ancestor cannot replace its own descendant.
  CXMLNodeHandler c = root.SelectSingleNode(L"K2/C");
  EXPECT_FALSE(root.ReplaceChild(root.SelectSingleNode(L"Keep"), c).IsValid());
  EXPECT_FALSE(root.SelectSingleNode(L"K2").ReplaceChild(root.SelectSingleNode(L"K2"), c).IsValid());
  EXPECT_TRUE(root.RemoveChild(root.SelectSingleNode(L"Keep")));
  EXPECT_FALSE(root.RemoveChild(c));  // not a direct child
  EXPECT_EQ("K2 a=\"1\"\n  C\n", DumpTree(root));
}

TEST_F(XmlLayerTest, SaveToEmptyPathWritesBackIndented) {
  MakeFolder("work");
  prefix_.WriteDriveCFile("work/doc.xml", "<Root><A><B x='1'/></A></Root>");
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(OnC(L"WORK\\Doc.xml")));  // found whatever the letter case
  EXPECT_TRUE(doc.IsLoaded());
  doc.GetRootElement().SelectSingleNode(L"A").InsertChild(0, L"New");
  ASSERT_TRUE(doc.Save());
  const std::string text = ReadHostFile(prefix_.driveC() / "work" / "doc.xml");
  EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>\n\t<A>\n\t\t<New />\n\t\t<B x=\"1\" />\n\t</A>\n</Root>\n",
            text);
  // Nothing of a half-written file stays beside it.
  const std::filesystem::directory_iterator work(prefix_.driveC() / "work");
  EXPECT_EQ(1, std::distance(work, std::filesystem::directory_iterator()));
  // Saved text loads again to the same tree.
  CXMLDocumentHandler again;
  ASSERT_EQ(1, again.Load(OnC(L"work\\doc.xml")));
  EXPECT_EQ(DumpTree(doc.GetRootElement()), DumpTree(again.GetRootElement()));
}

TEST_F(XmlLayerTest, BadFilesLoadAsNotLoaded) {
  MakeFolder("work");
  prefix_.WriteDriveCFile("work/malformed.xml", "<Root><A></Root>");
  prefix_.WriteDriveCFile("work/empty.xml", "");
  prefix_.WriteDriveCFile("work/textonly.xml", "just text");
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.LoadXML(L"<Root/>"));
  for (const wchar_t* path : {L"C:\\work\\malformed.xml", L"C:\\work\\empty.xml", L"C:\\work\\textonly.xml",
                              L"C:\\work\\missing.xml", L"C:\\work", L"Q:\\unmapped.xml", L"relative.xml", L""}) {
    EXPECT_EQ(0, doc.Load(path)) << WideToUtf8(path);
    EXPECT_FALSE(doc.IsLoaded());
    EXPECT_FALSE(doc.GetRootElement().IsValid());
  }
  EXPECT_EQ(0, doc.LoadXML(L"<a><b></a>"));
  // A document never loaded has no path to save back to; an unmapped drive cannot be written.
  CXMLDocumentHandler fresh;
  EXPECT_FALSE(fresh.Save());
  ASSERT_EQ(1, fresh.LoadXML(L"<R/>"));
  EXPECT_FALSE(fresh.Save(L"Q:\\x.xml"));
  EXPECT_FALSE(fresh.Save(OnC(L"no\\such\\folder\\x.xml")));
}

TEST_F(XmlLayerTest, SpecialTextRoundTrips) {
  MakeFolder("work");
  const std::wstring tricky = L"\"quoted\" & <angled> 'single' \u00e9t\u00e9 \u65e5\u672c \U0001F600";
  const std::wstring control = std::wstring(L"a\tb\nc") + wchar_t(1) + L"d";
  {
    CXMLDocumentHandler doc;
    ASSERT_EQ(1, doc.LoadXML(L"<R/>"));
    CXMLNodeHandler e = doc.GetRootElement().InsertChild(0, L"E");
    e.SetAttribute(L"Name", tricky);
    e.SetAttribute(L"Ctl", control);
    ASSERT_TRUE(doc.Save(OnC(L"work\\special.xml")));
  }
  CXMLDocumentHandler back;
  ASSERT_EQ(1, back.Load(OnC(L"work\\special.xml")));
  CXMLNodeHandler e = back.GetRootElement().GetChild(0);
  EXPECT_EQ(tricky, e.GetAttribute(0));
  EXPECT_EQ(control, e.GetAttribute(1));
}

TEST_F(XmlLayerTest, LoadsUtf16Files) {
  MakeFolder("work");
  std::string bytes = "\xFF\xFE";
  bytes += WideToUtf16Le(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><R><E Name=\"\u00e9\"/></R>");
  prefix_.WriteDriveCFile("work/utf16.xml", bytes);
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(OnC(L"work\\utf16.xml")));
  EXPECT_EQ(L"\u00e9", doc.GetRootElement().GetChild(0).GetAttribute(0));
  // Saved back as UTF-8 with a matching declaration, and still readable.
  ASSERT_TRUE(doc.Save());
  CXMLDocumentHandler again;
  ASSERT_EQ(1, again.Load(OnC(L"work\\utf16.xml")));
  EXPECT_EQ(L"\u00e9", again.GetRootElement().GetChild(0).GetAttribute(0));
}

}  // namespace
