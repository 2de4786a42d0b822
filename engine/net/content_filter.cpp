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
    cef_stream_reader_t* substitute = nullptr;
    if (filter->process_data)
      filter->process_data(filter, piece.data(), static_cast<int>(piece.size()), &substitute);
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
  cef_stream_reader_t* remainder = nullptr;
  if (filter->drain) filter->drain(filter, &remainder);
  return TakeStream(remainder, body);
}

}  // namespace cef_engine::net
