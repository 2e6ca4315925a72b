#include "platform/registry.h"

#include <algorithm>

#include "platform/wine/registry_store.h"
#include "platform/wine/registry_tree.h"

namespace platform {

using wine::RegistryTree;

struct RegistryKey::Impl {
  std::shared_ptr<const RegistryTree> tree;  // keeps the loaded registry alive while the key is open
  uint32_t node = 0;
};

namespace {

const RegistryTree::Value* LookUp(const RegistryKey::Impl* impl, const std::wstring& name, Status& status) {
  if (!impl) {
    status = kInvalidHandle;
    return nullptr;
  }
  const RegistryTree& tree = *impl->tree;
  const RegistryTree::Value* value = tree.FindValue(tree.node(impl->node), wine::WideToRegistryName(name));
  status = value ? kSuccess : kFileNotFound;
  return value;
}

// UTF-16LE units of a value's data.
std::u16string Units(const RegistryTree& tree, const RegistryTree::Value& value) {
  std::u16string units(value.dataSize / 2, u'\0');
  const uint8_t* data = tree.Data(value);
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return units;
}

}  // namespace

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

namespace {

// The key ends up open on `node` of `tree` when the walk there succeeded, and closed otherwise.
Status Attach(Status status, std::shared_ptr<const RegistryTree> tree, uint32_t node,
              std::unique_ptr<RegistryKey::Impl>& impl) {
  if (status != kSuccess) {
    impl.reset();
    return status;
  }
  auto opened = std::make_unique<RegistryKey::Impl>();
  opened->tree = std::move(tree);
  opened->node = node;
  impl = std::move(opened);
  return kSuccess;
}

}  // namespace

Status RegistryKey::Open(RootKey root, const std::wstring& path) {
  std::shared_ptr<const RegistryTree> tree;
  Status status = wine::AcquireRegistryTree(tree);
  uint32_t node = 0;
  if (status == kSuccess) status = tree->OpenRoot(root, node);
  if (status == kSuccess) status = tree->Walk(node, wine::WideToRegistryName(path), node);
  return Attach(status, std::move(tree), node, impl_);
}

Status RegistryKey::Open(const RegistryKey& parent, const std::wstring& path) {
  if (!parent.impl_) {
    if (&parent != this) impl_.reset();
    return kInvalidHandle;
  }
  // The parent's tree, not a newer one: a key and the keys opened from it see one registry.
  std::shared_ptr<const RegistryTree> tree = parent.impl_->tree;
  uint32_t node = 0;
  const Status status = tree->Walk(parent.impl_->node, wine::WideToRegistryName(path), node);
  return Attach(status, std::move(tree), node, impl_);
}

bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

void RegistryKey::Close() { impl_.reset(); }

Status RegistryKey::QueryInfo(RegistryKeyInfo& info) const {
  if (!impl_) return kInvalidHandle;
  const RegistryTree& tree = *impl_->tree;
  const RegistryTree::Node& node = tree.node(impl_->node);
  RegistryKeyInfo result;
  result.subKeyCount = node.childCount;
  for (uint32_t i = 0; i < node.childCount; ++i) {
    result.maxSubKeyNameLength = std::max(result.maxSubKeyNameLength, tree.node(node.firstChild + i).nameLength);
  }
  result.valueCount = node.valueCount;
  for (uint32_t i = 0; i < node.valueCount; ++i) {
    const RegistryTree::Value& value = tree.value(node.firstValue + i);
    result.maxValueNameLength = std::max(result.maxValueNameLength, value.nameLength);
    result.maxValueDataSize = std::max(result.maxValueDataSize, value.dataSize);
  }
  info = result;
  return kSuccess;
}

Status RegistryKey::EnumKey(uint32_t index, std::wstring& name) const {
  if (!impl_) return kInvalidHandle;
  const RegistryTree& tree = *impl_->tree;
  const RegistryTree::Node& node = tree.node(impl_->node);
  if (index >= node.childCount) return kNoMoreItems;
  // A link key is listed under its own name, as Windows lists it; opening it leads to its target.
  name = wine::RegistryNameToWide(tree.Name(tree.node(node.firstChild + index)));
  return kSuccess;
}

Status RegistryKey::EnumValue(uint32_t index, std::wstring& name, uint32_t& type, std::vector<uint8_t>& data) const {
  if (!impl_) return kInvalidHandle;
  const RegistryTree& tree = *impl_->tree;
  const RegistryTree::Node& node = tree.node(impl_->node);
  if (index >= node.valueCount) return kNoMoreItems;
  const RegistryTree::Value& value = tree.value(node.firstValue + index);
  name = wine::RegistryNameToWide(tree.Name(value));
  type = value.type;
  data.assign(tree.Data(value), tree.Data(value) + value.dataSize);
  return kSuccess;
}

Status RegistryKey::QueryValue(const std::wstring& name, uint32_t& type, std::vector<uint8_t>& data) const {
  Status status = kSuccess;
  const RegistryTree::Value* value = LookUp(impl_.get(), name, status);
  if (!value) return status;
  type = value->type;
  data.assign(impl_->tree->Data(*value), impl_->tree->Data(*value) + value->dataSize);
  return kSuccess;
}

Status RegistryKey::QueryDword(const std::wstring& name, uint32_t& result) const {
  Status status = kSuccess;
  const RegistryTree::Value* value = LookUp(impl_.get(), name, status);
  if (!value) return status;
  if (value->type != kRegDword || value->dataSize != 4) return kInvalidData;
  const uint8_t* d = impl_->tree->Data(*value);
  result = static_cast<uint32_t>(d[0]) | (static_cast<uint32_t>(d[1]) << 8) | (static_cast<uint32_t>(d[2]) << 16) |
           (static_cast<uint32_t>(d[3]) << 24);
  return kSuccess;
}

Status RegistryKey::QueryQword(const std::wstring& name, uint64_t& result) const {
  Status status = kSuccess;
  const RegistryTree::Value* value = LookUp(impl_.get(), name, status);
  if (!value) return status;
  if (value->type != kRegQword || value->dataSize != 8) return kInvalidData;
  const uint8_t* d = impl_->tree->Data(*value);
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | d[i];
  result = v;
  return kSuccess;
}

Status RegistryKey::QueryBinary(const std::wstring& name, std::vector<uint8_t>& result) const {
  Status status = kSuccess;
  const RegistryTree::Value* value = LookUp(impl_.get(), name, status);
  if (!value) return status;
  if (value->type != kRegBinary) return kInvalidData;
  result.assign(impl_->tree->Data(*value), impl_->tree->Data(*value) + value->dataSize);
  return kSuccess;
}

Status RegistryKey::QueryString(const std::wstring& name, std::wstring& result) const {
  Status status = kSuccess;
  const RegistryTree::Value* value = LookUp(impl_.get(), name, status);
  if (!value) return status;
  if (value->type != kRegSz && value->type != kRegExpandSz) return kInvalidData;
  const std::u16string units = Units(*impl_->tree, *value);
  if (value->dataSize % 2 != 0 || units.empty() || units.back() != u'\0') return kInvalidData;
  // What a caller of the Win32 API sees: the text up to the first NUL.
  result = wine::RegistryNameToWide(std::u16string_view(units.data(), units.find(u'\0')));
  return kSuccess;
}

Status RegistryKey::QueryMultiString(const std::wstring& name, std::vector<std::wstring>& result) const {
  Status status = kSuccess;
  const RegistryTree::Value* value = LookUp(impl_.get(), name, status);
  if (!value) return status;
  if (value->type != kRegMultiSz || value->dataSize % 2 != 0) return kInvalidData;
  const std::u16string units = Units(*impl_->tree, *value);
  // An empty list is stored by Wine's reg.exe as a single NUL; every other list ends with two.
  const bool emptyList = units.size() == 1 && units[0] == u'\0';
  if (!emptyList && (units.size() < 2 || units[units.size() - 1] != u'\0' || units[units.size() - 2] != u'\0')) {
    return kInvalidData;
  }
  std::vector<std::wstring> strings;
  size_t start = 0;
  while (start < units.size()) {
    const size_t end = units.find(u'\0', start);
    if (end == start) break;  // the empty string ends the list
    strings.push_back(wine::RegistryNameToWide(std::u16string_view(units).substr(start, end - start)));
    start = end + 1;
  }
  result = std::move(strings);
  return kSuccess;
}

int CompareRegistryNames(std::wstring_view a, std::wstring_view b) {
  return wine::CompareRegistryNames16(wine::WideToRegistryName(a), wine::WideToRegistryName(b));
}

}  // namespace platform
