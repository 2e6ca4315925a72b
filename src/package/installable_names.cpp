#include "package/installable_names.h"

#include "core/strings.h"

namespace {

bool IsReservedDeviceName(const std::wstring& step) {
  std::wstring base = FoldAsciiUpper(step.substr(0, step.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) && base[3] >= L'1' &&
         base[3] <= L'9';
}

}  // namespace

bool IsInstallablePath(const std::wstring& path, std::string* why) {
  const size_t colon = path.find(L':');
  size_t start = colon == 1 ? 2 : 0;
  while (start < path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring step = path.substr(start, end - start);
    if (!step.empty()) {
      const char* problem = nullptr;
      if (IsReservedDeviceName(step)) problem = "is a reserved device name";
      else if (step.back() == L'.' || step.back() == L' ') problem = "ends with a dot or a space";
      if (problem != nullptr) {
        if (why != nullptr) {
          *why = "\"" + WideToUtf8(step) + "\" " + problem + ", which the Windows Installer cannot create";
        }
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}
