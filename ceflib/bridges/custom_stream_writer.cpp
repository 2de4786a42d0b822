#include "ceflib/bridges/custom_stream_writer.h"

#include <algorithm>
#include <limits>

namespace ceflib {
namespace {

// Holds the writer's lock for a scope, also when the stream throws.
struct TLocked {
  explicit TLocked(TCefBaseOwn& object) : object(object) { object.Lock(); }
  ~TLocked() { object.Unlock(); }
  TCefBaseOwn& object;
};

}  // namespace

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
  TLocked lock(*this);
  std::streambuf* buffer = Buffer();
  if (!buffer || !ptr || size == 0) return 0;
  // A count whose bytes would not fit in the address space cannot have come with a buffer.
  if (n > std::numeric_limits<size_t>::max() / size) return 0;
  const size_t wanted = size * n;
  constexpr auto kMaxChunk = static_cast<size_t>(std::numeric_limits<std::streamsize>::max());
  const char* in = static_cast<const char*>(ptr);
  size_t put = 0;
  while (put < wanted) {
    auto chunk = static_cast<std::streamsize>(std::min(wanted - put, kMaxChunk));
    std::streamsize written = buffer->sputn(in + put, chunk);
    if (written > 0) put += static_cast<size_t>(written);
    if (written < chunk) break;
  }
  return put / size;
}

int TCefCustomStreamWriter::Seek(int64_t offset, int whence) {
  TLocked lock(*this);
  std::streambuf* buffer = Buffer();
  if (!buffer || whence < 0 || whence > 2) return -1;
  static constexpr std::ios_base::seekdir kOrigins[] = {std::ios_base::beg, std::ios_base::cur,
                                                        std::ios_base::end};
  return buffer->pubseekoff(offset, kOrigins[whence], std::ios_base::out) < 0 ? -1 : 0;
}

int64_t TCefCustomStreamWriter::Tell() {
  TLocked lock(*this);
  std::streambuf* buffer = Buffer();
  return buffer ? static_cast<int64_t>(buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::out)) : -1;
}

int TCefCustomStreamWriter::Flush() {
  TLocked lock(*this);
  std::streambuf* buffer = Buffer();
  return buffer && buffer->pubsync() == 0 ? 0 : -1;
}

}  // namespace ceflib
