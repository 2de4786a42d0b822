#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "bridge_test_support.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/wrappers/v8.h"
#include "ceflib/wrappers/v8_handler.h"

#if defined(_WIN32)
#include <windows.h>
#undef GetMessage
#endif

using namespace ceflib;
using namespace bridge_test;

namespace {

cef_base_t* RecordOf(const RefPtr<ICefBase>& object) {
  if (!object) return nullptr;
  cef_base_t* record = object->Wrap();
  record->release(record);
  return record;
}

cef_string_userfree_t Userfree(const ustring& text) {
  cef_string_userfree_t u = cef_string_userfree_alloc();
  cef_string_utf16_set(text.data(), text.size(), u, 1);
  return u;
}

// Replaces one engine entry point for the scope of a test.
template <class Fn>
class ScopedEntry {
 public:
  ScopedEntry(Fn& slot, Fn replacement) : slot_(slot), saved_(slot) { slot_ = replacement; }
  ~ScopedEntry() { slot_ = saved_; }
  ScopedEntry(const ScopedEntry&) = delete;

 private:
  Fn& slot_;
  Fn saved_;
};

// ---- a recording script value ----------------------------------------------------------

// What the fake value's members received, and what they answer.
struct ValueLog {
  int slot = 0;  // engine member number (1-based record order) last called
  int answer = 0;
  std::vector<long long> numbers;
  ustring key;
  const char16* keyStr = nullptr;
  cef_base_t* object = nullptr;    // an object argument, as passed
  cef_base_t* returned = nullptr;  // what object-returning members answer
  cef_time_t date{};
  ustring text;  // what string-returning members answer
  std::vector<ustring> keys;
} vlog;

template <int Slot>
int CEF_CALLBACK NoArg(cef_v8value_t*) {
  vlog.slot = Slot;
  return vlog.answer;
}
template <int Slot, class R>
R CEF_CALLBACK Returning(cef_v8value_t*) {
  vlog.slot = Slot;
  return reinterpret_cast<R>(vlog.returned);
}
template <int Slot>
int CEF_CALLBACK WithKey(cef_v8value_t*, const cef_string_t* key) {
  vlog.slot = Slot;
  vlog.key = CefStringRead(key);
  vlog.keyStr = key->str;
  return vlog.answer;
}
template <int Slot>
int CEF_CALLBACK WithIndex(cef_v8value_t*, int index) {
  vlog.slot = Slot;
  vlog.numbers = {index};
  return vlog.answer;
}
template <int Slot>
int CEF_CALLBACK WithObject(cef_v8value_t*, cef_v8value_t* that) {
  vlog.slot = Slot;
  vlog.object = reinterpret_cast<cef_base_t*>(that);
  return vlog.answer;
}
template <int Slot>
cef_string_userfree_t CEF_CALLBACK Text(cef_v8value_t*) {
  vlog.slot = Slot;
  return Userfree(vlog.text);
}

uint32_t CEF_CALLBACK GetUInt(cef_v8value_t*) {
  vlog.slot = 16;
  return 0xFFFFFFFEu;
}
double CEF_CALLBACK GetDouble(cef_v8value_t*) {
  vlog.slot = 17;
  return 2.5;
}
cef_time_t CEF_CALLBACK GetDate(cef_v8value_t*) {
  vlog.slot = 18;
  return vlog.date;
}
cef_v8value_t* CEF_CALLBACK GetByKey(cef_v8value_t* self, const cef_string_t* key) {
  WithKey<30>(self, key);
  return reinterpret_cast<cef_v8value_t*>(vlog.returned);
}
cef_v8value_t* CEF_CALLBACK GetByIndex(cef_v8value_t* self, int index) {
  WithIndex<31>(self, index);
  return reinterpret_cast<cef_v8value_t*>(vlog.returned);
}
int CEF_CALLBACK SetByKey(cef_v8value_t* self, const cef_string_t* key, cef_v8value_t* value, int attribute) {
  WithKey<32>(self, key);
  vlog.object = reinterpret_cast<cef_base_t*>(value);
  vlog.numbers = {attribute};
  return vlog.answer;
}
int CEF_CALLBACK SetByIndex(cef_v8value_t* self, int index, cef_v8value_t* value) {
  WithIndex<33>(self, index);
  vlog.object = reinterpret_cast<cef_base_t*>(value);
  return vlog.answer;
}
int CEF_CALLBACK SetByAccessor(cef_v8value_t* self, const cef_string_t* key, int settings, int attribute) {
  WithKey<34>(self, key);
  vlog.numbers = {settings, attribute};
  return vlog.answer;
}
int CEF_CALLBACK GetKeys(cef_v8value_t*, cef_string_list_t keys) {
  vlog.slot = 35;
  for (const auto& key : vlog.keys) {
    const cef_string_t view = CefStringView(key);
    cef_string_list_append(keys, &view);
  }
  return vlog.answer;
}
int CEF_CALLBACK SetUserData(cef_v8value_t*, cef_base_t* data) {
  vlog.slot = 36;
  vlog.object = data;
  return vlog.answer;
}

struct FakeValue : FakeEngineObject<cef_v8value_t> {
  FakeValue() {
    auto& r = record;
    r.is_valid = &NoArg<1>;
    r.is_undefined = &NoArg<2>;
    r.is_null = &NoArg<3>;
    r.is_bool = &NoArg<4>;
    r.is_int = &NoArg<5>;
    r.is_uint = &NoArg<6>;
    r.is_double = &NoArg<7>;
    r.is_date = &NoArg<8>;
    r.is_string = &NoArg<9>;
    r.is_object = &NoArg<10>;
    r.is_array = &NoArg<11>;
    r.is_function = &NoArg<12>;
    r.is_same = &WithObject<13>;
    r.get_bool_value = &NoArg<14>;
    r.get_int_value = &NoArg<15>;
    r.get_uint_value = &GetUInt;
    r.get_double_value = &GetDouble;
    r.get_date_value = &GetDate;
    r.get_string_value = &Text<19>;
    r.is_user_created = &NoArg<20>;
    r.has_exception = &NoArg<21>;
    r.get_exception = &Returning<22, cef_v8exception_t*>;
    r.clear_exception = &NoArg<23>;
    r.will_rethrow_exceptions = &NoArg<24>;
    r.set_rethrow_exceptions = &WithIndex<25>;
    r.has_value_bykey = &WithKey<26>;
    r.has_value_byindex = &WithIndex<27>;
    r.delete_value_bykey = &WithKey<28>;
    r.delete_value_byindex = &WithIndex<29>;
    r.get_value_bykey = &GetByKey;
    r.get_value_byindex = &GetByIndex;
    r.set_value_bykey = &SetByKey;
    r.set_value_byindex = &SetByIndex;
    r.set_value_byaccessor = &SetByAccessor;
    r.get_keys = &GetKeys;
    r.set_user_data = &SetUserData;
    r.get_user_data = &Returning<37, cef_base_t*>;
    r.get_externally_allocated_memory = &NoArg<38>;
    r.adjust_externally_allocated_memory = &WithIndex<39>;
    r.get_array_length = &NoArg<40>;
    r.get_function_name = &Text<41>;
    r.get_function_handler = &Returning<42, cef_v8handler_t*>;
  }
};

class ValueWrapper : public testing::Test {
 protected:
  void SetUp() override { vlog = {}; }
  void TearDown() override {
    value.reset();
    EXPECT_EQ(engine.refs, 1);
  }
  FakeValue engine;
  RefPtr<ICefV8Value> value = TCefv8ValueRef::UnWrap(HandOver(engine));
};

struct NoArgOp {
  int slot;
  std::function<long long(ICefV8Value&)> call;
  bool boolean;
};

TEST_F(ValueWrapper, OperationsWithoutArgumentsReachTheirMemberAndConvertTheAnswer) {
  const std::vector<NoArgOp> ops = {
      {1, [](ICefV8Value& v) { return v.IsValid(); }, true},
      {2, [](ICefV8Value& v) { return v.IsUndefined(); }, true},
      {3, [](ICefV8Value& v) { return v.IsNull(); }, true},
      {4, [](ICefV8Value& v) { return v.IsBool(); }, true},
      {5, [](ICefV8Value& v) { return v.IsInt(); }, true},
      {6, [](ICefV8Value& v) { return v.IsUInt(); }, true},
      {7, [](ICefV8Value& v) { return v.IsDouble(); }, true},
      {8, [](ICefV8Value& v) { return v.IsDate(); }, true},
      {9, [](ICefV8Value& v) { return v.IsString(); }, true},
      {10, [](ICefV8Value& v) { return v.IsObject(); }, true},
      {11, [](ICefV8Value& v) { return v.IsArray(); }, true},
      {12, [](ICefV8Value& v) { return v.IsFunction(); }, true},
      {14, [](ICefV8Value& v) { return v.GetBoolValue(); }, true},
      {15, [](ICefV8Value& v) { return v.GetIntValue(); }, false},
      {20, [](ICefV8Value& v) { return v.IsUserCreated(); }, true},
      {21, [](ICefV8Value& v) { return v.HasException(); }, true},
      {23, [](ICefV8Value& v) { return v.ClearException(); }, true},
      {24, [](ICefV8Value& v) { return v.WillRethrowExceptions(); }, true},
      {38, [](ICefV8Value& v) { return v.GetExternallyAllocatedMemory(); }, false},
      {40, [](ICefV8Value& v) { return v.GetArrayLength(); }, false},
  };
  for (const auto& op : ops) {
    vlog.answer = 2;
    vlog.slot = 0;
    EXPECT_EQ(op.call(*value), op.boolean ? 1 : 2) << "member " << op.slot << ": engine 2";
    EXPECT_EQ(vlog.slot, op.slot);
    vlog.answer = op.boolean ? 0 : -7;
    EXPECT_EQ(op.call(*value), op.boolean ? 0 : -7) << "member " << op.slot;
  }
}

TEST_F(ValueWrapper, NumbersAndStringsComeBackUnchanged) {
  EXPECT_EQ(value->GetUIntValue(), 0xFFFFFFFEu);
  EXPECT_EQ(vlog.slot, 16);
  EXPECT_EQ(value->GetDoubleValue(), 2.5);
  EXPECT_EQ(vlog.slot, 17);
  vlog.text = u"script text";
  EXPECT_EQ(value->GetStringValue(), u"script text");
  EXPECT_EQ(vlog.slot, 19);
  vlog.text = u"fnName";
  EXPECT_EQ(value->GetFunctionName(), u"fnName");
  EXPECT_EQ(vlog.slot, 41);
}

TEST_F(ValueWrapper, KeysAndIndexesGoAsViewsAndNumbers) {
  const ustring key = u"test_param";
  vlog.answer = 1;
  EXPECT_TRUE(value->HasValueByKey(key));
  EXPECT_EQ(vlog.slot, 26);
  EXPECT_EQ(vlog.keyStr, key.data());
  EXPECT_TRUE(value->DeleteValueByKey(key));
  EXPECT_EQ(vlog.slot, 28);
  EXPECT_EQ(vlog.key, key);
  EXPECT_TRUE(value->HasValueByIndex(-3));
  EXPECT_EQ(vlog.slot, 27);
  EXPECT_EQ(vlog.numbers, std::vector<long long>{-3});
  EXPECT_TRUE(value->DeleteValueByIndex(4));
  EXPECT_EQ(vlog.slot, 29);
  EXPECT_EQ(vlog.numbers, std::vector<long long>{4});
  EXPECT_TRUE(value->SetRethrowExceptions(true));
  EXPECT_EQ(vlog.slot, 25);
  EXPECT_EQ(vlog.numbers, std::vector<long long>{1});
  vlog.answer = 0;
  EXPECT_FALSE(value->SetRethrowExceptions(false));
  EXPECT_EQ(vlog.numbers, std::vector<long long>{0});
  vlog.answer = 123;
  EXPECT_EQ(value->AdjustExternallyAllocatedMemory(-64), 123);
  EXPECT_EQ(vlog.slot, 39);
  EXPECT_EQ(vlog.numbers, std::vector<long long>{-64});
  EXPECT_TRUE(value->SetValueByAccessor(key, 2, 4));
  EXPECT_EQ(vlog.slot, 34);
  EXPECT_EQ(vlog.keyStr, key.data());
  EXPECT_EQ(vlog.numbers, (std::vector<long long>{2, 4}));
}

TEST_F(ValueWrapper, ValuesGoWithOneReferenceAndComeBackAsNewWrappers) {
  FakeValue other;
  RefPtr<ICefV8Value> that = TCefv8ValueRef::UnWrap(HandOver(other));
  vlog.answer = 1;
  EXPECT_TRUE(value->IsSame(that));
  EXPECT_EQ(vlog.slot, 13);
  EXPECT_EQ(vlog.object, &other.record.base);
  EXPECT_EQ(other.refs, 3) << "one reference handed to the engine";
  --other.refs;  // the engine's
  EXPECT_TRUE(value->SetValueByKey(u"k", that, 0));
  EXPECT_EQ(vlog.slot, 32);
  EXPECT_EQ(vlog.object, &other.record.base);
  EXPECT_EQ(vlog.numbers, std::vector<long long>{0});
  --other.refs;
  EXPECT_TRUE(value->SetValueByIndex(7, that));
  EXPECT_EQ(vlog.slot, 33);
  EXPECT_EQ(vlog.numbers, std::vector<long long>{7});
  --other.refs;
  EXPECT_TRUE(value->SetValueByKey(u"k", nullptr, 0));
  EXPECT_EQ(vlog.object, nullptr) << "none goes as null";
  EXPECT_EQ(other.refs, 2);

  vlog.returned = &other.record.base;
  ++other.refs;
  RefPtr<ICefV8Value> byKey = value->GetValueByKey(u"k");
  EXPECT_EQ(vlog.slot, 30);
  ++other.refs;
  RefPtr<ICefV8Value> byIndex = value->GetValueByIndex(1);
  EXPECT_EQ(vlog.slot, 31);
  EXPECT_NE(byKey.get(), byIndex.get()) << "no cache: two wrappers";
  EXPECT_EQ(RecordOf(byKey), &other.record.base);
  vlog.returned = nullptr;
  EXPECT_FALSE(value->GetValueByKey(u"none"));
  byKey.reset();
  byIndex.reset();
  that.reset();
  EXPECT_EQ(other.refs, 1);
}

TEST_F(ValueWrapper, UserDataExceptionAndFunctionHandlerAreWrapped) {
  FakeValue data;
  vlog.answer = 1;
  EXPECT_TRUE(value->SetUserData(TCefBaseRef::UnWrap(HandOver(data))));
  EXPECT_EQ(vlog.slot, 36);
  EXPECT_EQ(vlog.object, &data.record.base);
  EXPECT_EQ(data.refs, 2) << "the engine holds one";
  --data.refs;
  vlog.returned = HandOver(data) ? &data.record.base : nullptr;
  RefPtr<ICefV8Value> userData = value->GetUserData();
  EXPECT_EQ(vlog.slot, 37);
  EXPECT_EQ(RecordOf(userData), &data.record.base) << "user data comes back as a script value";
  userData.reset();
  vlog.returned = nullptr;
  EXPECT_FALSE(value->GetUserData());

  FakeEngineObject<cef_v8exception_t> exception;
  vlog.returned = &HandOver(exception)->base;
  RefPtr<ICefV8Exception> error = value->GetException();
  EXPECT_EQ(vlog.slot, 22);
  EXPECT_EQ(RecordOf(error), &exception.record.base);
  error.reset();
  EXPECT_EQ(exception.refs, 1);

  FakeEngineObject<cef_v8handler_t> handler;
  vlog.returned = &HandOver(handler)->base;
  RefPtr<ICefv8Handler> function = value->GetFunctionHandler();
  EXPECT_EQ(vlog.slot, 42);
  EXPECT_EQ(RecordOf(function), &handler.record.base);
  EXPECT_NE(dynamic_cast<TCefv8HandlerRef*>(function.get()), nullptr);
  function.reset();
  EXPECT_EQ(handler.refs, 1);
  EXPECT_EQ(data.refs, 1);
}

TEST_F(ValueWrapper, GetKeysAppendsAndAnswersTheEngineResult) {
  vlog.keys = {u"a", u"b"};
  vlog.answer = 17;
  std::vector<ustring> keys = {u"already"};
  EXPECT_EQ(value->GetKeys(keys), 17);
  EXPECT_EQ(vlog.slot, 35);
  EXPECT_EQ(keys, (std::vector<ustring>{u"already", u"a", u"b"}));
  vlog.keys.clear();
  vlog.answer = 0;
  EXPECT_EQ(value->GetKeys(keys), 0);
  EXPECT_EQ(keys.size(), 3u);
}

// execute_function and execute_function_with_context as the engine would see them.
struct ExecuteLog {
  cef_v8context_t* context = nullptr;
  cef_v8value_t* object = nullptr;
  size_t count = 99;
  const void* arguments = nullptr;
  std::vector<cef_v8value_t*> args;
  cef_v8value_t* result = nullptr;
} elog;

cef_v8value_t* CEF_CALLBACK RecordExecute(cef_v8value_t*, cef_v8value_t* object, size_t count,
                                          cef_v8value_t* const* arguments) {
  elog.object = object;
  elog.count = count;
  elog.arguments = arguments;
  elog.args.assign(arguments, arguments + count);
  for (auto* arg : elog.args) {
    if (arg) ReleaseRecord(arg);  // the engine's references
  }
  if (object) ReleaseRecord(object);
  return elog.result;
}

cef_v8value_t* CEF_CALLBACK RecordExecuteWithContext(cef_v8value_t* self, cef_v8context_t* context,
                                                     cef_v8value_t* object, size_t count,
                                                     cef_v8value_t* const* arguments) {
  elog.context = context;
  if (context) ReleaseRecord(context);
  return RecordExecute(self, object, count, arguments);
}

TEST_F(ValueWrapper, ExecuteFunctionWithNoArgumentsPassesCountZeroNoArrayAndNilReceiver) {
  engine.record.execute_function = &RecordExecute;
  elog = {};
  elog.arguments = &elog;
  elog.object = engine.get();
  EXPECT_FALSE(value->ExecuteFunction(nullptr, {}));
  EXPECT_EQ(elog.count, 0u);
  EXPECT_EQ(elog.arguments, nullptr);
  EXPECT_EQ(elog.object, nullptr);
}

TEST_F(ValueWrapper, ExecuteFunctionHandsEveryArgumentOverInOrder) {
  engine.record.execute_function = &RecordExecute;
  engine.record.execute_function_with_context = &RecordExecuteWithContext;
  FakeValue a, b, receiver, result;
  FakeEngineObject<cef_v8context_t> context;
  const TCefv8ValueArray args = {TCefv8ValueRef::UnWrap(HandOver(a)), nullptr,
                                 TCefv8ValueRef::UnWrap(HandOver(b))};
  RefPtr<ICefV8Value> obj = TCefv8ValueRef::UnWrap(HandOver(receiver));
  elog = {};
  elog.result = HandOver(result);
  RefPtr<ICefV8Value> answer = value->ExecuteFunction(obj, args);
  EXPECT_EQ(elog.count, 3u);
  EXPECT_EQ(elog.args, (std::vector<cef_v8value_t*>{a.get(), nullptr, b.get()}));
  EXPECT_EQ(elog.object, receiver.get());
  EXPECT_EQ(RecordOf(answer), &result.record.base);

  elog.result = HandOver(result);
  elog.object = nullptr;
  RefPtr<ICefV8Value> second =
      value->ExecuteFunctionWithContext(TCefv8ContextRef::UnWrap(HandOver(context)), obj, args);
  EXPECT_EQ(elog.context, context.get());
  EXPECT_EQ(elog.object, receiver.get()) << "the receiver goes along with the context";
  EXPECT_EQ(elog.count, 3u);
  EXPECT_EQ(elog.args, (std::vector<cef_v8value_t*>{a.get(), nullptr, b.get()}));
  EXPECT_NE(answer.get(), second.get());
  answer.reset();
  second.reset();
  EXPECT_EQ(result.refs, 1);
  EXPECT_EQ(context.refs, 1);
  EXPECT_EQ(a.refs, 2) << "only the program's wrapper is left";
  EXPECT_EQ(receiver.refs, 2);
}

TEST(ValueWrapperMembers, MembersTheEngineLeftNullAnswerNeutralValues) {
  FakeEngineObject<cef_v8value_t> empty;
  RefPtr<ICefV8Value> value = TCefv8ValueRef::UnWrap(HandOver(empty));
  FakeValue arg;
  EXPECT_FALSE(value->IsValid());
  EXPECT_EQ(value->GetStringValue(), u"");
  EXPECT_EQ(value->GetDateValue(), 0.0);
  std::vector<ustring> keys;
  EXPECT_EQ(value->GetKeys(keys), 0);
  EXPECT_FALSE(
      value->ExecuteFunction(TCefv8ValueRef::UnWrap(HandOver(arg)), {TCefv8ValueRef::UnWrap(HandOver(arg))}));
  EXPECT_EQ(arg.refs, 1) << "nothing handed to a member that is not there";
  value.reset();
  EXPECT_EQ(empty.refs, 1);
}

// ---- contexts and exceptions -----------------------------------------------------------

struct ContextLog {
  std::string last;
  int answer = 0;
  cef_base_t* that = nullptr;
  cef_base_t* returned = nullptr;
  ustring code;
  const char16* codeStr = nullptr;
  cef_v8value_t* rv = nullptr;
  cef_v8exception_t* ex = nullptr;
} clog;

template <class R>
R CEF_CALLBACK ContextAnswer(cef_v8context_t*) {
  if constexpr (std::is_same_v<R, int>) {
    return clog.answer;
  } else {
    return reinterpret_cast<R>(clog.returned);
  }
}
// Each member records its name first.
template <const char* Name, class R>
R CEF_CALLBACK ContextMember(cef_v8context_t* self) {
  clog.last = Name;
  return ContextAnswer<R>(self);
}
int CEF_CALLBACK ContextIsSame(cef_v8context_t*, cef_v8context_t* that) {
  clog.last = "is_same";
  clog.that = reinterpret_cast<cef_base_t*>(that);
  if (that) ReleaseRecord(that);
  return clog.answer;
}
int CEF_CALLBACK ContextEval(cef_v8context_t*, const cef_string_t* code, cef_v8value_t** rv,
                             cef_v8exception_t** ex) {
  clog.last = "eval";
  clog.code = CefStringRead(code);
  clog.codeStr = code->str;
  clog.rv = *rv;
  clog.ex = *ex;
  *rv = reinterpret_cast<cef_v8value_t*>(clog.returned);
  *ex = reinterpret_cast<cef_v8exception_t*>(clog.that);
  return clog.answer;
}

constexpr char kIsValid[] = "is_valid", kGetBrowser[] = "get_browser", kGetFrame[] = "get_frame",
               kGetGlobal[] = "get_global", kEnter[] = "enter", kExit[] = "exit";

struct FakeContext : FakeEngineObject<cef_v8context_t> {
  FakeContext() {
    record.is_valid = &ContextMember<kIsValid, int>;
    record.get_browser = &ContextMember<kGetBrowser, cef_browser_t*>;
    record.get_frame = &ContextMember<kGetFrame, cef_frame_t*>;
    record.get_global = &ContextMember<kGetGlobal, cef_v8value_t*>;
    record.enter = &ContextMember<kEnter, int>;
    record.exit = &ContextMember<kExit, int>;
    record.is_same = &ContextIsSame;
    record.eval = &ContextEval;
  }
};

TEST(ContextWrapper, EachOperationReachesItsMember) {
  clog = {};
  FakeContext context;
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  FakeValue global;
  RefPtr<ICefv8Context> wrapper = TCefv8ContextRef::UnWrap(HandOver(context));
  clog.answer = 3;
  EXPECT_TRUE(wrapper->IsValid());
  EXPECT_EQ(clog.last, "is_valid");
  EXPECT_TRUE(wrapper->Enter());
  EXPECT_EQ(clog.last, "enter");
  clog.answer = 0;
  EXPECT_FALSE(wrapper->Exit());
  EXPECT_EQ(clog.last, "exit");
  clog.returned = &HandOver(browser)->base;
  EXPECT_EQ(RecordOf(wrapper->GetBrowser()), &browser.record.base);
  EXPECT_EQ(clog.last, "get_browser");
  clog.returned = &HandOver(frame)->base;
  EXPECT_EQ(RecordOf(wrapper->GetFrame()), &frame.record.base);
  EXPECT_EQ(clog.last, "get_frame");
  clog.returned = &HandOver(global)->base;
  EXPECT_EQ(RecordOf(wrapper->GetGlobal()), &global.record.base);
  EXPECT_EQ(clog.last, "get_global");
  clog.returned = nullptr;
  EXPECT_FALSE(wrapper->GetBrowser());
  EXPECT_FALSE(wrapper->GetFrame());
  clog.answer = 1;
  EXPECT_TRUE(wrapper->IsSame(wrapper));
  EXPECT_EQ(clog.that, &context.record.base);
  EXPECT_EQ(browser.refs, 1);
  EXPECT_EQ(frame.refs, 1);
  EXPECT_EQ(global.refs, 1);
  wrapper.reset();
  EXPECT_EQ(context.refs, 1);
}

TEST(ContextWrapper, EvalSetsBothOutValuesWhateverTheAnswer) {
  clog = {};
  FakeContext context;
  FakeValue result;
  FakeEngineObject<cef_v8exception_t> exception;
  RefPtr<ICefv8Context> wrapper = TCefv8ContextRef::UnWrap(HandOver(context));
  FakeValue old;
  RefPtr<ICefV8Value> retval = TCefv8ValueRef::UnWrap(HandOver(old));
  RefPtr<ICefV8Exception> error;
  const ustring code = u"1 +";
  // Fails with an exception and no value.
  clog.returned = nullptr;
  clog.that = &HandOver(exception)->base;
  clog.answer = 0;
  EXPECT_FALSE(wrapper->Eval(code, retval, error));
  EXPECT_EQ(clog.last, "eval");
  EXPECT_EQ(clog.codeStr, code.data());
  EXPECT_EQ(clog.rv, nullptr) << "the engine's pointers start null";
  EXPECT_FALSE(retval);
  EXPECT_EQ(old.refs, 1) << "the old value was dropped";
  EXPECT_EQ(RecordOf(error), &exception.record.base);
  // Succeeds with a value and no exception.
  clog.returned = &HandOver(result)->base;
  clog.that = nullptr;
  clog.answer = 1;
  EXPECT_TRUE(wrapper->Eval(u"1 + 1", retval, error));
  EXPECT_EQ(RecordOf(retval), &result.record.base);
  EXPECT_FALSE(error);
  EXPECT_EQ(exception.refs, 1);
  // Whatever the answer, both pointers the engine filled in are taken over.
  for (int answer : {0, 1}) {
    SCOPED_TRACE(answer);
    clog.returned = &HandOver(result)->base;
    clog.that = &HandOver(exception)->base;
    clog.answer = answer;
    EXPECT_EQ(wrapper->Eval(code, retval, error), answer == 1);
    EXPECT_EQ(RecordOf(retval), &result.record.base);
    EXPECT_EQ(RecordOf(error), &exception.record.base);
  }
  retval.reset();
  error.reset();
  EXPECT_EQ(exception.refs, 1);
  EXPECT_EQ(result.refs, 1);
}

constexpr char16 kMessage[] = u"message", kSourceLine[] = u"source line", kResource[] = u"test.js";
template <const char16* Text>
cef_string_userfree_t CEF_CALLBACK ExceptionText(cef_v8exception_t*) {
  return Userfree(Text);
}
template <int N>
int CEF_CALLBACK ExceptionNumber(cef_v8exception_t*) {
  return N;
}

TEST(ExceptionWrapper, EachOperationReachesItsMember) {
  FakeEngineObject<cef_v8exception_t> exception;
  auto& r = exception.record;
  r.get_message = &ExceptionText<kMessage>;
  r.get_source_line = &ExceptionText<kSourceLine>;
  r.get_script_resource_name = &ExceptionText<kResource>;
  r.get_line_number = &ExceptionNumber<4>;
  r.get_start_position = &ExceptionNumber<5>;
  r.get_end_position = &ExceptionNumber<6>;
  r.get_start_column = &ExceptionNumber<7>;
  r.get_end_column = &ExceptionNumber<8>;
  RefPtr<ICefV8Exception> wrapper = TCefV8ExceptionRef::UnWrap(HandOver(exception));
  EXPECT_EQ(wrapper->GetMessage(), u"message");
  EXPECT_EQ(wrapper->GetSourceLine(), u"source line");
  EXPECT_EQ(wrapper->GetScriptResourceName(), u"test.js");
  EXPECT_EQ(wrapper->GetLineNumber(), 4);
  EXPECT_EQ(wrapper->GetStartPosition(), 5);
  EXPECT_EQ(wrapper->GetEndPosition(), 6);
  EXPECT_EQ(wrapper->GetStartColumn(), 7);
  EXPECT_EQ(wrapper->GetEndColumn(), 8);
  wrapper.reset();
  EXPECT_EQ(exception.refs, 1);
}

// ---- class functions: the engine's creation entry points -------------------------------

struct CreateLog {
  std::string entry;
  long long number = 0;
  double real = 0;
  ustring text;
  const char16* textStr = nullptr;
  cef_time_t date{};
  cef_base_t* object = nullptr;
  FakeValue* made = nullptr;  // what every creation answers
} create;

cef_v8value_t* Made(const char* entry) {
  create.entry = entry;
  return HandOver(*create.made);
}

// Takes the creation's object argument as the engine would, keeping one reference.
void TakeObject(void* object) { create.object = static_cast<cef_base_t*>(object); }

class ClassFunctions : public testing::Test {
 protected:
  void SetUp() override {
    create = {};
    create.made = &made;
  }
  void TearDown() override {
    if (create.object) ReleaseRecord(create.object);
    EXPECT_EQ(made.refs, 1);
  }
  FakeValue made;
  ScopedEntry<decltype(cef_v8value_create_undefined)> undefinedEntry{cef_v8value_create_undefined,
                                                                     [] { return Made("undefined"); }};
  ScopedEntry<decltype(cef_v8value_create_null)> nullEntry{cef_v8value_create_null,
                                                           [] { return Made("null"); }};
  ScopedEntry<decltype(cef_v8value_create_bool)> boolEntry{cef_v8value_create_bool, [](int v) {
                                                             create.number = v;
                                                             return Made("bool");
                                                           }};
  ScopedEntry<decltype(cef_v8value_create_int)> intEntry{cef_v8value_create_int, [](int v) {
                                                           create.number = v;
                                                           return Made("int");
                                                         }};
  ScopedEntry<decltype(cef_v8value_create_uint)> uintEntry{cef_v8value_create_uint, [](uint32_t v) {
                                                             create.number = v;
                                                             return Made("uint");
                                                           }};
  ScopedEntry<decltype(cef_v8value_create_double)> doubleEntry{cef_v8value_create_double, [](double v) {
                                                                 create.real = v;
                                                                 return Made("double");
                                                               }};
  ScopedEntry<decltype(cef_v8value_create_date)> dateEntry{cef_v8value_create_date, [](const cef_time_t* t) {
                                                             create.date = *t;
                                                             return Made("date");
                                                           }};
  ScopedEntry<decltype(cef_v8value_create_string)> stringEntry{cef_v8value_create_string,
                                                               [](const cef_string_t* s) {
                                                                 create.text = CefStringRead(s);
                                                                 create.textStr = s->str;
                                                                 return Made("string");
                                                               }};
  ScopedEntry<decltype(cef_v8value_create_object)> objectEntry{cef_v8value_create_object,
                                                               [](cef_v8accessor_t* accessor) {
                                                                 TakeObject(accessor);
                                                                 return Made("object");
                                                               }};
  ScopedEntry<decltype(cef_v8value_create_array)> arrayEntry{cef_v8value_create_array, [](int length) {
                                                               create.number = length;
                                                               return Made("array");
                                                             }};
  ScopedEntry<decltype(cef_v8value_create_function)> functionEntry{
      cef_v8value_create_function, [](const cef_string_t* name, cef_v8handler_t* handler) {
        create.text = CefStringRead(name);
        create.textStr = name->str;
        TakeObject(handler);
        return Made("function");
      }};
};

TEST_F(ClassFunctions, ScalarsPassTheirValuesBooleansAsOneOrZero) {
  auto check = [&](RefPtr<ICefV8Value> value, const char* entry) {
    EXPECT_EQ(create.entry, entry);
    EXPECT_EQ(RecordOf(value), &made.record.base) << entry;
  };
  check(TCefv8ValueRef::CreateUndefined(), "undefined");
  check(TCefv8ValueRef::CreateNull(), "null");
  check(TCefv8ValueRef::CreateBool(true), "bool");
  EXPECT_EQ(create.number, 1);
  check(TCefv8ValueRef::CreateBool(false), "bool");
  EXPECT_EQ(create.number, 0);
  check(TCefv8ValueRef::CreateInt(-5), "int");
  EXPECT_EQ(create.number, -5);
  check(TCefv8ValueRef::CreateUInt(0xFFFFFFFFu), "uint");
  EXPECT_EQ(create.number, 0xFFFFFFFFll);
  check(TCefv8ValueRef::CreateDouble(-0.125), "double");
  EXPECT_EQ(create.real, -0.125);
  check(TCefv8ValueRef::CreateArray(3), "array");
  EXPECT_EQ(create.number, 3);
  const ustring text = u"Hello";
  check(TCefv8ValueRef::CreateString(text), "string");
  EXPECT_EQ(create.text, u"Hello");
  EXPECT_EQ(create.textStr, text.data()) << "a view";
}

TEST_F(ClassFunctions, ObjectWithoutAccessorPassesNull) {
  create.object = reinterpret_cast<cef_base_t*>(&made);
  RefPtr<ICefV8Value> object = TCefv8ValueRef::CreateObject(nullptr);
  EXPECT_EQ(create.entry, "object");
  EXPECT_EQ(create.object, nullptr);
}

TEST_F(ClassFunctions, ObjectWithAccessorHandsTheEngineOneReference) {
  auto accessor = Make<TCefV8AccessorOwn>();
  RefPtr<ICefV8Value> object = TCefv8ValueRef::CreateObject(accessor);
  EXPECT_EQ(create.object, accessor->Data());
  EXPECT_EQ(accessor->RefCount(), 2);
}

TEST_F(ClassFunctions, ObjectProcBuildsAnAccessorFromTheProcedures) {
  int reads = 0;
  RefPtr<ICefV8Value> object = TCefv8ValueRef::CreateObjectProc(
      [&](const ustring&, const RefPtr<ICefV8Value>&, RefPtr<ICefV8Value>&, const ustring&) {
        ++reads;
        return true;
      },
      nullptr);
  ASSERT_NE(create.object, nullptr);
  EXPECT_EQ(RefCount(create.object), 1) << "the engine holds the accessor alone";
  auto* accessor = reinterpret_cast<cef_v8accessor_t*>(create.object);
  cef_v8value_t* retval = nullptr;
  EXPECT_EQ(accessor->get(accessor, nullptr, nullptr, &retval, nullptr), 1);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(accessor->set(accessor, nullptr, nullptr, nullptr, nullptr), 0) << "no setter";
}

TEST_F(ClassFunctions, FunctionPassesNameViewAndHandler) {
  auto handler = Make<TCefv8HandlerOwn>();
  const ustring name = u"GetMessage";
  RefPtr<ICefV8Value> function = TCefv8ValueRef::CreateFunction(name, handler);
  EXPECT_EQ(create.entry, "function");
  EXPECT_EQ(create.textStr, name.data());
  EXPECT_EQ(create.object, handler->Data());
  EXPECT_EQ(handler->RefCount(), 2);
}

TEST(ContextClassFunctions, CurrentAndEnteredWrapTheEnginesContexts) {
  static FakeEngineObject<cef_v8context_t> current, entered;
  ScopedEntry<decltype(cef_v8context_get_current_context)> a{cef_v8context_get_current_context,
                                                             [] { return HandOver(current); }};
  ScopedEntry<decltype(cef_v8context_get_entered_context)> b{cef_v8context_get_entered_context,
                                                             [] { return HandOver(entered); }};
  EXPECT_EQ(RecordOf(TCefv8ContextRef::Current()), &current.record.base);
  EXPECT_EQ(RecordOf(TCefv8ContextRef::Entered()), &entered.record.base);
  EXPECT_EQ(current.refs, 1);
  EXPECT_EQ(entered.refs, 1);
  ScopedEntry<decltype(cef_v8context_get_current_context)> none{cef_v8context_get_current_context,
                                                                []() -> cef_v8context_t* { return nullptr; }};
  EXPECT_FALSE(TCefv8ContextRef::Current());
}

// ---- dates -----------------------------------------------------------------------------

// The tests run in US Eastern time (UTC-5, daylight saving time UTC-4 from the second
// Sunday of March to the first Sunday of November).
class Dates : public testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    if (zone.Bias != 300 || zone.DaylightBias != -60) {
      GTEST_SKIP() << "needs the US Eastern time zone (run through ctest, which sets TZ)";
    }
#else
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
#endif
  }
};

