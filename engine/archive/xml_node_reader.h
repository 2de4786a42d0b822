// The XML reader record over copies of the parsed nodes, for a library whose reader
// only ever shows the node under its cursor (XmlLite). The library gives each node's
// names, value and attributes; what it cannot give is computed here from those copies:
// the depth, xml:lang and xml:base in scope, inner and outer markup (the nodes of the
// element are read ahead), the nesting limit, and an error found while reading ahead.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/xml_reader.h"

namespace cef_engine::archive {

struct XmlAttribute {
  std::u16string qname, prefix, local, ns, value;
  bool IsDeclaration() const;  // xmlns or xmlns:prefix
};

// The declarations, language and base address in force at an element.
struct XmlScope {
  std::shared_ptr<const XmlScope> parent;
  std::vector<std::pair<std::u16string, std::u16string>> declarations;  // prefix, address
  std::u16string lang, base;
  std::optional<std::u16string> Lookup(std::u16string_view prefix) const;
};

struct XmlNode {
  cef_xml_node_type_t type = XML_NODE_UNSUPPORTED;
  int line = 0;
  std::u16string qname, prefix, local, ns, value;
  bool empty = false;                    // an element written <e/>
  std::vector<XmlAttribute> attributes;  // declarations first, then in document order
  // Filled in by the reader: an element's own scope (also at its end), else the parent's.
  int depth = 0;
  std::shared_ptr<const XmlScope> scope;
};

// The library's side: the document's nodes in order.
class XmlNodeSource {
 public:
  virtual ~XmlNodeSource() = default;
  // The next node; false at the end of the document, or at an error (then `error` holds
  // the library's message and `line` where it stopped).
  virtual bool Next(XmlNode& node, std::string& error, int& line) = 0;
};

class XmlNodeReader final : public EngineObject<cef_xml_reader_t> {
 public:
  using Record = cef_xml_reader_t;

  XmlNodeReader(std::unique_ptr<XmlNodeSource> source, const std::u16string& uri);
  bool Made() const { return source_ != nullptr; }

  int MoveToNextNode();
  int Close();
  int HasError() { return error_.empty() ? 0 : 1; }
  cef_string_userfree_t GetError() { return NewUserfree(error_); }
  cef_xml_node_type_t GetType();
  int GetDepth();
  cef_string_userfree_t GetLocalName() { return Answer(&XmlAttribute::local, &XmlNode::local); }
  cef_string_userfree_t GetPrefix() { return Answer(&XmlAttribute::prefix, &XmlNode::prefix); }
  cef_string_userfree_t GetQualifiedName() { return Answer(&XmlAttribute::qname, &XmlNode::qname); }
  cef_string_userfree_t GetNamespaceUri() { return Answer(&XmlAttribute::ns, &XmlNode::ns); }
  cef_string_userfree_t GetValue() { return Answer(&XmlAttribute::value, &XmlNode::value); }
  cef_string_userfree_t GetBaseUri();
  cef_string_userfree_t GetXmlLang();
  int IsEmptyElement();
  int HasValue();
  int HasAttributes();
  size_t GetAttributeCount();
  cef_string_userfree_t GetAttributeByIndex(int index);
  cef_string_userfree_t GetAttributeByQName(const cef_string_t* name);
  cef_string_userfree_t GetAttributeByLName(const cef_string_t* local, const cef_string_t* ns);
  cef_string_userfree_t GetInnerXml() { return Markup(false); }
  cef_string_userfree_t GetOuterXml() { return Markup(true); }
  int GetLineNumber() { return current_ ? current_->line : 0; }
  int MoveToAttributeByIndex(int index);
  int MoveToAttributeByQName(const cef_string_t* name);
  int MoveToAttributeByLName(const cef_string_t* local, const cef_string_t* ns);
  int MoveToFirstAttribute() { return MoveToAttributeByIndex(0); }
  int MoveToNextAttribute();
  int MoveToCarryingElement();

 private:
  // True while the node ahead could be read; false at the end or at an error.
  bool ReadAhead();
  void Fail(std::string_view message, int line);
  // The attributes of the element under the cursor (none elsewhere or on an attribute).
  const std::vector<XmlAttribute>* Attributes() const;
  int FindAttribute(std::u16string_view qname) const;
  int FindAttribute(std::u16string_view local, std::u16string_view ns) const;
  cef_string_userfree_t Answer(std::u16string XmlAttribute::*ofAttribute, std::u16string XmlNode::*ofNode);
  cef_string_userfree_t Markup(bool outer);

  std::unique_ptr<XmlNodeSource> source_;
  std::shared_ptr<const XmlScope> document_;     // the document's own scope (its address)
  std::vector<std::shared_ptr<XmlScope>> open_;  // elements open at the node read last
  std::deque<XmlNode> ahead_;                    // read, not yet visited
  std::optional<XmlNode> current_;
  int attribute_ = -1;   // the attribute under the cursor, or -1 for the node itself
  bool ended_ = false;   // the source gave its last node
  bool rooted_ = false;  // an element was read
  std::u16string error_;
};

}  // namespace cef_engine::archive
