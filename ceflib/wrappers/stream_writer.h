// The engine's stream writers: into a file, or through a program's write handler.
#pragma once

#include <memory>
#include <ostream>

#include "ceflib/bridges/custom_stream_writer.h"

namespace ceflib {

class ICefStreamWriter : public virtual ICefBase {
 public:
  // Writes n items of size bytes from ptr; answers the number of whole items written.
  virtual size_t Write(const void* ptr, size_t size, size_t n) = 0;
  // Moves to offset from whence (0 start, 1 current position, 2 end); 0 on success.
  virtual int Seek(int64_t offset, int whence) = 0;
  virtual int64_t Tell() = 0;
  // Writes out what is buffered; 0 on success.
  virtual int Flush() = 0;
};

class TCefStreamWriterRef final : public TCefRef<TCefStreamWriterRef, ICefStreamWriter, cef_stream_writer_t> {
 public:
  using TCefRef::TCefRef;

  size_t Write(const void* ptr, size_t size, size_t n) override;
  int Seek(int64_t offset, int whence) override;
  int64_t Tell() override;
  int Flush() override;

  // Engine writers; null when the engine makes none (a file it cannot create).
  static RefPtr<ICefStreamWriter> CreateForFile(const ustring& fileName);
  static RefPtr<ICefStreamWriter> CreateForCustomStream(const RefPtr<ICefCustomStreamWriter>& stream);
  // Into a program stream, written through a TCefCustomStreamWriter: owned (freed when
  // the engine lets the writer go) or borrowed (must outlive the writer).
  static RefPtr<ICefStreamWriter> CreateForStream(std::unique_ptr<std::ostream> stream);
  static RefPtr<ICefStreamWriter> CreateForStream(std::ostream& stream);
};

template <>
struct TCefWrapperOf<ICefStreamWriter> {
  using type = TCefStreamWriterRef;
};

}  // namespace ceflib
