// What the XML readers share, whichever library parses: the record's members wired to
// the reader's member functions, the error's text, pulling the program's stream, the
// nesting limit and the export that adopts the program's stream.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "cef/cef_records.h"
#include "dom/record_entry.h"
#include "objects/engine_object.h"
#include "strings/text.h"
#include "strings/utf.h"

namespace cef_engine::archive {

// Elements nest at most this deep (libxml2's own limit); deeper documents end in an error.
inline constexpr int kXmlMaxDepth = 256;

// The text `get_error` answers: the library's message and the line it stopped at.
inline std::u16string XmlErrorText(std::string_view message, int line) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.remove_suffix(1);
  std::string text(message.empty() ? std::string_view("XML error") : message);
  text += ", line " + std::to_string(line);
  std::u16string out;
  utf::Transcode(std::string_view(text), out);
  return out;
}

// Up to `length` bytes of the program's stream; 0 at its end or once it is gone.
inline size_t PullStream(cef_stream_reader_t* stream, void* buffer, size_t length) {
  if (!stream || !stream->read || length == 0) return 0;
  const size_t got = stream->read(stream, buffer, 1, length);
  return got < length ? got : length;  // a stream that claims more than it was asked for
}

// Every member of the record, each answered by the reader's member function of that name.
template <class Reader>
void WireXmlReader(cef_xml_reader_t& r) {
  r.move_to_next_node = Entry<&Reader::MoveToNextNode>;
  r.close = Entry<&Reader::Close>;
  r.has_error = Entry<&Reader::HasError>;
  r.get_error = Entry<&Reader::GetError>;
  r.get_type = Entry<&Reader::GetType>;
  r.get_depth = Entry<&Reader::GetDepth>;
  r.get_local_name = Entry<&Reader::GetLocalName>;
  r.get_prefix = Entry<&Reader::GetPrefix>;
  r.get_qualified_name = Entry<&Reader::GetQualifiedName>;
  r.get_namespace_uri = Entry<&Reader::GetNamespaceUri>;
  r.get_base_uri = Entry<&Reader::GetBaseUri>;
  r.get_xml_lang = Entry<&Reader::GetXmlLang>;
  r.is_empty_element = Entry<&Reader::IsEmptyElement>;
  r.has_value = Entry<&Reader::HasValue>;
  r.get_value = Entry<&Reader::GetValue>;
  r.has_attributes = Entry<&Reader::HasAttributes>;
  r.get_attribute_count = Entry<&Reader::GetAttributeCount>;
  r.get_attribute_byindex = Entry<&Reader::GetAttributeByIndex>;
  r.get_attribute_byqname = Entry<&Reader::GetAttributeByQName>;
  r.get_attribute_bylname = Entry<&Reader::GetAttributeByLName>;
  r.get_inner_xml = Entry<&Reader::GetInnerXml>;
  r.get_outer_xml = Entry<&Reader::GetOuterXml>;
  r.get_line_number = Entry<&Reader::GetLineNumber>;
  r.move_to_attribute_byindex = Entry<&Reader::MoveToAttributeByIndex>;
  r.move_to_attribute_byqname = Entry<&Reader::MoveToAttributeByQName>;
  r.move_to_attribute_bylname = Entry<&Reader::MoveToAttributeByLName>;
  r.move_to_first_attribute = Entry<&Reader::MoveToFirstAttribute>;
  r.move_to_next_attribute = Entry<&Reader::MoveToNextAttribute>;
  r.move_to_carrying_element = Entry<&Reader::MoveToCarryingElement>;
}

// The export's common part: takes over the program's stream reference (released on every
// failure) and answers what `make` builds from it, or null when the stream is null or
// `make` answers null (the library cannot read it).
template <class Make>
cef_xml_reader_t* CreateXmlReader(cef_stream_reader_t* stream, Make make) {
  auto held = ProgramRef<cef_stream_reader_t>::Adopt(stream);
  if (!held) return nullptr;
  auto reader = make(std::move(held));
  return reader ? reader.release()->Share() : nullptr;
}

}  // namespace cef_engine::archive
