#pragma once
#include <string>
#include <vector>

class CXMLDocumentHandler;

// A project file says where the build reads the captured files (folder + file name), where the
// package puts them, INI entries and shortcuts, and which icon files it stores. A crafted or
// damaged project could climb out of those places with "..", hide a folder in a file name or an
// icon name, or name a relative place; the build refuses such a project before it reads or
// writes anything. One message per offending item, naming it; empty when the project is sound.
//
// `nameFromProduct`: the package file is to be named after the product (no name was given), so
// the product name must be a plain file name too.
std::vector<std::string> FindUnsafeProjectPlaces(const CXMLDocumentHandler& project, bool nameFromProduct);

// The checks on one text, for the callers above and for tests.
// A full Windows path ("C:\..." or "\\server\share\..."), after token expansion, without "." or
// ".." steps and without a drive or stream colon inside.
bool IsSafeFullPath(const std::wstring& path);
// A name of one file or folder: not empty, no separator, no colon, not "." or "..".
bool IsSafePlainName(const std::wstring& name);
