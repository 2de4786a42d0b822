// Records of the engine's utility objects: the XML reader and the zip reader (pull
// readers over a stream reader) and the web plugin information. All three are made by
// the engine and called by the program, on the thread that made them.
#pragma once

#include <cstddef>
#include <ctime>

#include "cef/cef_types.h"

extern "C" {

struct cef_stream_reader_t;

// Input encoding of cef_xml_reader_create; the parser also follows a byte-order mark.
enum cef_xml_encoding_type_t {
  XML_ENCODING_NONE = 0,
  XML_ENCODING_UTF8 = 1,
  XML_ENCODING_UTF16LE = 2,
  XML_ENCODING_UTF16BE = 3,
  XML_ENCODING_ASCII = 4,
};

// Kind of the node under an XML reader's cursor.
enum cef_xml_node_type_t {
  XML_NODE_UNSUPPORTED = 0,
  XML_NODE_PROCESSING_INSTRUCTION = 1,
  XML_NODE_DOCUMENT_TYPE = 2,
  XML_NODE_ELEMENT_START = 3,
  XML_NODE_ELEMENT_END = 4,
  XML_NODE_ATTRIBUTE = 5,
  XML_NODE_TEXT = 6,
  XML_NODE_CDATA = 7,
  XML_NODE_ENTITY_REFERENCE = 8,
  XML_NODE_WHITESPACE = 9,
  XML_NODE_COMMENT = 10,
};

struct cef_xml_reader_t {
  cef_base_t base;
  int(CEF_CALLBACK* move_to_next_node)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* close)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* has_error)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_error)(cef_xml_reader_t* self);
  cef_xml_node_type_t(CEF_CALLBACK* get_type)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* get_depth)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_local_name)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_prefix)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_qualified_name)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_namespace_uri)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_base_uri)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_xml_lang)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* is_empty_element)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* has_value)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_value)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* has_attributes)(cef_xml_reader_t* self);
  size_t(CEF_CALLBACK* get_attribute_count)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_attribute_byindex)(cef_xml_reader_t* self, int index);
  cef_string_userfree_t(CEF_CALLBACK* get_attribute_byqname)(cef_xml_reader_t* self,
                                                             const cef_string_t* qualifiedName);
  cef_string_userfree_t(CEF_CALLBACK* get_attribute_bylname)(cef_xml_reader_t* self,
                                                             const cef_string_t* localName,
                                                             const cef_string_t* namespaceURI);
  cef_string_userfree_t(CEF_CALLBACK* get_inner_xml)(cef_xml_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_outer_xml)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* get_line_number)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* move_to_attribute_byindex)(cef_xml_reader_t* self, int index);
  int(CEF_CALLBACK* move_to_attribute_byqname)(cef_xml_reader_t* self, const cef_string_t* qualifiedName);
  int(CEF_CALLBACK* move_to_attribute_bylname)(cef_xml_reader_t* self, const cef_string_t* localName,
                                               const cef_string_t* namespaceURI);
  int(CEF_CALLBACK* move_to_first_attribute)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* move_to_next_attribute)(cef_xml_reader_t* self);
  int(CEF_CALLBACK* move_to_carrying_element)(cef_xml_reader_t* self);
};

struct cef_zip_reader_t {
  cef_base_t base;
  int(CEF_CALLBACK* move_to_first_file)(cef_zip_reader_t* self);
  int(CEF_CALLBACK* move_to_next_file)(cef_zip_reader_t* self);
  int(CEF_CALLBACK* move_to_file)(cef_zip_reader_t* self, const cef_string_t* fileName, int caseSensitive);
  int(CEF_CALLBACK* close)(cef_zip_reader_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_file_name)(cef_zip_reader_t* self);
  int64_t(CEF_CALLBACK* get_file_size)(cef_zip_reader_t* self);
  time_t(CEF_CALLBACK* get_file_last_modified)(cef_zip_reader_t* self);
  int(CEF_CALLBACK* open_file)(cef_zip_reader_t* self, const cef_string_t* password);
  int(CEF_CALLBACK* close_file)(cef_zip_reader_t* self);
  int(CEF_CALLBACK* read_file)(cef_zip_reader_t* self, void* buffer, size_t bufferSize);
  int64_t(CEF_CALLBACK* tell)(cef_zip_reader_t* self);
  int(CEF_CALLBACK* eof)(cef_zip_reader_t* self);
};

struct cef_web_plugin_info_t {
  cef_base_t base;
  cef_string_userfree_t(CEF_CALLBACK* get_name)(cef_web_plugin_info_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_path)(cef_web_plugin_info_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_version)(cef_web_plugin_info_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_description)(cef_web_plugin_info_t* self);
};

}  // extern "C"

#if CEF_ABI_32BIT
static_assert(sizeof(cef_xml_reader_t) == 132);
static_assert(offsetof(cef_xml_reader_t, get_attribute_count) == 80);
static_assert(offsetof(cef_xml_reader_t, move_to_carrying_element) == 128);
static_assert(sizeof(cef_zip_reader_t) == 64);
static_assert(offsetof(cef_zip_reader_t, open_file) == 44);
static_assert(sizeof(cef_web_plugin_info_t) == 32);
static_assert(sizeof(cef_xml_encoding_type_t) == 4 && sizeof(cef_xml_node_type_t) == 4);
#endif
