// Threads of the program calling into the engine while the main thread starts it, runs
// its loop and shuts it down, cycle after cycle (also under TSan): nothing crashes, and
// every main-thread call either runs or is refused with one of the two orderly errors.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ceflib/core/exceptions.h"
#include "ceflib/core/main_thread.h"
#include "support/engine_probe.h"

using namespace ceflib;

namespace {

TEST(EngineThreads, MainThreadCallsRacingShutdownRunOrAreRefusedInOrder) {
  constexpr int kCycles = 60;
  constexpr int kCallers = 3;
  CefLibraryName = engine_probe::kEngineName;
  std::atomic<bool> stop{false};
  std::atomic<int> ran{0};
  std::atomic<int> onMainThreadElsewhere{0};
  std::mutex mutex;
  std::map<std::string, int> outcomes;  // what the callers' calls ended with
  std::vector<std::thread> callers;
  for (int t = 0; t < kCallers; ++t) {
    callers.emplace_back([&] {
      while (!stop) {
        if (CefIsMainThread()) ++onMainThreadElsewhere;
        std::string outcome = "ran";
        try {
          // The call that runs ends the loop, so the main thread shuts down at once.
          CefRunOnMainThread([&] {
            ++ran;
            cef_quit_message_loop();
          });
        } catch (const ECefShutdownInProgress&) {
          outcome = "shutdown";
        } catch (const ECefException& e) {
          outcome = e.what();
        }
        std::lock_guard lock(mutex);
        ++outcomes[outcome];
      }
    });
  }
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    CefEnsureEngine();
    CefRunMessageLoop();
    CefShutdownEngine();
  }
  stop = true;
  for (auto& caller : callers) caller.join();
  EXPECT_GE(ran, kCycles);
  EXPECT_EQ(onMainThreadElsewhere, 0);
  outcomes.erase("ran");
  outcomes.erase("shutdown");
  outcomes.erase("The engine is not loaded");
  EXPECT_EQ(outcomes, (std::map<std::string, int>{})) << "no call is accepted and then dropped";
  EXPECT_FALSE(engine_probe::Mapped(engine_probe::kEngineName)) << "the last call let the library go";
}

}  // namespace
