// Browsers through the engine's records: pages from a local HTTP server and from a
// program scheme handler (called on the IO thread), failed loads, frames, pages given as
// text, history, pop-ups and closing. Every handler call must come on the main thread,
// and no engine object may be left alive after shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "browser_test_support.h"
#include "support/test_http_server.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using namespace engine_test;

std::string Utf8(const std::u16string& text) { return Narrow(text); }

class EngineBrowserTest : public testing::Test {
 protected:
  void SetUp() override {
    cef_settings_t settings{};
    settings.size = sizeof(settings);
    settings.log_severity = LOGSEVERITY_DISABLE;
    const std::u16string agent = u"Tessaril launcher/2";
    settings.user_agent = View(agent);
    ASSERT_EQ(cef_initialize(&settings, app_.HandOver()), 1);
    const std::u16string scheme = u"client", host = u"test";
    const auto scheme_view = View(scheme), host_view = View(host);
    ASSERT_EQ(cef_register_scheme_handler_factory(&scheme_view, &host_view, schemes_.HandOver()), 1);
  }

  void TearDown() override {
    for (auto& browser : client_.browsers) browser->close_browser(browser.get());
    const int open = static_cast<int>(client_.browsers.size());
    EXPECT_TRUE(RunUntil([&] { return client_.Count("before_close") >= open; }));
    client_.browsers.clear();
    cef_shutdown();
    EXPECT_FALSE(client_.off_main_thread()) << "a handler was called off the main thread";
    EXPECT_TRUE(client_.Released()) << "the engine kept a handler";
    EXPECT_TRUE(schemes_.Released()) << "the engine kept a scheme handler or the factory";
    EXPECT_EQ(cef_engine_live_objects(), 0) << Utf8(TakeText(cef_engine_live_object_report()));
    EXPECT_EQ(app_.refs(), 0);
  }

  // Opens a browser on `url` and waits until its first load ended (or failed).
  cef_browser_t* Open(const std::u16string& url) {
    cef_window_info_t info{};
    info.m_nWidth = 640;
    info.m_nHeight = 480;
#if defined(_WIN32)
    info.m_dwStyle = WS_POPUP;  // a hidden top-level window: no parent in these tests
#endif
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    const auto address = View(url);
    EXPECT_EQ(cef_browser_create(&info, client_.HandOver(), &address, &settings), 1);
    EXPECT_TRUE(RunUntil([&] {
      return !client_.browsers.empty() &&
             (client_.Count("load_end main") > 0 || client_.Count("load_error") > 0);
    }));
    return client_.browsers.empty() ? nullptr : client_.browsers.front().get();
  }

  static Held<cef_frame_t> Main(cef_browser_t* browser) {
    return Held<cef_frame_t>(browser->get_main_frame(browser));
  }

  StringBalance balance_;
  SchemeApp app_{{u"client"}};
  TestClient client_;
  SchemeServer schemes_;
  test_http::Server server_;
};

