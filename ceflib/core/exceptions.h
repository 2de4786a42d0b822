// Errors the binding raises, and the one place where an exception thrown by program
// code inside an engine callback is reported instead of unwinding into the engine.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace ceflib {

// The engine is unusable: its library lacks an entry point, it is not loaded, or it
// cannot do what was asked at this moment.
class ECefException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A call the engine dropped unrun because it is shutting down in order. It fails the
// call like any error, but is no fault of the program and is not reported.
class ECefShutdownInProgress : public ECefException {
 public:
  ECefShutdownInProgress() : ECefException("The engine shut down before the call ran") {}
};

// An operating-system call failed; carries the system's error code.
class EOSError : public std::runtime_error {
 public:
  EOSError(unsigned long code, const std::string& message) : std::runtime_error(message), code_(code) {}
  unsigned long ErrorCode() const noexcept { return code_; }

 private:
  unsigned long code_;
};

// Builds the error for a system error code and the system's text for it; code 0 gives
// the generic "A call to an OS function failed".
EOSError CefOSError(unsigned long code, std::string text);
// The same for the thread's last system error code.
EOSError CefLastOSError();

// A broken internal precondition, such as wrapping a null engine record.
class EAssertionFailed : public std::logic_error {
 public:
  EAssertionFailed() : std::logic_error("Assertion failure (ceflib)") {}
};
// Raises EAssertionFailed; out of line, so inline code that checks stays small.
[[noreturn]] void CefRaiseAssertionFailed();

// Receives every exception that program code lets escape from an engine callback. The
// callback itself then gives the engine its neutral answer. When unset, the message is
// written to standard error (and to the debugger on Windows).
using TCefEntryExceptionHook = std::function<void(std::exception_ptr)>;
extern TCefEntryExceptionHook CefOnEntryException;

// Reports the exception in flight, except a call dropped by an orderly shutdown; never
// throws.
void CefReportEntryException(std::exception_ptr error) noexcept;

// Message text of an exception_ptr, for reports.
std::string CefExceptionMessage(std::exception_ptr error);

// How many engine callbacks the calling thread is inside of: engine code is on its
// stack while this is above zero.
inline int& CefCallbackDepth() noexcept {
  static thread_local int depth = 0;
  return depth;
}

// Runs the body of an engine callback. An exception from program code is reported and
// turned into the neutral answer (zero, false or null), so it never crosses the
// engine's C frames.
template <class F>
auto CefGuarded(F&& body) noexcept -> decltype(body()) {
  using R = decltype(body());
  struct Inside {
    Inside() noexcept { ++CefCallbackDepth(); }
    ~Inside() { --CefCallbackDepth(); }
  } inside;
  try {
    return body();
  } catch (...) {
    CefReportEntryException(std::current_exception());
    if constexpr (!std::is_void_v<R>) return R{};
  }
}

}  // namespace ceflib
