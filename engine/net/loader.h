// Resource loading for the browser: one load per request, through the program's scheme
// handler factories, HTTP, file: or about:blank. Loads run in small steps on the IO thread
// (HTTP transfers on threads of their own), so none waits for another. The result comes
// back on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cef/cef_records.h"
#include "net/records.h"

namespace cef_engine::net {

class BodyReader;
class CookieStore;

struct LoadRequest {
  std::u16string url, method;
  HeaderList headers;
  std::string body;
  // The address of the top-level frame's page, which picks the cookie store; empty: `url`.
  std::u16string top_url = {};
  // An HTTP response that is a download hands its body over while it arrives
  // (LoadResult::streamed_body) instead of collecting it.
  bool stream_downloads = false;
  // Every HTTP response hands its body over while it arrives (a web URL request's).
  bool stream_body = false;
  // Something a page loads by itself (an image), not a frame's document: it is never a
  // download and never goes to the operating system's protocol handler.
  bool resource = false;
};

struct LoadResult {
  int error = 0;  // 0, or a cef_handler_errorcode_t
  std::u16string error_text, final_url, status_text, mime_type;
  int status = 0;
  HeaderList headers;
  std::string body;
  std::shared_ptr<CookieStore> cookies;  // the store an HTTP load used, for the page's script
  // The request handler dealt with an address of a scheme nothing serves, or the frame's
  // navigation check stopped a redirect: there is nothing to show, and no failure either.
  bool handled_by_program = false;
  // The body of a download (or of any response of a request that streams its bodies),
  // still arriving: `body` is then empty and the document body limit does not apply.
  std::shared_ptr<BodyReader> streamed_body;
  // With `streamed_body`: the body's length when its source announced one, else -1 (an
  // HTTP response's Content-Length says it instead).
  int64_t announced_length = -1;
};

// The largest document body a load delivers, whatever it comes from (scheme handler or
// HTTP). A load past it fails with ERR_FILE_TOO_BIG and gives its memory back, so an
// endless response cannot take the process's memory.
inline constexpr size_t kMaxDocumentBody = size_t{256} * 1024 * 1024;
// The limit in force: kMaxDocumentBody, unless a test lowered it (cef_engine_set_document_limit)
// so that reaching it costs little. Any thread.
size_t DocumentBodyLimit();
void SetDocumentBodyLimit(size_t bytes);

// Addresses the request handler allowed to go to the operating system's protocol handler.
// This engine never starts one; it keeps the last 100 such addresses since cef_initialize,
// in order, for the diagnostic export cef_engine_os_executions. Any thread.
std::u16string OsExecutionRequests();

class LoadJob;

// Cancels its load when cancelled or destroyed: a scheme handler that is still working
// gets its `cancel` call on the IO thread after the call in progress (if any), an HTTP
// transfer is aborted, and `done` is not called any more.
class LoadHandle {
 public:
  explicit LoadHandle(std::shared_ptr<LoadJob> job) : job_(std::move(job)) {}
  LoadHandle(const LoadHandle&) = delete;
  LoadHandle& operator=(const LoadHandle&) = delete;
  ~LoadHandle() { Cancel(); }
  // Main thread.
  void Cancel();
  // The load has finished: the handle lets go of it without cancelling.
  void Forget() { job_.reset(); }

 private:
  std::shared_ptr<LoadJob> job_;
};

// Asked on the main thread before a redirect (HTTP or scheme handler) is followed, with
// the request that would follow it; false stops the load with nothing loaded.
using RedirectCheck = std::function<bool(const LoadRequest& next)>;

// Starts loading on the IO thread; `done` runs on the main thread unless the load is
// cancelled first. `browser` is lent for the scheme handler factory's create call;
// `handler`, the browser's request handler (may be empty), is asked before the request
// goes out and hears of each redirect. `allow_redirect` (may be empty: every redirect is
// followed) is let go on the main thread, like `done`. Main thread.
std::shared_ptr<LoadHandle> StartLoad(LoadRequest request, cef_browser_t* browser,
                                      ProgramRef<cef_request_handler_t> handler,
                                      std::function<void(LoadResult)> done,
                                      RedirectCheck allow_redirect = {});

}  // namespace cef_engine::net
