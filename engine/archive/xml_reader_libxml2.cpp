// The XML reader on libxml2's text reader (64-bit Linux): the program's stream is fed to
// the parser in pieces, the reader's answers are turned into the record's. Entities are
// not substituted, the network is never used, and libxml2's own limits stop documents
// whose entities would expand without bound (an error, not an expansion).
#include <libxml/xmlreader.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "archive/xml_reader.h"
#include "cef_engine.h"

namespace cef_engine::archive {
namespace {

std::string Utf8(const cef_string_t* text) {
  std::string out;
  utf::Transcode(ViewOf(text), out);
  return out;
}
// No text (an element's value, say) answers null, which reads as empty: the walk of a
// document then allocates only for the answers that carry text.
cef_string_userfree_t Result(const xmlChar* text) {
  return text && *text ? NewUserfreeUtf8(reinterpret_cast<const char*>(text)) : nullptr;
}
// For the text reader's answers that the caller frees.
cef_string_userfree_t ResultFreed(xmlChar* text) {
  cef_string_userfree_t result = Result(text);
  xmlFree(text);
  return result;
}
int Bool(int answer) { return answer == 1 ? 1 : 0; }

const char* EncodingName(int encodingType) {
  switch (encodingType) {
    case XML_ENCODING_UTF8:
      return "UTF-8";
    case XML_ENCODING_UTF16LE:
      return "UTF-16LE";
    case XML_ENCODING_UTF16BE:
      return "UTF-16BE";
    case XML_ENCODING_ASCII:
      return "US-ASCII";
    default:
      return nullptr;  // as the document says, by its byte-order mark or declaration
  }
}

cef_xml_node_type_t NodeType(int type) {
  switch (type) {
    case XML_READER_TYPE_ELEMENT:
      return XML_NODE_ELEMENT_START;
    case XML_READER_TYPE_END_ELEMENT:
      return XML_NODE_ELEMENT_END;
    case XML_READER_TYPE_ATTRIBUTE:
      return XML_NODE_ATTRIBUTE;
    case XML_READER_TYPE_TEXT:
      return XML_NODE_TEXT;
    case XML_READER_TYPE_CDATA:
      return XML_NODE_CDATA;
    case XML_READER_TYPE_ENTITY_REFERENCE:
      return XML_NODE_ENTITY_REFERENCE;
    case XML_READER_TYPE_PROCESSING_INSTRUCTION:
      return XML_NODE_PROCESSING_INSTRUCTION;
    case XML_READER_TYPE_COMMENT:
      return XML_NODE_COMMENT;
    case XML_READER_TYPE_DOCUMENT_TYPE:
      return XML_NODE_DOCUMENT_TYPE;
    case XML_READER_TYPE_WHITESPACE:
    case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
      return XML_NODE_WHITESPACE;
    default:
      return XML_NODE_UNSUPPORTED;
  }
}

class XmlReader final : public EngineObject<cef_xml_reader_t> {
 public:
  using Record = cef_xml_reader_t;

  XmlReader(ProgramRef<cef_stream_reader_t> stream, int encodingType, const std::u16string& uri)
      : stream_(std::move(stream)) {
    std::string url;
    utf::Transcode(std::u16string_view(uri), url);
    reader_ = xmlReaderForIO(&ReadStream, nullptr, this, url.empty() ? nullptr : url.c_str(),
                             EncodingName(encodingType), XML_PARSE_NONET);
    if (reader_) xmlTextReaderSetStructuredErrorHandler(reader_, &NoteError, this);
    WireXmlReader<XmlReader>(*record());
  }
  ~XmlReader() override { Close(); }
  bool Made() const { return reader_ != nullptr; }

  int MoveToNextNode() { return reader_ && xmlTextReaderRead(reader_) == 1 ? 1 : 0; }
  int Close() {
    if (reader_) {
      xmlFreeTextReader(reader_);
      reader_ = nullptr;
    }
    stream_.Reset();
    return 1;
  }
  int HasError() { return error_.empty() ? 0 : 1; }
  cef_string_userfree_t GetError() { return NewUserfree(error_); }
  cef_xml_node_type_t GetType() {
    return reader_ ? NodeType(xmlTextReaderNodeType(reader_)) : XML_NODE_UNSUPPORTED;
  }
  size_t GetAttributeCount() {
    const int count = reader_ ? xmlTextReaderAttributeCount(reader_) : 0;
    return count > 0 ? static_cast<size_t>(count) : 0;
  }
  cef_string_userfree_t GetAttributeByIndex(int index) {
    return reader_ ? ResultFreed(xmlTextReaderGetAttributeNo(reader_, index)) : nullptr;
  }
  cef_string_userfree_t GetAttributeByQName(const cef_string_t* name) {
    return reader_ ? ResultFreed(xmlTextReaderGetAttribute(reader_, X(Utf8(name)))) : nullptr;
  }
  cef_string_userfree_t GetAttributeByLName(const cef_string_t* local, const cef_string_t* ns) {
    return reader_ ? ResultFreed(xmlTextReaderGetAttributeNs(reader_, X(Utf8(local)), X(Utf8(ns)))) : nullptr;
  }
  int MoveToAttributeByIndex(int index) {
    return reader_ ? Bool(xmlTextReaderMoveToAttributeNo(reader_, index)) : 0;
  }
  int MoveToAttributeByQName(const cef_string_t* name) {
    return reader_ ? Bool(xmlTextReaderMoveToAttribute(reader_, X(Utf8(name)))) : 0;
  }
  int MoveToAttributeByLName(const cef_string_t* local, const cef_string_t* ns) {
    return reader_ ? Bool(xmlTextReaderMoveToAttributeNs(reader_, X(Utf8(local)), X(Utf8(ns)))) : 0;
  }

