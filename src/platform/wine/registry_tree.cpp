#include "platform/wine/registry_tree.h"

#include <algorithm>
#include <cstring>

#include "core/strings.h"

namespace platform::wine {
namespace {

// Links through links are followed, but a loop of links must end.
constexpr int kMaxLinkHops = 32;
constexpr uint32_t kNone = UINT32_MAX;

inline uint32_t LowerUnit(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<uint32_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  return static_cast<uint32_t>(ToLowerSimple(static_cast<wchar_t>(c)));
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareRegistryNames16(a, b) == 0;
}

}  // namespace

int CompareRegistryNames16(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const uint32_t la = LowerUnit(a[i]);
    const uint32_t lb = LowerUnit(b[i]);
    if (la != lb) return la < lb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::u16string WideToRegistryName(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    auto c = static_cast<uint32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(c > 0x10FFFF ? u'\xFFFD' : static_cast<char16_t>(c));
    }
  }
  return out;
}

std::wstring RegistryNameToWide(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00)));
      ++i;
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
  }
  return out;
}

// ---- RegistryTree ----

uint32_t RegistryTree::FindChild(const Node& n, std::u16string_view name) const {
  uint32_t lo = n.firstChild;
  uint32_t hi = n.firstChild + n.childCount;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const int c = CompareRegistryNames16(Name(nodes_[mid]), name);
    if (c == 0) return mid;
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return kNone;
}

const RegistryTree::Value* RegistryTree::FindValue(const Node& n, std::u16string_view name) const {
  uint32_t lo = n.firstValue;
  uint32_t hi = n.firstValue + n.valueCount;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    const int c = CompareRegistryNames16(Name(values_[mid]), name);
    if (c == 0) return &values_[mid];
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return nullptr;
}

Status RegistryTree::OpenRoot(RootKey root, uint32_t& node) const {
  std::u16string path;
  switch (root) {
    case RootKey::LocalMachine:
      path = u"Registry\\Machine";
      break;
    case RootKey::Users:
      path = u"Registry\\User";
      break;
    case RootKey::CurrentUser:
      path = u"Registry\\User\\" + currentUserSid_;
      break;
    case RootKey::ClassesRoot:
      // Wine 8 gives the machine's classes only; it does not merge the user's.
      path = u"Registry\\Machine\\Software\\Classes";
      break;
    case RootKey::CurrentConfig:
      path = u"Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current";
      break;
    default:
      return kInvalidHandle;
  }
  return Walk(kTop, path, node);
}

Status RegistryTree::Walk(uint32_t from, std::u16string_view path, uint32_t& node) const {
  int hops = 0;
  return WalkFrom(from, path, hops, node);
}

Status RegistryTree::WalkFrom(uint32_t from, std::u16string_view path, int& hops, uint32_t& node) const {
  if (from >= nodes_.size()) return kInvalidHandle;
  uint32_t current = from;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view component = path.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    if (nodes_[current].status != 0) return nodes_[current].status;
    const uint32_t child = FindChild(nodes_[current], component);
    if (child == kNone) return kFileNotFound;
    current = child;
    if (nodes_[current].isLink) {
      const Status status = FollowLink(current, hops, current);
      if (status != kSuccess) return status;
    }
  }
  if (nodes_[current].status != 0) return nodes_[current].status;
  node = current;
  return kSuccess;
}

