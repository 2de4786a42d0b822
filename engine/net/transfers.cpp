// HTTP transfers on threads of their own, and aborting them.
#include <chrono>
#include <list>
#include <thread>

#include "immortal.h"
#include "net/http.h"
#include "runtime.h"

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
  if (abort_) {
    abort_ran_ = true;
    abort_();
  }
}

bool TransferControl::Aborted() const {
  std::lock_guard lock(mutex_);
  return aborted_;
}

struct HttpTransfer::State {
  TransferControl control;
  std::mutex mutex;  // `done` against Abort
  std::function<void(LoadResult)> done;
  std::atomic<bool> finished{false};
  std::thread thread;
};

namespace {

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

void JoinFinished(std::list<std::shared_ptr<HttpTransfer::State>>& running) {
  for (auto it = running.begin(); it != running.end();) {
    if ((*it)->finished) {
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
  state->thread = std::thread([state, url = std::move(url), request = std::move(request)] {
    LoadResult result = HttpFetch(url, request, state->control);
    std::function<void(LoadResult)> done;
    {
      std::lock_guard lock(state->mutex);
      if (!state->control.Aborted()) done = std::move(state->done);
      state->done = nullptr;
    }
    if (done) done(std::move(result));
    state->finished = true;
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
  // so it is repeated until the thread has ended.
  for (auto& state : running) {
    while (!state->finished) {
      state->control.Abort();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    state->thread.join();
  }
}

}  // namespace cef_engine::net
