#include "archive/xml_node_reader.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "dom/document.h"

namespace cef_engine::archive {
namespace {

constexpr std::u16string_view kXmlnsUri = u"http://www.w3.org/2000/xmlns/";
// Nodes parsed ahead of the cursor, as libxml2's reader parses its input in pieces: an
// error in them ends the walk before they are visited, on every target alike.
constexpr size_t kReadAhead = 64;

std::u16string_view AttributeText(const std::vector<XmlAttribute>& attributes, std::u16string_view qname) {
  for (const XmlAttribute& a : attributes)
    if (a.qname == qname) return a.value;
  return {};
}
bool HasAttribute(const std::vector<XmlAttribute>& attributes, std::u16string_view qname) {
  return std::any_of(attributes.begin(), attributes.end(),
                     [&](const XmlAttribute& a) { return a.qname == qname; });
}

// The names libxml2 gives nodes that have none of their own.
const char16_t* NameOfUnnamed(cef_xml_node_type_t type) {
  switch (type) {
    case XML_NODE_TEXT:
    case XML_NODE_WHITESPACE:
      return u"#text";
    case XML_NODE_CDATA:
      return u"#cdata-section";
    case XML_NODE_COMMENT:
      return u"#comment";
    default:
      return nullptr;
  }
}

void AppendCodePointReference(std::u16string& out, char32_t c) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "&#x%X;", static_cast<unsigned>(c));
  for (const char* d = digits; *d; ++d) out += static_cast<char16_t>(*d);
}

// Text or an attribute value as libxml2 writes them: markup characters and carriage
// returns escaped; in attribute values also quotes, line breaks and tabs, and characters
// outside ASCII as character references.
void AppendEscaped(std::u16string& out, std::u16string_view text, bool attribute) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'<':
        out += u"&lt;";
        continue;
      case u'>':
        out += u"&gt;";
        continue;
      case u'&':
        out += u"&amp;";
        continue;
      case u'\r':
        out += u"&#13;";
        continue;
      default:
        break;
    }
    if (!attribute || (c >= 0x20 && c < 0x80 && c != u'"')) {
      out += c;
    } else if (c == u'"') {
      out += u"&quot;";
    } else if (c == u'\n' || c == u'\t') {
      out += c == u'\n' ? u"&#10;" : u"&#9;";
    } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] < 0xE000) {
      AppendCodePointReference(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendCodePointReference(out, c);
    }
  }
}

void AppendDeclaration(std::u16string& out, const std::pair<std::u16string, std::u16string>& declaration) {
  out += declaration.first.empty() ? u" xmlns" : u" xmlns:" + declaration.first;
  const char16_t quote = declaration.second.find(u'"') == std::u16string::npos ? u'"' : u'\'';
  out += u'=';
  out += quote;
  out += declaration.second;
  out += quote;
}

using Declarations = std::vector<std::pair<std::u16string, std::u16string>>;

