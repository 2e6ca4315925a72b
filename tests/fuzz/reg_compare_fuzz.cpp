// Two registry snapshot files (UTF-16LE text) and their comparison, with the difference file.
// The input holds the first and the second snapshot, split at a "--8<--" line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_machine.h"
#include "snapshot/reg_cmp.h"

namespace {

class CountingCallback : public IVelkRegCallback {
 public:
  void OnRegistryChange(const std::wstring& category, const RegValueRecord& record) override {
    changes += category.size() + record.key.size() + record.valueName.size();
  }
  size_t changes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzMachine& machine = FuzzMachine::Get();
  std::string_view first;
  std::string_view second;
  SplitInput(data, size, first, second);
  const std::wstring one = machine.WriteFile("first.reg", first);
  const std::wstring two = machine.WriteFile("second.reg", second);
  CountingCallback callback;
  CRegCmp compare;
  compare.SetCallback(&callback);
  compare.CompareFiles(one, two, L"C:\\difference.reg");
  return 0;
}
