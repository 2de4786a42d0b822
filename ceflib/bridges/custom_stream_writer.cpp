#include "ceflib/bridges/custom_stream_writer.h"

#include "ceflib/bridges/stream_buffer_io.h"

#include <algorithm>
#include <limits>

namespace ceflib {

TCefCustomStreamWriter::TCefCustomStreamWriter(std::unique_ptr<std::ostream> stream)
    : FOwnedStream(std::move(stream)), FStream(FOwnedStream.get()) {
  Bind<&TCefCustomStreamWriter::Write>(record()->write);
  Bind<&TCefCustomStreamWriter::Seek>(record()->seek);
  Bind<&TCefCustomStreamWriter::Tell>(record()->tell);
  Bind<&TCefCustomStreamWriter::Flush>(record()->flush);
}

TCefCustomStreamWriter::TCefCustomStreamWriter(std::ostream& stream)
    : TCefCustomStreamWriter(std::unique_ptr<std::ostream>()) {
  FStream = &stream;
}

// The stream's buffer does the work: it keeps no error state between calls.
std::streambuf* TCefCustomStreamWriter::Buffer() const { return FStream ? FStream->rdbuf() : nullptr; }

size_t TCefCustomStreamWriter::Write(const void* ptr, size_t size, size_t n) {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  if (!buffer || !ptr || size == 0) return 0;
  // A count whose bytes would not fit in the address space cannot have come with a buffer.
  if (n > std::numeric_limits<size_t>::max() / size) return 0;
  const size_t wanted = size * n;
  const char* in = static_cast<const char*>(ptr);
  const size_t put = stream_io::MoveInPieces(
      wanted, [&](size_t at, std::streamsize piece) { return buffer->sputn(in + at, piece); });
  return put / size;
}

int TCefCustomStreamWriter::Seek(int64_t offset, int whence) {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  const auto origin = stream_io::Origin(whence);
  if (!buffer || !origin) return -1;
  return buffer->pubseekoff(offset, *origin, std::ios_base::out) < 0 ? -1 : 0;
}

int64_t TCefCustomStreamWriter::Tell() {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  return buffer ? static_cast<int64_t>(buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::out)) : -1;
}

int TCefCustomStreamWriter::Flush() {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  return buffer && buffer->pubsync() == 0 ? 0 : -1;
}

}  // namespace ceflib
