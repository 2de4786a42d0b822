#include <gtest/gtest.h>

#include <stdexcept>

#include "bridge_test_support.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/wrappers/v8_handler.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

cef_base_t* RecordOf(const RefPtr<ICefV8Value>& value) {
  if (!value) return nullptr;
  cef_base_t* record = value->Wrap();
  record->release(record);
  return record;
}

// ---- native functions the engine calls ----

class RecordingHandler : public TCefv8HandlerOwn {
 public:
  bool Execute(const ustring& name, const RefPtr<ICefV8Value>& obj, const TCefv8ValueArray& arguments,
               RefPtr<ICefV8Value>& retval, ustring& exception) override {
    nameSeen = name;
    receiver = RecordOf(obj);
    args.clear();
    for (const auto& argument : arguments) args.push_back(RecordOf(argument));
    retvalIn = RecordOf(retval);
    exceptionIn = exception;
    if (result) retval = result;
    exception = exceptionOut;
    return answer;
  }
  ustring nameSeen, exceptionIn, exceptionOut;
  cef_base_t* receiver = nullptr;
  cef_base_t* retvalIn = reinterpret_cast<cef_base_t*>(1);
  std::vector<cef_base_t*> args;
  RefPtr<ICefV8Value> result;
  bool answer = false;
};

class HandlerBridge : public testing::Test {
 protected:
  int Execute(cef_v8value_t* object, std::vector<cef_v8value_t*> arguments) {
    const ustring name = u"GetTestParam";
    const cef_string_t view = CefStringView(name);
    return record->execute(record, &view, object, arguments.size(),
                           arguments.empty() ? nullptr : arguments.data(), &retval, exception.get());
  }
  void TearDown() override {
    ReleaseRecord(record);
    for (auto* value : {&a, &b, &c, &object}) EXPECT_EQ(value->refs, 1);
  }
  RefPtr<RecordingHandler> handler = Make<RecordingHandler>();
  cef_v8handler_t* record = EngineRecord<cef_v8handler_t>(handler);
  FakeEngineObject<cef_v8value_t> a, b, c, object;
  cef_v8value_t* retval = nullptr;
  EngineString exception{u"engine text"};
};

TEST_F(HandlerBridge, NoArgumentsGiveAnEmptyArrayAndNothingSetGivesNullAndEmptyText) {
  if constexpr (sizeof(void*) == 4) {
    EXPECT_EQ(record->base.size, 20u);
  }
  retval = reinterpret_cast<cef_v8value_t*>(&a.record);
  EXPECT_EQ(Execute(nullptr, {}), 0);
  EXPECT_EQ(handler->nameSeen, u"GetTestParam");
  EXPECT_TRUE(handler->args.empty());
  EXPECT_EQ(handler->receiver, nullptr);
  EXPECT_EQ(handler->retvalIn, nullptr) << "the result starts as none";
  EXPECT_EQ(handler->exceptionIn, u"") << "the exception text starts empty";
  EXPECT_EQ(retval, nullptr);
  EXPECT_EQ(exception.Text(), u"");
}

TEST_F(HandlerBridge, ThreeArgumentsInOrderTrueIsMinusOne) {
  handler->answer = true;
  EXPECT_EQ(Execute(HandOver(object), {HandOver(a), HandOver(b), HandOver(c)}), -1);
  EXPECT_EQ(handler->args, (std::vector<cef_base_t*>{&a.record.base, &b.record.base, &c.record.base}));
  EXPECT_EQ(handler->receiver, &object.record.base);
}

TEST_F(HandlerBridge, ResultAndExceptionAreWrittenBackWhateverTheAnswer) {
  for (bool answer : {false, true}) {
    handler->answer = answer;
    handler->result = TCefv8ValueRef::UnWrap(HandOver(c));
    handler->exceptionOut = u"bad argument";
    EXPECT_EQ(Execute(nullptr, {HandOver(a)}), answer ? -1 : 0);
    EXPECT_EQ(retval, c.get());
    EXPECT_EQ(c.refs, 3) << "the engine got one reference of its own";
    EXPECT_EQ(exception.Text(), u"bad argument");
    ReleaseRecord(retval);
    handler->result.reset();
  }
}

