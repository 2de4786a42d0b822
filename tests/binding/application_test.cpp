#include <gtest/gtest.h>

#include <cstring>

#include "ceflib/bridges/application.h"
#include "support/engine_probe.h"
#include "support/fake_engine_object.h"

using namespace ceflib;

namespace {

// What the fake registrar's add_custom_scheme received.
struct RegistrarCall {
  ustring scheme;
  const char16* str = nullptr;
  int flags[3] = {-1, -1, -1};
  int answer = 1;
} registrarCall;

int CEF_CALLBACK RecordAddCustomScheme(cef_scheme_registrar_t*, const cef_string_t* name, int standard,
                                       int local, int isolated) {
  registrarCall.scheme = CefStringRead(name);
  registrarCall.str = name->str;
  registrarCall.flags[0] = standard;
  registrarCall.flags[1] = local;
  registrarCall.flags[2] = isolated;
  return registrarCall.answer;
}

class ApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    registrarCall = {};
    registrar.record.add_custom_scheme = &RecordAddCustomScheme;
  }
  void TearDown() override {
    CefOnRegisterCustomSchemes = nullptr;
    CefGetProxyForUrl = nullptr;
    CefGetDataResource = nullptr;
    CefGetLocalizedString = nullptr;
  }
  // The application as the engine sees it: a record holding one engine reference.
  cef_app_t* NewEngineApp() { return reinterpret_cast<cef_app_t*>(CefDataOf(Make<TInternalApp>())); }
  static void ReleaseRecord(void* record) {
    auto* base = static_cast<cef_base_t*>(record);
    base->release(base);
  }
  FakeEngineObject<cef_scheme_registrar_t> registrar;
};

TEST_F(ApplicationTest, RegistrarWrapperPassesViewAndFlagsAsOneOrZero) {
  RefPtr<ICefSchemeRegistrar> wrapper = TCefSchemeRegistrarRef::UnWrap(registrar.get());
  registrar.refs++;  // UnWrap took over the reference; keep ours for the check below
  ustring scheme = u"client";
  EXPECT_TRUE(wrapper->AddCustomScheme(scheme, true, false, true));
  EXPECT_EQ(registrarCall.scheme, u"client");
  EXPECT_EQ(registrarCall.str, scheme.data()) << "passed as a view, no copy";
  EXPECT_EQ(registrarCall.flags[0], 1);
  EXPECT_EQ(registrarCall.flags[1], 0);
  EXPECT_EQ(registrarCall.flags[2], 1);
  registrarCall.answer = 0;
  EXPECT_FALSE(wrapper->AddCustomScheme(scheme, false, true, false));
  EXPECT_EQ(registrarCall.flags[0], 0);
  EXPECT_EQ(registrarCall.flags[1], 1);
  registrarCall.answer = 7;
  EXPECT_TRUE(wrapper->AddCustomScheme(scheme, false, false, false)) << "any non-zero result is true";
  wrapper.reset();
  EXPECT_EQ(registrar.refs, 1);
}

TEST_F(ApplicationTest, WrapperMemberLeftNullIsNotCalled) {
  registrar.record.add_custom_scheme = nullptr;
  registrar.refs++;
  EXPECT_FALSE(TCefSchemeRegistrarRef::UnWrap(registrar.get())->AddCustomScheme(u"x", true, true, true));
}

TEST_F(ApplicationTest, CustomSchemeHookIsReadAtEachCall) {
  cef_app_t* app = NewEngineApp();
  registrar.refs++;
  app->on_register_custom_schemes(app, registrar.get());  // no hook yet: nothing registered
  EXPECT_EQ(registrarCall.str, nullptr);
  EXPECT_EQ(registrar.refs, 1) << "the wrapper gave the engine's reference back";

  // Set after the application exists, as the launcher does after loading.
  CefOnRegisterCustomSchemes = [](const RefPtr<ICefSchemeRegistrar>& r) {
    r->AddCustomScheme(u"client", true, false, false);
  };
  registrar.refs++;
  app->on_register_custom_schemes(app, registrar.get());
  EXPECT_EQ(registrarCall.scheme, u"client");
  EXPECT_EQ(registrar.refs, 1);
  ReleaseRecord(app);
}

