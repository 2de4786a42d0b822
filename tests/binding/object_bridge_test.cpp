#include <gtest/gtest.h>

#include "ceflib/core/conversions.h"
#include "support/fake_engine_object.h"

using namespace ceflib;

namespace {

// A program object exposed to the engine as a task record; it notes its destruction.
class TestOwn : public TCefOwn<cef_task_t> {
 public:
  explicit TestOwn(bool* destroyed) : destroyed_(destroyed) {}
  ~TestOwn() override { *destroyed_ = true; }
  using TCefOwn::record;

 private:
  bool* destroyed_;
};

int EngineRefs(cef_base_t* record) { return record->get_refct(record); }

TEST(ObjectBridge, RecordLayoutLeadsBackToTheObject) {
  bool destroyed = false;
  RefPtr<TestOwn> own = Make<TestOwn>(&destroyed);
  cef_task_t* record = own->record();
  EXPECT_EQ(record->base.size, sizeof(cef_task_t));
  EXPECT_EQ(record->execute, nullptr) << "members the class does not set stay null";
  EXPECT_EQ(CefObjectOf(record), own.get());
  EXPECT_EQ(reinterpret_cast<void* const*>(record)[-1], static_cast<TCefBaseOwn*>(own.get()))
      << "the back-pointer sits right in front of the record";
}

TEST(ObjectBridge, ObjectHandedToTheEngineLivesByTheEnginesReference) {
  bool destroyed = false;
  cef_base_t* record = CefDataOf(RefPtr<ICefBase>(Make<TestOwn>(&destroyed)));
  EXPECT_EQ(EngineRefs(record), 1) << "only the engine's reference is left";
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(record->release(record), 0);
  EXPECT_TRUE(destroyed);
}

TEST(ObjectBridge, ProgramAndEngineShareOneCount) {
  bool destroyed = false;
  RefPtr<TestOwn> own = Make<TestOwn>(&destroyed);
  cef_base_t* record = own->Wrap();
  EXPECT_EQ(EngineRefs(record), 2);
  EXPECT_EQ(record->add_ref(record), 3);
  EXPECT_EQ(own->RefCount(), 3);
  record->release(record);
  own.reset();
  EXPECT_FALSE(destroyed) << "the engine still holds one";
  EXPECT_EQ(EngineRefs(record), 1);
  record->release(record);
  EXPECT_TRUE(destroyed);
}

TEST(ObjectBridge, ReferencesTakenInsideAConstructorDoNotFreeTheObject) {
  struct SelfReferencing : TCefOwn<cef_task_t> {
    SelfReferencing() {
      RefPtr<ICefBase> self(this);  // taken and dropped while constructing
    }
  };
  RefPtr<SelfReferencing> own = Make<SelfReferencing>();
  EXPECT_EQ(own->RefCount(), 1);
}

TEST(ObjectBridge, UnWrapTakesOverOneReferencePerWrapper) {
  FakeEngineObject<cef_task_t> engine;
  engine.refs = 2;  // the engine handed out two pointers, one reference each
  RefPtr<ICefBase> first = TCefBaseRef::UnWrap(engine.get());
  RefPtr<ICefBase> second = TCefBaseRef::UnWrap(engine.get());
  EXPECT_NE(first.get(), second.get()) << "no cache: every UnWrap makes a new wrapper";
  EXPECT_EQ(engine.refs, 2) << "UnWrap adds no reference";
  EXPECT_EQ(first->Wrap(), &engine.record.base);
  EXPECT_EQ(engine.refs, 3) << "Wrap adds one for the receiver";
  engine.refs--;
  first.reset();
  second.reset();
  EXPECT_EQ(engine.refs, 0) << "each wrapper released its reference exactly once";
}

TEST(ObjectBridge, NilCrossesAsNilAndTouchesNothing) {
  EXPECT_EQ(CefDataOf(RefPtr<ICefBase>()), nullptr);
  EXPECT_EQ(TCefBaseRef::UnWrap(nullptr), nullptr);
  EXPECT_EQ(FromEngineResult<RefPtr<ICefBase>>(static_cast<cef_base_t*>(nullptr)), nullptr);
  EXPECT_THROW(Make<TCefBaseRef>(nullptr), EAssertionFailed);
  try {
    Make<TCefBaseRef>(nullptr);
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure (ceflib)");
  }
}

TEST(ObjectBridge, ReleaseMemberLeftNullIsNotCalled) {
  FakeEngineObject<cef_task_t> engine;
  engine.record.base.release = nullptr;
  engine.record.base.add_ref = nullptr;
  RefPtr<ICefBase> wrapper = TCefBaseRef::UnWrap(engine.get());
  EXPECT_EQ(wrapper->Wrap(), &engine.record.base);
  wrapper.reset();
  EXPECT_EQ(engine.refs, 1);
}

// ---- generated entries ----------------------------------------------------------------

// An object whose task entry is generated from its method; the method fails on demand.
class ThrowingTask : public TCefOwn<cef_task_t> {
 public:
  ThrowingTask() { Bind<&ThrowingTask::Execute>(record()->execute); }
  void Execute(int threadId) {
    lastThread = threadId;
    if (threadId == TID_FILE) throw std::runtime_error("task failed");
  }
  using TCefOwn::record;
  int lastThread = -1;
};

class EntryExceptions : public testing::Test {
 protected:
  void TearDown() override { CefOnEntryException = nullptr; }
};

TEST_F(EntryExceptions, ExceptionIsContainedAndReportedThroughTheHook) {
  std::vector<std::string> reports;
  CefOnEntryException = [&](std::exception_ptr e) { reports.push_back(CefExceptionMessage(e)); };
  RefPtr<ThrowingTask> task = Make<ThrowingTask>();
  cef_task_t* record = task->record();
  record->execute(record, TID_UI);
  EXPECT_EQ(task->lastThread, TID_UI);
  EXPECT_TRUE(reports.empty());
  record->execute(record, TID_FILE);  // would unwind into the caller's C frame
  EXPECT_EQ(reports, std::vector<std::string>{"task failed"});
  EXPECT_EQ(task->RefCount(), 1) << "no reference lost or gained on the failing path";
}

TEST_F(EntryExceptions, DefaultReportGoesToStandardError) {
  RefPtr<ThrowingTask> task = Make<ThrowingTask>();
  testing::internal::CaptureStderr();
  task->record()->execute(task->record(), TID_FILE);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("task failed"), std::string::npos) << err;
}

TEST_F(EntryExceptions, FailingHookIsSwallowed) {
  CefOnEntryException = [](std::exception_ptr) { throw std::logic_error("hook failed"); };
  RefPtr<ThrowingTask> task = Make<ThrowingTask>();
  task->record()->execute(task->record(), TID_FILE);
  SUCCEED() << "returned to the engine despite a failing hook";
}

}  // namespace