Status RegistryTree::FollowLink(uint32_t link, int& hops, uint32_t& node) const {
  if (++hops > kMaxLinkHops) return kFileNotFound;
  const Value* value = FindValue(nodes_[link], u"SymbolicLinkValue");
  if (value == nullptr) return kFileNotFound;
  std::u16string target(value->dataSize / 2, u'\0');
  const uint8_t* data = Data(*value);
  for (size_t i = 0; i < target.size(); ++i) {
    target[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  while (!target.empty() && target.back() == u'\0') target.pop_back();
  // "\Registry\..." names a path from the top, in any case.
  return WalkFrom(kTop, target, hops, node);
}

size_t RegistryTree::MemoryBytes() const {
  return sizeof(*this) + nodes_.capacity() * sizeof(Node) + values_.capacity() * sizeof(Value) +
         names_.capacity() * sizeof(char16_t) + data_.capacity();
}

// ---- RegistryTreeBuilder ----

struct RegistryTreeBuilder::BuildNode {
  uint32_t nameOffset = 0;
  uint32_t nameLength = 0;
  std::vector<uint32_t> children;             // sorted by name while childrenSorted
  std::vector<RegistryTree::Value> values;    // sorted by name while valuesSorted
  int32_t status = 0;
  bool isLink = false;
  // Wine writes its files in order, so names are found by a binary search. The first name out of
  // order moves the node's list to the builder's hash index (inserting in the middle of a sorted
  // list would make out-of-order input quadratic); Finish() sorts such lists once.
  bool childrenSorted = true;
  bool valuesSorted = true;
};

size_t RegistryTreeBuilder::NameHash::operator()(uint32_t owner, std::u16string_view name) const {
  uint64_t h = 14695981039346656037ull ^ owner;
  for (char16_t c : name) h = (h ^ LowerUnit(c)) * 1099511628211ull;
  return static_cast<size_t>(h);
}

bool RegistryTreeBuilder::NameEqual::Equal(uint32_t ownerA, std::u16string_view a, uint32_t ownerB,
                                           std::u16string_view b) const {
  return ownerA == ownerB && EqualIgnoringCase(a, b);
}

class RegistryTreeBuilder::Sink : public RegistryFileSink {
 public:
  Sink(RegistryTreeBuilder& builder, Branch branch) : builder_(builder), branch_(branch) {}

  uint32_t Mount() {
    if (mount_ == kNone) {
      if (branch_ == Branch::CurrentUser && builder_.currentUserSid_.empty()) {
        builder_.currentUserSid_ = sid_.empty() ? std::u16string(kDefaultUserSid) : sid_;
      }
      mount_ = builder_.BranchNode(branch_, sid_.empty() ? kDefaultUserSid : std::u16string_view(sid_));
    }
    return mount_;
  }

  void OnRoot(std::u16string_view path) override {
    if (branch_ != Branch::CurrentUser) return;
    constexpr std::u16string_view kUsers = u"REGISTRY\\User\\";
    if (path.size() > kUsers.size() && EqualIgnoringCase(path.substr(0, kUsers.size()), kUsers) &&
        path.find(u'\\', kUsers.size()) == std::u16string_view::npos) {
      sid_ = path.substr(kUsers.size());
    } else {
      errors_.push_back({2, "the root line names no user; S-1-5-21-0-0-0-1000 is assumed"});
    }
  }

  void OnKey(std::u16string_view path, size_t) override {
    uint32_t current = Mount();
    bool reuse = true;
    size_t depth = 0;
    nextComponents_.clear();
    nextNodes_.clear();
    size_t pos = 0;
    while (pos < path.size()) {
      size_t end = path.find(u'\\', pos);
      if (end == std::u16string_view::npos) end = path.size();
      const std::u16string_view component = path.substr(pos, end - pos);
      if (!component.empty()) {
        // Keys come in file order, so most of a path is the previous key's path.
        if (reuse && depth < components_.size() &&
            std::u16string_view(previousPath_).substr(components_[depth].first, components_[depth].second) ==
                component) {
          current = nodes_[depth];
        } else {
          reuse = false;
          current = builder_.FindOrAddChild(current, component);
        }
        nextComponents_.emplace_back(pos, component.size());
        nextNodes_.push_back(current);
        ++depth;
      }
      pos = end + 1;
    }
    previousPath_.assign(path);
    components_.swap(nextComponents_);
    nodes_.swap(nextNodes_);
    key_ = current;
  }

  void OnKeyLink() override {
    if (key_ != kNone) builder_.nodes_[key_].isLink = true;
  }

  void OnValue(std::u16string_view name, uint32_t type, const uint8_t* data, size_t size, size_t) override {
    if (key_ != kNone) builder_.AddValue(key_, name, type, data, size);
  }

  void OnError(size_t line, std::string_view message) override {
    errors_.push_back({line, std::string(message)});
  }

  std::vector<RegistryFileError>& errors() { return errors_; }

 private:
  RegistryTreeBuilder& builder_;
  Branch branch_;
  std::u16string sid_;
  uint32_t mount_ = kNone;
  uint32_t key_ = kNone;
  std::u16string previousPath_;
  std::vector<std::pair<size_t, size_t>> components_, nextComponents_;
  std::vector<uint32_t> nodes_, nextNodes_;
  std::vector<RegistryFileError> errors_;
};

RegistryTreeBuilder::RegistryTreeBuilder() {
  nodes_.emplace_back();  // the top
  const uint32_t registry = FindOrAddChild(RegistryTree::kTop, u"Registry");
  FindOrAddChild(registry, u"Machine");
  FindOrAddChild(registry, u"User");
}

RegistryTreeBuilder::~RegistryTreeBuilder() = default;

uint32_t RegistryTreeBuilder::BranchNode(Branch branch, std::u16string_view sid) {
  uint32_t node = FindOrAddChild(RegistryTree::kTop, u"Registry");
  switch (branch) {
    case Branch::Machine:
      return FindOrAddChild(node, u"Machine");
    case Branch::DefaultUser:
      return FindOrAddChild(FindOrAddChild(node, u"User"), u".Default");
    case Branch::CurrentUser:
      return FindOrAddChild(FindOrAddChild(node, u"User"), sid);
  }
  return node;
}

uint32_t RegistryTreeBuilder::FindOrAddChild(uint32_t parent, std::u16string_view name) {
  auto nameOf = [this](uint32_t id) { return NameOf(nodes_[id].nameOffset, nodes_[id].nameLength); };
  if (nodes_[parent].childrenSorted) {
    const std::vector<uint32_t>& children = nodes_[parent].children;
    if (!children.empty() && CompareRegistryNames16(name, nameOf(children.back())) <= 0) {
      const auto at = std::lower_bound(children.begin(), children.end(), name, [&](uint32_t id, std::u16string_view n) {
        return CompareRegistryNames16(nameOf(id), n) < 0;
      });
      if (CompareRegistryNames16(nameOf(*at), name) == 0) return *at;
      // Out of order: from now on this node's children are found through the index.
      nodes_[parent].childrenSorted = false;
      for (uint32_t child : children) {
        childIndex_.insert({parent, nodes_[child].nameOffset, nodes_[child].nameLength, child});
      }
    }
  } else {
    const auto found = childIndex_.find(NameProbe{parent, name});
    if (found != childIndex_.end()) return found->index;
  }
  const auto id = static_cast<uint32_t>(nodes_.size());
  BuildNode node;
  node.nameOffset = static_cast<uint32_t>(names_.size());
  node.nameLength = static_cast<uint32_t>(name.size());
  names_.append(name);
  nodes_.push_back(std::move(node));
  nodes_[parent].children.push_back(id);
  if (!nodes_[parent].childrenSorted) childIndex_.insert({parent, nodes_[id].nameOffset, nodes_[id].nameLength, id});
  return id;
}

void RegistryTreeBuilder::AddValue(uint32_t node, std::u16string_view name, uint32_t type, const uint8_t* data,
                                   size_t size) {
  BuildNode& owner = nodes_[node];
  std::vector<RegistryTree::Value>& values = owner.values;
  auto nameOf = [this](const RegistryTree::Value& v) { return NameOf(v.nameOffset, v.nameLength); };
  size_t index = values.size();  // where the same name already is, or values.size()
  if (owner.valuesSorted) {
    if (!values.empty() && CompareRegistryNames16(name, nameOf(values.back())) <= 0) {
      const auto at = std::lower_bound(values.begin(), values.end(), name,
                                       [&](const RegistryTree::Value& v, std::u16string_view n) {
                                         return CompareRegistryNames16(nameOf(v), n) < 0;
                                       });
      if (CompareRegistryNames16(nameOf(*at), name) == 0) {
        index = static_cast<size_t>(at - values.begin());
      } else {
        owner.valuesSorted = false;
        for (size_t i = 0; i < values.size(); ++i) {
          valueIndex_.insert({node, values[i].nameOffset, values[i].nameLength, static_cast<uint32_t>(i)});
        }
      }
    }
  } else {
    const auto found = valueIndex_.find(NameProbe{node, name});
    if (found != valueIndex_.end()) index = found->index;
  }
  RegistryTree::Value value;
  value.type = type;
  value.dataOffset = static_cast<uint32_t>(data_.size());
  value.dataSize = static_cast<uint32_t>(size);
  data_.insert(data_.end(), data, data + size);
  if (index < values.size()) {
    // The same value again: the later data wins, the first spelling of the name stays (as Wine loads).
    value.nameOffset = values[index].nameOffset;
    value.nameLength = values[index].nameLength;
    values[index] = value;
    return;
  }
  value.nameOffset = static_cast<uint32_t>(names_.size());
  value.nameLength = static_cast<uint32_t>(name.size());
  names_.append(name);
  values.push_back(value);
  if (!owner.valuesSorted) {
    valueIndex_.insert({node, value.nameOffset, value.nameLength, static_cast<uint32_t>(values.size() - 1)});
  }
}

std::vector<RegistryFileError> RegistryTreeBuilder::AddFile(Branch branch, std::string_view text) {
  Sink sink(*this, branch);
  const bool valid = ParseRegistryText(text, sink);
  const uint32_t mount = sink.Mount();
  if (!valid) nodes_[mount].status = static_cast<int32_t>(kBadFormat);
  return std::move(sink.errors());
}

void RegistryTreeBuilder::AddUnreadable(Branch branch, Status status) {
  if (branch == Branch::CurrentUser && currentUserSid_.empty()) currentUserSid_ = kDefaultUserSid;
  const uint32_t mount = BranchNode(branch, branch == Branch::CurrentUser ? std::u16string_view(currentUserSid_)
                                                                          : kDefaultUserSid);
  nodes_[mount].status = static_cast<int32_t>(status);
}

std::shared_ptr<const RegistryTree> RegistryTreeBuilder::Finish() {
  auto tree = std::make_shared<RegistryTree>();
  tree->nodes_.reserve(nodes_.size());
  size_t valueTotal = 0;
  for (const BuildNode& b : nodes_) valueTotal += b.values.size();
  tree->values_.reserve(valueTotal);
  // Breadth first, so that the children of every node lie side by side, in their order.
  // Lists that came out of order are put in Wine's order once, here.
  for (BuildNode& b : nodes_) {
    if (!b.childrenSorted) {
      std::sort(b.children.begin(), b.children.end(), [this](uint32_t x, uint32_t y) {
        return CompareRegistryNames16(NameOf(nodes_[x].nameOffset, nodes_[x].nameLength),
                                      NameOf(nodes_[y].nameOffset, nodes_[y].nameLength)) < 0;
      });
    }
    if (!b.valuesSorted) {
      std::sort(b.values.begin(), b.values.end(), [this](const RegistryTree::Value& x, const RegistryTree::Value& y) {
        return CompareRegistryNames16(NameOf(x.nameOffset, x.nameLength), NameOf(y.nameOffset, y.nameLength)) < 0;
      });
    }
  }
  childIndex_.clear();
  valueIndex_.clear();
  std::vector<uint32_t> order;
  order.reserve(nodes_.size());
  order.push_back(RegistryTree::kTop);
  for (size_t i = 0; i < order.size(); ++i) {
    BuildNode& b = nodes_[order[i]];
    RegistryTree::Node n;
    n.nameOffset = b.nameOffset;
    n.nameLength = b.nameLength;
    n.status = b.status;
    n.isLink = b.isLink ? 1 : 0;
    n.firstChild = static_cast<uint32_t>(order.size());
    n.childCount = static_cast<uint32_t>(b.children.size());
    order.insert(order.end(), b.children.begin(), b.children.end());
    n.firstValue = static_cast<uint32_t>(tree->values_.size());
    n.valueCount = static_cast<uint32_t>(b.values.size());
    tree->values_.insert(tree->values_.end(), b.values.begin(), b.values.end());
    tree->nodes_.push_back(n);
    std::vector<uint32_t>().swap(b.children);
    std::vector<RegistryTree::Value>().swap(b.values);
  }
  tree->names_ = std::move(names_);
  tree->names_.shrink_to_fit();
  tree->data_ = std::move(data_);
  tree->data_.shrink_to_fit();
  tree->currentUserSid_ = currentUserSid_.empty() ? std::u16string(kDefaultUserSid) : currentUserSid_;
  nodes_.clear();
  return tree;
}

}  // namespace platform::wine
