#include "support/registry_change_lines.h"

#include <gtest/gtest.h>

std::vector<std::wstring> RegChangeLines(const RegKeyMap& map) {
  std::vector<std::wstring> lines;
  for (const auto& [key, records] : map) {
    std::wstring line = key;
    for (const RegValueRecord& record : records) {
      EXPECT_EQ(record.key, key);
      line += L" | " + record.valueName + L" " + record.typeName;
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::wstring> SubKeyListLines(CXMLDocumentHandler& document, const std::wstring& listPath) {
  std::vector<std::wstring> lines;
  CXMLNodeHandler list = document.GetRootElement().SelectSingleNode(listPath);
  for (long i = list.GetChildCount() - 1; i >= 0; --i) {
    CXMLNodeHandler subKey = list.GetChild(i);
    std::wstring line = subKey.GetAttribute(0);
    for (long j = subKey.GetChildCount() - 1; j >= 0; --j) {
      line += L" | " + subKey.GetChild(j).GetAttribute(0) + L" " + subKey.GetChild(j).GetAttribute(1);
    }
    lines.push_back(line);
  }
  return lines;
}

namespace {

template <typename Char>
std::vector<uint8_t> Stored(std::basic_string_view<Char> text) {
  std::vector<uint8_t> bytes;
  for (Char c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

}  // namespace

std::vector<uint8_t> StoredString(std::u16string_view text) { return Stored(text); }
std::vector<uint8_t> StoredString(std::wstring_view text) { return Stored(text); }

std::wstring StringValue(const platform::RegistryKey& key, const std::wstring& name) {
  std::wstring text;
  const platform::Status status = key.QueryString(name, text);
  return status == platform::kSuccess ? text : L"<status " + std::to_wstring(status) + L">";
}