// Markup of one copy of a node with its descendants (`nodes`, the node first), written
// as libxml2 writes a copy: a namespace used in the copy but declared outside it is
// declared on the copy's top element.
void AppendCopy(std::u16string& out, std::span<const XmlNode* const> nodes) {
  std::vector<Declarations> declared(nodes.size());
  std::vector<size_t> open;
  auto reconcile = [&](std::u16string_view prefix, const XmlScope& scope) {
    if (prefix == u"xml") return;
    for (size_t k : open)
      for (const auto& d : declared[k])
        if (d.first == prefix) return;
    if (auto address = scope.Lookup(prefix)) declared[0].emplace_back(prefix, *address);
  };
  for (size_t k = 0; k < nodes.size(); ++k) {
    const XmlNode& node = *nodes[k];
    if (node.type == XML_NODE_ELEMENT_END) {
      if (!open.empty()) open.pop_back();
      continue;
    }
    if (node.type != XML_NODE_ELEMENT_START) continue;
    for (const XmlAttribute& a : node.attributes)
      if (a.IsDeclaration()) declared[k].emplace_back(a.prefix.empty() ? u"" : a.local, a.value);
    open.push_back(k);
    if (!node.ns.empty()) reconcile(node.prefix, *node.scope);
    for (const XmlAttribute& a : node.attributes)
      if (!a.IsDeclaration() && !a.prefix.empty()) reconcile(a.prefix, *node.scope);
    if (node.empty) open.pop_back();
  }
  for (size_t k = 0; k < nodes.size(); ++k) {
    const XmlNode& node = *nodes[k];
    switch (node.type) {
      case XML_NODE_ELEMENT_START: {
        out += u'<';
        out += node.qname;
        for (const auto& d : declared[k]) AppendDeclaration(out, d);
        for (const XmlAttribute& a : node.attributes) {
          if (a.IsDeclaration()) continue;
          out += u' ' + a.qname + u"=\"";
          AppendEscaped(out, a.value, true);
          out += u'"';
        }
        // An element without content is written <e/>, however the document wrote it.
        const bool closesAtOnce =
            !node.empty && k + 1 < nodes.size() && nodes[k + 1]->type == XML_NODE_ELEMENT_END;
        if (node.empty || closesAtOnce) {
          out += u"/>";
          if (closesAtOnce) ++k;
        } else {
          out += u'>';
        }
        break;
      }
      case XML_NODE_ELEMENT_END:
        out += u"</" + node.qname + u'>';
        break;
      case XML_NODE_TEXT:
      case XML_NODE_WHITESPACE:
        AppendEscaped(out, node.value, false);
        break;
      case XML_NODE_CDATA:
        out += u"<![CDATA[" + node.value + u"]]>";
        break;
      case XML_NODE_COMMENT:
        out += u"<!--" + node.value + u"-->";
        break;
      case XML_NODE_PROCESSING_INSTRUCTION:
        out += u"<?" + node.qname + (node.value.empty() ? u"" : u" " + node.value) + u"?>";
        break;
      default:
        break;  // document types: the library does not give their declarations
    }
  }
}

// The index of the end of the subtree that starts at `nodes[first]`.
size_t SubtreeEnd(std::span<const XmlNode* const> nodes, size_t first) {
  const XmlNode& top = *nodes[first];
  if (top.type != XML_NODE_ELEMENT_START || top.empty) return first;
  for (size_t k = first + 1; k < nodes.size(); ++k)
    if (nodes[k]->type == XML_NODE_ELEMENT_END && nodes[k]->depth == top.depth) return k;
  return nodes.size() - 1;
}

}  // namespace

bool XmlAttribute::IsDeclaration() const { return ns == kXmlnsUri; }

std::optional<std::u16string> XmlScope::Lookup(std::u16string_view prefix) const {
  for (const XmlScope* scope = this; scope; scope = scope->parent.get())
    for (const auto& d : scope->declarations)
      if (d.first == prefix) return d.second;
  return std::nullopt;
}

XmlNodeReader::XmlNodeReader(std::unique_ptr<XmlNodeSource> source, const std::u16string& uri)
    : source_(std::move(source)) {
  auto document = std::make_shared<XmlScope>();
  document->base = uri;
  document_ = std::move(document);
  WireXmlReader<XmlNodeReader>(*record());
}

void XmlNodeReader::Fail(std::string_view message, int line) {
  if (error_.empty()) error_ = XmlErrorText(message, line);
}

