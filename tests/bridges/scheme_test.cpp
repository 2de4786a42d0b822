#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>

#include "bridge_test_support.h"
#include "ceflib/bridges/scheme.h"
#include "ceflib/core/exceptions.h"
#include "ceflib/core/main_thread.h"

using namespace ceflib;
using namespace bridge_test;
using namespace std::chrono_literals;

namespace {

// What the engine's progress callback received.
struct CallbackCounts {
  std::atomic<int> headers{0}, bytes{0}, cancel{0};
} callbackCounts;

void CEF_CALLBACK CountHeaders(cef_scheme_handler_callback_t*) { ++callbackCounts.headers; }
void CEF_CALLBACK CountBytes(cef_scheme_handler_callback_t*) { ++callbackCounts.bytes; }
void CEF_CALLBACK CountCancel(cef_scheme_handler_callback_t*) { ++callbackCounts.cancel; }

struct FakeCallback : FakeEngineObject<cef_scheme_handler_callback_t> {
  FakeCallback() {
    record.headers_available = &CountHeaders;
    record.bytes_available = &CountBytes;
    record.cancel = &CountCancel;
  }
};

// What a handler saw, shared with the test through the handler class.
struct Seen {
  bool sync = false;
  ustring scheme;
  cef_base_t* browser = nullptr;
  cef_base_t* request = nullptr;
  std::thread::id thread;
  int64_t lengthIn = -1;
  int bytesReadIn = -1;
  int headersAtOnce = -1, bytesAtOnce = -1;
  bool destroyed = false;
};

cef_base_t* RecordOf(const RefPtr<ICefBase>& object) {
  if (!object) return nullptr;
  cef_base_t* record = object->Wrap();
  record->release(record);
  return record;
}

// A handler that serves "hello" and reports what it got. Setting `change` makes it
// write its outputs; `fail` makes ProcessRequest throw.
class TestHandler : public TCefSchemeHandlerOwn {
 public:
  TestHandler(bool sync, const ustring& scheme, const RefPtr<ICefBrowser>& browser,
              const RefPtr<ICefRequest>& request, Seen* seen, bool change, bool fail)
      : TCefSchemeHandlerOwn(sync, scheme, browser, request), seen_(seen), change_(change), fail_(fail) {
    seen_->sync = sync;
    seen_->scheme = scheme;
    seen_->browser = RecordOf(browser);
    seen_->request = RecordOf(request);
  }
  ~TestHandler() override { seen_->destroyed = true; }

  bool ProcessRequest(const RefPtr<ICefRequest>& request,
                      const RefPtr<ICefSchemeHandlerCallback>& callback) override {
    seen_->thread = std::this_thread::get_id();
    seen_->request = RecordOf(request);
    if (fail_) throw std::runtime_error("process failed");
    callback->HeadersAvailable();
    seen_->headersAtOnce = callbackCounts.headers;
    callback->BytesAvailable();
    seen_->bytesAtOnce = callbackCounts.bytes;
    return true;
  }
  void GetResponseHeaders(const RefPtr<ICefResponse>&, int64_t& length, ustring& redirect) override {
    seen_->thread = std::this_thread::get_id();
    seen_->lengthIn = length;
    if (change_) {
      length = int64_t{5} << 32 | 7;  // all 64 bits must arrive
      redirect = u"client://test/moved";
    }
  }
  bool ReadResponse(void* dataOut, int bytesToRead, int& bytesRead,
                    const RefPtr<ICefSchemeHandlerCallback>&) override {
    seen_->thread = std::this_thread::get_id();
    seen_->bytesReadIn = bytesRead;
    if (!change_) return false;
    bytesRead = bytesToRead < 5 ? bytesToRead : 5;
    std::memcpy(dataOut, "hello", bytesRead);
    return true;
  }

