#pragma once
#include <string>
#include <vector>

#include <pugixml.hpp>

// One node (an element, or the document itself) of a document held by CXMLDocumentHandler, or
// nothing: an empty handler is how every operation that yields a node reports a missing node or a
// failure. A handler is a cheap reference; copies refer to the same node, and a handler must not
// outlive the document it came from. No operation throws; errors of the XML library are caught
// here and turn into empty results.
//
// Paths are XPath 1.0 expressions evaluated with this node as the context node, so "A//B" is the
// child A of this node and any descendant B of it.
//
// Children are counted and indexed over ELEMENT children only: the files of this program hold no
// text content, and text or comments a hand-edited file may carry must not shift the positions
// the readers walk.
class CXMLNodeHandler {
 public:
  CXMLNodeHandler() = default;
  // `owned` is kept for the callers' sake; the document owns every node, so it changes nothing.
  explicit CXMLNodeHandler(pugi::xml_node node, bool owned = true);
  virtual ~CXMLNodeHandler() = default;
  CXMLNodeHandler(const CXMLNodeHandler&) = default;
  CXMLNodeHandler& operator=(const CXMLNodeHandler&) = default;

  // Whether the handler refers to a node.
  bool IsValid() const { return static_cast<bool>(m_node); }
  explicit operator bool() const { return IsValid(); }
  // The element name (empty for an empty handler or the document node).
  std::wstring GetName() const;

  // All nodes the path selects, in document order; empty on no match or an invalid path.
  std::vector<CXMLNodeHandler> SelectNodes(const std::wstring& xpath) const;
  // The first node the path selects, or an empty handler.
  CXMLNodeHandler SelectSingleNode(const std::wstring& xpath) const;

  // Number of element children; 0 for an empty handler.
  long GetChildCount() const;
  // The element child at a 0-based index, or an empty handler when out of range. Walks the
  // children up to the index: a loop over every child uses GetChildren instead.
  CXMLNodeHandler GetChild(long index) const;
  // Every element child in document order (empty for an empty handler).
  std::vector<CXMLNodeHandler> GetChildren() const;
  // Creates an element named `name` and inserts it before the element child at `index`, or
  // appends it when there is no child there. Returns the new element, or an empty handler when
  // this handler is empty, is the document node itself (the root element always comes from a
  // loaded file), or the name is not a valid element name.
  CXMLNodeHandler InsertChild(long index, const std::wstring& name);

  // Sets an attribute: a new name goes after the existing attributes, an existing one keeps its
  // position and gets the new value. Does nothing on an empty handler or the document node.
  void SetAttribute(const std::wstring& name, const std::wstring& value);
  // The value of the attribute at a 0-based POSITION (attributes are read by position, in the
  // order they were first set); empty when there is no attribute there.
  std::wstring GetAttribute(long index) const;
  // Number of attributes.
  long GetAttributeCount() const;

  // Removes a direct child (with everything below it); true when it was removed. Handlers of the
  // removed node must not be used afterwards.
  bool RemoveChild(const CXMLNodeHandler& child);
  // Puts a COPY of `newNode` (which may belong to another document) in place of the direct child
  // `oldNode`. Returns the inserted copy, or an empty handler (nothing changed) when `oldNode` is
  // not a child of this node or either handler is empty.
  CXMLNodeHandler ReplaceChild(const CXMLNodeHandler& newNode, const CXMLNodeHandler& oldNode);
  // Removes every node the path selects below this node from its own parent, in document order.
  void RemoveNodes(const std::wstring& xpath);
  // Removes every child element.
  void RemoveAllChildren();

  pugi::xml_node node() const { return m_node; }

 private:
  pugi::xml_node m_node;
};
