// Project files crafted to make the build read or write outside the places they name: a file
// name that climbs or hides a folder or a drive, a folder with ".." or without a drive, a shortcut
// icon or target that climbs, an icon name that is a path, a product name (the package's file
// name) that is a path. The build refuses each before anything is read or written, naming the
// item; a sound project with odd but legal names is built.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "package/project_path_guard.h"
#include "package_fixture.h"

namespace {

using package_test::Builder;
using package_test::ProjectText;

struct Crafted {
  const char* name;
  std::string project;
  std::string named;  // the offending text, as the message must quote it
};

std::string Added(const std::string& folder, const std::string& file) {
  return "<Directory Name=\"" + folder + "\"><File Name=\"" + file + "\"/></Directory>";
}

std::string WithShortcut(const std::string& attributes) {
  return ProjectText(Added("%PROGRAMFILES%\\App", "app.exe"), "", "", "",
                     "<Shortcut Name=\"App\" ExeName=\"app.exe\" Directory=\"ProgramMenuFolder\" " + attributes + "/>");
}

std::string WithIconName(const std::string& name) {
  std::string text = ProjectText(Added("%PROGRAMFILES%\\App", "app.exe"));
  const std::string empty = "<ShortcutICONs/>";
  text.replace(text.find(empty), empty.size(),
               "<ShortcutICONs><Icon Name=\"" + name + "\" Size=\"4\" Data=\"AAAA\"/></ShortcutICONs>");
  return text;
}

TEST(CraftedProjectTest, RefusedBeforeAnythingIsReadOrWritten) {
  const Crafted cases[] = {
      {"climbing file name", ProjectText(Added("%PROGRAMFILES%\\App", "..\\..\\secret.txt")), "..\\..\\secret.txt"},
      {"file name with a drive", ProjectText(Added("%PROGRAMFILES%\\App", "C:\\secret.txt")), "C:\\secret.txt"},
      {"file name with a folder", ProjectText(Added("%PROGRAMFILES%\\App", "sub/secret.txt")), "sub/secret.txt"},
      {"dot-dot file name", ProjectText(Added("%PROGRAMFILES%\\App", "..")), "\"..\""},
      {"climbing folder", ProjectText(Added("%PROGRAMFILES%\\..\\..\\Secret", "a.txt")), "%PROGRAMFILES%\\..\\..\\Secret"},
      {"relative folder", ProjectText(Added("App\\Sub", "a.txt")), "App\\Sub"},
      {"second drive in a folder", ProjectText(Added("%PROGRAMFILES%\\D:\\x", "a.txt")), "%PROGRAMFILES%\\D:\\x"},
      {"climbing modified folder", ProjectText("", Added("%WINDIR%\\..\\x", "a.ini")), "%WINDIR%\\..\\x"},
      {"climbing INI file",
       ProjectText("", "", "",
                   "<AddedItems><FileList><File Name=\"%WINDIR%\\..\\x.ini\"><Section Name=\"s\" Key=\"k\" "
                   "Value=\"v\"/></File></FileList></AddedItems><ModifiedItems><FileList/></ModifiedItems>"
                   "<DeletedItems><FileList/></DeletedItems>"),
       "%WINDIR%\\..\\x.ini"},
      {"climbing icon", WithShortcut("Icon=\"%PROGRAMFILES%\\..\\..\\secret.ico\" IconIndex=\"0\""),
       "%PROGRAMFILES%\\..\\..\\secret.ico"},
      {"climbing target", WithShortcut("Icon=\"\" IconIndex=\"0\" Target=\"%PROGRAMFILES%\\App\\..\\..\\x.exe\""),
       "%PROGRAMFILES%\\App\\..\\..\\x.exe"},
      {"icon name with a folder", WithIconName("..\\..\\evil.ico"), "..\\..\\evil.ico"},
      {"icon name with a drive", WithIconName("C:\\evil.ico"), "C:\\evil.ico"},
  };
  for (const Crafted& c : cases) {
    SCOPED_TRACE(c.name);
    Builder builder;
    // A file outside every place the project names: the build must not read it into a package.
    builder.prefix().WriteDriveCFile("secret.txt", "secret");
    EXPECT_EQ(builder.Build(c.project), 0);
    ASSERT_FALSE(builder.errors().empty());
    EXPECT_NE(builder.errors().front().find(c.named), std::string::npos) << builder.errors().front();
    EXPECT_FALSE(std::filesystem::exists(builder.PackageHostPath()));
    EXPECT_FALSE(std::filesystem::exists(builder.PackageHostPath().string() + ".partial"));
    EXPECT_TRUE(builder.DirectiveText().empty());
  }
}

TEST(CraftedProjectTest, ProductNameIsThePackageNameOnlyWhenPlain) {
  // Without a package name the product's name names the file: a path there is refused.
  std::string project = ProjectText(Added("%PROGRAMFILES%\\App", "app.exe"));
  const std::string product = "ApplicationName=\"Example\"";
  project.replace(project.find(product), product.size(), "ApplicationName=\"..\\..\\evil\"");
  Builder builder;
  builder.context().PackageFileName.clear();
  EXPECT_EQ(builder.Build(project), 0);
  ASSERT_FALSE(builder.errors().empty());
  EXPECT_NE(builder.errors().front().find("..\\..\\evil"), std::string::npos) << builder.errors().front();
}

TEST(CraftedProjectTest, PlacesTellSafeFromUnsafe) {
  const struct {
    const wchar_t* path;
    bool full;
    bool plain;
  } cases[] = {
      {L"C:\\Program Files\\App", true, false},
      {L"C:", true, false},
      {L"C:\\", true, false},
      {L"\\\\server\\share\\x", true, false},
      {L"C:\\a\\..\\b", false, false},
      {L"C:\\a\\.\\b", false, false},
      {L"C:\\a\\\\b", false, false},
      {L"C:\\a/..", false, false},
      {L"C:\\a\\b:stream", false, false},
      {L"\\\\?\\C:\\x", false, false},
      {L"a\\b", false, false},
      {L"..", false, false},
      {L"it's [1] {2} %3% &4 <5> 😀.txt", false, true},
      {L"...dots", false, true},
      {L"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.path));
    EXPECT_EQ(IsSafeFullPath(c.path), c.full);
    EXPECT_EQ(IsSafePlainName(c.path), c.plain);
  }
}

}  // namespace
