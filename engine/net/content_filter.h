// Response bodies through the program: reading a program's stream whole, and passing a
// body through a content filter in pieces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cef/cef_records.h"

namespace cef_engine::net {

// Appends what `stream` gives until it ends; false when that passes the document body
// limit (loader.h). The stream's reference stays with the caller.
bool ReadStream(cef_stream_reader_t* stream, std::string& out);

// `body` through `filter`, in place: each 16 KiB piece goes to process_data, which passes
// it on or gives a stream to put in its place; then drain adds what the filter held
// back. False when the result passes the document body limit (the body is then partly
// filtered). Main thread.
bool FilterBody(cef_content_filter_t* filter, std::string& body);

// Part of a body that is still arriving through `filter`, in pieces of 16 KiB: what the
// filter passes on or gives in place of each piece is appended to `out`. With `last`,
// drain's stream follows. False when a stream the filter gave passes the document body
// limit. Main thread.
bool FilterPart(cef_content_filter_t* filter, std::string_view part, bool last, std::string& out);

}  // namespace cef_engine::net
