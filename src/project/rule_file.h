#pragma once
#include <string>

class CIncludeExcludeRules;
class CLogger;
class CXMLDocumentHandler;
class CXMLNodeHandler;

// The rule file (DefaultIncludeExclude.xml) as a loaded document: its lists read into the maps of a
// CIncludeExcludeRules, and one list written back from its map. CXMLDocumentHandler offers each
// as its own operation (documented there); a rule file object lives for one call.
class CRuleFile {
 public:
  CRuleFile(CXMLDocumentHandler& document, CLogger* logger);

  int ReadIncludedItems(const std::wstring& listPath, const CXMLNodeHandler& root, CIncludeExcludeRules& rules);
  int ReadExcludedItems(const std::wstring& listPath, const CXMLNodeHandler& root, CIncludeExcludeRules& rules);
  int RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath, const CIncludeExcludeRules& rules);

 private:
  CXMLDocumentHandler& document_;
  CLogger* logger_;
};
