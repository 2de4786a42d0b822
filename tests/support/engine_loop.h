// Runs the engine's message loop until a condition holds: a task on the loop checks it
// after every piece of work and quits the loop once it holds (or once the run counts as
// hung). For tests that drive a loaded engine through the binding.
#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/core/main_thread.h"

namespace engine_loop {

class TPoll : public ceflib::TCefOwn<cef_task_t> {
 public:
  TPoll(std::function<bool()> done, std::chrono::steady_clock::time_point deadline)
      : done_(std::move(done)), deadline_(deadline) {
    ceflib::Bind<&TPoll::Execute>(record()->execute);
  }
  void Execute(cef_thread_id_t) {
    if (done_() || std::chrono::steady_clock::now() > deadline_) {
      ceflib::cef_quit_message_loop();
    } else {
      Post(5);
    }
  }
  void Post(int64_t delay) {
    ceflib::cef_post_delayed_task(
        TID_UI, reinterpret_cast<cef_task_t*>(ceflib::CefDataOf(ceflib::RefPtr<ceflib::ICefBase>(this))),
        delay);
  }

 private:
  std::function<bool()> done_;
  std::chrono::steady_clock::time_point deadline_;
};

// Long enough for a slow, busy machine: a wait that long makes a test slower, never red.
constexpr std::chrono::milliseconds kHungAfter = std::chrono::minutes(2);

inline bool RunUntil(std::function<bool()> done, std::chrono::milliseconds timeout = kHungAfter) {
  auto poll = ceflib::Make<TPoll>(done, std::chrono::steady_clock::now() + timeout);
  poll->Post(0);
  ceflib::CefRunMessageLoop();
  return done();
}

}  // namespace engine_loop