 private:
  Seen* seen_;
  bool change_, fail_;
};

class SchemeBridge : public testing::Test {
 protected:
  void SetUp() override {
    callbackCounts.headers = callbackCounts.bytes = callbackCounts.cancel = 0;
    mainThread = std::this_thread::get_id();
    ASSERT_TRUE(CefIsMainThread()) << "the tests run on the thread that loaded the engine";
  }
  TCefSchemeHandlerClass Class(bool change = false, bool fail = false) {
    return [this, change, fail](bool sync, const ustring& scheme, const RefPtr<ICefBrowser>& browser,
                                const RefPtr<ICefRequest>& request) -> RefPtr<TCefSchemeHandlerOwn> {
      return Make<TestHandler>(sync, scheme, browser, request, &seen, change, fail);
    };
  }
  // Asks a factory for a handler as the engine does; the engine owns the result.
  cef_scheme_handler_t* CreateHandler(bool sync, bool change = false, bool fail = false) {
    auto* factory = EngineRecord<cef_scheme_handler_factory_t>(
        Make<TCefSchemeHandlerFactoryOwn>(Class(change, fail), sync));
    const ustring scheme = u"client";
    const cef_string_t view = CefStringView(scheme);
    cef_scheme_handler_t* handler = factory->create(factory, HandOver(browser), &view, HandOver(request));
    ReleaseRecord(factory);
    return handler;
  }

  Seen seen;
  std::thread::id mainThread;
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_request_t> request;
  FakeEngineObject<cef_response_t> response;
  FakeCallback callback;
};

// Runs `work` on another thread while this (the main) thread runs the engine's loop
// by single steps until the work is done.
template <class F>
void OnWorkerStepping(F&& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) {
    cef_do_message_loop_work();
    std::this_thread::sleep_for(1ms);
  }
  worker.join();
}

// The same, with the engine's own loop running until the worker asks it to quit.
template <class F>
void OnWorkerInMessageLoop(F&& work) {
  std::thread worker([&] {
    work();
    cef_quit_message_loop();
  });
  CefRunMessageLoop();
  worker.join();
}

TEST_F(SchemeBridge, FactoryCreatesOneHandlerPerCallHeldByTheEngineAlone) {
  cef_scheme_handler_t* handler = CreateHandler(false);
  ASSERT_NE(handler, nullptr);
  if constexpr (sizeof(void*) == 4) {
    EXPECT_EQ(handler->base.size, 32u);
    EXPECT_EQ(sizeof(cef_scheme_handler_factory_t), 20u);
  }
  EXPECT_EQ(RefCount(handler), 1);
  EXPECT_FALSE(seen.sync);
  EXPECT_EQ(seen.scheme, u"client");
  EXPECT_EQ(seen.browser, &browser.record.base);
  EXPECT_EQ(seen.request, &request.record.base);
  EXPECT_EQ(browser.refs, 2) << "the handler keeps its browser";
  EXPECT_EQ(request.refs, 2) << "the handler keeps its request";
  EXPECT_FALSE(seen.destroyed);
  ReleaseRecord(handler);
  EXPECT_TRUE(seen.destroyed);
  EXPECT_EQ(browser.refs, 1);
  EXPECT_EQ(request.refs, 1);
}

TEST_F(SchemeBridge, FactoryWithoutHandlerAnswersNull) {
  auto* factory = EngineRecord<cef_scheme_handler_factory_t>(Make<TCefSchemeHandlerFactoryOwn>(
      [](bool, const ustring&, const RefPtr<ICefBrowser>&, const RefPtr<ICefRequest>&) {
        return RefPtr<TCefSchemeHandlerOwn>();
      },
      false));
  EXPECT_EQ(factory->create(factory, HandOver(browser), nullptr, HandOver(request)), nullptr);
  EXPECT_EQ(browser.refs, 1);
  EXPECT_EQ(request.refs, 1);
  ReleaseRecord(factory);
}

