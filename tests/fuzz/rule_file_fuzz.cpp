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
  CIncludeExcludeRules maps;
  CXMLDocumentHandler rules;
  if (rules.Load(path) != 1) return 0;
  const CXMLNodeHandler root = rules.GetRootElement();
  rules.ReadIncludedItems(xmlpath::kIncludedFileRules, root, maps);
  rules.ReadIncludedItems(xmlpath::kIncludedRegistryRules, root, maps);
  rules.ReadExcludedItems(xmlpath::kExcludedFileRules, root, maps);
  rules.ReadExcludedItems(xmlpath::kExcludedRegistryRules, root, maps);
  const ExcludedRuleMap files = maps.GetExcludedRules(RuleKind::kFiles);
  (void)IsFolderExcluded(files, L"C:\\Program Files\\App");
  const ExcludedRuleMap keys = maps.GetExcludedRules(RuleKind::kRegistry);
  (void)IsKeyExcluded(keys, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\App");
  return 0;
}