TEST_F(EngineBrowserTest, HttpPagesCarryTheRequestAndReportToTheHandlers) {
  server_.Serve("/start", test_http::Page("<html><head><title>Start page</title>"
                                          "<link rel=\"icon\" href=\"/fav.ico\"></head>"
                                          "<body><p>Welcome</p></body></html>"));
  server_.Serve(
      "/game.php",
      test_http::Page("<html><head><title>Game</title></head><body>Game page</body></html>", 201, "Created"));
  const auto start = Widen(server_.Url("/start"));
  cef_browser_t* browser = Open(start);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(client_.log().front(), "after_created");
  EXPECT_TRUE(client_.Logged("address main " + Utf8(start)));
  EXPECT_TRUE(client_.Logged("title Start page"));
  EXPECT_TRUE(client_.Logged("icons " + server_.Url("/fav.ico")));
  EXPECT_TRUE(client_.Logged("load_end main 200"));
  EXPECT_NE(browser->get_window_handle(browser), nullptr);
  EXPECT_EQ(browser->is_popup(browser), 0);
  EXPECT_EQ(browser->has_document(browser), 1);
  auto main = Main(browser);
  EXPECT_EQ(TakeText(main->get_url(main.get())), start);
  EXPECT_NE(TakeText(main->get_text(main.get())).find(u"Welcome"), std::u16string::npos);
#if defined(_WIN32)
  // Tools read the page through the window's text.
  wchar_t window_text[256] = {};
  GetWindowTextW(browser->get_window_handle(browser), window_text, 256);
  EXPECT_NE(std::wstring(window_text).find(L"Welcome"), std::wstring::npos);
#endif

  // A request with a method, a header map (one key twice) and a body arrives as built.
  cef_request_t* request = cef_request_create();
  const auto url = Widen(server_.Url("/game.php?x=1")), method = std::u16string(u"POST");
  const auto url_view = View(url), method_view = View(method);
  request->set_url(request, &url_view);
  request->set_method(request, &method_view);
  cef_string_multimap_t headers = cef_string_multimap_alloc();
  for (auto [key, value] : {std::pair{u"X-CEF-Version", u"1.0.0.3"},
                            {u"X-Multi", u"a"},
                            {u"X-Multi", u"b"},
                            {u"user-agent", u"Game/3"}}) {
    const std::u16string k = key, v = value;
    const auto kv = View(k), vv = View(v);
    cef_string_multimap_append(headers, &kv, &vv);
  }
  request->set_header_map(request, headers);
  cef_string_multimap_free(headers);
  cef_post_data_t* body = cef_post_data_create();
  cef_post_data_element_t* element = cef_post_data_element_create();
  element->set_to_bytes(element, 7, "a=1&b=2");
  body->add_element(body, element);
  request->set_post_data(request, body);
  client_.ClearLog();
  main->load_request(main.get(), request);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end main") > 0; }));
  EXPECT_TRUE(client_.Logged("load_end main 201")) << "the HTTP status reaches the load end";
  EXPECT_TRUE(client_.Logged("title Game"));

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_FALSE(requests[0].Header("X-CEF-Version")) << "the first page is loaded without the header";
  EXPECT_EQ(requests[0].Header("User-Agent"), "Tessaril launcher/2") << "the settings' user agent";
  const auto& sent = requests[1];
  EXPECT_EQ(sent.Header("User-Agent"), "Game/3") << "the program's own user agent wins";
  EXPECT_EQ(std::count_if(sent.headers.begin(), sent.headers.end(),
                          [](const auto& h) { return h.first == "User-Agent" || h.first == "user-agent"; }),
            1);
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.target, "/game.php?x=1");
  EXPECT_EQ(sent.Header("X-CEF-Version"), "1.0.0.3");
  std::vector<std::string> multi;
  for (const auto& [key, value] : sent.headers) {
    if (key == "X-Multi") multi.push_back(value);
  }
  EXPECT_EQ(multi, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(sent.body, "a=1&b=2");
  EXPECT_TRUE(browser->can_go_back(browser));

  // A header value with a line break would write a header of its own on the wire: the load
  // fails and nothing is sent.
  const std::u16string bad_key = u"X-Note", bad_value = u"a\r\nX-Injected: 1";
  const auto bad_key_view = View(bad_key), bad_value_view = View(bad_value);
  cef_request_t* unsendable = cef_request_create();
  unsendable->set_url(unsendable, &url_view);
  headers = cef_string_multimap_alloc();
  cef_string_multimap_append(headers, &bad_key_view, &bad_value_view);
  unsendable->set_header_map(unsendable, headers);
  cef_string_multimap_free(headers);
  client_.ClearLog();
  main->load_request(main.get(), unsendable);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end main") > 0; }));
  EXPECT_EQ(client_.Count("load_error " + std::to_string(ERR_INVALID_ARGUMENT)), 1);
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(EngineBrowserTest, SchemeHandlersServePagesOnTheIoThread) {
  const std::string body =
      "<html><head><title>From the handler</title></head><body>Handler text</body></html>";
  schemes_.Serve(u"/page", SchemeServer::Body(body, 203));
  schemes_.Serve(u"/old", SchemeServer::Redirect(u"client://test/page?moved"));
  auto open_ended = SchemeServer::Body("<html><body>open ended</body></html>");
  open_ended.announce_length = false;
  schemes_.Serve(u"/nolength", open_ended);
  cef_browser_t* browser = Open(u"client://test/page");
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(app_.asked(), 1) << "the application declared its schemes when the first browser opened";
  EXPECT_TRUE(client_.Logged("load_end main 203"));
  EXPECT_TRUE(client_.Logged("title From the handler"));
  auto main = Main(browser);
  EXPECT_NE(TakeText(main->get_text(main.get())).find(u"Handler text"), std::u16string::npos)
      << "the whole body arrived through reads of a few bytes";

  client_.ClearLog();
  const std::u16string old_url = u"client://test/old";
  const auto old_view = View(old_url);
  main->load_url(main.get(), &old_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end") > 0; }));
  EXPECT_TRUE(client_.Logged("address main client://test/page?moved")) << "the redirect is followed";

  client_.ClearLog();
  const std::u16string open_url = u"client://test/nolength";
  const auto open_view = View(open_url);
  main->load_url(main.get(), &open_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end") > 0; }));
  EXPECT_NE(TakeText(main->get_text(main.get())).find(u"open ended"), std::u16string::npos)
      << "without a length, reading ends at 0 bytes";

  const auto seen = schemes_.seen();
  ASSERT_EQ(seen.size(), 4u);
  for (const auto& request : seen) EXPECT_TRUE(request.on_io_thread) << Utf8(request.url);
  EXPECT_EQ(seen[0].method, u"GET");
  EXPECT_EQ(seen[2].url, u"client://test/page?moved");
}

TEST_F(EngineBrowserTest, FailedLoadsReportAnErrorCodeAndText) {
  auto refused = SchemeServer::Body("");
  refused.refuse = true;
  schemes_.Serve(u"/refused", refused);
  const std::u16string address = Widen("http://127.0.0.1:" + std::to_string(server_.ClosedPort()) + "/");
  cef_browser_t* browser = Open(address);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(client_.Count("load_error " + std::to_string(ERR_CONNECTION_REFUSED)), 1) << client_.log().back();
  const auto log = client_.log();
  const auto at = [&](const std::string& prefix) {
    return std::find_if(log.begin(), log.end(),
                        [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }) -
           log.begin();
  };
  EXPECT_LT(at("load_start main"), at("load_error")) << "the load starts before its address is reached";
  EXPECT_LT(at("load_error"), at("load_end main 0")) << "the error page ends the load with status 0";
  ASSERT_FALSE(client_.error_texts.empty());
  EXPECT_FALSE(client_.error_texts.back().empty());

  // The engine's own error page says what happened, in its title and its text.
  auto main = Main(browser);
  const std::u16string error = u"ERR_CONNECTION_REFUSED (-102)";
  const auto text = TakeText(main->get_text(main.get()));
  for (const auto& part : {address, error, std::u16string(u"The site refused the connection")})
    EXPECT_NE(text.find(part), std::u16string::npos) << Narrow(text);
  EXPECT_NE(TakeText(main->get_source(main.get()))
                .find(u"<title>Cannot load " + address + u": " + error + u"</title>"),
            std::u16string::npos);

  client_.error_page = u"<html><body>Custom error</body></html>";
  for (const std::u16string url : {u"nosuch://x/", u"client://test/refused"}) {
    client_.ClearLog();
    const auto view = View(url);
    main->load_url(main.get(), &view);
    ASSERT_TRUE(RunUntil([&] { return client_.Count("load_error") > 0; }));
  }
  EXPECT_TRUE(client_.Logged("load_error " + std::to_string(ERR_FAILED) + " client://test/refused"));
  ASSERT_TRUE(RunUntil([&] {
    return TakeText(main->get_text(main.get())).find(u"Custom error") != std::u16string::npos;
  })) << "the error text the handler gave is shown";
}

// An HTTP body that never ends stops at the document limit as a load error; its memory
// goes back with the failed transfer. The limit is lowered to 8 MiB, so that the test
// moves 8 MiB and not 256.
TEST_F(EngineBrowserTest, AnEndlessHttpBodyFailsAtTheDocumentLimit) {
  struct Limit {
    Limit() { cef_engine_set_document_limit(8 * 1024 * 1024); }
    ~Limit() { cef_engine_set_document_limit(0); }
  } limit;
  auto endless = test_http::Page(std::string(64 * 1024, 'x'));
  endless.endless = true;
  server_.Serve("/endless", endless);
  ASSERT_NE(Open(Widen(server_.Url("/endless"))), nullptr);
  EXPECT_EQ(client_.Count("load_error " + std::to_string(ERR_FILE_TOO_BIG)), 1) << client_.log().back();
}

TEST_F(EngineBrowserTest, StoppingALoadCancelsItsSchemeHandler) {
  auto hang = SchemeServer::Body("");
  hang.never_answer = true;
  schemes_.Serve(u"/hang", hang);
  cef_browser_t* browser = Open(u"about:blank");
  ASSERT_NE(browser, nullptr);
  auto main = Main(browser);
  const std::u16string url = u"client://test/hang";
  const auto view = View(url);
  main->load_url(main.get(), &view);
  ASSERT_TRUE(RunUntil([&] { return schemes_.seen().size() == 1; }));
  client_.ClearLog();
  browser->stop_load(browser);
  ASSERT_TRUE(RunUntil([&] { return schemes_.seen()[0].cancelled; })) << "cancel reaches the handler";
  EXPECT_TRUE(client_.Logged("load_end main 0")) << "the stopped load ends";
}

// Opens one more browser with the fixture's client, without waiting for its load.
void CreateBrowser(cef_client_t* client, const std::u16string& url) {
  cef_window_info_t info{};
#if defined(_WIN32)
  info.m_dwStyle = WS_POPUP;
#endif
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  const auto address = View(url);
  EXPECT_EQ(cef_browser_create(&info, client, &address, &settings), 1);
}

TEST_F(EngineBrowserTest, EndlessAndSilentLoadsHoldUpNoOtherLoadAndStopWithinOneRead) {
  auto endless = SchemeServer::Body("");
  endless.endless = true;
  endless.announce_length = false;
  schemes_.Serve(u"/endless", endless);
  test_http::SilentListener silent;
  cef_browser_t* first = Open(u"about:blank");
  ASSERT_NE(first, nullptr);
  auto main = Main(first);
  const std::u16string endless_url = u"client://test/endless";
  const auto endless_view = View(endless_url);
  main->load_url(main.get(), &endless_view);
  ASSERT_TRUE(RunUntil([&] { return schemes_.seen().size() == 1 && schemes_.seen()[0].reads > 3; }));
  CreateBrowser(client_.HandOver(), Widen(silent.Url("/never")));
  CreateBrowser(client_.HandOver(), u"about:blank");
  ASSERT_TRUE(RunUntil([&] {
    return client_.browsers.size() == 3 && client_.Count("load_end main 200") == 2;
  })) << "a blank page loads beside an endless and a silent response";

  // A new navigation cancels the endless load: no read after the handler's cancel.
  client_.ClearLog();
  const std::u16string blank = u"about:blank";
  const auto blank_view = View(blank);
  main->load_url(main.get(), &blank_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end main 200") == 1; }));
  EXPECT_TRUE(schemes_.seen()[0].cancelled);
  // The silent transfer is stopped; its load ends once, with status 0.
  cef_browser_t* waiting = client_.browsers[1].get();
  waiting->stop_load(waiting);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end main 0") == 1; }));
  EXPECT_FALSE(schemes_.seen()[0].read_after_cancel);
  EXPECT_EQ(client_.Count("load_error"), 0) << "a stopped load reports nothing more";
  EXPECT_EQ(client_.Count("load_end"), 2);
}

TEST_F(EngineBrowserTest, CloseIsReportedOnceTheLoadsLetGoOnTheIoThread) {
  auto hang = SchemeServer::Body("");
  hang.never_answer = true;
  schemes_.Serve(u"/hang", hang);
  cef_browser_t* browser = Open(u"about:blank");
  ASSERT_NE(browser, nullptr);
  auto main = Main(browser);
  const std::u16string url = u"client://test/hang";
  const auto view = View(url);
  main->load_url(main.get(), &view);
  ASSERT_TRUE(RunUntil([&] { return schemes_.seen().size() == 1; }));

  // The IO thread is held busy until the close has been asked for and the main thread
  // has gone on; the handler's cancel must still come before the close report.
  struct Blocker {
    FakeRecord<cef_task_t> object{this};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
  } blocker;
  blocker.object.record()->execute = [](cef_task_t* self, cef_thread_id_t) CEF_CALLBACK {
    FakeRecord<cef_task_t>::OwnerOf<Blocker>(self)->released.wait();
  };
  ASSERT_EQ(cef_post_task(TID_IO, blocker.object.HandOver()), 1);
  std::atomic<bool> closed_before_cancel{false};
  schemes_.on_cancel = [&] { closed_before_cancel = client_.Count("before_close") > 0; };
  browser->close_browser(browser);
  ASSERT_TRUE(RunUntil([&] { return client_.Logged("do_close"); }));
  blocker.release.set_value();
  ASSERT_TRUE(RunUntil([&] { return client_.Count("before_close") == 1; }));
  EXPECT_TRUE(schemes_.seen()[0].cancelled);
  EXPECT_FALSE(closed_before_cancel) << "the close was reported while the load still held its handler";
  EXPECT_TRUE(schemes_.HandlersReleased()) << "the handler was released before the close report";
  client_.browsers.clear();
  main.reset();
  EXPECT_EQ(cef_engine_live_objects(), 0) << Utf8(TakeText(cef_engine_live_object_report()));
}

TEST_F(EngineBrowserTest, FramesLoadOnTheirOwn) {
  server_.Serve("/outer", test_http::Page(
                              "<html><body>Outer<iframe name=\"kid\" src=\"inner\"></iframe></body></html>"));
  server_.Serve("/inner", test_http::Page("<html><body>Inner text</body></html>"));
  cef_browser_t* browser = Open(Widen(server_.Url("/outer")));
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end kid") > 0; }));
  EXPECT_EQ(client_.Count("load_start"), 2);
  EXPECT_EQ(client_.Count("load_end"), 2);
  EXPECT_EQ(client_.Count("load_start kid"), 1);

  const std::u16string name = u"kid";
  const auto name_view = View(name);
  Held<cef_frame_t> kid(browser->get_frame(browser, &name_view));
  ASSERT_TRUE(kid);
  EXPECT_EQ(kid->is_main(kid.get()), 0);
  EXPECT_EQ(TakeText(kid->get_url(kid.get())), Widen(server_.Url("/inner")));
  EXPECT_NE(TakeText(kid->get_text(kid.get())).find(u"Inner text"), std::u16string::npos);
  Held<cef_frame_t> parent(kid->get_parent(kid.get()));
  auto main = Main(browser);
  EXPECT_EQ(parent.get(), main.get());
  EXPECT_NE(kid->get_identifier(kid.get()), main->get_identifier(main.get()));
  Held<cef_browser_t> owner(kid->get_browser(kid.get()));
  EXPECT_EQ(owner.get(), browser);
  cef_string_list_t names = cef_string_list_alloc();
  browser->get_frame_names(browser, names);
  EXPECT_EQ(cef_string_list_size(names), 2);
  cef_string_list_free(names);
  const std::u16string missing = u"nobody";
  const auto missing_view = View(missing);
  EXPECT_EQ(browser->get_frame(browser, &missing_view), nullptr);
}

TEST_F(EngineBrowserTest, PagesGivenAsTextKeepTheirSourceAndHistory) {
  cef_browser_t* browser = Open(u"about:blank");
  ASSERT_NE(browser, nullptr);
  auto main = Main(browser);
  const std::u16string first = u"<html><head><title>One</title></head><body>First</body></html>";
  const std::u16string second =
      u"<html><body><p>Second</p><script>document.writeln('written by script');"
      u"document.title = 'Two'; console.log('hello console');</script></body></html>";
  const std::u16string one = u"http://pages.test/one", two = u"http://pages.test/two";
  const auto first_view = View(first), second_view = View(second), one_view = View(one), two_view = View(two);
  main->load_string(main.get(), &first_view, &one_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Logged("title One"); }));
  client_.ClearLog();
  main->load_string(main.get(), &second_view, &two_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end main") > 0; }));
  EXPECT_EQ(client_.Count("title "), 1) << "document.title set by script is reported once";
  EXPECT_TRUE(client_.Logged("title Two"));
  EXPECT_EQ(TakeText(main->get_source(main.get())), second);
  const auto text = TakeText(main->get_text(main.get()));
  EXPECT_NE(text.find(u"Second"), std::u16string::npos);
  EXPECT_NE(text.find(u"written by script"), std::u16string::npos);
  EXPECT_TRUE(client_.Logged("console hello console"));
  EXPECT_EQ(browser->can_go_back(browser), 1);
  EXPECT_EQ(browser->can_go_forward(browser), 0);

  client_.ClearLog();
  browser->go_back(browser);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("load_end main") > 0; }));
  EXPECT_EQ(TakeText(main->get_source(main.get())), first);
  EXPECT_EQ(TakeText(main->get_url(main.get())), one);
  EXPECT_EQ(browser->can_go_forward(browser), 1);
  EXPECT_TRUE(client_.Logged("nav 11"));
  browser->go_forward(browser);
  ASSERT_TRUE(RunUntil([&] { return TakeText(main->get_url(main.get())) == two; }));
  EXPECT_EQ(browser->can_go_forward(browser), 0);
}

