#include <gtest/gtest.h>

#include <string>

#include "launcher/test_page.h"
#include "support/fake_engine_object.h"

using namespace ceflib;

namespace {

const std::string kExpectedPage =
    "<html>  <body>ClientV8ExtensionHandler says:<br><pre><script language=\"javascript\">"
    "  cef.test.test_param ='Assign and retrieve a value succeeded the first time.';"
    "  document.writeln(cef.test.test_param);"
    "  cef.test.test_param = 'Assign and retrieve a value succeeded the second time.';"
    "  document.writeln(cef.test.test_param);  var obj = cef.test.test_object();"
    "  document.writeln(obj.param);  document.writeln(obj.GetMessage());</script></pre></body></html>";

// What the engine's callback and response records were told.
struct EngineSide {
  std::string events;
  int status = 0;
  ustring statusText, mimeType;
} engine;

void CEF_CALLBACK HeadersAvailable(cef_scheme_handler_callback_t*) { engine.events += "headers;"; }
void CEF_CALLBACK BytesAvailable(cef_scheme_handler_callback_t*) { engine.events += "bytes;"; }
void CEF_CALLBACK SetStatus(cef_response_t*, int status) { engine.status = status; }
void CEF_CALLBACK SetStatusText(cef_response_t*, const cef_string_t* text) {
  engine.statusText = CefStringRead(text);
}
void CEF_CALLBACK SetMimeType(cef_response_t*, const cef_string_t* text) {
  engine.mimeType = CefStringRead(text);
}

class TestPageScheme : public testing::Test {
 protected:
  void SetUp() override {
    engine = {};
    callback.record.headers_available = &HeadersAvailable;
    callback.record.bytes_available = &BytesAvailable;
    response.record.set_status = &SetStatus;
    response.record.set_status_text = &SetStatusText;
    response.record.set_mime_type = &SetMimeType;
    handler = Make<tessaril::TScheme>(false, u"client", nullptr, nullptr);
  }
  // The handler's record, called as the engine calls it.
  cef_scheme_handler_t* Record() { return reinterpret_cast<cef_scheme_handler_t*>(handler->Data()); }
  cef_scheme_handler_callback_t* LentCallback() {
    callback.refs++;  // the engine hands one reference with each pointer
    return callback.get();
  }
  std::string Read(int chunk) {
    std::string body;
    std::string buffer(static_cast<size_t>(chunk), '\0');
    for (;;) {
      int read = -1;
      EXPECT_EQ(Record()->read_response(Record(), buffer.data(), chunk, &read, LentCallback()), 1);
      if (read <= 0) {
        EXPECT_EQ(read, 0);
        return body;
      }
      body.append(buffer.data(), static_cast<size_t>(read));
    }
  }

  FakeEngineObject<cef_scheme_handler_callback_t> callback;
  FakeEngineObject<cef_response_t> response;
  RefPtr<tessaril::TScheme> handler;
};

TEST_F(TestPageScheme, ServesTheWholePageWithItsHeaders) {
  ASSERT_EQ(Record()->process_request(Record(), nullptr, LentCallback()), 1);
  EXPECT_EQ(engine.events, "headers;bytes;") << "both notices reach the engine from inside the request";
  int64_t length = -1;
  cef_string_t redirect{};
  response.refs++;
  Record()->get_response_headers(Record(), response.get(), &length, &redirect);
  EXPECT_EQ(engine.status, 200);
  EXPECT_EQ(engine.statusText, u"OK");
  EXPECT_EQ(engine.mimeType, u"text/html");
  EXPECT_EQ(length, 454);
  EXPECT_EQ(redirect.str, nullptr) << "no redirect";
  EXPECT_EQ(Read(4096), kExpectedPage);
  EXPECT_EQ(kExpectedPage.size(), 454u);
  EXPECT_EQ(callback.refs, 1) << "every lent callback reference was given back";
  EXPECT_EQ(response.refs, 1);
}

TEST_F(TestPageScheme, SmallReadsGiveConsecutiveSlicesThenZeroAndTrue) {
  Record()->process_request(Record(), nullptr, LentCallback());
  EXPECT_EQ(Read(7), kExpectedPage);
  EXPECT_EQ(Read(7), "") << "after the end: 0 bytes, still true";
}

TEST(RegisterSchemes, DeclaresClientAsAStandardScheme) {
  static struct {
    ustring name;
    int flags[3];
  } seen;
  FakeEngineObject<cef_scheme_registrar_t> registrar;
  registrar.record.add_custom_scheme = [](cef_scheme_registrar_t*, const cef_string_t* name, int standard,
                                          int local, int isolated) CEF_CALLBACK -> int {
    seen = {CefStringRead(name), {standard, local, isolated}};
    return 1;
  };
  registrar.refs++;
  tessaril::RegisterSchemes(TCefSchemeRegistrarRef::UnWrap(registrar.get()));
  EXPECT_EQ(seen.name, u"client");
  EXPECT_EQ(seen.flags[0], 1);
  EXPECT_EQ(seen.flags[1], 0);
  EXPECT_EQ(seen.flags[2], 0);
  EXPECT_EQ(registrar.refs, 1);
}

}  // namespace
