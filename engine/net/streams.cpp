// Stream readers over files, memory and program read handlers, and stream writers into
// files and program write handlers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <string>

#include "cef/cef_records.h"
#include "cef_engine.h"
#include "objects/engine_object.h"
#include "strings/text.h"

namespace cef_engine::net {
namespace {

template <class T, class Record>
T& Self(Record* record) {
  return *static_cast<T*>(T::FromRecord(record));
}

// Items of `size` bytes that fit in `bytes`; 0 for a zero size.
size_t WholeItems(size_t bytes, size_t size) { return size == 0 ? 0 : bytes / size; }

// Bytes of n items of `size`, or nothing when that overflows.
bool ByteCount(size_t size, size_t n, size_t& bytes) {
  if (size != 0 && n > std::numeric_limits<size_t>::max() / size) return false;
  bytes = size * n;
  return true;
}

// A reader or writer over a file stream, a memory block or a program handler; each kind
// supplies read/write, seek, tell and eof/flush, and the record entries forward to them.
template <class Impl, class Record>
struct StreamEntries {
  static int CEF_CALLBACK Seek(Record* self, int64_t offset, int whence) {
    auto& s = Self<Impl>(self);
    std::lock_guard lock(s.mutex);
    return s.DoSeek(offset, whence);
  }
  static int64_t CEF_CALLBACK Tell(Record* self) {
    auto& s = Self<Impl>(self);
    std::lock_guard lock(s.mutex);
    return s.DoTell();
  }
};

template <class Impl>
struct ReaderEntries : StreamEntries<Impl, cef_stream_reader_t> {
  static size_t CEF_CALLBACK Read(cef_stream_reader_t* self, void* ptr, size_t size, size_t n) {
    auto& s = Self<Impl>(self);
    size_t bytes = 0;
    if (!ptr || !ByteCount(size, n, bytes)) return 0;
    std::lock_guard lock(s.mutex);
    return s.DoRead(ptr, size, n, bytes);
  }
  static int CEF_CALLBACK Eof(cef_stream_reader_t* self) {
    auto& s = Self<Impl>(self);
    std::lock_guard lock(s.mutex);
    return s.DoEof() ? 1 : 0;
  }
  static void Bind(cef_stream_reader_t* r) {
    r->read = &Read;
    r->seek = &ReaderEntries::Seek;
    r->tell = &ReaderEntries::Tell;
    r->eof = &Eof;
  }
};

template <class Impl>
struct WriterEntries : StreamEntries<Impl, cef_stream_writer_t> {
  static size_t CEF_CALLBACK Write(cef_stream_writer_t* self, const void* ptr, size_t size, size_t n) {
    auto& s = Self<Impl>(self);
    size_t bytes = 0;
    if (!ptr || !ByteCount(size, n, bytes)) return 0;
    std::lock_guard lock(s.mutex);
    return s.DoWrite(ptr, size, n, bytes);
  }
  static int CEF_CALLBACK Flush(cef_stream_writer_t* self) {
    auto& s = Self<Impl>(self);
    std::lock_guard lock(s.mutex);
    return s.DoFlush();
  }
  static void Bind(cef_stream_writer_t* r) {
    r->write = &Write;
    r->seek = &WriterEntries::Seek;
    r->tell = &WriterEntries::Tell;
    r->flush = &Flush;
  }
};

// Position arithmetic shared by the memory reader: SEEK_SET, SEEK_CUR, SEEK_END.
bool NewPosition(int64_t size, int64_t current, int64_t offset, int whence, int64_t& out) {
  int64_t base = 0;
  switch (whence) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = current;
      break;
    case SEEK_END:
      base = size;
      break;
    default:
      return false;
  }
  if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0) return false;
  out = base + offset;
  return true;
}

std::ios::seekdir Direction(int whence) {
  return whence == SEEK_CUR ? std::ios::cur : whence == SEEK_END ? std::ios::end : std::ios::beg;
}

class FileReader final : public EngineObject<cef_stream_reader_t> {
 public:
  explicit FileReader(std::ifstream file) : file_(std::move(file)) {
    ReaderEntries<FileReader>::Bind(record());
  }

  size_t DoRead(void* ptr, size_t size, size_t, size_t bytes) {
    file_.clear(file_.rdstate() & ~std::ios::failbit);
    file_.read(static_cast<char*>(ptr), static_cast<std::streamsize>(bytes));
    position_ += file_.gcount();
    return WholeItems(static_cast<size_t>(file_.gcount()), size);
  }
  // Moves to a position counted from the start or the end: once a read has reached the
  // end, the file stream no longer tells where it stands (tellg answers -1, and so does
  // a relative move of 0 with some C libraries), so the reader keeps its position.
  int DoSeek(int64_t offset, int whence) {
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    if (whence == SEEK_CUR && offset > std::numeric_limits<int64_t>::max() - position_) return -1;
    file_.clear();
    std::filebuf& file = *file_.rdbuf();
    const std::streamoff moved =
        whence == SEEK_END ? file.pubseekoff(offset, std::ios::end, std::ios::in)
                           : file.pubseekpos(whence == SEEK_CUR ? position_ + offset : offset, std::ios::in);
    if (moved < 0) return -1;
    position_ = moved;
    return 0;
  }
  int64_t DoTell() { return position_; }
  bool DoEof() { return file_.eof() || file_.peek() == std::ifstream::traits_type::eof(); }

  std::mutex mutex;

 private:
  std::ifstream file_;
  int64_t position_ = 0;
};