void ExpectTime(const cef_time_t& t, std::array<int, 8> expected) {
  EXPECT_EQ((std::array<int, 8>{t.year, t.month, t.day_of_week, t.day_of_month, t.hour, t.minute, t.second,
                                t.millisecond}),
            expected);
}

TEST_F(Dates, LocalTimesGoToTheEngineInUtc) {
  ExpectTime(DateTimeToCefTime(41091.5), {2012, 7, 0, 1, 16, 0, 0, 0});                // 12:00 EDT, a Sunday
  ExpectTime(DateTimeToCefTime(40925.3543431713), {2012, 1, 2, 17, 13, 30, 15, 250});  // 08:30:15.250 EST
  ExpectTime(DateTimeToCefTime(41274.916666666664), {2013, 1, 2, 1, 3, 0, 0, 0});      // 22:00 EST, next day
  ExpectTime(DateTimeToCefTime(-1.25), {1899, 12, 5, 29, 11, 0, 0, 0});                // 06:00 on 1899-12-29
}

TEST_F(Dates, DatesOutsideA32BitClockConvertToo) {
  ExpectTime(DateTimeToCefTime(73232.5), {2100, 7, 4, 1, 16, 0, 0, 0});   // 2100-07-01 12:00 EDT
  ExpectTime(DateTimeToCefTime(-36522.5), {1800, 1, 3, 1, 17, 0, 0, 0});  // 1800-01-01 12:00 EST
  EXPECT_NEAR(CefTimeToDateTime({2100, 7, 4, 1, 16, 0, 0, 0}), 73232.5, 1e-9);
  EXPECT_NEAR(CefTimeToDateTime({1800, 1, 3, 1, 17, 0, 0, 0}), -36522.5, 1e-9);
}