  int GetDepth() { return Ask<xmlTextReaderDepth>(); }
  cef_string_userfree_t GetLocalName() { return Text<xmlTextReaderConstLocalName>(); }
  cef_string_userfree_t GetPrefix() { return Text<xmlTextReaderConstPrefix>(); }
  cef_string_userfree_t GetQualifiedName() { return Text<xmlTextReaderConstName>(); }
  cef_string_userfree_t GetNamespaceUri() { return Text<xmlTextReaderConstNamespaceUri>(); }
  cef_string_userfree_t GetBaseUri() { return Text<xmlTextReaderConstBaseUri>(); }
  cef_string_userfree_t GetXmlLang() { return Text<xmlTextReaderConstXmlLang>(); }
  int IsEmptyElement() { return Yes<xmlTextReaderIsEmptyElement>(); }
  int HasValue() { return Yes<xmlTextReaderHasValue>(); }
  cef_string_userfree_t GetValue() { return Text<xmlTextReaderConstValue>(); }
  int HasAttributes() { return Yes<xmlTextReaderHasAttributes>(); }
  cef_string_userfree_t GetInnerXml() { return Markup<xmlTextReaderReadInnerXml>(); }
  cef_string_userfree_t GetOuterXml() { return Markup<xmlTextReaderReadOuterXml>(); }
  int GetLineNumber() { return Ask<xmlTextReaderGetParserLineNumber>(); }
  int MoveToFirstAttribute() { return Yes<xmlTextReaderMoveToFirstAttribute>(); }
  int MoveToNextAttribute() { return Yes<xmlTextReaderMoveToNextAttribute>(); }
  int MoveToCarryingElement() { return Yes<xmlTextReaderMoveToElement>(); }

  template <int (*Fn)(xmlTextReaderPtr)>
  int Ask() {
    return reader_ ? Fn(reader_) : 0;
  }
  template <int (*Fn)(xmlTextReaderPtr)>
  int Yes() {
    return reader_ ? Bool(Fn(reader_)) : 0;
  }
  template <const xmlChar* (*Fn)(xmlTextReaderPtr)>
  cef_string_userfree_t Text() {
    return reader_ ? Result(Fn(reader_)) : nullptr;
  }
  template <xmlChar* (*Fn)(xmlTextReaderPtr)>
  cef_string_userfree_t Markup() {
    return reader_ ? ResultFreed(Fn(reader_)) : nullptr;
  }

 private:
  static const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

  // The parser pulls the document from the program's stream.
  static int ReadStream(void* context, char* buffer, int length) {
    auto& self = *static_cast<XmlReader*>(context);
    return length > 0 ? static_cast<int>(PullStream(self.stream_.get(), buffer, static_cast<size_t>(length)))
                      : 0;
  }
  // Keeps the first error with its line; warnings are not errors.
  static void NoteError(void* context, xmlErrorPtr error) {
    auto& self = *static_cast<XmlReader*>(context);
    if (!error || error->level < XML_ERR_ERROR || !self.error_.empty()) return;
    self.error_ = XmlErrorText(error->message ? error->message : "", error->line);
  }

  ProgramRef<cef_stream_reader_t> stream_;
  xmlTextReaderPtr reader_ = nullptr;
  std::u16string error_;
};

}  // namespace
}  // namespace cef_engine::archive

extern "C" cef_xml_reader_t* cef_xml_reader_create(cef_stream_reader_t* stream, int encodingType,
                                                   const cef_string_t* URI) {
  static std::once_flag initialized;
  std::call_once(initialized, xmlInitParser);
  using cef_engine::archive::XmlReader;
  return cef_engine::archive::CreateXmlReader(stream, [&](auto held) {
    auto reader =
        std::make_unique<XmlReader>(std::move(held), encodingType, std::u16string(cef_engine::ViewOf(URI)));
    return reader->Made() ? std::move(reader) : nullptr;
  });
}
