#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/registry.h"
#include "platform/status.h"
#include "platform/wine/registry_file_parser.h"

// The registry of a Wine prefix as one immutable tree, as the server holds it: "\Registry\Machine"
// from system.reg, "\Registry\User\.Default" from userdef.reg and "\Registry\User\<sid>" from
// user.reg. Open keys share it through a shared_ptr, so a reload never invalidates them, and any
// number of threads may read it at once.
namespace platform::wine {

// Wine's name order: per UTF-16 unit, lower-cased; on a tie the shorter name first.
int CompareRegistryNames16(std::u16string_view a, std::u16string_view b);

std::u16string WideToRegistryName(std::wstring_view text);  // UTF-16 units of a wide text
std::wstring RegistryNameToWide(std::u16string_view text);  // lone surrogates are kept as they are

// The SID under which Wine keeps the user's branch (it is the same for every Unix user).
inline constexpr std::u16string_view kDefaultUserSid = u"S-1-5-21-0-0-0-1000";

class RegistryTree {
 public:
  struct Node {
    uint32_t nameOffset = 0;
    uint32_t nameLength = 0;
    uint32_t firstChild = 0;
    uint32_t childCount = 0;
    uint32_t firstValue = 0;
    uint32_t valueCount = 0;
    int32_t status = 0;   // not 0: the branch of a file that could not be used
    uint32_t isLink = 0;
  };
  struct Value {
    uint32_t nameOffset = 0;
    uint32_t nameLength = 0;
    uint32_t type = 0;
    uint32_t dataOffset = 0;
    uint32_t dataSize = 0;
  };
  static constexpr uint32_t kTop = 0;  // the unnamed node above "Registry"

  // The node of a predefined root (links followed). kFileNotFound when it does not exist, or the
  // status of the file it lives in.
  Status OpenRoot(RootKey root, uint32_t& node) const;
  // Walks a relative path ("\"-separated, empty components ignored) from an open node, following
  // link keys. The start node must be one that Walk or OpenRoot returned.
  Status Walk(uint32_t from, std::u16string_view path, uint32_t& node) const;

  const Node& node(uint32_t index) const { return nodes_[index]; }
  const Value& value(uint32_t index) const { return values_[index]; }
  std::u16string_view Name(const Node& n) const { return {names_.data() + n.nameOffset, n.nameLength}; }
  std::u16string_view Name(const Value& v) const { return {names_.data() + v.nameOffset, v.nameLength}; }
  const uint8_t* Data(const Value& v) const { return data_.data() + v.dataOffset; }
  // The value of a node with a name equal under the collation, or nullptr.
  const Value* FindValue(const Node& n, std::u16string_view name) const;
  // The child of a node with a name equal under the collation, or UINT32_MAX.
  uint32_t FindChild(const Node& n, std::u16string_view name) const;

  size_t nodeCount() const { return nodes_.size(); }
  size_t valueCount() const { return values_.size(); }
  size_t MemoryBytes() const;
  const std::u16string& currentUserSid() const { return currentUserSid_; }

 private:
  friend class RegistryTreeBuilder;
  Status WalkFrom(uint32_t from, std::u16string_view path, int& hops, uint32_t& node) const;
  Status FollowLink(uint32_t link, int& hops, uint32_t& node) const;

  std::vector<Node> nodes_;
  std::vector<Value> values_;
  std::u16string names_;
  std::vector<uint8_t> data_;
  std::u16string currentUserSid_;
};

// Builds a tree from the files' texts. Each file hangs below its own branch.
class RegistryTreeBuilder {
 public:
  enum class Branch { Machine, DefaultUser, CurrentUser };

  RegistryTreeBuilder();
  ~RegistryTreeBuilder();
  RegistryTreeBuilder(const RegistryTreeBuilder&) = delete;
  RegistryTreeBuilder& operator=(const RegistryTreeBuilder&) = delete;

  // Adds a file's text below its branch (the user's branch is named by the SID of the file's
  // root line). Returns the lines that were skipped; a file that is not a registry file gives
  // its branch the status kBadFormat.
  std::vector<RegistryFileError> AddFile(Branch branch, std::string_view text);
  // A file that could not be read: its branch exists and opening it gives `status`.
  void AddUnreadable(Branch branch, Status status);
  std::shared_ptr<const RegistryTree> Finish();

 private:
  class Sink;
  struct BuildNode;
  uint32_t BranchNode(Branch branch, std::u16string_view sid);
  uint32_t FindOrAddChild(uint32_t parent, std::u16string_view name);
  void AddValue(uint32_t node, std::u16string_view name, uint32_t type, const uint8_t* data, size_t size);
  std::u16string_view NameOf(uint32_t offset, uint32_t length) const {
    return {names_.data() + offset, length};
  }

  // A child (index: its node) or a value (index: its place in the node's list) of the node
  // `owner`, found by its name under the collation.
  struct NameEntry {
    uint32_t owner;
    uint32_t nameOffset;
    uint32_t nameLength;
    uint32_t index;
  };
  struct NameProbe {
    uint32_t owner;
    std::u16string_view name;
  };
  struct NameHash {
    using is_transparent = void;
    const std::u16string* names;
    size_t operator()(uint32_t owner, std::u16string_view name) const;
    size_t operator()(const NameEntry& e) const {
      return (*this)(e.owner, {names->data() + e.nameOffset, e.nameLength});
    }
    size_t operator()(const NameProbe& p) const { return (*this)(p.owner, p.name); }
  };
  struct NameEqual {
    using is_transparent = void;
    const std::u16string* names;
    bool Equal(uint32_t ownerA, std::u16string_view a, uint32_t ownerB, std::u16string_view b) const;
    std::u16string_view NameOf(const NameEntry& e) const { return {names->data() + e.nameOffset, e.nameLength}; }
    bool operator()(const NameEntry& a, const NameEntry& b) const {
      return Equal(a.owner, NameOf(a), b.owner, NameOf(b));
    }
    bool operator()(const NameProbe& a, const NameEntry& b) const { return Equal(a.owner, a.name, b.owner, NameOf(b)); }
    bool operator()(const NameEntry& a, const NameProbe& b) const { return Equal(a.owner, NameOf(a), b.owner, b.name); }
  };
  using NameIndex = std::unordered_set<NameEntry, NameHash, NameEqual>;

  std::vector<BuildNode> nodes_;
  std::u16string names_;
  std::vector<uint8_t> data_;
  std::u16string currentUserSid_;
  NameIndex childIndex_{0, NameHash{&names_}, NameEqual{&names_}};
  NameIndex valueIndex_{0, NameHash{&names_}, NameEqual{&names_}};
};

}  // namespace platform::wine
