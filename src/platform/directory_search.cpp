#include <utility>

#include "core/strings.h"
#include "platform/directory_listing.h"

namespace platform {
namespace {

bool MatchWildcards(std::wstring_view pattern, std::wstring_view name) {
  size_t p = 0, n = 0, starP = std::wstring_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == L'?' || ToUpperSimple(pattern[p]) == ToUpperSimple(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::wstring_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchFileName(std::wstring_view pattern, std::wstring_view name) {
  if (MatchWildcards(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == L".*" &&
      name.find(L'.') == std::wstring_view::npos) {
    return MatchWildcards(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

struct DirectorySearch::Impl {
  Status status = kPathNotFound;
  std::vector<FindData> entries;
  size_t next = 0;
};

DirectorySearch::DirectorySearch(const std::wstring& pattern) : impl_(std::make_unique<Impl>()) {
  impl_->status = ListDirectory(pattern, impl_->entries);
}

DirectorySearch::~DirectorySearch() = default;

Status DirectorySearch::status() const { return impl_->status; }

bool DirectorySearch::Next(FindData& data) {
  if (impl_->next >= impl_->entries.size()) return false;
  data = impl_->entries[impl_->next++];
  return true;
}

}  // namespace platform