TEST_F(SchemeBridge, DefaultHandlerAnswersZeroAndTouchesNothing) {
  auto* factory = EngineRecord<cef_scheme_handler_factory_t>(
      Make<TCefSchemeHandlerFactoryOwn>(CefSchemeHandlerClassOf<TCefSchemeHandlerOwn>(), false));
  cef_scheme_handler_t* h = factory->create(factory, HandOver(browser), nullptr, HandOver(request));
  ReleaseRecord(factory);
  EXPECT_EQ(h->process_request(h, HandOver(request), HandOver(callback)), 0);
  int64_t length = 31;
  EngineString redirect(u"keep");
  h->get_response_headers(h, HandOver(response), &length, redirect.get());
  EXPECT_EQ(length, 31);
  EXPECT_EQ(redirect.Text(), u"keep");
  char buffer[8] = {};
  int read = 3;
  EXPECT_EQ(h->read_response(h, buffer, sizeof buffer, &read, HandOver(callback)), 0);
  EXPECT_EQ(read, 3);
  auto* object = CefObjectOf<TCefSchemeHandlerOwn>(h);
  EXPECT_FALSE(object->Cancelled());
  h->cancel(h);
  EXPECT_TRUE(object->Cancelled());
  ReleaseRecord(h);
  EXPECT_EQ(request.refs, 1);
  EXPECT_EQ(response.refs, 1);
  EXPECT_EQ(callback.refs, 1);
}

TEST_F(SchemeBridge, DirectModeWorksOnTheEnginesOwnVariables) {
  cef_scheme_handler_t* h = CreateHandler(false, true);
  EXPECT_EQ(h->process_request(h, HandOver(request), HandOver(callback)), 1);
  EXPECT_EQ(seen.headersAtOnce, 1) << "the callback reached the engine at once";
  EXPECT_EQ(seen.bytesAtOnce, 1);
  int64_t length = 1234;
  EngineString redirect(u"old");
  h->get_response_headers(h, HandOver(response), &length, redirect.get());
  EXPECT_EQ(seen.lengthIn, 1234) << "direct: the method starts from the engine's length";
  EXPECT_EQ(length, int64_t{5} << 32 | 7);
  EXPECT_EQ(redirect.Text(), u"client://test/moved");
  char buffer[16] = {};
  int read = 9;
  EXPECT_EQ(h->read_response(h, buffer, 3, &read, HandOver(callback)), 1);
  EXPECT_EQ(seen.bytesReadIn, 9) << "direct: the method starts from the engine's count";
  EXPECT_EQ(read, 3);
  EXPECT_EQ(std::string(buffer), "hel");
  EXPECT_EQ(seen.thread, mainThread);
  ReleaseRecord(h);
  EXPECT_EQ(request.refs, 1);
  EXPECT_EQ(response.refs, 1);
  EXPECT_EQ(callback.refs, 1);
}

TEST_F(SchemeBridge, DirectModeEmptyRedirectLeavesTheEngineString) {
  cef_scheme_handler_t* h = CreateHandler(false, false);
  int64_t length = 8;
  EngineString redirect(u"engine redirect");
  const char16* before = redirect.record.str;
  h->get_response_headers(h, HandOver(response), &length, redirect.get());
  EXPECT_EQ(redirect.record.str, before);
  EXPECT_EQ(redirect.Text(), u"engine redirect");
  EXPECT_EQ(length, 8);
  ReleaseRecord(h);
}

TEST_F(SchemeBridge, MainThreadModeCalledOnTheMainThreadRunsAtOnce) {
  cef_scheme_handler_t* h = CreateHandler(true, false);
  EXPECT_TRUE(seen.sync);
  EXPECT_EQ(h->process_request(h, HandOver(request), HandOver(callback)), 1);
  EXPECT_EQ(seen.thread, mainThread);
  EXPECT_EQ(seen.headersAtOnce, 1);
  int64_t length = 777;
  EngineString redirect(u"engine redirect");
  h->get_response_headers(h, HandOver(response), &length, redirect.get());
  EXPECT_EQ(seen.lengthIn, 0) << "main-thread mode: the length starts at 0";
  EXPECT_EQ(length, 0) << "an untouched length reports 0";
  EXPECT_EQ(redirect.Text(), u"engine redirect");
  char buffer[4] = {};
  int read = 42;
  EXPECT_EQ(h->read_response(h, buffer, sizeof buffer, &read, HandOver(callback)), 0);
  EXPECT_EQ(seen.bytesReadIn, 42);
  EXPECT_EQ(read, 42) << "an untouched count reports the engine's value";
  ReleaseRecord(h);
  EXPECT_EQ(callback.refs, 1);
}

