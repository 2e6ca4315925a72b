// The include/exclude rule file ("DefaultIncludeExclude.xml") as a capture reads it, and the
// rules it gives applied to a few paths.
#include <cstddef>
#include <cstdint>

#include "fuzz_machine.h"
#include "project/include_exclude_rules.h"
#include "project/xml_document_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzMachine& machine = FuzzMachine::Get();
  const std::wstring path =
      machine.WriteFile("DefaultIncludeExclude.xml", std::string_view(reinterpret_cast<const char*>(data), size));
  ClearAllRules();
  CXMLDocumentHandler rules;
  if (rules.Load(path) != 1) return 0;
  const CXMLNodeHandler root = rules.GetRootElement();
  rules.ReadIncludedItems(xmlpath::kIncludedFileRules, root);
  rules.ReadIncludedItems(xmlpath::kIncludedRegistryRules, root);
  rules.ReadExcludedItems(xmlpath::kExcludedFileRules, root);
  rules.ReadExcludedItems(xmlpath::kExcludedRegistryRules, root);
  const ExcludedRuleMap files = GetExcludedRules(RuleKind::kFiles);
  (void)IsFolderExcluded(files, L"C:\\Program Files\\App");
  const ExcludedRuleMap keys = GetExcludedRules(RuleKind::kRegistry);
  (void)IsKeyExcluded(keys, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\App");
  ClearAllRules();
  return 0;
}