// From the first day of the calendar to the last, by the same zone rules on every
// platform (the system's own conversion refuses years before 1601 on Windows); a later
// year still reaches the engine, but the program's dates end with 9999.
TEST_F(Dates, EveryYearOfTheCalendarRoundTripsByTheSameRules) {
  struct Row {
    const char* what;
    TDateTime local;
    std::array<int, 8> utc;
    bool comesBack;
  };
  const Row rows[] = {
      {"0001-01-01 00:00 EST", -693593.0, {1, 1, 1, 1, 5, 0, 0, 0}, true},
      {"0001-07-01 12:00 EDT", -693412.5, {1, 7, 0, 1, 16, 0, 0, 0}, true},
      {"1600-12-31 21:00 EST", -109206.875, {1601, 1, 1, 1, 2, 0, 0, 0}, true},
      {"9999-12-31 23:59:59.999 EST",
       2958465 + 86399999.0 / 86400000,
       {10000, 1, 6, 1, 4, 59, 59, 999},
       true},
      {"10000-06-01 12:00 EDT", 2958618.5, {10000, 6, 4, 1, 16, 0, 0, 0}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    cef_time_t utc{};
    ASSERT_NO_THROW(utc = DateTimeToCefTime(row.local));
    ExpectTime(utc, row.utc);
    if (row.comesBack) {
      EXPECT_NEAR(CefTimeToDateTime(utc), row.local, 1e-9);
    } else {
      EXPECT_THROW(CefTimeToDateTime(utc), EConvertError) << "past the last day of the program's dates";
    }
  }
}

TEST_F(Dates, EngineTimesComeBackInLocalTime) {
  EXPECT_NEAR(CefTimeToDateTime({2012, 7, 0, 1, 16, 0, 0, 0}), 41091.5, 1e-9);
  EXPECT_NEAR(CefTimeToDateTime({2012, 1, 2, 17, 13, 30, 15, 250}), 40925.3543431713, 1e-9);
  EXPECT_NEAR(CefTimeToDateTime({2013, 1, 2, 1, 3, 0, 0, 0}), 41274.916666666664, 1e-9);
  EXPECT_NEAR(CefTimeToDateTime({1899, 12, 5, 29, 11, 0, 0, 0}), -1.25, 1e-9) << "before 1899-12-30";
  EXPECT_NEAR(CefTimeToDateTime({1899, 12, 6, 30, 5, 0, 0, 0}), 0.0, 1e-9);
}

TEST_F(Dates, RoundTripThroughAScriptValue) {
  FakeValue made;
  static cef_time_t stored{};
  create = {};
  create.made = &made;
  ScopedEntry<decltype(cef_v8value_create_date)> entry{cef_v8value_create_date, [](const cef_time_t* t) {
                                                         stored = *t;
                                                         return Made("date");
                                                       }};
  RefPtr<ICefV8Value> date = TCefv8ValueRef::CreateDate(40925.3543431713);
  ExpectTime(stored, {2012, 1, 2, 17, 13, 30, 15, 250});
  vlog = {};
  vlog.date = stored;
  EXPECT_NEAR(date->GetDateValue(), 40925.3543431713, 1e-9);
  EXPECT_EQ(vlog.slot, 18);
  date.reset();
  EXPECT_EQ(made.refs, 1);
}

TEST_F(Dates, InvalidEngineTimesAreRefusedWithTheConversionMessages) {
  auto message = [](const cef_time_t& t) -> std::string {
    try {
      CefTimeToDateTime(t);
    } catch (const EConvertError& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_EQ(message({2012, 0, 0, 1, 0, 0, 0, 0}), "Invalid argument to date encode") << "month 0";
  EXPECT_EQ(message({2012, 13, 0, 1, 0, 0, 0, 0}), "Invalid argument to date encode");
  EXPECT_EQ(message({2011, 2, 0, 29, 0, 0, 0, 0}), "Invalid argument to date encode") << "not a leap year";
  EXPECT_EQ(message({0, 1, 0, 1, 0, 0, 0, 0}), "Invalid argument to date encode");
  EXPECT_EQ(message({2012, 1, 0, 1, 24, 0, 0, 0}), "Invalid argument to time encode");
  EXPECT_EQ(message({2012, 1, 0, 1, 0, 60, 0, 0}), "Invalid argument to time encode");
  EXPECT_EQ(message({2012, 1, 0, 1, 0, 0, 0, 1000}), "Invalid argument to time encode");
  EXPECT_EQ(message({2012, 1 + 65536, 0, 1, 0, 0, 0, 0}), "Invalid argument to date encode")
      << "a field is not cut to 16 bits";
  EXPECT_EQ(message({2012, 2, 0, 29, 0, 0, 0, 0}), "accepted") << "a leap day";

  FakeValue engine;
  RefPtr<ICefV8Value> value = TCefv8ValueRef::UnWrap(HandOver(engine));
  vlog = {};
  vlog.date = {2012, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_THROW(value->GetDateValue(), std::invalid_argument);
}

TEST_F(Dates, ProgramDatesOutsideTheCalendarAreRefused) {
  EXPECT_THROW(DateTimeToCefTime(-693594.0), EConvertError) << "the day before 0001-01-01";
  EXPECT_THROW(DateTimeToCefTime(1e8), EConvertError) << "beyond the 16-bit year";
  EXPECT_THROW(DateTimeToCefTime(std::nan("")), EConvertError);
  EXPECT_THROW(DateTimeToCefTime(HUGE_VAL), EConvertError);
}

}  // namespace
