#include "project/xml_node_handler.h"

#include <exception>

#include "core/strings.h"

namespace {

bool IsElement(const pugi::xml_node& node) { return node.type() == pugi::node_element; }

// A name the serialiser can write back and the parser read again: no markup characters, no
// blanks, not beginning with a digit, '-' or '.'.
bool IsValidElementName(const std::wstring& name) {
  if (name.empty()) return false;
  const wchar_t first = name[0];
  if ((first >= L'0' && first <= L'9') || first == L'-' || first == L'.') return false;
  for (wchar_t c : name) {
    if (c <= L' ' || c == L'<' || c == L'>' || c == L'&' || c == L'"' || c == L'\'' ||
        c == L'/' || c == L'=' || c == L'!' || c == L'?' || c == 0x7F) {
      return false;
    }
  }
  return true;
}

}  // namespace

CXMLNodeHandler::CXMLNodeHandler(pugi::xml_node node, bool /*owned*/) : m_node(node) {}

std::wstring CXMLNodeHandler::GetName() const {
  if (!IsElement(m_node)) return std::wstring();
  return Utf8ToWide(m_node.name());
}

std::vector<CXMLNodeHandler> CXMLNodeHandler::SelectNodes(const std::wstring& xpath) const {
  std::vector<CXMLNodeHandler> result;
  if (!m_node) return result;
  try {
    const std::string query = WideToUtf8(xpath);
    pugi::xpath_node_set set = m_node.select_nodes(query.c_str());
    set.sort();  // document order
    result.reserve(set.size());
    for (const pugi::xpath_node& found : set) {
      if (found.node()) result.emplace_back(found.node());
    }
  } catch (const std::exception&) {
    result.clear();
  }
  return result;
}

CXMLNodeHandler CXMLNodeHandler::SelectSingleNode(const std::wstring& xpath) const {
  if (!m_node) return CXMLNodeHandler();
  try {
    const std::string query = WideToUtf8(xpath);
    // select_node gives the first node in document order of the whole set.
    pugi::xpath_node found = m_node.select_node(query.c_str());
    if (found.node()) return CXMLNodeHandler(found.node());
  } catch (const std::exception&) {
  }
  return CXMLNodeHandler();
}

long CXMLNodeHandler::GetChildCount() const {
  long count = 0;
  for (pugi::xml_node child = m_node.first_child(); child; child = child.next_sibling()) {
    if (IsElement(child)) ++count;
  }
  return count;
}

CXMLNodeHandler CXMLNodeHandler::GetChild(long index) const {
  if (index < 0) return CXMLNodeHandler();
  long position = 0;
  for (pugi::xml_node child = m_node.first_child(); child; child = child.next_sibling()) {
    if (!IsElement(child)) continue;
    if (position == index) return CXMLNodeHandler(child);
    ++position;
  }
  return CXMLNodeHandler();
}

std::vector<CXMLNodeHandler> CXMLNodeHandler::GetChildren() const {
  std::vector<CXMLNodeHandler> children;
  for (pugi::xml_node child = m_node.first_child(); child; child = child.next_sibling()) {
    if (IsElement(child)) children.emplace_back(child);
  }
  return children;
}

CXMLNodeHandler CXMLNodeHandler::InsertChild(long index, const std::wstring& name) {
  if (!IsElement(m_node) || !IsValidElementName(name)) return CXMLNodeHandler();
  try {
    const std::string narrow = WideToUtf8(name);
    CXMLNodeHandler before = GetChild(index);
    pugi::xml_node created = before.IsValid() ? m_node.insert_child_before(pugi::node_element, before.m_node)
                                              : m_node.append_child(pugi::node_element);
    if (!created) return CXMLNodeHandler();
    if (!created.set_name(narrow.c_str())) {
      m_node.remove_child(created);
      return CXMLNodeHandler();
    }
    return CXMLNodeHandler(created);
  } catch (const std::exception&) {
    return CXMLNodeHandler();
  }
}

void CXMLNodeHandler::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (!IsElement(m_node) || name.empty()) return;
  try {
    const std::string narrowName = WideToUtf8(name);
    const std::string narrowValue = WideToUtf8(value);
    pugi::xml_attribute attribute = m_node.attribute(narrowName.c_str());
    if (!attribute) attribute = m_node.append_attribute(narrowName.c_str());
    if (attribute) attribute.set_value(narrowValue.c_str());
  } catch (const std::exception&) {
  }
}

std::wstring CXMLNodeHandler::GetAttribute(long index) const {
  if (index < 0 || !IsElement(m_node)) return std::wstring();
  long position = 0;
  for (pugi::xml_attribute attribute = m_node.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    if (position == index) return Utf8ToWide(attribute.value());
    ++position;
  }
  return std::wstring();
}

long CXMLNodeHandler::GetAttributeCount() const {
  long count = 0;
  for (pugi::xml_attribute attribute = m_node.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    ++count;
  }
  return count;
}

bool CXMLNodeHandler::RemoveChild(const CXMLNodeHandler& child) {
  if (!m_node || !child.m_node || child.m_node.parent() != m_node) return false;
  return m_node.remove_child(child.m_node);
}

CXMLNodeHandler CXMLNodeHandler::ReplaceChild(const CXMLNodeHandler& newNode,
                                              const CXMLNodeHandler& oldNode) {
  if (!m_node || !newNode.m_node || !oldNode.m_node || oldNode.m_node.parent() != m_node ||
      newNode.m_node == oldNode.m_node) {
    return CXMLNodeHandler();
  }
  // A node cannot be copied into its own subtree (the copy would never end).
  for (pugi::xml_node up = m_node; up; up = up.parent()) {
    if (up == newNode.m_node) return CXMLNodeHandler();
  }
  try {
    pugi::xml_node copy = m_node.insert_copy_before(newNode.m_node, oldNode.m_node);
    if (!copy) return CXMLNodeHandler();
    m_node.remove_child(oldNode.m_node);
    return CXMLNodeHandler(copy);
  } catch (const std::exception&) {
    return CXMLNodeHandler();
  }
}

void CXMLNodeHandler::RemoveNodes(const std::wstring& xpath) {
  // Removing a node also removes what lies below it, so a node set that holds both an element and
  // one of its descendants would leave a handle to freed memory; remove ancestors only.
  // The set is in document order, so a node inside a removed subtree lies inside the subtree
  // removed last: only that one needs to be looked for among its ancestors.
  std::vector<CXMLNodeHandler> nodes = SelectNodes(xpath);
  std::vector<pugi::xml_node> removed;
  for (const CXMLNodeHandler& found : nodes) {
    bool insideRemoved = false;
    for (pugi::xml_node up = found.m_node.parent(); up && !removed.empty() && !insideRemoved; up = up.parent()) {
      insideRemoved = up == removed.back();
    }
    if (insideRemoved) continue;
    pugi::xml_node parent = found.m_node.parent();
    if (!parent || found.m_node.type() == pugi::node_document) break;
    removed.push_back(found.m_node);
  }
  for (pugi::xml_node& node : removed) node.parent().remove_child(node);
}

void CXMLNodeHandler::RemoveAllChildren() {
  if (!m_node) return;
  pugi::xml_node child = m_node.first_child();
  while (child) {
    pugi::xml_node next = child.next_sibling();
    if (IsElement(child)) m_node.remove_child(child);
    child = next;
  }
}
