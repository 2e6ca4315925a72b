#include "ui/registry_tooltip.h"

#include <cstring>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/registry.h"

namespace {
// The buffers the tooltip reads with: longer names are cut, longer data is not shown.
constexpr size_t kNameCharacters = 50;
constexpr size_t kDataBytes = 150;
constexpr uint32_t kMaxValues = 20;
}  // namespace

std::wstring RegistryKeyTooltip(const std::wstring& keyPath) {
  const size_t slash = keyPath.find(L'\\');
  const std::wstring rootName = keyPath.substr(0, slash);
  const std::wstring rest = slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1);
  const auto root = platform::RootKeyTable.find(rootName);
  platform::RegistryKey key;
  if (root == platform::RootKeyTable.end() || key.Open(root->second, rest) != platform::kSuccess) return L"Can't read key";

  std::wstring lines;
  uint32_t index = 0;
  for (;; ++index) {
    if (index == kMaxValues) {
      lines += L"\n...";
      break;
    }
    std::wstring name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (key.EnumValue(index, name, type, data) != platform::kSuccess) break;
    lines += L"\n";
    lines += name.empty() ? std::wstring(L"(Default)") : name.substr(0, kNameCharacters - 1);
    if (data.size() > kDataBytes) {
      lines += L": ...";
    } else if (type == platform::kRegSz || type == platform::kRegExpandSz) {
      std::wstring text = Utf16LeToWide(data.data(), data.size());
      if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
      if (!text.empty()) lines += L": " + text;
    } else if (type == platform::kRegDword && data.size() == 4) {
      int32_t number = 0;
      std::memcpy(&number, data.data(), 4);
      lines += L": " + std::to_wstring(number);
    } else {
      lines += L": ...";
    }
  }
  if (index == 0) return L"No values";
  return L"Values:" + lines;
}
