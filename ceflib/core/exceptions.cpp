#include "ceflib/core/exceptions.h"

#include <cstdio>
#include <string>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace ceflib {

TCefEntryExceptionHook CefOnEntryException;

EOSError CefOSError(unsigned long code, std::string text) {
  // The system's text ends with a line break on Windows; the message has its own.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (code == 0) return EOSError(0, "A call to an OS function failed");
  return EOSError(code, "System Error.  Code: " + std::to_string(code) + ".\r\n" + text);
}

EOSError CefLastOSError() {
#if defined(_WIN32)
  DWORD code = GetLastError();
  std::string text;
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  if (buffer) {
    text.assign(buffer, length);
    LocalFree(buffer);
  }
#else
  unsigned long code = static_cast<unsigned long>(errno);
  std::string text = code ? std::strerror(static_cast<int>(code)) : "";
#endif
  return CefOSError(code, std::move(text));
}

std::string CefExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

void CefReportEntryException(std::exception_ptr error) noexcept {
  try {
    try {
      std::rethrow_exception(error);
    } catch (const ECefShutdownInProgress&) {
      return;  // an orderly shutdown, not a fault
    } catch (...) {
    }
    if (CefOnEntryException) {
      CefOnEntryException(error);
      return;
    }
    std::string message = "ceflib: exception in an engine callback: " + CefExceptionMessage(error) + "\n";
    std::fputs(message.c_str(), stderr);
#if defined(_WIN32)
    int n = MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, wide.data(), n);
    OutputDebugStringW(wide.c_str());
#endif
  } catch (...) {
    // A failing report must not take the engine down with it.
  }
}

void CefRaiseAssertionFailed() { throw EAssertionFailed(); }

}  // namespace ceflib
