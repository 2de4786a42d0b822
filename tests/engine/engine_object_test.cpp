// The engine's base of reference-counted objects, compiled into the test from its
// header (the live count read here is this program's own copy of the header's counter).
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "objects/engine_object.h"

namespace {

using cef_engine::LiveCounts;

class Task final : public cef_engine::EngineObject<cef_task_t> {
 public:
  Task(int* ran, bool* destroyed) : ran_(ran), destroyed_(destroyed) { record()->execute = &Execute; }
  ~Task() override { *destroyed_ = true; }

 private:
  static void CEF_CALLBACK Execute(cef_task_t* self, cef_thread_id_t) {
    ++*static_cast<Task*>(FromRecord(self))->ran_;
  }
  int* ran_;
  bool* destroyed_;
};

TEST(EngineObject, HeaderFunctionsCountAndTheLastReleaseDestroys) {
  const int live_before = LiveCounts::Objects();
  int ran = 0;
  bool destroyed = false;
  cef_task_t* task = cef_engine::NewEngineRecord<Task>(&ran, &destroyed);
  cef_base_t* base = &task->base;
  EXPECT_EQ(base->size, sizeof(cef_task_t));
  EXPECT_EQ(LiveCounts::Objects(), live_before + 1);
  EXPECT_EQ(base->get_refct(base), 1) << "the receiver owns the only reference";

  task->execute(task, TID_UI);
  EXPECT_EQ(ran, 1) << "the record leads back to its object";
  EXPECT_EQ(base->add_ref(base), 2);
  EXPECT_EQ(base->release(base), 1);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(base->release(base), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(LiveCounts::Objects(), live_before);
}

}  // namespace
