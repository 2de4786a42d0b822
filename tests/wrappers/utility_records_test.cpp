#include <gtest/gtest.h>

#include "ceflib/wrappers/web_plugin.h"
#include "ceflib/wrappers/xml_reader.h"
#include "ceflib/wrappers/zip_reader.h"
#include "wrappers/operation_check.h"

using namespace ceflib;

namespace {

using Info = cef_web_plugin_info_t;
using Zip = cef_zip_reader_t;
using Xml = cef_xml_reader_t;

// Every operation against fake records (our engine has no plugins; its readers are
// tested in tests/integration).
TEST(UtilityWrappers, EveryOperationCallsItsMemberWithConvertedValues) {
  CHECK_OPERATION(Info::get_name, ICefWebPluginInfo::GetName);
  CHECK_OPERATION(Info::get_path, ICefWebPluginInfo::GetPath);
  CHECK_OPERATION(Info::get_version, ICefWebPluginInfo::GetVersion);
  CHECK_OPERATION(Info::get_description, ICefWebPluginInfo::GetDescription);
  CHECK_OPERATION(Zip::move_to_first_file, ICefZipReader::MoveToFirstFile);
  CHECK_OPERATION(Zip::move_to_next_file, ICefZipReader::MoveToNextFile);
  CHECK_OPERATION(Zip::move_to_file, ICefZipReader::MoveToFile);
  CHECK_OPERATION(Zip::close, ICefZipReader::Close);
  CHECK_OPERATION(Zip::get_file_name, ICefZipReader::GetFileName);
  CHECK_OPERATION(Zip::get_file_size, ICefZipReader::GetFileSize);
  CHECK_OPERATION(Zip::open_file, ICefZipReader::OpenFile);
  CHECK_OPERATION(Zip::close_file, ICefZipReader::CloseFile);
  CHECK_OPERATION(Zip::read_file, ICefZipReader::ReadFile);
  CHECK_OPERATION(Zip::tell, ICefZipReader::Tell);
  CHECK_OPERATION(Zip::eof, ICefZipReader::Eof);
  CHECK_OPERATION(Xml::move_to_next_node, ICefXmlReader::MoveToNextNode);
  CHECK_OPERATION(Xml::close, ICefXmlReader::Close);
  CHECK_OPERATION(Xml::has_error, ICefXmlReader::HasError);
  CHECK_OPERATION(Xml::get_error, ICefXmlReader::GetError);
  CHECK_OPERATION(Xml::get_type, ICefXmlReader::GetType);
  CHECK_OPERATION(Xml::get_depth, ICefXmlReader::GetDepth);
  CHECK_OPERATION(Xml::get_local_name, ICefXmlReader::GetLocalName);
  CHECK_OPERATION(Xml::get_prefix, ICefXmlReader::GetPrefix);
  CHECK_OPERATION(Xml::get_qualified_name, ICefXmlReader::GetQualifiedName);
  CHECK_OPERATION(Xml::get_namespace_uri, ICefXmlReader::GetNamespaceUri);
  CHECK_OPERATION(Xml::get_base_uri, ICefXmlReader::GetBaseUri);
  CHECK_OPERATION(Xml::get_xml_lang, ICefXmlReader::GetXmlLang);
  CHECK_OPERATION(Xml::is_empty_element, ICefXmlReader::IsEmptyElement);
  CHECK_OPERATION(Xml::has_value, ICefXmlReader::HasValue);
  CHECK_OPERATION(Xml::get_value, ICefXmlReader::GetValue);
  CHECK_OPERATION(Xml::has_attributes, ICefXmlReader::HasAttributes);
  CHECK_OPERATION(Xml::get_attribute_count, ICefXmlReader::GetAttributeCount);
  CHECK_OPERATION(Xml::get_attribute_byindex, ICefXmlReader::GetAttributeByIndex);
  CHECK_OPERATION(Xml::get_attribute_byqname, ICefXmlReader::GetAttributeByQName);
  CHECK_OPERATION(Xml::get_attribute_bylname, ICefXmlReader::GetAttributeByLName);
  CHECK_OPERATION(Xml::get_inner_xml, ICefXmlReader::GetInnerXml);
  CHECK_OPERATION(Xml::get_outer_xml, ICefXmlReader::GetOuterXml);
  CHECK_OPERATION(Xml::get_line_number, ICefXmlReader::GetLineNumber);
  CHECK_OPERATION(Xml::move_to_attribute_byindex, ICefXmlReader::MoveToAttributeByIndex);
  CHECK_OPERATION(Xml::move_to_attribute_byqname, ICefXmlReader::MoveToAttributeByQName);
  CHECK_OPERATION(Xml::move_to_attribute_bylname, ICefXmlReader::MoveToAttributeByLName);
  CHECK_OPERATION(Xml::move_to_first_attribute, ICefXmlReader::MoveToFirstAttribute);
  CHECK_OPERATION(Xml::move_to_next_attribute, ICefXmlReader::MoveToNextAttribute);
  CHECK_OPERATION(Xml::move_to_carrying_element, ICefXmlReader::MoveToCarryingElement);
}

}  // namespace