TEST(HandlerEntries, DefaultAnswersZeroAndAThrowingHandlerStopsAtTheBoundary) {
  FakeEngineObject<cef_v8value_t> argument;
  cef_v8value_t* retval = nullptr;
  EngineString exception;
  cef_v8value_t* args[] = {HandOver(argument)};
  auto* plain = EngineRecord<cef_v8handler_t>(Make<TCefv8HandlerOwn>());
  EXPECT_EQ(plain->execute(plain, nullptr, nullptr, 1, args, &retval, exception.get()), 0);
  EXPECT_EQ(retval, nullptr);
  EXPECT_EQ(argument.refs, 1);
  ReleaseRecord(plain);

  class Throwing : public TCefv8HandlerOwn {
    bool Execute(const ustring&, const RefPtr<ICefV8Value>&, const TCefv8ValueArray&, RefPtr<ICefV8Value>&,
                 ustring&) override {
      throw std::runtime_error("native failed");
    }
  };
  EntryExceptions caught;
  auto* throwing = EngineRecord<cef_v8handler_t>(Make<Throwing>());
  args[0] = HandOver(argument);
  EXPECT_EQ(throwing->execute(throwing, nullptr, nullptr, 1, args, &retval, exception.get()), 0);
  EXPECT_EQ(argument.refs, 1) << "the argument wrappers were released";
  EXPECT_EQ(caught.messages, std::vector<std::string>{"native failed"});
  ReleaseRecord(throwing);
}

// ---- accessors ----

class AccessorBridge : public testing::Test {
 protected:
  int Get(cef_v8accessor_t* r) {
    const cef_string_t view = CefStringView(name);
    return r->get(r, &view, HandOver(object), &retval, exception.get());
  }
  int Set(cef_v8accessor_t* r) {
    const cef_string_t view = CefStringView(name);
    return r->set(r, &view, HandOver(object), HandOver(value), exception.get());
  }
  void TearDown() override {
    EXPECT_EQ(object.refs, 1);
    EXPECT_EQ(value.refs, 1);
    EXPECT_EQ(exception.Text(), u"engine text") << "the accessor's exception text is an input only";
  }
  ustring name = u"test_param";
  FakeEngineObject<cef_v8value_t> object, value;
  cef_v8value_t* retval = reinterpret_cast<cef_v8value_t*>(&value.record);
  EngineString exception{u"engine text"};
};

TEST_F(AccessorBridge, DefaultsAnswerZeroWithANullResult) {
  auto* r = EngineRecord<cef_v8accessor_t>(Make<TCefV8AccessorOwn>());
  if constexpr (sizeof(void*) == 4) {
    EXPECT_EQ(r->base.size, 24u);
  }
  EXPECT_EQ(Get(r), 0);
  EXPECT_EQ(retval, nullptr);
  EXPECT_EQ(Set(r), 0);
  ReleaseRecord(r);
}

TEST_F(AccessorBridge, FastAccessorWithoutProceduresAnswersZero) {
  auto* r = EngineRecord<cef_v8accessor_t>(Make<TCefFastV8Accessor>(nullptr, nullptr));
  EXPECT_EQ(Get(r), 0);
  EXPECT_EQ(retval, nullptr);
  EXPECT_EQ(Set(r), 0);
  ReleaseRecord(r);
}

TEST_F(AccessorBridge, FastAccessorCallsItsProceduresWithTheEnginesValues) {
  std::vector<ustring> calls;
  cef_base_t *objectSeen = nullptr, *valueSeen = nullptr;
  FakeEngineObject<cef_v8value_t> answer;
  auto getter = [&](const ustring& n, const RefPtr<ICefV8Value>& obj, RefPtr<ICefV8Value>& v,
                    const ustring& e) {
    calls.push_back(u"get " + n + u" " + e);
    objectSeen = RecordOf(obj);
    EXPECT_FALSE(v) << "the value starts as none";
    v = TCefv8ValueRef::UnWrap(HandOver(answer));
    return true;
  };
  auto setter = [&](const ustring& n, const RefPtr<ICefV8Value>& obj, const RefPtr<ICefV8Value>& v,
                    const ustring& e) {
    calls.push_back(u"set " + n + u" " + e);
    objectSeen = RecordOf(obj);
    valueSeen = RecordOf(v);
    return false;
  };
  auto* r = EngineRecord<cef_v8accessor_t>(Make<TCefFastV8Accessor>(getter, setter));
  EXPECT_EQ(Get(r), 1);
  EXPECT_EQ(objectSeen, &object.record.base);
  EXPECT_EQ(retval, answer.get());
  EXPECT_EQ(answer.refs, 2) << "one reference for the engine";
  ReleaseRecord(retval);
  EXPECT_EQ(Set(r), 0);
  EXPECT_EQ(valueSeen, &value.record.base);
  EXPECT_EQ(calls, (std::vector<ustring>{u"get test_param engine text", u"set test_param engine text"}));
  ReleaseRecord(r);
}

