// The native half of "v8/test", against our engine's script values.
#include <gtest/gtest.h>

#include "launcher/test_extension.h"

using namespace ceflib;

namespace {

class TestExtensionRows : public testing::Test {
 protected:
  // One native call as the extension's script makes it.
  bool Call(const ustring& name, const TCefv8ValueArray& arguments) {
    result = nullptr;
    ustring exception;
    bool handled = extension->Execute(name, nullptr, arguments, result, exception);
    EXPECT_EQ(exception, u"") << "the extension never reports a script error";
    return handled;
  }
  ustring Param() {
    EXPECT_TRUE(Call(u"GetTestParam", {}));
    return result && result->IsString() ? result->GetStringValue() : u"<not a string>";
  }

  RefPtr<tessaril::TExtension> extension = Make<tessaril::TExtension>();
  RefPtr<ICefV8Value> result;
};

TEST_F(TestExtensionRows, SetAndGetTheParameter) {
  EXPECT_EQ(Param(), u"") << "empty before the first set";
  EXPECT_TRUE(Call(u"SetTestParam", {TCefv8ValueRef::CreateString(u"first")}));
  EXPECT_EQ(result, nullptr) << "a set answers no value";
  EXPECT_EQ(Param(), u"first");
  EXPECT_TRUE(Call(u"SetTestParam", {TCefv8ValueRef::CreateString(u"second")}));
  EXPECT_EQ(Param(), u"second");
}

TEST_F(TestExtensionRows, WrongArgumentsLeaveTheParameterAlone) {
  Call(u"SetTestParam", {TCefv8ValueRef::CreateString(u"kept")});
  EXPECT_FALSE(Call(u"SetTestParam", {}));
  EXPECT_FALSE(
      Call(u"SetTestParam", {TCefv8ValueRef::CreateString(u"a"), TCefv8ValueRef::CreateString(u"b")}));
  EXPECT_FALSE(Call(u"SetTestParam", {TCefv8ValueRef::CreateInt(42)}));
  EXPECT_FALSE(Call(u"SetTestParam", {nullptr}));
  EXPECT_EQ(Param(), u"kept");
}

TEST_F(TestExtensionRows, TestObjectCarriesAParamAndAFunction) {
  ASSERT_TRUE(Call(u"GetTestObject", {}));
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(result->IsObject());
  RefPtr<ICefV8Value> param = result->GetValueByKey(u"param");
  ASSERT_NE(param, nullptr);
  EXPECT_EQ(param->GetStringValue(), u"Retrieving a parameter on a native object succeeded.");
  RefPtr<ICefV8Value> message = result->GetValueByKey(u"GetMessage");
  ASSERT_NE(message, nullptr);
  EXPECT_TRUE(message->IsFunction());
  EXPECT_EQ(message->GetFunctionName(), u"GetMessage");
  RefPtr<ICefv8Handler> handler = message->GetFunctionHandler();
  ASSERT_NE(handler, nullptr);
  RefPtr<ICefV8Value> text;
  ustring exception;
  EXPECT_TRUE(handler->Execute(u"GetMessage", nullptr, {}, text, exception))
      << "the function calls back into us";
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetStringValue(), u"Calling a function on a native object succeeded.");
  RefPtr<ICefV8Value> first = result;
  ASSERT_TRUE(Call(u"GetTestObject", {}));
  EXPECT_TRUE(first->IsSame(first));
  EXPECT_FALSE(first->IsSame(result)) << "a fresh object each time";
}

TEST_F(TestExtensionRows, NamesAreExactAndCaseSensitive) {
  EXPECT_TRUE(Call(u"GetMessage", {}));
  EXPECT_EQ(result->GetStringValue(), u"Calling a function on a native object succeeded.");
  for (const char16_t* name : {u"getmessage", u"GETTESTPARAM", u"SetTestParam ", u"", u"Unknown"}) {
    EXPECT_FALSE(Call(name, {TCefv8ValueRef::CreateString(u"x")})) << CefToUtf8(name);
    EXPECT_EQ(result, nullptr);
  }
}

}  // namespace
