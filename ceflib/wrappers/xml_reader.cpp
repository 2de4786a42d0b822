#include "ceflib/wrappers/xml_reader.h"

#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/request.h"

namespace ceflib {

using Xml = cef_xml_reader_t;

bool TCefXmlReaderRef::MoveToNextNode() { return Call<bool>(&Xml::move_to_next_node); }
bool TCefXmlReaderRef::Close() { return Call<bool>(&Xml::close); }
bool TCefXmlReaderRef::HasError() { return Call<bool>(&Xml::has_error); }
ustring TCefXmlReaderRef::GetError() { return Call<ustring>(&Xml::get_error); }
TCefXmlNodeType TCefXmlReaderRef::GetType() { return Call<TCefXmlNodeType>(&Xml::get_type); }
int TCefXmlReaderRef::GetDepth() { return Call<int>(&Xml::get_depth); }
ustring TCefXmlReaderRef::GetLocalName() { return Call<ustring>(&Xml::get_local_name); }
ustring TCefXmlReaderRef::GetPrefix() { return Call<ustring>(&Xml::get_prefix); }
ustring TCefXmlReaderRef::GetQualifiedName() { return Call<ustring>(&Xml::get_qualified_name); }
ustring TCefXmlReaderRef::GetNamespaceUri() { return Call<ustring>(&Xml::get_namespace_uri); }
ustring TCefXmlReaderRef::GetBaseUri() { return Call<ustring>(&Xml::get_base_uri); }
ustring TCefXmlReaderRef::GetXmlLang() { return Call<ustring>(&Xml::get_xml_lang); }
bool TCefXmlReaderRef::IsEmptyElement() { return Call<bool>(&Xml::is_empty_element); }
bool TCefXmlReaderRef::HasValue() { return Call<bool>(&Xml::has_value); }
ustring TCefXmlReaderRef::GetValue() { return Call<ustring>(&Xml::get_value); }
bool TCefXmlReaderRef::HasAttributes() { return Call<bool>(&Xml::has_attributes); }
size_t TCefXmlReaderRef::GetAttributeCount() { return Call<size_t>(&Xml::get_attribute_count); }
ustring TCefXmlReaderRef::GetAttributeByIndex(int index) {
  return Call<ustring>(&Xml::get_attribute_byindex, index);
}
ustring TCefXmlReaderRef::GetAttributeByQName(const ustring& qualifiedName) {
  return Call<ustring>(&Xml::get_attribute_byqname, qualifiedName);
}
ustring TCefXmlReaderRef::GetAttributeByLName(const ustring& localName, const ustring& namespaceUri) {
  return Call<ustring>(&Xml::get_attribute_bylname, localName, namespaceUri);
}
ustring TCefXmlReaderRef::GetInnerXml() { return Call<ustring>(&Xml::get_inner_xml); }
ustring TCefXmlReaderRef::GetOuterXml() { return Call<ustring>(&Xml::get_outer_xml); }
int TCefXmlReaderRef::GetLineNumber() { return Call<int>(&Xml::get_line_number); }
bool TCefXmlReaderRef::MoveToAttributeByIndex(int index) {
  return Call<bool>(&Xml::move_to_attribute_byindex, index);
}
bool TCefXmlReaderRef::MoveToAttributeByQName(const ustring& qualifiedName) {
  return Call<bool>(&Xml::move_to_attribute_byqname, qualifiedName);
}
bool TCefXmlReaderRef::MoveToAttributeByLName(const ustring& localName, const ustring& namespaceUri) {
  return Call<bool>(&Xml::move_to_attribute_bylname, localName, namespaceUri);
}
bool TCefXmlReaderRef::MoveToFirstAttribute() { return Call<bool>(&Xml::move_to_first_attribute); }
bool TCefXmlReaderRef::MoveToNextAttribute() { return Call<bool>(&Xml::move_to_next_attribute); }
bool TCefXmlReaderRef::MoveToCarryingElement() { return Call<bool>(&Xml::move_to_carrying_element); }

RefPtr<ICefXmlReader> TCefXmlReaderRef::New(const RefPtr<ICefStreamReader>& stream,
                                            TCefXmlEncodingType encodingType, const ustring& uri) {
  if (!stream) return nullptr;
  return CefCallExport<RefPtr<ICefXmlReader>>(cef_xml_reader_create, stream, encodingType, uri);
}

}  // namespace ceflib
