#include "ceflib/bridges/custom_stream_reader.h"

#include "ceflib/bridges/stream_buffer_io.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <ext/stdio_filebuf.h>
#endif

namespace ceflib {

namespace {

[[noreturn]] void RaiseOpenError(const ustring& filename, int error) {
  throw EFOpenError("Cannot open file \"" + CefToUtf8(filename) + "\". " +
                    std::generic_category().message(error));
}

#if defined(_WIN32)

// A file that other programs may read but not write while it is open; the buffer closes
// the file with the stream.
class TCefSharedReadFile : public std::istream {
 public:
  explicit TCefSharedReadFile(int descriptor)
      : std::istream(nullptr), buffer_(descriptor, std::ios::in | std::ios::binary) {
    rdbuf(&buffer_);
  }

 private:
  __gnu_cxx::stdio_filebuf<char> buffer_;
};

std::unique_ptr<std::istream> OpenForReading(const ustring& filename) {
  const std::filesystem::path path(filename);
  int descriptor = -1;
  const errno_t error = _wsopen_s(&descriptor, path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYWR, 0);
  if (error != 0) RaiseOpenError(filename, error);
  return std::make_unique<TCefSharedReadFile>(descriptor);
}

#else

std::unique_ptr<std::istream> OpenForReading(const ustring& filename) {
  auto file = std::make_unique<std::ifstream>(std::filesystem::path(filename), std::ios::binary);
  if (!file->is_open()) RaiseOpenError(filename, errno);
  return file;
}

#endif

}  // namespace

TCefCustomStreamReader::TCefCustomStreamReader(std::unique_ptr<std::istream> owned, std::istream* stream)
    : FOwnedStream(std::move(owned)), FStream(stream) {
  Bind<&TCefCustomStreamReader::Read>(record()->read);
  Bind<&TCefCustomStreamReader::Seek>(record()->seek);
  Bind<&TCefCustomStreamReader::Tell>(record()->tell);
  Bind<&TCefCustomStreamReader::Eof>(record()->eof);
}

TCefCustomStreamReader::TCefCustomStreamReader(std::unique_ptr<std::istream> stream)
    : TCefCustomStreamReader(std::move(stream), nullptr) {
  FStream = FOwnedStream.get();
}

TCefCustomStreamReader::TCefCustomStreamReader(std::istream& stream)
    : TCefCustomStreamReader(nullptr, &stream) {}

TCefCustomStreamReader::TCefCustomStreamReader(const ustring& filename)
    : TCefCustomStreamReader(OpenForReading(filename)) {}

// The stream's buffer does the work: it keeps no error state between calls, so a read
// that hits the end does not spoil the next seek.
std::streambuf* TCefCustomStreamReader::Buffer() const { return FStream ? FStream->rdbuf() : nullptr; }

size_t TCefCustomStreamReader::Read(void* ptr, size_t size, size_t n) {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  if (!buffer || !ptr || size == 0) return 0;
  // size × n without wrapping around; no buffer can be larger than the address space.
  const size_t wanted =
      n > std::numeric_limits<size_t>::max() / size ? std::numeric_limits<size_t>::max() : size * n;
  char* out = static_cast<char*>(ptr);
  const size_t got = stream_io::MoveInPieces(
      wanted, [&](size_t at, std::streamsize piece) { return buffer->sgetn(out + at, piece); });
  return got / size;
}

int TCefCustomStreamReader::Seek(int64_t offset, int whence) {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  const auto origin = stream_io::Origin(whence);
  if (!buffer || !origin) return -1;
  std::streamoff position = buffer->pubseekoff(offset, *origin, std::ios_base::in);
  return static_cast<int>(static_cast<int64_t>(position));  // the low 32 bits
}

int64_t TCefCustomStreamReader::Tell() {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  return buffer ? static_cast<int64_t>(buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in)) : -1;
}

bool TCefCustomStreamReader::Eof() {
  stream_io::Locked lock(*this);
  std::streambuf* buffer = Buffer();
  if (!buffer) return true;
  std::streamoff position = buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  std::streamoff size = buffer->pubseekoff(0, std::ios_base::end, std::ios_base::in);
  if (position < 0 || size < 0) {
    // Not seekable: at the end when nothing more can be read.
    return buffer->sgetc() == std::char_traits<char>::eof();
  }
  buffer->pubseekpos(position, std::ios_base::in);
  return position == size;
}

}  // namespace ceflib
