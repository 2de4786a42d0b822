// The engine's zip reader: a cursor over the files of an archive read from a stream.
#pragma once

#include <chrono>

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefStreamReader;

class ICefZipReader : public virtual ICefBase {
 public:
  // Cursor moves; true when the cursor is on a file afterwards.
  virtual bool MoveToFirstFile() = 0;
  virtual bool MoveToNextFile() = 0;
  virtual bool MoveToFile(const ustring& fileName, bool caseSensitive) = 0;
  // Closes the archive; call it on the thread that made the reader.
  virtual bool Close() = 0;
  // The file under the cursor.
  virtual ustring GetFileName() = 0;
  virtual int64_t GetFileSize() = 0;
  virtual std::chrono::sys_seconds GetFileLastModified() = 0;
  // Opens it for reading; the password of an encrypted file, or empty.
  virtual bool OpenFile(const ustring& password) = 0;
  virtual bool CloseFile() = 0;
  // Reads up to bufferSize bytes: the count read, 0 at the end, below 0 on an error.
  virtual int ReadFile(void* buffer, size_t bufferSize) = 0;
  // The read position in the file's uncompressed bytes.
  virtual int64_t Tell() = 0;
  virtual bool Eof() = 0;
};

class TCefZipReaderRef final : public TCefRef<TCefZipReaderRef, ICefZipReader, cef_zip_reader_t> {
 public:
  using TCefRef::TCefRef;

  bool MoveToFirstFile() override;
  bool MoveToNextFile() override;
  bool MoveToFile(const ustring& fileName, bool caseSensitive) override;
  bool Close() override;
  ustring GetFileName() override;
  int64_t GetFileSize() override;
  std::chrono::sys_seconds GetFileLastModified() override;
  bool OpenFile(const ustring& password) override;
  bool CloseFile() override;
  int ReadFile(void* buffer, size_t bufferSize) override;
  int64_t Tell() override;
  bool Eof() override;

  // A reader over the archive in `stream`; null when the engine finds no archive there
  // (or no stream is given).
  static RefPtr<ICefZipReader> New(const RefPtr<ICefStreamReader>& stream);
};

template <>
struct TCefWrapperOf<ICefZipReader> {
  using type = TCefZipReaderRef;
};

}  // namespace ceflib
