#include <gtest/gtest.h>

#include <stdexcept>

#include "bridge_test_support.h"
#include "ceflib/bridges/cookie_visitor.h"
#include "ceflib/bridges/request_handler.h"
#include "ceflib/bridges/web_urlrequest_client.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

// ---- request handler ------------------------------------------------------------------

// Sets every out-argument it is given and remembers what came in; throws when asked to.
class SettingHandler : public TCefRequestHandlerOwn {
 public:
  bool OnBeforeBrowse(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f, const RefPtr<ICefRequest>& r,
                      TCefHandlerNavtype navType, bool isRedirect) override {
    Maybe();
    seen = {b != nullptr, f != nullptr, r != nullptr};
    nav = navType;
    redirect = isRedirect;
    return true;
  }
  bool OnBeforeResourceLoad(const RefPtr<ICefBrowser>&, const RefPtr<ICefRequest>&, ustring& redirectUrl,
                            RefPtr<ICefStreamReader>& resourceStream, const RefPtr<ICefResponse>&,
                            int loadFlags) override {
    textIn = redirectUrl;
    redirectUrl = u"http://elsewhere.test/";
    resourceStream = stream;
    flags = loadFlags;
    Maybe();
    return false;
  }
  void OnResourceRedirect(const RefPtr<ICefBrowser>&, const ustring& oldUrl, ustring& newUrl) override {
    textIn = oldUrl + u" " + newUrl;
    newUrl = u"http://changed.test/";
    Maybe();
  }
  void OnResourceResponse(const RefPtr<ICefBrowser>&, const ustring& url, const RefPtr<ICefResponse>&,
                          RefPtr<ICefContentFilter>& filterOut) override {
    textIn = url;
    filterOut = filter;
    Maybe();
  }
  bool OnProtocolExecution(const RefPtr<ICefBrowser>&, const ustring& url, bool& allowOsExecution) override {
    textIn = url;
    allowOsExecution = true;
    Maybe();
    return true;
  }
  bool GetDownloadHandler(const RefPtr<ICefBrowser>&, const ustring& mimeType, const ustring& fileName,
                          int64_t contentLength, RefPtr<ICefDownloadHandler>& handler) override {
    textIn = mimeType + u" " + fileName;
    length = contentLength;
    handler = download;
    Maybe();
    return true;
  }
  bool GetAuthCredentials(const RefPtr<ICefBrowser>&, bool isProxy, const ustring& host, int port,
                          const ustring& realm, const ustring& scheme, ustring& username,
                          ustring& password) override {
    textIn = host + u" " + realm + u" " + scheme;
    proxy = isProxy;
    length = port;
    username = u"player";
    password = u"secret";
    Maybe();
    return true;
  }

  void Maybe() const {
    if (throws) throw std::runtime_error("handler failed");
  }
  bool throws = false;
  std::array<bool, 3> seen{};
  TCefHandlerNavtype nav = NAVTYPE_OTHER;
  bool redirect = false, proxy = false;
  int flags = 0;
  int64_t length = 0;
  ustring textIn;
  RefPtr<ICefStreamReader> stream;
  RefPtr<ICefContentFilter> filter = Make<TCefContentFilterOwn>();
  RefPtr<ICefDownloadHandler> download = Make<TCefDownloadHandlerOwn>();
};

class RequestHandlerBridge : public testing::Test {
 protected:
  void TearDown() override {
    ReleaseRecord(r);
    for (auto* object : {&browser}) EXPECT_EQ(object->refs, 1);
    EXPECT_EQ(frame.refs, 1);
    EXPECT_EQ(request.refs, 1);
    EXPECT_EQ(response.refs, 1);
  }
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  FakeEngineObject<cef_request_t> request;
  FakeEngineObject<cef_response_t> response;
  FakeEngineObject<cef_stream_reader_t> stream;
  RefPtr<SettingHandler> handler = Make<SettingHandler>();
  cef_request_handler_t* r = EngineRecord<cef_request_handler_t>(handler);
};

