// Program objects the engine calls outside the browser handlers: the DOM visitor, the
// DOM event listener and the custom stream reader through which the engine reads a
// program stream.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/dom.h"

namespace ceflib {

// ---- DOM visitor ----------------------------------------------------------------------

class ICefDomVisitor : public virtual ICefBase {
 public:
  virtual void Visit(const RefPtr<ICefDomDocument>& document) = 0;
};

// Called once with the frame's document; does nothing unless overridden.
class TCefDomVisitorOwn : public TCefOwn<cef_domvisitor_t>, public ICefDomVisitor {
 public:
  TCefDomVisitorOwn();
  void Visit(const RefPtr<ICefDomDocument>&) override {}
};

class TCefFastDomVisitor : public TCefDomVisitorOwn {
 public:
  explicit TCefFastDomVisitor(TCefFastDomVisitorProc proc) : FProc(std::move(proc)) {}
  void Visit(const RefPtr<ICefDomDocument>& document) override;

 private:
  TCefFastDomVisitorProc FProc;
};

// ---- DOM event listener ---------------------------------------------------------------

class ICefDomEventListener : public virtual ICefBase {
 public:
  virtual void HandleEvent(const RefPtr<ICefDomEvent>& event) = 0;
};

// Called with each event the node was subscribed to; does nothing unless overridden.
class TCefDomEventListenerOwn : public TCefOwn<cef_domevent_listener_t>, public ICefDomEventListener {
 public:
  TCefDomEventListenerOwn();
  void HandleEvent(const RefPtr<ICefDomEvent>&) override {}
};

class TCefFastDomEventListener : public TCefDomEventListenerOwn {
 public:
  explicit TCefFastDomEventListener(TCefFastDomEventListenerProc proc) : FProc(std::move(proc)) {}
  void HandleEvent(const RefPtr<ICefDomEvent>& event) override;

 private:
  TCefFastDomEventListenerProc FProc;
};

// ---- custom stream reader -------------------------------------------------------------

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