TEST_F(AccessorBridge, FastAccessorWithOnlyAGetterRefusesWrites) {
  auto* r = EngineRecord<cef_v8accessor_t>(Make<TCefFastV8Accessor>(
      [](const ustring&, const RefPtr<ICefV8Value>&, RefPtr<ICefV8Value>&, const ustring&) { return true; },
      nullptr));
  EXPECT_EQ(Get(r), 1);
  EXPECT_EQ(retval, nullptr);
  EXPECT_EQ(Set(r), 0);
  ReleaseRecord(r);
}

// ---- native functions of the engine, called by the program ----

struct EngineExecuteCall {
  ustring name;
  const char16* nameStr = nullptr;
  cef_v8value_t* object = reinterpret_cast<cef_v8value_t*>(1);
  size_t count = 99;
  std::vector<cef_v8value_t*> args;
  bool argsNull = false;
  cef_v8value_t* result = nullptr;
  ustring exception;
  int answer = 0;
} engineExecute;

int CEF_CALLBACK RecordExecute(cef_v8handler_t*, const cef_string_t* name, cef_v8value_t* object,
                               size_t count, const cef_v8value_t* const* arguments, cef_v8value_t** retval,
                               cef_string_t* exception) {
  engineExecute.name = CefStringRead(name);
  engineExecute.nameStr = name->str;
  engineExecute.object = object;
  engineExecute.count = count;
  engineExecute.argsNull = arguments == nullptr;
  engineExecute.args.clear();
  for (size_t i = 0; i < count; ++i) engineExecute.args.push_back(const_cast<cef_v8value_t*>(arguments[i]));
  *retval = engineExecute.result;
  if (!engineExecute.exception.empty()) *exception = CefStringAlloc(engineExecute.exception);
  return engineExecute.answer;
}

TEST(HandlerWrapper, ExecutePassesThreeArgumentsInOrderAndTakesResultAndText) {
  FakeEngineObject<cef_v8handler_t> engineHandler;
  engineHandler.record.execute = &RecordExecute;
  FakeEngineObject<cef_v8value_t> a, b, c, object, result;
  engineExecute = {};
  engineExecute.result = HandOver(result);
  engineExecute.exception = u"engine says no";
  engineExecute.answer = 5;
  RefPtr<ICefv8Handler> wrapper = TCefv8HandlerRef::UnWrap(HandOver(engineHandler));
  const ustring name = u"fn";
  RefPtr<ICefV8Value> retval;
  ustring exception = u"old";
  TCefv8ValueArray args = {TCefv8ValueRef::UnWrap(HandOver(a)), TCefv8ValueRef::UnWrap(HandOver(b)),
                           TCefv8ValueRef::UnWrap(HandOver(c))};
  EXPECT_TRUE(wrapper->Execute(name, TCefv8ValueRef::UnWrap(HandOver(object)), args, retval, exception));
  EXPECT_EQ(engineExecute.name, u"fn");
  EXPECT_EQ(engineExecute.nameStr, name.data()) << "the name goes as a view";
  EXPECT_EQ(engineExecute.count, 3u);
  EXPECT_EQ(engineExecute.args, (std::vector<cef_v8value_t*>{a.get(), b.get(), c.get()}));
  EXPECT_EQ(engineExecute.object, object.get());
  EXPECT_EQ(RecordOf(retval), &result.record.base);
  EXPECT_EQ(exception, u"engine says no");
  args.clear();
  // Left: the engine's own reference per argument and of the receiver.
  for (auto* value : {&a, &b, &c, &object}) {
    EXPECT_EQ(value->refs, 2);
    --value->refs;
  }
  retval.reset();
  EXPECT_EQ(result.refs, 1);
  wrapper.reset();
  EXPECT_EQ(engineHandler.refs, 1);
}

TEST(HandlerWrapper, ExecuteWithNoArgumentsNoReceiverAndFalseAnswer) {
  FakeEngineObject<cef_v8handler_t> engineHandler;
  engineHandler.record.execute = &RecordExecute;
  engineExecute = {};
  RefPtr<ICefv8Handler> wrapper = TCefv8HandlerRef::UnWrap(HandOver(engineHandler));
  FakeEngineObject<cef_v8value_t> old;
  RefPtr<ICefV8Value> retval = TCefv8ValueRef::UnWrap(HandOver(old));
  ustring exception = u"old";
  EXPECT_FALSE(wrapper->Execute(u"fn", nullptr, {}, retval, exception));
  EXPECT_EQ(engineExecute.count, 0u);
  EXPECT_EQ(engineExecute.object, nullptr);
  EXPECT_FALSE(retval) << "set whatever the engine answered";
  EXPECT_EQ(old.refs, 1);
  EXPECT_EQ(exception, u"");
  wrapper.reset();
  EXPECT_EQ(engineHandler.refs, 1);
}

}  // namespace