TEST_F(RequestHandlerBridge, EveryEntryPassesItsArgumentsAndHandsTheAnswersOver) {
  EXPECT_EQ(r->on_before_browse(r, HandOver(browser), HandOver(frame), HandOver(request), NAVTYPE_RELOAD, 1),
            1);
  EXPECT_EQ(handler->seen, (std::array<bool, 3>{true, true, true}));
  EXPECT_EQ(handler->nav, NAVTYPE_RELOAD);
  EXPECT_TRUE(handler->redirect);

  // Out-objects reach the engine with one reference of their own.
  handler->stream = TCefStreamReaderRef::UnWrap(HandOver(stream));
  EngineString url(u"before");
  cef_stream_reader_t* served = nullptr;
  EXPECT_EQ(r->on_before_resource_load(r, HandOver(browser), HandOver(request), url.get(), &served,
                                       HandOver(response), 6),
            0);
  EXPECT_EQ(handler->textIn, u"before");
  EXPECT_EQ(handler->flags, 6);
  EXPECT_EQ(url.Text(), u"http://elsewhere.test/");
  EXPECT_EQ(served, stream.get());
  handler->stream.reset();
  EXPECT_EQ(stream.refs, 2) << "the test's and the engine's";
  stream.refs = 1;

  const ustring old = u"http://old.test/";
  const cef_string_t oldView = CefStringView(old);
  EngineString target(u"http://new.test/");
  r->on_resource_redirect(r, HandOver(browser), &oldView, target.get());
  EXPECT_EQ(handler->textIn, u"http://old.test/ http://new.test/");
  EXPECT_EQ(target.Text(), u"http://changed.test/");

  cef_content_filter_t* filter = nullptr;
  r->on_resource_response(r, HandOver(browser), &oldView, HandOver(response), &filter);
  EXPECT_EQ(reinterpret_cast<cef_base_t*>(filter), handler->filter->Wrap());
  ReleaseRecord(filter);
  ReleaseRecord(filter);

  int allow = 0;
  EXPECT_EQ(r->on_protocol_execution(r, HandOver(browser), &oldView, &allow), 1);
  EXPECT_EQ(allow, 1);

  const ustring mime = u"application/zip", name = u"game.zip";
  const cef_string_t mimeView = CefStringView(mime), nameView = CefStringView(name);
  cef_download_handler_t* download = nullptr;
  EXPECT_EQ(r->get_download_handler(r, HandOver(browser), &mimeView, &nameView, int64_t{5} << 32, &download),
            1);
  EXPECT_EQ(handler->textIn, u"application/zip game.zip");
  EXPECT_EQ(handler->length, int64_t{5} << 32);
  EXPECT_EQ(reinterpret_cast<cef_base_t*>(download), handler->download->Wrap());
  ReleaseRecord(download);
  ReleaseRecord(download);

  const ustring realm = u"Members", scheme = u"basic";
  const cef_string_t realmView = CefStringView(realm), schemeView = CefStringView(scheme);
  EngineString user, password;
  EXPECT_EQ(r->get_auth_credentials(r, HandOver(browser), 1, &nameView, 8080, &realmView, &schemeView,
                                    user.get(), password.get()),
            1);
  EXPECT_EQ(handler->textIn, u"game.zip Members basic");
  EXPECT_TRUE(handler->proxy);
  EXPECT_EQ(handler->length, 8080);
  EXPECT_EQ(user.Text(), u"player");
  EXPECT_EQ(password.Text(), u"secret");
}

TEST_F(RequestHandlerBridge, AThrowingHandlerGivesTheNeutralAnswerAndLeavesEveryOutArgumentAlone) {
  EntryExceptions reported;
  handler->throws = true;
  handler->stream = TCefStreamReaderRef::UnWrap(HandOver(stream));
  EXPECT_EQ(r->on_before_browse(r, HandOver(browser), HandOver(frame), HandOver(request), NAVTYPE_OTHER, 0),
            0);
  EngineString url(u"kept");
  cef_stream_reader_t* served = nullptr;
  EXPECT_EQ(r->on_before_resource_load(r, HandOver(browser), HandOver(request), url.get(), &served,
                                       HandOver(response), 0),
            0);
  EXPECT_EQ(url.Text(), u"kept");
  EXPECT_EQ(served, nullptr);
  cef_content_filter_t* filter = nullptr;
  r->on_resource_response(r, HandOver(browser), url.get(), HandOver(response), &filter);
  EXPECT_EQ(filter, nullptr);
  int allow = 0;
  EXPECT_EQ(r->on_protocol_execution(r, HandOver(browser), url.get(), &allow), 0);
  EXPECT_EQ(allow, 0);
  cef_download_handler_t* download = nullptr;
  EXPECT_EQ(r->get_download_handler(r, HandOver(browser), url.get(), url.get(), -1, &download), 0);
  EXPECT_EQ(download, nullptr);
  EngineString user(u"u"), password(u"p");
  EXPECT_EQ(r->get_auth_credentials(r, HandOver(browser), 0, url.get(), 80, url.get(), url.get(), user.get(),
                                    password.get()),
            0);
  EXPECT_EQ(user.Text() + password.Text(), u"up");
  EXPECT_EQ(reported.messages.size(), 6u);
  handler->stream.reset();
  EXPECT_EQ(stream.refs, 1) << "nothing handed over";
}