TEST_F(SchemeBridge, MainThreadModeFromAnotherThreadRunsInTheEnginesLoop) {
  cef_scheme_handler_t* h = CreateHandler(true, true);
  int processed = -1, readAnswer = -1, read = 42;
  int64_t length = 777;
  EngineString redirect;
  char buffer[16] = {};
  std::thread::id worker;
  OnWorkerStepping([&] {
    worker = std::this_thread::get_id();
    processed = h->process_request(h, HandOver(request), HandOver(callback));
  });
  EXPECT_EQ(processed, 1);
  EXPECT_EQ(seen.thread, mainThread);
  EXPECT_NE(worker, mainThread);
  EXPECT_EQ(seen.headersAtOnce, 1);
  EXPECT_EQ(seen.bytesAtOnce, 1);
  seen.thread = {};
  OnWorkerInMessageLoop([&] {
    h->get_response_headers(h, HandOver(response), &length, redirect.get());
    readAnswer = h->read_response(h, buffer, 8, &read, HandOver(callback));
  });
  EXPECT_EQ(seen.thread, mainThread);
  EXPECT_EQ(seen.lengthIn, 0);
  EXPECT_EQ(length, int64_t{5} << 32 | 7);
  EXPECT_EQ(redirect.Text(), u"client://test/moved");
  EXPECT_EQ(seen.bytesReadIn, 42);
  EXPECT_EQ(readAnswer, 1);
  EXPECT_EQ(read, 5);
  EXPECT_EQ(std::string(buffer), "hello");
  ReleaseRecord(h);
  EXPECT_TRUE(seen.destroyed);
  EXPECT_EQ(request.refs, 1);
  EXPECT_EQ(response.refs, 1);
  EXPECT_EQ(callback.refs, 1);
}

TEST_F(SchemeBridge, MainThreadModeUntouchedOutputsFromAnotherThread) {
  cef_scheme_handler_t* h = CreateHandler(true, false);
  int64_t length = 777;
  int read = 42;
  char buffer[4] = {};
  OnWorkerStepping([&] {
    h->get_response_headers(h, HandOver(response), &length, nullptr);
    h->read_response(h, buffer, sizeof buffer, &read, HandOver(callback));
  });
  EXPECT_EQ(length, 0);
  EXPECT_EQ(read, 42);
  ReleaseRecord(h);
}

TEST_F(SchemeBridge, ExceptionOnTheMainThreadIsRaisedInTheWaitingThreadAndStopsThere) {
  cef_scheme_handler_t* h = CreateHandler(true, false, true);
  EntryExceptions caught;
  int processed = -1;
  OnWorkerStepping([&] { processed = h->process_request(h, HandOver(request), HandOver(callback)); });
  EXPECT_EQ(seen.thread, mainThread);
  EXPECT_EQ(processed, 0);
  EXPECT_EQ(caught.messages, std::vector<std::string>{"process failed"});
  ReleaseRecord(h);
  EXPECT_EQ(request.refs, 1);
  EXPECT_EQ(callback.refs, 1);
}

TEST_F(SchemeBridge, CancelInMainThreadModeDoesNotWaitForTheMainThread) {
  cef_scheme_handler_t* h = CreateHandler(true);
  std::thread::id cancelThread;
  auto cancelled = std::async(std::launch::async, [&] {
    h->cancel(h);  // the main thread is not running the loop now
    cancelThread = std::this_thread::get_id();
  });
  ASSERT_EQ(cancelled.wait_for(60s), std::future_status::ready) << "cancel waited for the main thread";
  EXPECT_NE(cancelThread, mainThread);
  EXPECT_TRUE(CefObjectOf<TCefSchemeHandlerOwn>(h)->Cancelled());
  ReleaseRecord(h);
}

