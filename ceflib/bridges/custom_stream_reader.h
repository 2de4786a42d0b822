// The custom stream reader through which the engine reads a program stream.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/request.h"

namespace ceflib {

// A file that could not be opened for reading.
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ICefCustomStreamReader : public virtual ICefBase {
 public:
  // Reads up to n elements of size bytes into ptr; answers the number of whole
  // elements read (a partial element at the end is read but not counted).
  virtual size_t Read(void* ptr, size_t size, size_t n) = 0;
  // Moves to offset from whence (0 start, 1 current position, 2 end); answers the low
  // 32 bits of the new position, -1 when the stream refuses.
  virtual int Seek(int64_t offset, int whence) = 0;
  virtual int64_t Tell() = 0;
  virtual bool Eof() = 0;
};

// Lets the engine read a program stream, from any of its threads: the four operations
// are serialised by the object's lock.
class TCefCustomStreamReader : public TCefOwn<cef_read_handler_t>, public ICefCustomStreamReader {
 public:
  // Owns the stream and frees it with the reader.
  explicit TCefCustomStreamReader(std::unique_ptr<std::istream> stream);
  // Borrows the stream, which must outlive the reader.
  explicit TCefCustomStreamReader(std::istream& stream);
  // Opens the file for reading (EFOpenError when it cannot) and owns it.
  explicit TCefCustomStreamReader(const ustring& filename);

  size_t Read(void* ptr, size_t size, size_t n) override;
  int Seek(int64_t offset, int whence) override;
  int64_t Tell() override;
  bool Eof() override;

 private:
  TCefCustomStreamReader(std::unique_ptr<std::istream> owned, std::istream* stream);
  std::streambuf* Buffer() const;

  std::unique_ptr<std::istream> FOwnedStream;
  std::istream* FStream;  // the stream read from: FOwnedStream or a borrowed one
};

}  // namespace ceflib
