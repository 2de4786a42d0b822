// HTTP transfers on threads of their own, and aborting them.
#include <chrono>
#include <list>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "net/download.h"
#include "net/http.h"
#include "net/text_util.h"
#include "objects/immortal.h"
#include "runtime/runtime.h"

namespace cef_engine::net {

void TransferControl::SetAbort(std::function<void()> abort) {
  std::lock_guard lock(mutex_);
  abort_ = std::move(abort);
  if (aborted_) {
    abort_ran_ = true;
    abort_();
  }
}

bool TransferControl::ClearAbort() {
  std::lock_guard lock(mutex_);
  abort_ = nullptr;
  return abort_ran_;
}

void TransferControl::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (pipe_) pipe_->Close();
  if (abort_) {
    abort_ran_ = true;
    abort_();
  }
}

void TransferControl::ClosePipeOnAbort(std::shared_ptr<BodyPipe> pipe) {
  std::lock_guard lock(mutex_);
  if (aborted_) pipe->Close();
  pipe_ = std::move(pipe);
}

bool TransferControl::Aborted() const {
  std::lock_guard lock(mutex_);
  return aborted_;
}

LoadResult BodyTooBig(const Url& url) {
  LoadResult result;
  result.final_url = url.Spec();
  result.error = ERR_FILE_TOO_BIG;
  result.error_text = u"The response of " + url.Spec() + u" is too big";
  return result;
}

namespace {

// The fetch, with a failed allocation made this transfer's error: nothing thrown on a
// transfer thread may end the process.
LoadResult GuardedFetch(const Url& url, const LoadRequest& request, TransferControl& control,
                        const BodyStart& start) {
  try {
    return HttpFetch(url, request, control, start);
  } catch (const std::exception& e) {
    LoadResult result;
    result.final_url = url.Spec();
    result.error = ERR_FAILED;
    result.error_text = u"Could not load " + url.Spec() + u": " + ToUtf16(e.what());
    return result;
  }
}

}  // namespace

struct HttpTransfer::State {
  TransferControl control;
  std::mutex mutex;  // `done`, `finished` and `module` against Abort and shutdown
  std::function<void(LoadResult)> done;
  bool finished = false;
  std::thread thread;
#if defined(_WIN32)
  // Set when shutdown stopped waiting for this thread: the thread holds the engine
  // library loaded until it ends.
  HMODULE module = nullptr;
#endif
  bool Finished() {
    std::lock_guard lock(mutex);
    return finished;
  }
};

namespace {

// The fetch on its thread. Its result goes out once: with the head, for a body that
// streams, else at the end.
void Run(HttpTransfer::State& state, const Url& url, const LoadRequest& request) {
  auto deliver = [&state](LoadResult result) {
    std::function<void(LoadResult)> done;
    {
      std::lock_guard lock(state.mutex);
      if (!state.control.Aborted()) done = std::move(state.done);
      state.done = nullptr;
    }
    if (done) done(std::move(result));
  };
  std::shared_ptr<BodyPipe> pipe;
  const BodyStart start = [&](const LoadResult& head) -> std::shared_ptr<BodyPipe> {
    if (!StreamsBody(request, head)) return nullptr;
    pipe = std::make_shared<BodyPipe>();
    state.control.ClosePipeOnAbort(pipe);
    LoadResult streamed = head;
    streamed.streamed_body = std::make_shared<BodyReader>(pipe);
    deliver(std::move(streamed));
    return pipe;
  };
  LoadResult result = GuardedFetch(url, request, state.control, start);
  if (pipe) {
    pipe->Finish(result.error);
  } else {
    deliver(std::move(result));
  }
}

// Every transfer thread not joined yet. Finished ones are joined when the next transfer
// starts or at shutdown.
struct Transfers {
  std::mutex mutex;
  std::list<std::shared_ptr<HttpTransfer::State>> running;
  bool armed = false;  // AbortAllTransfers is registered for this engine run
};
Transfers& Registry() {
  static Immortal<Transfers> transfers;
  return *transfers;
}

#if defined(_WIN32)
// How long shutdown waits for aborted transfers. WinHTTP under Wine does not break off a
// blocking receive when its handle is closed; such a thread is left to end by itself.
constexpr auto kAbortWait = std::chrono::milliseconds(100);
#endif

void JoinFinished(std::list<std::shared_ptr<HttpTransfer::State>>& running) {
  for (auto it = running.begin(); it != running.end();) {
    if ((*it)->Finished()) {
      (*it)->thread.join();
      it = running.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

std::shared_ptr<HttpTransfer> HttpTransfer::Start(Url url, LoadRequest request,
                                                  std::function<void(LoadResult)> done) {
  auto state = std::make_shared<State>();
  state->done = std::move(done);
  auto& registry = Registry();
  std::lock_guard lock(registry.mutex);
  JoinFinished(registry.running);
  if (!registry.armed) {
    registry.armed = true;
    Runtime::Get().AtShutdown([] {
      {
        std::lock_guard lock(Registry().mutex);
        Registry().armed = false;
      }
      AbortAllTransfers();
    });
  }
  state->thread = std::thread([state, url = std::move(url), request = std::move(request)]() mutable {
    Run(*state, url, request);
#if defined(_WIN32)
    HMODULE module = nullptr;
    {
      std::lock_guard lock(state->mutex);
      state->finished = true;
      module = state->module;
    }
    if (module) {
      // Shutdown no longer waits for this thread: it lets go of the library's last
      // reference itself, without returning into the library.
      state.reset();
      request = {};
      FreeLibraryAndExitThread(module, 0);
    }
#else
    std::lock_guard lock(state->mutex);
    state->finished = true;
#endif
  });
  registry.running.push_back(state);
  return std::make_shared<HttpTransfer>(std::move(state));
}

void HttpTransfer::Abort() {
  std::function<void(LoadResult)> dropped;
  {
    std::lock_guard lock(state_->mutex);
    state_->control.Abort();
    dropped = std::move(state_->done);
  }
}

void AbortAllTransfers() {
  std::list<std::shared_ptr<HttpTransfer::State>> running;
  {
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    running.swap(registry.running);
  }
  for (auto& state : running) {
    std::function<void(LoadResult)> dropped;
    {
      std::lock_guard lock(state->mutex);
      state->control.Abort();
      dropped = std::move(state->done);
    }
  }
  // An abort that came before the fetch opened its connection finds nothing to close,
  // so it is repeated while waiting.
#if defined(_WIN32)
  const auto deadline = std::chrono::steady_clock::now() + kAbortWait;
#endif
  for (auto& state : running) {
    while (!state->Finished()) {
#if defined(_WIN32)
      if (std::chrono::steady_clock::now() >= deadline) {
        std::lock_guard lock(state->mutex);
        if (state->finished) break;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&AbortAllTransfers), &state->module);
        break;
      }
#endif
      state->control.Abort();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
#if defined(_WIN32)
    if (state->module) {
      state->thread.detach();
      continue;
    }
#endif
    state->thread.join();
  }
}

}  // namespace cef_engine::net
