// The engine's XML reader on arbitrary bytes: walking every node, its names, value,
// attributes (by index, by name, moving onto them and back) and markup never crashes
// or leaks, and a failed parse says why.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cef/cef_records.h"
#include "cef_engine.h"

namespace {

void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

void Drop(cef_string_userfree_t text) { cef_string_userfree_utf16_free(text); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> bytes(data + 1, data + size);
  const int encoding = data[0] % 5;  // the first byte picks the encoding asked for
  cef_xml_reader_t* xml =
      cef_xml_reader_create(cef_stream_reader_create_for_data(bytes.data(), bytes.size()), encoding, nullptr);
  if (!xml) return 0;
  char16_t name[] = u"a";
  const cef_string_t qualified{name, 1, nullptr};
  for (int nodes = 0; nodes < 4096 && xml->move_to_next_node(xml); ++nodes) {
    Check(xml->get_type(xml) >= XML_NODE_UNSUPPORTED && xml->get_type(xml) <= XML_NODE_COMMENT);
    (void)xml->get_depth(xml);
    (void)xml->get_line_number(xml);
    (void)xml->is_empty_element(xml);
    for (auto member : {xml->get_local_name, xml->get_prefix, xml->get_qualified_name, xml->get_namespace_uri,
                        xml->get_base_uri, xml->get_xml_lang, xml->get_value})
      Drop(member(xml));
    if (nodes % 16 == 0) {
      Drop(xml->get_inner_xml(xml));
      Drop(xml->get_outer_xml(xml));
    }
    const size_t count = xml->get_attribute_count(xml);
    for (size_t i = 0; i < count && i < 8; ++i) Drop(xml->get_attribute_byindex(xml, static_cast<int>(i)));
    Drop(xml->get_attribute_byqname(xml, &qualified));
    Drop(xml->get_attribute_bylname(xml, &qualified, &qualified));
    if (xml->move_to_first_attribute(xml)) {
      while (xml->move_to_next_attribute(xml)) Drop(xml->get_value(xml));
      Check(xml->move_to_carrying_element(xml) == 1);
    }
  }
  if (xml->has_error(xml)) {
    cef_string_userfree_t error = xml->get_error(xml);
    Check(error && error->length > 0);
    Drop(error);
  }
  xml->close(xml);
  xml->base.release(&xml->base);
  return 0;
}
