// The engine's XML reader: a pull parser whose cursor walks a document read from a
// stream, node by node, and over the attributes of an element.
#pragma once

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefStreamReader;
using TCefXmlEncodingType = cef_xml_encoding_type_t;
using TCefXmlNodeType = cef_xml_node_type_t;

class ICefXmlReader : public virtual ICefBase {
 public:
  // Moves to the next node; call it once before reading anything. True when it moved.
  virtual bool MoveToNextNode() = 0;
  // Closes the document; call it on the thread that made the reader.
  virtual bool Close() = 0;
  virtual bool HasError() = 0;
  virtual ustring GetError() = 0;
  // The node under the cursor.
  virtual TCefXmlNodeType GetType() = 0;
  virtual int GetDepth() = 0;
  virtual ustring GetLocalName() = 0;
  virtual ustring GetPrefix() = 0;
  virtual ustring GetQualifiedName() = 0;
  virtual ustring GetNamespaceUri() = 0;
  virtual ustring GetBaseUri() = 0;
  virtual ustring GetXmlLang() = 0;
  virtual bool IsEmptyElement() = 0;
  virtual bool HasValue() = 0;
  virtual ustring GetValue() = 0;
  virtual bool HasAttributes() = 0;
  virtual size_t GetAttributeCount() = 0;
  virtual ustring GetAttributeByIndex(int index) = 0;
  virtual ustring GetAttributeByQName(const ustring& qualifiedName) = 0;
  virtual ustring GetAttributeByLName(const ustring& localName, const ustring& namespaceUri) = 0;
  virtual ustring GetInnerXml() = 0;
  virtual ustring GetOuterXml() = 0;
  virtual int GetLineNumber() = 0;
  // Cursor moves onto the element's attributes and back; true on success.
  virtual bool MoveToAttributeByIndex(int index) = 0;
  virtual bool MoveToAttributeByQName(const ustring& qualifiedName) = 0;
  virtual bool MoveToAttributeByLName(const ustring& localName, const ustring& namespaceUri) = 0;
  virtual bool MoveToFirstAttribute() = 0;
  virtual bool MoveToNextAttribute() = 0;
  virtual bool MoveToCarryingElement() = 0;
};

class TCefXmlReaderRef final : public TCefRef<TCefXmlReaderRef, ICefXmlReader, cef_xml_reader_t> {
 public:
  using TCefRef::TCefRef;

  bool MoveToNextNode() override;
  bool Close() override;
  bool HasError() override;
  ustring GetError() override;
  TCefXmlNodeType GetType() override;
  int GetDepth() override;
  ustring GetLocalName() override;
  ustring GetPrefix() override;
  ustring GetQualifiedName() override;
  ustring GetNamespaceUri() override;
  ustring GetBaseUri() override;
  ustring GetXmlLang() override;
  bool IsEmptyElement() override;
  bool HasValue() override;
  ustring GetValue() override;
  bool HasAttributes() override;
  size_t GetAttributeCount() override;
  ustring GetAttributeByIndex(int index) override;
  ustring GetAttributeByQName(const ustring& qualifiedName) override;
  ustring GetAttributeByLName(const ustring& localName, const ustring& namespaceUri) override;
  ustring GetInnerXml() override;
  ustring GetOuterXml() override;
  int GetLineNumber() override;
  bool MoveToAttributeByIndex(int index) override;
  bool MoveToAttributeByQName(const ustring& qualifiedName) override;
  bool MoveToAttributeByLName(const ustring& localName, const ustring& namespaceUri) override;
  bool MoveToFirstAttribute() override;
  bool MoveToNextAttribute() override;
  bool MoveToCarryingElement() override;

  // A reader over the document in `stream`, in `encodingType` (XML_ENCODING_NONE: as
  // the document says), with `uri` as its base address; null when the engine makes
  // none (or no stream is given).
  static RefPtr<ICefXmlReader> New(const RefPtr<ICefStreamReader>& stream, TCefXmlEncodingType encodingType,
                                   const ustring& uri);
};

template <>
struct TCefWrapperOf<ICefXmlReader> {
  using type = TCefXmlReaderRef;
};

}  // namespace ceflib
