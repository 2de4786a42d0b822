// HTTP: the platform's stack behind one blocking fetch (cpp-httplib on Linux, WinHTTP on
// Windows), run on a thread of its own per transfer so that a slow server holds up no
// other load. Each fetch is one request and its response: redirects are not followed here.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "net/body_pipe.h"
#include "net/loader.h"
#include "net/url.h"

namespace cef_engine::net {

// How a transfer in flight is aborted from another thread. The fetch registers what
// breaks its blocking calls (closing the socket or the request handle) for as long as
// that may be done.
class TransferControl {
 public:
  // Fetch thread. `abort` may run on any thread until ClearAbort returns; it runs at once
  // when the transfer was aborted already.
  void SetAbort(std::function<void()> abort);
  // Fetch thread. True when the registered abort ran.
  bool ClearAbort();
  // Any thread, as often as needed: each call runs the registered abort again.
  void Abort();
  // Fetch thread: a body pipe that an abort closes as well (at once when aborted already).
  void ClosePipeOnAbort(std::shared_ptr<BodyPipe> pipe);
  bool Aborted() const;

 private:
  mutable std::mutex mutex_;
  bool aborted_ = false;
  bool abort_ran_ = false;
  std::function<void()> abort_;
  std::shared_ptr<BodyPipe> pipe_;
};

// What a request says it comes from when nothing else is set.
inline constexpr char16_t kEngineUserAgent[] = u"Tessaril engine/1";

// The failure of a transfer whose body passed the document body limit.
LoadResult BodyTooBig(const Url& url);

// Called by the fetch once with the response's head (status, headers, type, address, no
// body): a pipe to push the body into as it arrives, or null to collect it whole.
using BodyStart = std::function<std::shared_ptr<BodyPipe>(const LoadResult& head)>;

// Platform fetch; answers an ERR_ABORTED failure once aborted. A body that went into the
// pipe `start` gave is not in the result.
LoadResult HttpFetch(const Url& url, const LoadRequest& request, TransferControl& control,
                     const BodyStart& start);

// One fetch on a thread of its own. `done` runs on that thread with the result, unless
// the transfer was aborted first; it touches no engine object itself.
class HttpTransfer {
 public:
  static std::shared_ptr<HttpTransfer> Start(Url url, LoadRequest request,
                                             std::function<void(LoadResult)> done);
  // Any thread: the result is dropped and the fetch breaks off as soon as it can.
  void Abort();

  struct State;
  explicit HttpTransfer(std::shared_ptr<State> state) : state_(std::move(state)) {}

 private:
  std::shared_ptr<State> state_;
};

// Engine shutdown: aborts every transfer still running and waits for their threads.
void AbortAllTransfers();

}  // namespace cef_engine::net