TEST(RequestHandlerEntries, DefaultsLetTheEngineGoOnAsWithoutAHandler) {
  auto* r = EngineRecord<cef_request_handler_t>(Make<TCefRequestHandlerOwn>());
  EXPECT_EQ(sizeof(cef_request_handler_t), r->base.size);
  EngineString text(u"as it was");
  EXPECT_EQ(r->on_before_browse(r, nullptr, nullptr, nullptr, NAVTYPE_LINKCLICKED, 0), 0);
  cef_stream_reader_t* served = nullptr;
  EXPECT_EQ(r->on_before_resource_load(r, nullptr, nullptr, text.get(), &served, nullptr, 0), 0);
  r->on_resource_redirect(r, nullptr, text.get(), text.get());
  cef_content_filter_t* filter = nullptr;
  r->on_resource_response(r, nullptr, text.get(), nullptr, &filter);
  int allow = 0;
  EXPECT_EQ(r->on_protocol_execution(r, nullptr, text.get(), &allow), 0);
  cef_download_handler_t* download = nullptr;
  EXPECT_EQ(r->get_download_handler(r, nullptr, text.get(), text.get(), 10, &download), 0);
  EXPECT_EQ(
      r->get_auth_credentials(r, nullptr, 0, text.get(), 80, text.get(), text.get(), text.get(), text.get()),
      0);
  EXPECT_EQ(r->get_cookie_manager(r, nullptr, text.get()), nullptr);
  EXPECT_EQ(text.Text(), u"as it was");
  EXPECT_EQ(served, nullptr);
  EXPECT_EQ(filter, nullptr);
  EXPECT_EQ(allow, 0);
  EXPECT_EQ(download, nullptr);
  // Null out-pointers are never written through.
  EXPECT_EQ(r->on_protocol_execution(r, nullptr, nullptr, nullptr), 0);
  ReleaseRecord(r);

  auto* d = EngineRecord<cef_download_handler_t>(Make<TCefDownloadHandlerOwn>());
  char piece[4] = {};
  EXPECT_EQ(d->received_data(d, piece, 4), 0) << "a download nobody takes is aborted";
  d->complete(d);
  ReleaseRecord(d);
  auto* f = EngineRecord<cef_content_filter_t>(Make<TCefContentFilterOwn>());
  cef_stream_reader_t* substitute = nullptr;
  f->process_data(f, piece, 4, &substitute);
  f->drain(f, &substitute);
  EXPECT_EQ(substitute, nullptr) << "chunks pass unchanged";
  ReleaseRecord(f);
}

// ---- cookie visitor ------------------------------------------------------------------

