#pragma once
#include <QString>
#include <QStringList>

class CFolderTreeCtrl;

// The checked folders of a tree, as the pages save them: each checked item's full path (ending in
// "\"), nothing below a checked item, no path that an earlier one already covers.
class CFolderList {
 public:
  explicit CFolderList(const CFolderTreeCtrl& tree);

  int Count() const { return static_cast<int>(paths_.size()); }
  const QString& At(int index) const { return paths_.at(index); }
  const QStringList& Paths() const { return paths_; }

 private:
  QStringList paths_;
};
