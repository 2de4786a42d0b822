// The program's write handler: the engine writes into a program stream through it.
#pragma once

#include <memory>
#include <ostream>

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefCustomStreamWriter : public virtual ICefBase {
 public:
  // Writes n items of size bytes from ptr; answers the number of whole items written.
  virtual size_t Write(const void* ptr, size_t size, size_t n) = 0;
  // Moves to offset from whence (0 start, 1 current position, 2 end); 0 on success, -1
  // when the stream refuses.
  virtual int Seek(int64_t offset, int whence) = 0;
  // The position; -1 when the stream cannot tell.
  virtual int64_t Tell() = 0;
  // 0 when the stream wrote out what it buffered, -1 otherwise.
  virtual int Flush() = 0;
};

// Lets the engine write into a program stream, from any of its threads: the four
// operations are serialised by the object's lock.
class TCefCustomStreamWriter : public TCefOwn<cef_write_handler_t>, public ICefCustomStreamWriter {
 public:
  // Owns the stream and frees it with the writer.
  explicit TCefCustomStreamWriter(std::unique_ptr<std::ostream> stream);
  // Borrows the stream, which must outlive the writer.
  explicit TCefCustomStreamWriter(std::ostream& stream);

  size_t Write(const void* ptr, size_t size, size_t n) override;
  int Seek(int64_t offset, int whence) override;
  int64_t Tell() override;
  int Flush() override;

 private:
  std::streambuf* Buffer() const;

  std::unique_ptr<std::ostream> FOwnedStream;
  std::ostream* FStream;  // the stream written to: FOwnedStream or a borrowed one
};

}  // namespace ceflib