bool XmlNodeReader::ReadAhead() {
  if (!source_ || ended_ || !error_.empty()) return false;
  XmlNode node;
  std::string message;
  int line = 0;
  // libxml2's reader shows no white space outside the root element.
  do {
    if (!source_->Next(node, message, line)) {
      ended_ = true;
      if (!message.empty())
        Fail(message, line);
      else if (!rooted_)
        Fail("Document is empty", line);
      return false;
    }
  } while (node.type == XML_NODE_WHITESPACE && open_.empty());
  if (const char16_t* name = NameOfUnnamed(node.type)) node.qname = node.local = name;
  const std::shared_ptr<const XmlScope> parent = open_.empty() ? document_ : open_.back();
  node.depth = static_cast<int>(open_.size());
  node.scope = parent;
  if (node.type == XML_NODE_ELEMENT_START) {
    rooted_ = true;
    if (node.depth >= kXmlMaxDepth) {
      Fail("Excessive depth in document: " + std::to_string(kXmlMaxDepth), node.line);
      return false;
    }
    std::stable_partition(node.attributes.begin(), node.attributes.end(),
                          [](const XmlAttribute& a) { return a.IsDeclaration(); });
    auto scope = std::make_shared<XmlScope>();
    scope->parent = parent;
    scope->lang = HasAttribute(node.attributes, u"xml:lang")
                      ? std::u16string(AttributeText(node.attributes, u"xml:lang"))
                      : parent->lang;
    scope->base = parent->base;
    if (HasAttribute(node.attributes, u"xml:base")) {
      const std::u16string_view base = AttributeText(node.attributes, u"xml:base");
      scope->base = parent->base.empty() ? std::u16string(base) : dom::ResolveUrl(parent->base, base);
    }
    for (const XmlAttribute& a : node.attributes)
      if (a.IsDeclaration()) scope->declarations.emplace_back(a.prefix.empty() ? u"" : a.local, a.value);
    node.scope = scope;
    if (!node.empty) open_.push_back(std::move(scope));
  } else if (node.type == XML_NODE_ELEMENT_END && !open_.empty()) {
    node.scope = open_.back();
    open_.pop_back();
    node.depth = static_cast<int>(open_.size());
  }
  ahead_.push_back(std::move(node));
  return true;
}

int XmlNodeReader::MoveToNextNode() {
  while (ahead_.size() < kReadAhead && ReadAhead()) {
  }
  attribute_ = -1;
  if (!error_.empty() || ahead_.empty()) {
    current_.reset();
    ahead_.clear();
    return 0;
  }
  current_ = std::move(ahead_.front());
  ahead_.pop_front();
  return 1;
}

int XmlNodeReader::Close() {
  source_.reset();  // releases the library's reader, and with it the program's stream
  ahead_.clear();
  open_.clear();
  current_.reset();
  attribute_ = -1;
  return 1;
}

cef_xml_node_type_t XmlNodeReader::GetType() {
  if (!current_) return XML_NODE_UNSUPPORTED;
  return attribute_ >= 0 ? XML_NODE_ATTRIBUTE : current_->type;
}

int XmlNodeReader::GetDepth() { return current_ ? current_->depth + (attribute_ >= 0 ? 1 : 0) : 0; }

cef_string_userfree_t XmlNodeReader::Answer(std::u16string XmlAttribute::*ofAttribute,
                                            std::u16string XmlNode::*ofNode) {
  // Empty answers are null, which reads as empty, as the libxml2 reader answers them.
  if (!current_) return nullptr;
  const std::u16string& text = attribute_ >= 0
                                   ? current_->attributes[static_cast<size_t>(attribute_)].*ofAttribute
                                   : (*current_).*ofNode;
  return text.empty() ? nullptr : NewUserfree(text);
}

cef_string_userfree_t XmlNodeReader::GetBaseUri() {
  return NewUserfree(current_ ? current_->scope->base : u"");
}
cef_string_userfree_t XmlNodeReader::GetXmlLang() {
  return NewUserfree(current_ ? current_->scope->lang : u"");
}

int XmlNodeReader::IsEmptyElement() {
  return current_ && attribute_ < 0 && current_->type == XML_NODE_ELEMENT_START && current_->empty ? 1 : 0;
}

int XmlNodeReader::HasValue() {
  if (!current_) return 0;
  if (attribute_ >= 0) return 1;
  switch (current_->type) {
    case XML_NODE_TEXT:
    case XML_NODE_CDATA:
    case XML_NODE_PROCESSING_INSTRUCTION:
    case XML_NODE_COMMENT:
    case XML_NODE_WHITESPACE:
      return 1;
    default:
      return 0;
  }
}

const std::vector<XmlAttribute>* XmlNodeReader::Attributes() const {
  return current_ && attribute_ < 0 && current_->type == XML_NODE_ELEMENT_START ? &current_->attributes
                                                                                : nullptr;
}

int XmlNodeReader::HasAttributes() { return Attributes() && !Attributes()->empty() ? 1 : 0; }

