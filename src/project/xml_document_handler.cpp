#include "project/xml_document_handler.h"

#include <atomic>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"

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

// Writes the file beside its target and renames it over the target, so that a failed write never
// leaves half a document where a whole one was.
bool WriteWholeFile(const std::filesystem::path& target, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temporary = target;
  temporary += ".saving" + std::to_string(counter.fetch_add(1));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace

CXMLDocumentHandler::CXMLDocumentHandler()
    : m_path(RulesFilePath), m_logger(CLogger::GetInstance()) {}

CXMLDocumentHandler::~CXMLDocumentHandler() { CLogger::ReleaseInstance(m_logger); }

int CXMLDocumentHandler::Load(const std::wstring& path) {
  m_loaded = false;
  try {
    m_document.reset();
    const std::filesystem::path host = platform::Machine::HostPath(path);
    if (host.empty()) return 0;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(host, ec)) return 0;
    pugi::xml_parse_result result = m_document.load_file(host.c_str(), pugi::parse_default);
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
    const std::filesystem::path host = target.empty() ? std::filesystem::path()
                                                      : platform::Machine::HostPath(target);
    saved = !host.empty() && WriteWholeFile(host, Serialise(m_document));
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