// A DOM visitor that reads the document's title when the engine calls it.
struct TitleVisitor {
  FakeRecord<cef_domvisitor_t> object{this};
  std::u16string title;
  bool on_main_thread = false;
  TitleVisitor() {
    object.record()->visit = [](cef_domvisitor_t* self, cef_domdocument_t* document) CEF_CALLBACK {
      Held<cef_domdocument_t> held(document);
      auto* visitor = FakeRecord<cef_domvisitor_t>::OwnerOf<TitleVisitor>(self);
      visitor->on_main_thread = cef_currently_on(TID_UI) != 0;
      visitor->title = TakeText(document->get_title(document));
    };
  }
};

TEST_F(EngineBrowserTest, StreamsScriptsVisitorsAndContextsReachThePage) {
  cef_window_info_t info{};
#if defined(_WIN32)
  info.m_dwStyle = WS_POPUP;
#endif
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  const std::u16string blank = u"about:blank";
  const auto blank_view = View(blank);
  Held<cef_browser_t> browser(cef_browser_create_sync(&info, client_.HandOver(), &blank_view, &settings));
  ASSERT_TRUE(browser) << "made at once on the main thread";
  EXPECT_TRUE(client_.Logged("after_created"));
  auto main = Main(browser.get());

  const std::string page = "<html><head><title>Streamed</title></head><body>From a stream</body></html>";
  cef_stream_reader_t* reader =
      cef_stream_reader_create_for_data(const_cast<char*>(page.data()), page.size());
  const std::u16string address = u"http://streams.test/";
  const auto address_view = View(address);
  main->load_stream(main.get(), reader, &address_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Logged("title Streamed"); }));
  EXPECT_NE(TakeText(main->get_text(main.get())).find(u"From a stream"), std::u16string::npos);

  const std::u16string code = u"document.title = 'Scripted';";
  const auto code_view = View(code);
  main->execute_java_script(main.get(), &code_view, &address_view, 1);
  ASSERT_TRUE(RunUntil([&] { return client_.Logged("title Scripted"); }));

  TitleVisitor visitor;
  main->visit_dom(main.get(), visitor.object.HandOver());
  ASSERT_TRUE(RunUntil([&] { return !visitor.title.empty(); }));
  EXPECT_EQ(visitor.title, u"Scripted");
  EXPECT_TRUE(visitor.on_main_thread);
  EXPECT_TRUE(RunUntil([&] { return visitor.object.refs() == 0; }))
      << "the visitor is released after the visit";

  Held<cef_v8context_t> context(main->get_v8context(main.get()));
  EXPECT_TRUE(context) << "the page's context on the main thread";
  cef_v8context_t* elsewhere = nullptr;
  std::thread([&] { elsewhere = main->get_v8context(main.get()); }).join();
  EXPECT_EQ(elsewhere, nullptr) << "no context off the main thread";
  context.reset();

  Held<cef_frame_t> focused(browser->get_focused_frame(browser.get()));
  EXPECT_EQ(focused.get(), main.get());
  EXPECT_EQ(main->is_focused(main.get()), 1);
  browser->set_zoom_level(browser.get(), 1.5);
  EXPECT_EQ(browser->get_zoom_level(browser.get()), 1.5);
  int width = 7, height = 7;
  EXPECT_EQ(browser->get_size(browser.get(), PET_VIEW, &width, &height), 0) << "no off-screen rendering";
}