TEST_F(ApplicationTest, HandlersComeWithOneReferencePerCallAndOutliveReleases) {
  cef_app_t* app = NewEngineApp();
  cef_proxy_handler_t* proxy1 = app->get_proxy_handler(app);
  cef_proxy_handler_t* proxy2 = app->get_proxy_handler(app);
  ASSERT_NE(proxy1, nullptr);
  EXPECT_EQ(proxy1, proxy2) << "the application keeps one handler";
  EXPECT_EQ(proxy1->base.get_refct(&proxy1->base), 3) << "the application's own and one per call";
  cef_resource_bundle_handler_t* bundle = app->get_resource_bundle_handler(app);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(bundle->base.get_refct(&bundle->base), 2);
  ReleaseRecord(proxy1);
  ReleaseRecord(proxy2);
  EXPECT_EQ(proxy1->base.get_refct(&proxy1->base), 1) << "still alive through the application";
  ReleaseRecord(bundle);
  ReleaseRecord(app);
}

TEST_F(ApplicationTest, NilHooksGiveNeutralAnswers) {
  cef_app_t* app = NewEngineApp();
  cef_proxy_handler_t* proxy = app->get_proxy_handler(app);
  cef_proxy_info_t info{CEF_PROXY_TYPE_PAC_STRING, {}};
  ustring address = u"http://example.test/";
  cef_string_t url = CefStringView(address);
  proxy->get_proxy_for_url(proxy, &url, &info);
  EXPECT_EQ(info.proxyType, CEF_PROXY_TYPE_PAC_STRING) << "type left as the engine set it";
  EXPECT_EQ(CefStringClearAndGet(&info.proxyList), u"");

  cef_resource_bundle_handler_t* bundle = app->get_resource_bundle_handler(app);
  ustring text = u"untouched";
  cef_string_t untouched = CefStringView(text);
  const cef_string_t before = untouched;
  EXPECT_EQ(bundle->get_localized_string(bundle, 42, &untouched), 0);
  EXPECT_EQ(std::memcmp(&before, &untouched, sizeof before), 0);
  void* data = &untouched;
  size_t size = 12345;
  EXPECT_EQ(bundle->get_data_resource(bundle, 7, &data, &size), 0);
  EXPECT_EQ(data, &untouched);
  EXPECT_EQ(size, 12345u);
  ReleaseRecord(proxy);
  ReleaseRecord(bundle);
  ReleaseRecord(app);
}

TEST_F(ApplicationTest, HooksSetBeforeCreationAnswerTheEngine) {
  static const char kResource[] = "resource bytes";
  CefGetProxyForUrl = [](const ustring& url, TCefProxyType& type, ustring& list) {
    EXPECT_EQ(url, u"http://game.test/");
    type = CEF_PROXY_TYPE_NAMED;
    list = u"proxy.test:8080";
  };
  CefGetDataResource = [](int id, void*& data, size_t& size) {
    if (id != 3) return false;
    data = const_cast<char*>(kResource);
    size = sizeof kResource;
    return true;
  };
  CefGetLocalizedString = [](int id, ustring& value) {
    EXPECT_EQ(value, u"") << "starts empty";
    value = u"Vào game #" + ustring(1, char16(u'0' + id));
    return id == 5;
  };
  cef_app_t* app = NewEngineApp();
  CefGetProxyForUrl = nullptr;  // read once, at creation

  cef_proxy_handler_t* proxy = app->get_proxy_handler(app);
  cef_proxy_info_t info{CEF_PROXY_TYPE_DIRECT, {}};
  ustring address = u"http://game.test/";
  cef_string_t url = CefStringView(address);
  proxy->get_proxy_for_url(proxy, &url, &info);
  EXPECT_EQ(info.proxyType, CEF_PROXY_TYPE_NAMED);
  EXPECT_EQ(CefStringClearAndGet(&info.proxyList), u"proxy.test:8080");

  cef_resource_bundle_handler_t* bundle = app->get_resource_bundle_handler(app);
  void* data = nullptr;
  size_t size = 0;
  EXPECT_EQ(bundle->get_data_resource(bundle, 3, &data, &size), 1);
  EXPECT_EQ(data, kResource);
  EXPECT_EQ(size, sizeof kResource);
  EXPECT_EQ(bundle->get_data_resource(bundle, 4, nullptr, nullptr), 0) << "no out-variables: no call";

  cef_string_t text{};
  EXPECT_EQ(bundle->get_localized_string(bundle, 5, &text), 1);
  EXPECT_EQ(CefStringClearAndGet(&text), u"Vào game #5")
      << "an engine-owned copy outlives the program string";
  EXPECT_EQ(bundle->get_localized_string(bundle, 6, &text), 0);
  EXPECT_EQ(text.str, nullptr) << "false leaves the record alone";
  ReleaseRecord(proxy);
  ReleaseRecord(bundle);
  ReleaseRecord(app);
}

}  // namespace
