#pragma once
#include <QString>
#include <QStringList>

class CRegistryTreeCtrl;

// The checked keys of a tree, as the pages save them: each checked item's full path (ending in
// "\"), nothing below a checked item, no path that an earlier one already covers.
class CRegistryList {
 public:
  explicit CRegistryList(const CRegistryTreeCtrl& tree);

  int Count() const { return static_cast<int>(paths_.size()); }
  const QString& At(int index) const { return paths_.at(index); }
  const QStringList& Paths() const { return paths_; }

 private:
  QStringList paths_;
};