size_t XmlNodeReader::GetAttributeCount() { return Attributes() ? Attributes()->size() : 0; }

int XmlNodeReader::FindAttribute(std::u16string_view qname) const {
  if (!current_ || current_->type != XML_NODE_ELEMENT_START) return -1;
  const auto& attributes = current_->attributes;
  for (size_t i = 0; i < attributes.size(); ++i)
    if (attributes[i].qname == qname) return static_cast<int>(i);
  return -1;
}

int XmlNodeReader::FindAttribute(std::u16string_view local, std::u16string_view ns) const {
  if (!current_ || current_->type != XML_NODE_ELEMENT_START || ns.empty()) return -1;
  const auto& attributes = current_->attributes;
  for (size_t i = 0; i < attributes.size(); ++i)
    if (attributes[i].local == local && attributes[i].ns == ns) return static_cast<int>(i);
  return -1;
}

cef_string_userfree_t XmlNodeReader::GetAttributeByIndex(int index) {
  const auto* attributes = Attributes();
  if (!attributes || index < 0 || static_cast<size_t>(index) >= attributes->size()) return NewUserfree({});
  return NewUserfree((*attributes)[static_cast<size_t>(index)].value);
}

cef_string_userfree_t XmlNodeReader::GetAttributeByQName(const cef_string_t* name) {
  const int index = Attributes() ? FindAttribute(ViewOf(name)) : -1;
  return NewUserfree(index < 0 ? u"" : current_->attributes[static_cast<size_t>(index)].value);
}

cef_string_userfree_t XmlNodeReader::GetAttributeByLName(const cef_string_t* local, const cef_string_t* ns) {
  const int index = Attributes() ? FindAttribute(ViewOf(local), ViewOf(ns)) : -1;
  return NewUserfree(index < 0 ? u"" : current_->attributes[static_cast<size_t>(index)].value);
}

// Moving works from the element and from any of its attributes, as libxml2's reader does.
int XmlNodeReader::MoveToAttributeByIndex(int index) {
  if (!current_ || current_->type != XML_NODE_ELEMENT_START || index < 0 ||
      static_cast<size_t>(index) >= current_->attributes.size())
    return 0;
  attribute_ = index;
  return 1;
}

int XmlNodeReader::MoveToAttributeByQName(const cef_string_t* name) {
  return MoveToAttributeByIndex(FindAttribute(ViewOf(name)));
}

int XmlNodeReader::MoveToAttributeByLName(const cef_string_t* local, const cef_string_t* ns) {
  return MoveToAttributeByIndex(FindAttribute(ViewOf(local), ViewOf(ns)));
}

int XmlNodeReader::MoveToNextAttribute() {
  if (attribute_ < 0) return MoveToFirstAttribute();
  return MoveToAttributeByIndex(attribute_ + 1);
}

int XmlNodeReader::MoveToCarryingElement() {
  if (attribute_ < 0) return 0;
  attribute_ = -1;
  return 1;
}

// The element's markup (also from one of its attributes), or the node's own. The rest of
// an element is read ahead to its end; an error on the way answers empty markup.
cef_string_userfree_t XmlNodeReader::Markup(bool outer) {
  if (!current_ || current_->type == XML_NODE_ELEMENT_END) return NewUserfree({});
  std::vector<const XmlNode*> nodes{&*current_};
  if (current_->type == XML_NODE_ELEMENT_START && !current_->empty) {
    for (size_t k = 0;; ++k) {
      while (k >= ahead_.size())
        if (!ReadAhead()) return NewUserfree({});
      nodes.push_back(&ahead_[k]);
      if (ahead_[k].type == XML_NODE_ELEMENT_END && ahead_[k].depth == current_->depth) break;
    }
  }
  std::u16string markup;
  if (outer) {
    AppendCopy(markup, nodes);
  } else {
    // Each child is a copy of its own.
    for (size_t k = 1; k + 1 < nodes.size(); ++k) {
      const size_t end = SubtreeEnd(nodes, k);
      AppendCopy(markup, std::span(nodes).subspan(k, end - k + 1));
      k = end;
    }
  }
  return NewUserfree(markup);
}

}  // namespace cef_engine::archive
