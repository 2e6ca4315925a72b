#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"
#include "project/change_types.h"
#include "project/include_exclude_rules.h"
#include "snapshot/ivelk_reg_callback.h"

class CLogger;
class CWorkContext;
class CRegSnapshot;
class CXMLDocumentHandler;

// The registry half of the snapshot engine. Writes one snapshot file per starting key (first and
// second capture), compares the pairs, sorts every change into the added, modified and deleted
// maps or into ExcludedKeyChanges(), and writes "RegChanges.xml".
//
// Files: WorkFolder\SnapShot\RegSystemDir\FirstSnapShot\RegSnapShot<i>.reg (and SecondSnapShot),
// and the difference files WorkFolder\Temp\Difference<i>.reg, i counted from 0 in list order.
//
// CaptureSnapShot and CompareSnapshot run on a worker thread; GetChangeMaps, RewriteRegChanges and
// GetEquivalentKeys on the user-interface thread after the worker has ended.
class CRegistryEnumerate : public IVelkRegCallback {
 public:
  // The context and the session's rules (the comparison reads the excluded keys into them and
  // consults the reasons items were set aside for) live as long as the enumerator.
  CRegistryEnumerate(CWorkContext& context, CIncludeExcludeRules& rules);
  ~CRegistryEnumerate() override;
  CRegistryEnumerate(const CRegistryEnumerate&) = delete;
  CRegistryEnumerate& operator=(const CRegistryEnumerate&) = delete;

  // Fills the paths from WorkFolder, loads the project template into the change document and
  // takes a logger reference. Returns 1.
  int Initialize();
  // Empties the three change maps and releases the logger. Returns 1.
  int Uninitialize();

  // Whether a first snapshot exists on disk (RegSnapShot0.reg in the first snapshot folder);
  // prepares the folder the next capture writes to.
  bool IsFirstSnapshotExist();
  void SetFirstSnapshotTaken(bool taken) { FirstSnapshotTaken = taken ? 1 : 0; }
  bool IsFirstSnapshotTaken() const { return FirstSnapshotTaken == 1; }

  // Captures the first snapshot, or the second once a first exists, of every starting key. The
  // list is rewritten in place: only the default profile of HKEY_USERS is walked. Returns 1.
  int CaptureSnapShot(std::vector<std::wstring>& startingKeys);
  // Compares the pairs of snapshot files of the last capture and writes "RegChanges.xml".
  // Returns 1.
  int CompareSnapshot();
  // The two halves of CompareSnapshot, for a caller that edits the change maps between them:
  // the comparison into the change maps, and the writing of "RegChanges.xml". Each returns 1.
  int CompareChanges();
  int WriteChanges();
  // Compares one pair of snapshot files; every change arrives in OnRegistryChange.
  bool CompareFiles(const std::wstring& firstFile, const std::wstring& secondFile,
                    const std::wstring& differenceFile);

  // One snapshot file of one starting key ("HKLM", "HKEY_LOCAL_MACHINE\SOFTWARE", ...).
  platform::Status TakeSnapShot(const std::wstring& startingKey, const std::wstring& fileName);
  platform::Status TakeSnapShot_Internal(CRegSnapshot& snapshot, const std::wstring& startingKey);

  // The added, modified and deleted maps, which the registry review edits in place.
  void GetChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted);
  // Writes "RegChanges.xml" again from the four maps; the result of the last writer.
  int RewriteRegChanges();

  void OnRegistryChange(const std::wstring& category, const RegValueRecord& record) override;

  // Appends the paths of existing keys that are the same key seen through another root
  // (HKEY_CLASSES_ROOT / HKEY_LOCAL_MACHINE\SOFTWARE\Classes, HKEY_CURRENT_USER / the hives under
  // HKEY_USERS). The given key itself is never added.
  void GetEquivalentKeys(const std::wstring& keyPath, std::vector<std::wstring>& output);

  // The file of starting key `index` in the first or the second snapshot, and its difference file.
  std::wstring SnapshotFileName(bool second, size_t index) const;
  std::wstring DifferenceFileName(size_t index) const;
  int RootCount() const { return rootCount_; }

  // Every registry change that falls under an exclusion rule, whatever its kind: key path
  // (without brackets) -> its value records. Filled by CompareSnapshot on the worker thread; read
  // and edited by the review pages after the worker has ended.
  RegKeyMap& ExcludedKeyChanges() { return excludedKeyChanges_; }

 private:
  void WriteMaps(int& lastResult);
  void LogLevel1(const std::string& text);

  CWorkContext& context_;
  CIncludeExcludeRules& rules_;
  uint8_t FirstSnapshotTaken = 0;
  int rootCount_ = 0;
  std::string firstSnapshotBase_;
  std::string secondSnapshotBase_;
  std::string registrySnapshotFolder_;
  std::string firstSnapshotFolder_;
  std::string secondSnapshotFolder_;
  std::string differenceBase_;
  CLogger* logger_ = nullptr;
  std::unique_ptr<CXMLDocumentHandler> changeDocument_;
  std::unique_ptr<CXMLDocumentHandler> rulesDocument_;
  RegKeyMap AddedKeys;
  RegKeyMap DeletedKeys;
  RegKeyMap ModifiedKeys;
  RegKeyMap excludedKeyChanges_;
  ExcludedRuleMap ExcludedRegItems;
};