TEST_F(SchemeBridge, CallbackWrapperCallsEachEngineEntry) {
  RefPtr<ICefSchemeHandlerCallback> wrapper = TCefSchemeHandlerCallbackRef::UnWrap(HandOver(callback));
  wrapper->HeadersAvailable();
  EXPECT_EQ(callbackCounts.headers, 1);
  EXPECT_EQ(callbackCounts.bytes, 0);
  wrapper->BytesAvailable();
  EXPECT_EQ(callbackCounts.bytes, 1);
  wrapper->Cancel();
  EXPECT_EQ(callbackCounts.cancel, 1);
  EXPECT_EQ(callbackCounts.headers, 1);
  wrapper.reset();
  EXPECT_EQ(callback.refs, 1);
}

TEST(MainThreadCalls, RunAtOnceOnTheMainThreadAndRaiseAgainInTheCaller) {
  const auto main = std::this_thread::get_id();
  std::thread::id ranOn;
  CefRunOnMainThread([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, main);

  std::string message;
  bool sameType = false;
  OnWorkerStepping([&] {
    try {
      CefRunOnMainThread([&] {
        ranOn = std::this_thread::get_id();
        throw std::out_of_range("on the main thread");
      });
    } catch (const std::out_of_range& e) {
      sameType = true;
      message = e.what();
    }
  });
  EXPECT_EQ(ranOn, main);
  EXPECT_TRUE(sameType);
  EXPECT_EQ(message, "on the main thread");
}

TEST(MainThreadCalls, CallsFromSeveralThreadsEachRunOnceInOrderOfTheirThread) {
  constexpr int kThreads = 4, kCalls = 25;
  std::vector<int> last(kThreads, -1);
  bool ordered = true, onMain = true;
  const auto main = std::this_thread::get_id();
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        CefRunOnMainThread([&, t, i] {
          ordered = ordered && last[t] == i - 1;  // only the main thread touches these
          onMain = onMain && std::this_thread::get_id() == main;
          last[t] = i;
        });
      }
      ++finished;
    });
  }
  while (finished < kThreads) {
    cef_do_message_loop_work();
    std::this_thread::sleep_for(1ms);
  }
  for (auto& worker : workers) worker.join();
  EXPECT_TRUE(ordered);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(last, std::vector<int>(kThreads, kCalls - 1));
}

// The engine refusing the wake-up task, or releasing it without running it (as at
// shutdown), fails the call instead of leaving its thread waiting.
int RefuseTask(cef_thread_id_t, cef_task_t* task) {
  ReleaseRecord(task);
  return 0;
}
int DropTask(cef_thread_id_t, cef_task_t* task) {
  ReleaseRecord(task);
  return 1;
}

TEST(MainThreadCalls, ATaskTheEngineRefusesOrDropsFailsTheCall) {
  const auto saved = cef_post_task;
  for (auto post : {&RefuseTask, &DropTask}) {
    cef_post_task = post;
    detail::CefPublishThreadEntries();  // other threads call through the published entries
    bool ran = false;
    auto outcome = std::async(std::launch::async, [&]() -> std::string {
      try {
        CefRunOnMainThread([&] { ran = true; });
      } catch (const ECefException& e) {
        return e.what();
      }
      return "no error";
    });
    const bool finished = outcome.wait_for(60s) == std::future_status::ready;
    cef_post_task = saved;
    detail::CefPublishThreadEntries();
    ASSERT_TRUE(finished) << "the caller was left waiting";
    EXPECT_NE(outcome.get(), "no error");
    EXPECT_FALSE(ran);
  }
  bool ran = false;
  OnWorkerStepping([&] { CefRunOnMainThread([&] { ran = true; }); });
  EXPECT_TRUE(ran) << "later calls are not disturbed";
}

}  // namespace