TEST_F(EngineBrowserTest, PopupsAreAskedForAndOpenAsPopupBrowsers) {
  cef_browser_t* browser = Open(u"about:blank");
  ASSERT_NE(browser, nullptr);
  auto main = Main(browser);
  const std::u16string page = u"<html><body><script>window.open('popup.html');</script></body></html>";
  const std::u16string base = u"client://test/";
  schemes_.Serve(u"/popup.html", SchemeServer::Body("<html><head><title>Popup</title></head></html>"));
  const auto page_view = View(page), base_view = View(base);

  client_.cancel_popups = true;
  main->load_string(main.get(), &page_view, &base_view);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("before_popup") == 1; }));
  EXPECT_TRUE(client_.Logged("before_popup client://test/popup.html"));
  EXPECT_FALSE(RunUntil([&] { return client_.browsers.size() > 1; }, std::chrono::milliseconds(200)))
      << "a cancelled pop-up opens no browser";

  client_.cancel_popups = false;
  main->load_string(main.get(), &page_view, &base_view);
  ASSERT_TRUE(RunUntil([&] { return client_.browsers.size() == 2 && client_.Logged("title Popup"); }));
  EXPECT_TRUE(client_.Logged("after_created popup"));
  cef_browser_t* popup = client_.browsers[1].get();
  EXPECT_EQ(popup->is_popup(popup), 1);
  EXPECT_EQ(popup->get_opener_window_handle(popup), browser->get_window_handle(browser));
  EXPECT_NE(popup->get_window_handle(popup), browser->get_window_handle(browser));
  EXPECT_NE(popup->get_identifier(popup), browser->get_identifier(browser));
}

TEST_F(EngineBrowserTest, ClosingAsksTheHandlerAndReleasesEverything) {
  cef_browser_t* browser = Open(u"about:blank");
  ASSERT_NE(browser, nullptr);
  client_.keep_open = true;
  browser->close_browser(browser);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("do_close") == 1; }));
  EXPECT_EQ(client_.Count("before_close"), 0) << "do_close answering true keeps the browser";
  Held<cef_frame_t> main(browser->get_main_frame(browser));
  EXPECT_TRUE(main);

  client_.keep_open = false;
  browser->parent_window_will_close(browser);
  ASSERT_TRUE(RunUntil([&] { return client_.Count("before_close") == 1; }));
  EXPECT_EQ(client_.Count("do_close"), 1) << "the parent going away closes without asking";
  EXPECT_EQ(browser->get_main_frame(browser), nullptr);
  EXPECT_EQ(TakeText(main->get_url(main.get())), u"about:blank") << "a frame the program holds still answers";
  Held<cef_client_t> none(browser->get_client(browser));
  EXPECT_FALSE(none);
  client_.browsers.clear();
  main.reset();
  EXPECT_TRUE(client_.Released());
}

}  // namespace
