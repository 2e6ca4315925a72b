#include "platform/registry.h"

#include <windows.h>

#include "core/strings.h"

// The native registry API, read only.
namespace platform {

struct RegistryKey::Impl {
  HKEY key = nullptr;
  bool owned = false;  // false for a predefined root opened with an empty path
  ~Impl() {
    if (key && owned) RegCloseKey(key);
  }
};

namespace {

HKEY RootHandle(RootKey root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<uint32_t>(root))); }

Status OpenBelow(HKEY parent, const std::wstring& path, std::unique_ptr<RegistryKey::Impl>& impl) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS) return static_cast<Status>(result);
  impl = std::make_unique<RegistryKey::Impl>();
  impl->key = key;
  impl->owned = true;
  return kSuccess;
}

}  // namespace

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

Status RegistryKey::Open(RootKey root, const std::wstring& path) {
  Close();
  return OpenBelow(RootHandle(root), path, impl_);
}

Status RegistryKey::Open(const RegistryKey& parent, const std::wstring& path) {
  if (!parent.IsOpen()) return kInvalidHandle;
  std::unique_ptr<Impl> opened;
  Status status = OpenBelow(parent.impl_->key, path, opened);
  if (status == kSuccess) impl_ = std::move(opened);
  return status;
}

bool RegistryKey::IsOpen() const { return impl_ && impl_->key; }
void RegistryKey::Close() { impl_.reset(); }

Status RegistryKey::QueryInfo(RegistryKeyInfo& info) const {
  if (!IsOpen()) return kInvalidHandle;
  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxData = 0;
  LONG result = RegQueryInfoKeyW(impl_->key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                 &maxValueName, &maxData, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<Status>(result);
  info = {subKeys, maxSubKey, values, maxValueName, maxData};
  return kSuccess;
}

Status RegistryKey::EnumKey(uint32_t index, std::wstring& name) const {
  if (!IsOpen()) return kInvalidHandle;
  wchar_t buffer[256];
  DWORD length = 256;
  LONG result = RegEnumKeyExW(impl_->key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<Status>(result);
  name.assign(buffer, length);
  return kSuccess;
}

Status RegistryKey::EnumValue(uint32_t index, std::wstring& name, uint32_t& type, std::vector<uint8_t>& data) const {
  if (!IsOpen()) return kInvalidHandle;
  RegistryKeyInfo info;
  if (Status s = QueryInfo(info); s != kSuccess) return s;
  std::vector<wchar_t> nameBuffer(info.maxValueNameLength + 1);
  std::vector<uint8_t> dataBuffer(info.maxValueDataSize + 2);
  DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
  DWORD dataSize = static_cast<DWORD>(dataBuffer.size());
  DWORD valueType = 0;
  LONG result = RegEnumValueW(impl_->key, index, nameBuffer.data(), &nameLength, nullptr, &valueType,
                              dataBuffer.data(), &dataSize);
  if (result != ERROR_SUCCESS) return static_cast<Status>(result);
  name.assign(nameBuffer.data(), nameLength);
  type = valueType;
  data.assign(dataBuffer.begin(), dataBuffer.begin() + dataSize);
  return kSuccess;
}

Status RegistryKey::QueryValue(const std::wstring& name, uint32_t& type, std::vector<uint8_t>& data) const {
  if (!IsOpen()) return kInvalidHandle;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    DWORD valueType = 0;
    LONG result = RegQueryValueExW(impl_->key, name.c_str(), nullptr, &valueType, nullptr, &size);
    if (result != ERROR_SUCCESS) return static_cast<Status>(result);
    std::vector<uint8_t> buffer(size);
    result = RegQueryValueExW(impl_->key, name.c_str(), nullptr, &valueType, buffer.data(), &size);
    if (result == ERROR_MORE_DATA) continue;  // grew meanwhile
    if (result != ERROR_SUCCESS) return static_cast<Status>(result);
    buffer.resize(size);
    type = valueType;
    data = std::move(buffer);
    return kSuccess;
  }
  return kMoreData;
}

Status RegistryKey::QueryDword(const std::wstring& name, uint32_t& value) const {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (Status s = QueryValue(name, type, data); s != kSuccess) return s;
  if (type != kRegDword || data.size() != 4) return kInvalidData;
  value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
  return kSuccess;
}

Status RegistryKey::QueryQword(const std::wstring& name, uint64_t& value) const {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (Status s = QueryValue(name, type, data); s != kSuccess) return s;
  if (type != kRegQword || data.size() != 8) return kInvalidData;
  value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | data[static_cast<size_t>(i)];
  return kSuccess;
}

Status RegistryKey::QueryBinary(const std::wstring& name, std::vector<uint8_t>& value) const {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (Status s = QueryValue(name, type, data); s != kSuccess) return s;
  if (type != kRegBinary) return kInvalidData;
  value = std::move(data);
  return kSuccess;
}

Status RegistryKey::QueryString(const std::wstring& name, std::wstring& value) const {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (Status s = QueryValue(name, type, data); s != kSuccess) return s;
  if ((type != kRegSz && type != kRegExpandSz) || data.size() % 2 != 0) return kInvalidData;
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
  size_t nul = text.find(L'\0');
  if (nul == std::wstring::npos) return kInvalidData;
  value = text.substr(0, nul);
  return kSuccess;
}

Status RegistryKey::QueryMultiString(const std::wstring& name, std::vector<std::wstring>& value) const {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (Status s = QueryValue(name, type, data); s != kSuccess) return s;
  if (type != kRegMultiSz || data.size() % 2 != 0) return kInvalidData;
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
  value.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\0', start);
    if (end == std::wstring::npos) end = text.size();
    if (end == start) break;
    value.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return kSuccess;
}

int CompareRegistryNames(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) -
         CSTR_EQUAL;
}

}  // namespace platform
