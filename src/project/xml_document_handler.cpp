#include "project/xml_document_handler.h"

#include <exception>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "project/change_file_writer.h"
#include "project/rule_file.h"

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, size_t size) override {
    out_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& out_;
};

// Every file this program writes: UTF-8 with our own declaration, one element per line, a tab
// per level.
std::string Serialise(const pugi::xml_document& document) {
  std::string text = kDeclaration;
  StringWriter writer(text);
  document.save(writer, "\t", pugi::format_indent | pugi::format_no_declaration,
                pugi::encoding_utf8);
  return text;
}

}  // namespace

CXMLDocumentHandler::CXMLDocumentHandler() : m_logger(CLogger::GetInstance()) {}

CXMLDocumentHandler::~CXMLDocumentHandler() { CLogger::ReleaseInstance(m_logger); }

int CXMLDocumentHandler::Load(const std::wstring& path) {
  m_loaded = false;
  try {
    m_document.reset();
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) != 0) return 0;
    platform::MappedFile file;
    if (file.Open(path) != platform::kSuccess) return 0;
    pugi::xml_parse_result result = m_document.load_buffer(file.data(), static_cast<size_t>(file.size()),
                                                           pugi::parse_default);
    if (!result || !m_document.document_element()) {
      m_document.reset();
      return 0;
    }
  } catch (const std::exception&) {
    m_document.reset();
    return 0;
  }
  m_url = path;
  m_loaded = true;
  return 1;
}

int CXMLDocumentHandler::LoadXML(const std::wstring& text) {
  m_loaded = false;
  try {
    m_document.reset();
    const std::string narrow = WideToUtf8(text);
    pugi::xml_parse_result result = m_document.load_buffer(narrow.data(), narrow.size(),
                                                           pugi::parse_default, pugi::encoding_utf8);
    if (!result || !m_document.document_element()) {
      m_document.reset();
      return 0;
    }
  } catch (const std::exception&) {
    m_document.reset();
    return 0;
  }
  m_url.clear();
  m_loaded = true;
  return 1;
}

bool CXMLDocumentHandler::Save(const std::wstring& path) {
  const std::wstring target = path.empty() ? m_url : path;
  bool saved = false;
  try {
    // Written beside the target and renamed over it: a failed save never leaves half a document
    // where a whole one was.
    saved = !target.empty() && platform::ReplaceAtomically(target, Serialise(m_document)) == platform::kSuccess;
  } catch (const std::exception&) {
    m_logger->Write(1, "CXMLDocumentHandler::Save exception");
    return false;
  }
  if (!saved) {
    m_logger->Write(1, "CXMLDocumentHandler::Save failed to '" + WideToUtf8(path) + "'");
  }
  return saved;
}

CXMLNodeHandler CXMLDocumentHandler::GetRootElement() const {
  return CXMLNodeHandler(m_document.document_element());
}

std::string CXMLDocumentHandler::ToText() const {
  try {
    return Serialise(m_document);
  } catch (const std::exception&) {
    return std::string();
  }
}

bool CXMLDocumentHandler::SaveOrLog(const std::wstring& savePath, const char* failMessage) {
  if (Save(savePath)) return true;
  m_logger->Write(2, failMessage);
  return false;
}

// ---- Change files and project file (CChangeFileWriter) ----

int CXMLDocumentHandler::SplitIncludedExcluded(const std::wstring& kindPath, const std::wstring& listElement,
                                               const std::wstring& savePath) {
  return CChangeFileWriter(*this, m_logger).SplitIncludedExcluded(kindPath, listElement, savePath);
}

int CXMLDocumentHandler::InsertDirectoryAndFileInXML(const std::wstring& listPath, FolderFileMap& folders,
                                                     const std::wstring& savePath, bool skipUsabilityTest,
                                                     bool save) {
  return CChangeFileWriter(*this, m_logger)
      .InsertDirectoryAndFileInXML(listPath, folders, savePath, skipUsabilityTest, save);
}

int CXMLDocumentHandler::InsertRegistryKeyAndValueInXML(const std::wstring& listPath, const RegKeyMap& keys,
                                                        const std::wstring& savePath) {
  return CChangeFileWriter(*this, m_logger).InsertRegistryKeyAndValueInXML(listPath, keys, savePath);
}

int CXMLDocumentHandler::InsertINIKeyAndValueInXML(const std::wstring& listPath, const INIFileMap& files,
                                                   const std::wstring& savePath) {
  return CChangeFileWriter(*this, m_logger).InsertINIKeyAndValueInXML(listPath, files, savePath);
}

int CXMLDocumentHandler::InsertShortcutInXML(const std::wstring& listPath, const ShortcutList& shortcuts,
                                             const std::wstring& savePath) {
  return CChangeFileWriter(*this, m_logger).InsertShortcutInXML(listPath, shortcuts, savePath);
}

int CXMLDocumentHandler::InsertShortcutICONInXML(const std::wstring& listPath, const IconMap& icons,
                                                 const std::wstring& savePath) {
  return CChangeFileWriter(*this, m_logger).InsertShortcutICONInXML(listPath, icons, savePath);
}

int CXMLDocumentHandler::InsertProductInfoInXML(const std::wstring& listPath, const std::wstring& applicationName,
                                                const std::wstring& version, const std::wstring& companyName,
                                                const std::wstring& savePath) {
  return CChangeFileWriter(*this, m_logger)
      .InsertProductInfoInXML(listPath, applicationName, version, companyName, savePath);
}

void CXMLDocumentHandler::UpdateINIDirectories(INIFileMap& files, const CINIFolderTable& table) {
  CChangeFileWriter(*this, m_logger).UpdateINIDirectories(files, table);
}

// ---- Include and exclude rules (CRuleFile) ----

int CXMLDocumentHandler::ReadIncludedItems(const std::wstring& listPath, const CXMLNodeHandler& root,
                                           CIncludeExcludeRules& rules) {
  return CRuleFile(*this, m_logger).ReadIncludedItems(listPath, root, rules);
}

int CXMLDocumentHandler::ReadExcludedItems(const std::wstring& listPath, const CXMLNodeHandler& root,
                                           CIncludeExcludeRules& rules) {
  return CRuleFile(*this, m_logger).ReadExcludedItems(listPath, root, rules);
}

int CXMLDocumentHandler::RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath,
                                                      const CIncludeExcludeRules& rules) {
  return CRuleFile(*this, m_logger).RegenerateIncludeExcludeFile(excludedPart, listPath, rules);
}
