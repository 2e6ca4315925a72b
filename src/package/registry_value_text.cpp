#include "package/registry_value_text.h"

#include "core/strings.h"
#include "package/package_names.h"
#include "platform/registry.h"

namespace {

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

// The UTF-16 units of the data; an odd last byte is dropped.
std::wstring Units(const std::vector<uint8_t>& data) {
  return Utf16LeToWide(reinterpret_cast<const char*>(data.data()), data.size() & ~static_cast<size_t>(1));
}

std::wstring Formatted(const std::wstring& text, bool machine64) {
  return CPackageNames::FormattedText(text, machine64, true);
}

}  // namespace

std::string CRegistryValueText::TypeName(uint32_t type) {
  switch (type) {
    case platform::kRegNone: return "REG_NONE";
    case platform::kRegSz: return "REG_SZ";
    case platform::kRegExpandSz: return "REG_EXPAND_SZ";
    case platform::kRegBinary: return "REG_BINARY";
    case platform::kRegDword: return "REG_DWORD";
    case platform::kRegDwordBigEndian: return "REG_DWORD_BIG_ENDIAN";
    case platform::kRegLink: return "REG_LINK";
    case platform::kRegMultiSz: return "REG_MULTI_SZ";
    case platform::kRegQword: return "REG_QWORD";
    default: return "type " + std::to_string(type);
  }
}

bool CRegistryValueText::Format(uint32_t type, const std::vector<uint8_t>& data, bool machine64, std::wstring& value,
                                std::string& warning) {
  warning.clear();
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz: {
      std::wstring text = Units(data);
      text = text.substr(0, text.find(L'\0'));
      if (type == platform::kRegExpandSz) {
        value = L"#%" + Formatted(text, machine64);
      } else {
        // "#" would start a typed value: "##" keeps it a string.
        value = (!text.empty() && text[0] == L'#' ? L"#" : L"") + Formatted(text, machine64);
      }
      return true;
    }
    case platform::kRegMultiSz: {
      // Items end with a NUL and the list with one more; what lies between two NULs is an item,
      // an empty one too.
      std::wstring units = Units(data);
      for (int terminator = 0; terminator < 2 && !units.empty() && units.back() == L'\0'; ++terminator)
        units.pop_back();
      std::vector<std::wstring> items;
      if (!units.empty()) {
        size_t start = 0;
        for (size_t end = units.find(L'\0'); end != std::wstring::npos; end = units.find(L'\0', start)) {
          items.push_back(units.substr(start, end - start));
          start = end + 1;
        }
        items.push_back(units.substr(start));
      }
      // "[~]" at both ends: the list replaces whatever the value held.
      value = L"[~]";
      for (const std::wstring& item : items) value += Formatted(item, machine64) + L"[~]";
      return true;
    }
    case platform::kRegDword:
      if (data.size() == 4) {
        const uint32_t number = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        value = L"#" + std::to_wstring(static_cast<int32_t>(number));
        return true;
      }
      break;
    case platform::kRegBinary:
      value = L"#x" + Utf8ToWide(HexBytes(data));
      return true;
    default:
      break;
  }
  value = L"#x" + Utf8ToWide(HexBytes(data));
  warning = "has type " + TypeName(type) + " with " + std::to_string(data.size()) +
            " bytes, which the installer's Registry table cannot hold; it is packaged as REG_BINARY with the same "
            "bytes";
  return false;
}

std::wstring CRegistryValueText::FormatKey(const std::wstring& key) {
  return CPackageNames::FormattedText(key, false, false);
}

std::wstring CRegistryValueText::FormatName(const std::wstring& name) {
  if (name == L"+" || name == L"-" || name == L"*") return L"[\\" + name + L"]";
  return CPackageNames::FormattedText(name, false, false);
}
