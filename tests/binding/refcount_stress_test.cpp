// Reference counting across threads: engine-side threads add_ref, use and release bridge
// records (TCefOwn) while the main thread uses the same objects and takes and drops its
// own references; the last release may come from either side. Every object is destroyed
// exactly once, no count reads zero while a holder still has its reference, and no
// object is left at the end. The same runs the other way round for wrappers
// (TCefBaseRef) over an engine record whose count is atomic.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "ceflib/core/conversions.h"

using namespace ceflib;

namespace {

std::atomic<int> g_live{0};
std::atomic<int> g_destroyed{0};

// A program object exposed to the engine as a task record; execute counts its uses.
class StressOwn : public TCefOwn<cef_task_t> {
 public:
  StressOwn() {
    ++g_live;
    record()->execute = &Execute;
  }
  ~StressOwn() override {
    --g_live;
    ++g_destroyed;
  }
  using TCefOwn::record;
  std::atomic<int> uses{0};

 private:
  static void CEF_CALLBACK Execute(cef_task_t* self, cef_thread_id_t) {
    ++CefObjectOf<StressOwn>(self)->uses;
  }
};

constexpr int kObjects = 64;
constexpr int kEngineThreads = 4;
constexpr int kRounds = 20000;

TEST(RefCountStress, EngineThreadsAndTheMainThreadShareBridgeObjects) {
  g_destroyed = 0;
  std::vector<RefPtr<StressOwn>> mine;
  for (int i = 0; i < kObjects; ++i) {
    mine.push_back(Make<StressOwn>());
  }
  // Each engine thread holds one reference per object from the start (as if handed over
  // by CefDataOf) and lets go of it when done.
  std::vector<std::vector<cef_task_t*>> handed(kEngineThreads);
  for (auto& list : handed) {
    for (auto& own : mine) list.push_back(reinterpret_cast<cef_task_t*>(CefDataOf(RefPtr<ICefBase>(own))));
  }
  std::atomic<bool> go{false};
  std::atomic<int> bad_counts{0};
  std::vector<std::thread> engine;
  for (int t = 0; t < kEngineThreads; ++t) {
    engine.emplace_back([&, t] {
      std::minstd_rand random(static_cast<unsigned>(t + 1));
      while (!go) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        cef_task_t* r = handed[t][random() % kObjects];
        cef_base_t* base = &r->base;
        if (base->add_ref(base) < 2) ++bad_counts;  // this thread already held one
        r->execute(r, TID_IO);
        if (base->get_refct(base) < 1) ++bad_counts;
        if (base->release(base) < 1) ++bad_counts;
      }
      for (cef_task_t* r : handed[t]) r->base.release(&r->base);  // the last may free it
    });
  }
  go = true;
  std::minstd_rand random(99);
  for (int round = 0; round < kRounds; ++round) {
    const size_t i = random() % kObjects;
    if (!mine[i]) continue;
    RefPtr<StressOwn> copy = mine[i];  // a reference of the main thread's own
    cef_base_t* wrapped = copy->Wrap();
    copy->record()->execute(copy->record(), TID_UI);
    RefPtr<ICefBase> as_base = Cast<ICefBase>(copy);
    EXPECT_TRUE(as_base);
    wrapped->release(wrapped);
    if (round % 64 == 0) mine[i].reset();  // drops its original while the engine still holds some
  }
  mine.clear();
  for (auto& t : engine) t.join();

  EXPECT_EQ(bad_counts, 0);
  EXPECT_EQ(g_live, 0) << "every bridge object is gone";
  EXPECT_EQ(g_destroyed, kObjects) << "each destroyed exactly once";
}

// An engine record with an atomic count, as the engine's own objects have.
struct AtomicEngineRecord {
  cef_task_t record{};
  std::atomic<int> refs{1};
  std::atomic<bool> went_negative{false};
  AtomicEngineRecord() {
    record.base.size = sizeof(cef_task_t);
    record.base.add_ref = &AddRef;
    record.base.release = &Release;
    record.base.get_refct = &GetRefct;
  }
  static int CEF_CALLBACK AddRef(cef_base_t* b) { return ++Of(b)->refs; }
  static int CEF_CALLBACK Release(cef_base_t* b) {
    const int left = --Of(b)->refs;
    if (left < 0) Of(b)->went_negative = true;
    return left;
  }
  static int CEF_CALLBACK GetRefct(cef_base_t* b) { return Of(b)->refs.load(); }
  static AtomicEngineRecord* Of(cef_base_t* b) { return reinterpret_cast<AtomicEngineRecord*>(b); }
};

TEST(RefCountStress, WrappersAndEngineThreadsShareEngineRecords) {
  AtomicEngineRecord engine_record;
  cef_base_t* base = &engine_record.record.base;
  std::atomic<bool> stop{false};
  std::vector<std::thread> engine;
  for (int t = 0; t < kEngineThreads; ++t) {
    engine.emplace_back([&] {
      while (!stop) {
        base->add_ref(base);
        base->release(base);
      }
    });
  }
  // The main thread wraps the record (the wrapper takes over one reference), hands it
  // back to the engine and drops its wrappers, again and again.
  for (int round = 0; round < kRounds * 4; ++round) {
    base->add_ref(base);
    RefPtr<ICefBase> wrapper = TCefBaseRef::UnWrap(base);
    ASSERT_TRUE(wrapper);
    cef_base_t* again = wrapper->Wrap();
    RefPtr<ICefBase> second = wrapper;
    wrapper.reset();
    again->release(again);
  }
  stop = true;
  for (auto& t : engine) t.join();
  EXPECT_EQ(engine_record.refs, 1) << "only the engine's own reference is left";
  EXPECT_FALSE(engine_record.went_negative);
}

}  // namespace
