#include "net/content_filter.h"

#include <algorithm>

#include "net/loader.h"
#include "objects/engine_object.h"

namespace cef_engine::net {
namespace {
constexpr size_t kPiece = 16 * 1024;

// Appends the stream a filter handed over (taking over its reference).
bool TakeStream(cef_stream_reader_t* given, std::string& out) {
  auto stream = ProgramRef<cef_stream_reader_t>::Adopt(given);
  return !stream || ReadStream(stream.get(), out);
}

// The stream the filter gives in place of `piece`, with its reference; null passes it on.
cef_stream_reader_t* Process(cef_content_filter_t* filter, std::string_view piece) {
  cef_stream_reader_t* substitute = nullptr;
  if (filter->process_data)
    filter->process_data(filter, piece.data(), static_cast<int>(piece.size()), &substitute);
  return substitute;
}

bool Drain(cef_content_filter_t* filter, std::string& out) {
  cef_stream_reader_t* remainder = nullptr;
  if (filter->drain) filter->drain(filter, &remainder);
  return TakeStream(remainder, out);
}
}  // namespace

bool ReadStream(cef_stream_reader_t* stream, std::string& out) {
  if (!stream || !stream->read) return true;
  char buffer[kPiece];
  while (const size_t n = stream->read(stream, buffer, 1, sizeof buffer)) {
    out.append(buffer, std::min(n, sizeof buffer));
    if (out.size() > DocumentBodyLimit()) return false;
  }
  return true;
}

bool FilterBody(cef_content_filter_t* filter, std::string& body) {
  // Pieces the filter passes on stay where they are: a filtered body is built apart only
  // from the first piece the filter replaces, so a filter that watches and changes
  // nothing costs no copy of the body.
  std::string out;
  bool rebuilt = false;
  for (size_t at = 0; at < body.size(); at += kPiece) {
    const auto piece = std::string_view(body).substr(at, kPiece);
    cef_stream_reader_t* substitute = Process(filter, piece);
    if (!substitute) {
      if (!rebuilt) continue;
      out.append(piece);
      if (out.size() > DocumentBodyLimit()) return false;
      continue;
    }
    if (!rebuilt) {
      out.assign(body, 0, at);
      rebuilt = true;
    }
    if (!TakeStream(substitute, out)) return false;
  }
  if (rebuilt) body = std::move(out);
  return Drain(filter, body);
}

bool FilterPart(cef_content_filter_t* filter, std::string_view part, bool last, std::string& out) {
  for (size_t at = 0; at < part.size(); at += kPiece) {
    const auto piece = part.substr(at, kPiece);
    if (cef_stream_reader_t* substitute = Process(filter, piece)) {
      if (!TakeStream(substitute, out)) return false;
    } else {
      out.append(piece);
    }
  }
  return !last || Drain(filter, out);
}

}  // namespace cef_engine::net
