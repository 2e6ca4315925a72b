#include "package/project_path_guard.h"

#include "core/strings.h"
#include "core/work_paths.h"
#include "project/change_types.h"
#include "project/xml_document_handler.h"
#include "project/xml_node_handler.h"

namespace {

bool IsDotStep(const std::wstring& step) { return step == L"." || step == L".."; }

class Finder {
 public:
  Finder(const CXMLDocumentHandler& project, std::vector<std::string>& problems)
      : root_(project.GetRootElement()), problems_(problems) {}

  std::vector<CXMLNodeHandler> Items(const wchar_t* listPath) const {
    if (!root_.IsValid()) return {};
    return root_.SelectSingleNode(listPath).GetChildren();
  }

  // `text` is in token form when `tokens` is set.
  void FullPath(const std::wstring& text, const char* what, bool tokens = true) {
    std::wstring path = text;
    if (tokens) FromTokenForm(path);
    if (!IsSafeFullPath(path)) Refuse(what, text, "is not a full path of its own (\"..\", \".\", a relative path or a colon inside)");
  }

  void PlainName(const std::wstring& text, const char* what, const std::wstring& in) {
    if (IsSafePlainName(text)) return;
    Refuse(what, text, "is not a plain name (a folder, a drive or \"..\" in it)" +
                           (in.empty() ? std::string() : " in " + WideToUtf8(in)));
  }

  // Places that may be empty (optional shortcut attributes) but never climb.
  void NoClimbing(const std::wstring& text, const char* what) {
    if (text.empty()) return;
    std::wstring path = text;
    FromTokenForm(path);
    size_t start = 0;
    while (start <= path.size()) {
      const size_t end = path.find_first_of(L"\\/", start);
      const std::wstring step = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
      if (IsDotStep(step)) {
        Refuse(what, text, "climbs out of its folder (\"..\" or \".\" in it)");
        return;
      }
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
  }

 private:
  void Refuse(const char* what, const std::wstring& text, const std::string& why) {
    problems_.push_back(std::string("the project file is refused: ") + what + " \"" + WideToUtf8(text) + "\" " + why);
  }

  CXMLNodeHandler root_;
  std::vector<std::string>& problems_;
};

}  // namespace

bool IsSafePlainName(const std::wstring& name) {
  return !name.empty() && !IsDotStep(name) && name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool IsSafeFullPath(const std::wstring& path) {
  size_t start;
  if (path.size() == 2 && path[1] == L':') return IsSafeFullPath(path + L"\\");  // the drive's root
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
      ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    start = 3;
  } else if (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?", 0) != 0 && path.rfind(L"\\\\.", 0) != 0) {
    start = 2;
  } else {
    return false;
  }
  // Every step after the root: no dot steps, no colon (a second drive or a stream); a trailing
  // backslash is allowed, empty steps elsewhere are not.
  while (start < path.size()) {
    const size_t end = path.find_first_of(L"\\/", start);
    const std::wstring step = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (IsDotStep(step) || step.find(L':') != std::wstring::npos) return false;
    if (end == std::wstring::npos) break;
    if (step.empty() || path[end] == L'/') return false;
    start = end + 1;
  }
  return true;
}

std::vector<std::string> FindUnsafeProjectPlaces(const CXMLDocumentHandler& project, bool nameFromProduct) {
  std::vector<std::string> problems;
  Finder find(project, problems);
  for (const wchar_t* list : {xmlpath::kFileAdded, xmlpath::kFileModified}) {
    for (const CXMLNodeHandler& directory : find.Items(list)) {
      const std::wstring folder = directory.GetAttribute(0);
      find.FullPath(folder, "the folder");
      for (const CXMLNodeHandler& file : directory.GetChildren()) find.PlainName(file.GetAttribute(0), "the file name", folder);
    }
  }
  for (const wchar_t* list : {xmlpath::kIniAdded, xmlpath::kIniModified}) {
    for (const CXMLNodeHandler& file : find.Items(list)) find.FullPath(file.GetAttribute(0), "the INI file");
  }
  for (const CXMLNodeHandler& shortcut : find.Items(xmlpath::kShortcutList)) {
    const pugi::xml_node node = shortcut.node();
    // A link's icon may name its place with the machine's variables: only climbing is refused.
    find.NoClimbing(shortcut.GetAttribute(3), "the shortcut icon");
    find.NoClimbing(Utf8ToWide(node.attribute("Target").value()), "the shortcut target");
    find.NoClimbing(Utf8ToWide(node.attribute("Folder").value()), "the shortcut folder");
    find.NoClimbing(Utf8ToWide(node.attribute("WorkingFolder").value()), "the shortcut working folder");
  }
  for (const CXMLNodeHandler& icon : find.Items(xmlpath::kShortcutIcons)) {
    find.PlainName(icon.GetAttribute(0), "the icon name", L"");
  }
  if (nameFromProduct) {
    const CXMLNodeHandler product = project.GetRootElement().SelectSingleNode(xmlpath::kProductInformation).GetChild(0);
    const std::wstring name = product.IsValid() ? product.GetAttribute(0) : std::wstring();
    if (!name.empty()) find.PlainName(name, "the product name (the package's file name)", L"");
  }
  return problems;
}