// Reads a copy of the program's block, so the block may go as soon as the call returns.
class DataReader final : public EngineObject<cef_stream_reader_t> {
 public:
  explicit DataReader(std::string data) : data_(std::move(data)) {
    ReaderEntries<DataReader>::Bind(record());
  }

  size_t DoRead(void* ptr, size_t size, size_t, size_t bytes) {
    const size_t left = position_ < data_.size() ? data_.size() - position_ : 0;
    const size_t n = WholeItems(std::min(bytes, left), size);
    std::memcpy(ptr, data_.data() + position_, n * size);
    position_ += n * size;
    return n;
  }
  int DoSeek(int64_t offset, int whence) {
    int64_t position = 0;
    if (!NewPosition(static_cast<int64_t>(data_.size()), static_cast<int64_t>(position_), offset, whence,
                     position) ||
        position > static_cast<int64_t>(data_.size()))
      return -1;
    position_ = static_cast<size_t>(position);
    return 0;
  }
  int64_t DoTell() { return static_cast<int64_t>(position_); }
  bool DoEof() { return position_ >= data_.size(); }

  std::mutex mutex;

 private:
  std::string data_;
  size_t position_ = 0;
};

// Forwards to the program's handler, which keeps its own position.
template <class Handler, class Record>
class HandlerStream final : public EngineObject<Record> {
 public:
  explicit HandlerStream(ProgramRef<Handler> handler) : handler_(std::move(handler)) {
    if constexpr (std::is_same_v<Record, cef_stream_reader_t>) {
      ReaderEntries<HandlerStream>::Bind(this->record());
    } else {
      WriterEntries<HandlerStream>::Bind(this->record());
    }
  }
  size_t DoRead(void* ptr, size_t size, size_t n, size_t) {
    return handler_->read ? handler_->read(handler_.get(), ptr, size, n) : 0;
  }
  size_t DoWrite(const void* ptr, size_t size, size_t n, size_t) {
    return handler_->write ? handler_->write(handler_.get(), ptr, size, n) : 0;
  }
  int DoSeek(int64_t offset, int whence) {
    return handler_->seek ? handler_->seek(handler_.get(), offset, whence) : -1;
  }
  int64_t DoTell() { return handler_->tell ? handler_->tell(handler_.get()) : -1; }
  bool DoEof() { return !handler_->eof || handler_->eof(handler_.get()) != 0; }
  int DoFlush() { return handler_->flush ? handler_->flush(handler_.get()) : 0; }

  std::mutex mutex;

 private:
  ProgramRef<Handler> handler_;
};

class FileWriter final : public EngineObject<cef_stream_writer_t> {
 public:
  explicit FileWriter(std::ofstream file) : file_(std::move(file)) {
    WriterEntries<FileWriter>::Bind(record());
  }

  size_t DoWrite(const void* ptr, size_t size, size_t, size_t bytes) {
    file_.write(static_cast<const char*>(ptr), static_cast<std::streamsize>(bytes));
    return file_ ? WholeItems(bytes, size) : 0;
  }
  int DoSeek(int64_t offset, int whence) {
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    file_.clear();
    file_.seekp(offset, Direction(whence));
    return file_ ? 0 : -1;
  }
  int64_t DoTell() {
    const auto position = file_.tellp();
    return position < 0 ? -1 : static_cast<int64_t>(position);
  }
  int DoFlush() {
    file_.flush();
    return file_ ? 0 : -1;
  }

  std::mutex mutex;

 private:
  std::ofstream file_;
};

std::filesystem::path PathOf(const cef_string_t* name) {
  return std::filesystem::path(std::u16string(ViewOf(name)));
}

}  // namespace
}  // namespace cef_engine::net

using cef_engine::NewEngineRecord;
using cef_engine::ProgramRef;
using namespace cef_engine::net;

extern "C" {

cef_stream_reader_t* cef_stream_reader_create_for_file(const cef_string_t* fileName) {
  if (cef_engine::ViewOf(fileName).empty()) return nullptr;
  std::ifstream file(PathOf(fileName), std::ios::binary);
  if (!file) return nullptr;
  return NewEngineRecord<FileReader>(std::move(file));
}

cef_stream_reader_t* cef_stream_reader_create_for_data(void* data, size_t size) {
  if (!data && size != 0) return nullptr;
  return NewEngineRecord<DataReader>(
      std::string(data ? static_cast<const char*>(data) : "", data ? size : 0));
}

cef_stream_reader_t* cef_stream_reader_create_for_handler(cef_read_handler_t* handler) {
  auto held = ProgramRef<cef_read_handler_t>::Adopt(handler);
  if (!held) return nullptr;
  return NewEngineRecord<HandlerStream<cef_read_handler_t, cef_stream_reader_t>>(std::move(held));
}

cef_stream_writer_t* cef_stream_writer_create_for_file(const cef_string_t* fileName) {
  if (cef_engine::ViewOf(fileName).empty()) return nullptr;
  std::ofstream file(PathOf(fileName), std::ios::binary | std::ios::trunc);
  if (!file) return nullptr;
  return NewEngineRecord<FileWriter>(std::move(file));
}

cef_stream_writer_t* cef_stream_writer_create_for_handler(cef_write_handler_t* handler) {
  auto held = ProgramRef<cef_write_handler_t>::Adopt(handler);
  if (!held) return nullptr;
  return NewEngineRecord<HandlerStream<cef_write_handler_t, cef_stream_writer_t>>(std::move(held));
}

}  // extern "C"
