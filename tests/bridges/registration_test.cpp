#include <gtest/gtest.h>

#include <memory>

#include "bridge_test_support.h"
#include "ceflib/bridges/scheme.h"
#include "ceflib/bridges/v8_handlers.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

// What the engine's registration entry points received; the test plays the engine.
struct RegistrationLog {
  ustring first, second;
  const char16* firstStr = nullptr;
  const char16* secondStr = nullptr;
  cef_base_t* object = nullptr;
  int answer = 1;
} reg;

int RecordFactory(const cef_string_t* scheme, const cef_string_t* host,
                  cef_scheme_handler_factory_t* factory) {
  reg.first = CefStringRead(scheme);
  reg.firstStr = scheme->str;
  reg.second = CefStringRead(host);
  reg.secondStr = host->str;
  reg.object = &factory->base;
  return reg.answer;
}

int RecordExtension(const cef_string_t* name, const cef_string_t* code, cef_v8handler_t* handler) {
  reg.first = CefStringRead(name);
  reg.firstStr = name->str;
  reg.second = CefStringRead(code);
  reg.secondStr = code->str;
  reg.object = handler ? &handler->base : nullptr;
  return reg.answer;
}

class Registration : public testing::Test {
 protected:
  void SetUp() override {
    reg = {};
    savedFactory = cef_register_scheme_handler_factory;
    savedExtension = cef_register_extension;
    cef_register_scheme_handler_factory = &RecordFactory;
    cef_register_extension = &RecordExtension;
  }
  void TearDown() override {
    cef_register_scheme_handler_factory = savedFactory;
    cef_register_extension = savedExtension;
  }
  decltype(cef_register_scheme_handler_factory) savedFactory;
  decltype(cef_register_extension) savedExtension;
};

class Served : public TCefSchemeHandlerOwn {
 public:
  using TCefSchemeHandlerOwn::TCefSchemeHandlerOwn;
  bool ProcessRequest(const RefPtr<ICefRequest>&, const RefPtr<ICefSchemeHandlerCallback>&) override {
    return true;
  }
};

TEST_F(Registration, FactoryGoesWithViewsAndTheEnginesOnlyReference) {
  const ustring scheme = u"client", host = u"test";
  auto alive = std::make_shared<int>(0);
  bool syncSeen = false;
  TCefSchemeHandlerClass handlerClass = [alive, &syncSeen](
                                            bool sync, const ustring& s, const RefPtr<ICefBrowser>& b,
                                            const RefPtr<ICefRequest>& r) -> RefPtr<TCefSchemeHandlerOwn> {
    syncSeen = sync;
    return Make<Served>(sync, s, b, r);
  };
  EXPECT_TRUE(CefRegisterSchemeHandlerFactory(scheme, host, true, std::move(handlerClass)));
  EXPECT_EQ(reg.first, u"client");
  EXPECT_EQ(reg.firstStr, scheme.data());
  EXPECT_EQ(reg.second, u"test");
  EXPECT_EQ(reg.secondStr, host.data());
  ASSERT_NE(reg.object, nullptr);
  EXPECT_EQ(RefCount(reg.object), 1);
  EXPECT_EQ(alive.use_count(), 2) << "the factory keeps the handler class";

  auto* factory = reinterpret_cast<cef_scheme_handler_factory_t*>(reg.object);
  cef_scheme_handler_t* handler = factory->create(factory, nullptr, nullptr, nullptr);
  ASSERT_NE(handler, nullptr);
  EXPECT_TRUE(syncSeen);
  EXPECT_EQ(handler->process_request(handler, nullptr, nullptr), 1) << "the registered class serves";
  ReleaseRecord(handler);
  ReleaseRecord(factory);
  EXPECT_EQ(alive.use_count(), 1) << "the engine's release freed the factory";
}

TEST_F(Registration, FactoryOfAClassAndTheEnginesRefusal) {
  reg.answer = 0;
  EXPECT_FALSE(CefRegisterSchemeHandlerFactory<Served>(u"client", u"test", false));
  auto* factory = reinterpret_cast<cef_scheme_handler_factory_t*>(reg.object);
  cef_scheme_handler_t* handler = factory->create(factory, nullptr, nullptr, nullptr);
  EXPECT_EQ(handler->process_request(handler, nullptr, nullptr), 1);
  ReleaseRecord(handler);
  ReleaseRecord(factory);
}

TEST_F(Registration, ExtensionHandsTheHandlerOverWithOneReference) {
  const ustring name = u"v8/test", code = u"var cef;";
  auto handler = Make<TCefv8HandlerOwn>();
  EXPECT_TRUE(CefRegisterExtension(name, code, handler));
  EXPECT_EQ(reg.first, u"v8/test");
  EXPECT_EQ(reg.firstStr, name.data());
  EXPECT_EQ(reg.second, u"var cef;");
  EXPECT_EQ(reg.secondStr, code.data());
  EXPECT_EQ(reg.object, handler->Data());
  EXPECT_EQ(handler->RefCount(), 2);
  ReleaseRecord(reg.object);

  reg.answer = 0;
  reg.object = handler->Data();
  EXPECT_FALSE(CefRegisterExtension(name, code, nullptr));
  EXPECT_EQ(reg.object, nullptr);
}

}  // namespace