TEST(CookieVisitorBridge, TheCookieArrivesConvertedAndDeleteAndStopReachTheEngine) {
  cef_cookie_t cookie{};
  const ustring name = u"session", value = u"abc", domain = u".game.test", path = u"/";
  cookie.name = CefStringView(name);
  cookie.value = CefStringView(value);
  cookie.domain = CefStringView(domain);
  cookie.path = CefStringView(path);
  cookie.httponly = true;
  cookie.creation = DateTimeToCefTime(45000.5);
  cookie.last_access = cookie.creation;
  cookie.has_expires = true;
  cookie.expires = DateTimeToCefTime(46000.25);
  std::vector<TCefCookie> seen;
  auto* v = EngineRecord<cef_cookie_visitor_t>(
      Make<TCefFastCookieVisitor>([&](const TCefCookie& c, int count, int total, bool& deleteCookie) {
        seen.push_back(c);
        deleteCookie = count == 0;
        return count + 1 < total;
      }));
  int deleteCookie = 0;
  EXPECT_EQ(v->visit(v, &cookie, 0, 2, &deleteCookie), 1);
  EXPECT_EQ(deleteCookie, 1);
  EXPECT_EQ(v->visit(v, &cookie, 1, 2, &deleteCookie), 0);
  EXPECT_EQ(deleteCookie, 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].name + u"=" + seen[0].value + u" " + seen[0].domain + seen[0].path,
            u"session=abc .game.test/");
  EXPECT_TRUE(seen[0].httponly);
  EXPECT_FALSE(seen[0].secure);
  EXPECT_DOUBLE_EQ(seen[0].creation, 45000.5);
  EXPECT_TRUE(seen[0].hasExpires);
  EXPECT_DOUBLE_EQ(seen[0].expires, 46000.25);
  ReleaseRecord(v);

  auto* plain = EngineRecord<cef_cookie_visitor_t>(Make<TCefCookieVisitorOwn>());
  deleteCookie = 0;
  EXPECT_EQ(plain->visit(plain, &cookie, 0, 1, &deleteCookie), 0) << "the default stops and deletes nothing";
  EXPECT_EQ(deleteCookie, 0);
  ReleaseRecord(plain);
}

// ---- web URL request client ----------------------------------------------------------

class RecordingRequestClient : public TCefWebUrlRequestClientOwn {
 public:
  void OnStateChange(const RefPtr<ICefWebUrlRequest>& requester, TCefWebUrlRequestState state) override {
    log += u"state " + ustring(1, char16_t(u'0' + state)) + (requester ? u"" : u" without requester") + u";";
  }
  void OnRedirect(const RefPtr<ICefWebUrlRequest>&, const RefPtr<ICefRequest>& request,
                  const RefPtr<ICefResponse>& response) override {
    log += ustring(u"redirect") + (request && response ? u"" : u" missing") + u";";
  }
  void OnHeadersReceived(const RefPtr<ICefWebUrlRequest>&, const RefPtr<ICefResponse>& response) override {
    log += ustring(u"headers") + (response ? u"" : u" missing") + u";";
  }
  void OnProgress(const RefPtr<ICefWebUrlRequest>&, uint64_t sent, uint64_t total) override {
    progress = {sent, total};
  }
  void OnData(const RefPtr<ICefWebUrlRequest>&, const void* data, int length) override {
    log += u"data " + ustring(static_cast<const char*>(data), static_cast<const char*>(data) + length) + u";";
  }
  void OnError(const RefPtr<ICefWebUrlRequest>&, int errorCode) override { error = errorCode; }
  ustring log;
  std::pair<uint64_t, uint64_t> progress;
  int error = 0;
};

TEST(WebUrlRequestClientBridge, EachEntryReachesItsMethodWithTheEnginesObjects) {
  auto client = Make<RecordingRequestClient>();
  auto* c = EngineRecord<cef_web_urlrequest_client_t>(client);
  FakeEngineObject<cef_web_urlrequest_t> requester;
  FakeEngineObject<cef_request_t> request;
  FakeEngineObject<cef_response_t> response;
  c->on_state_change(c, HandOver(requester), WUR_STATE_STARTED);
  c->on_redirect(c, HandOver(requester), HandOver(request), HandOver(response));
  c->on_headers_received(c, HandOver(requester), HandOver(response));
  c->on_progress(c, HandOver(requester), uint64_t{1} << 33, uint64_t{3} << 33);
  c->on_data(c, HandOver(requester), "body", 4);
  c->on_error(c, HandOver(requester), ERR_CONNECTION_REFUSED);
  c->on_state_change(c, nullptr, WUR_STATE_ERROR);
  EXPECT_EQ(client->log, u"state 1;redirect;headers;data body;state 5 without requester;");
  EXPECT_EQ(client->progress, std::make_pair(uint64_t{1} << 33, uint64_t{3} << 33));
  EXPECT_EQ(client->error, ERR_CONNECTION_REFUSED);
  EXPECT_EQ(requester.refs + request.refs + response.refs, 3) << "every reference given back";
  ReleaseRecord(c);
}

}  // namespace
