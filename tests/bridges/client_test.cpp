#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

#include "bridge_test_support.h"
#include "ceflib/bridges/client.h"
#include "ceflib/bridges/request_handler.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

// ---- client --------------------------------------------------------------------------

// Calls a getter entry of the record as the engine would.
template <class Fn>
cef_base_t* Ask(cef_client_t* client, Fn cef_client_t::*entry) {
  return reinterpret_cast<cef_base_t*>((client->*entry)(client));
}

// Every getter answers its own handler object, so a test sees which entry reaches
// which method: a handler of the slot's kind where the binding has one (life span, load,
// request, display), a load handler, of the wrong kind, everywhere else.
class FullClient : public TCefClientOwn {
 public:
  FullClient() {
    for (auto& handler : handlers) handler = Make<TCefLoadHandlerOwn>();
    handlers[0] = Make<TCefLifeSpanHandlerOwn>();
    handlers[2] = Make<TCefRequestHandlerOwn>();
    handlers[3] = Make<TCefDisplayHandlerOwn>();
  }
  RefPtr<ICefBase> GetLifeSpanHandler() override { return handlers[0]; }
  RefPtr<ICefBase> GetLoadHandler() override { return handlers[1]; }
  RefPtr<ICefBase> GetRequestHandler() override { return handlers[2]; }
  RefPtr<ICefBase> GetDisplayHandler() override { return handlers[3]; }
  RefPtr<ICefBase> GetFocusHandler() override { return handlers[4]; }
  RefPtr<ICefBase> GetKeyboardHandler() override { return handlers[5]; }
  RefPtr<ICefBase> GetMenuHandler() override { return handlers[6]; }
  RefPtr<ICefBase> GetPermissionHandler() override { return handlers[7]; }
  RefPtr<ICefBase> GetPrintHandler() override { return handlers[8]; }
  RefPtr<ICefBase> GetFindHandler() override { return handlers[9]; }
  RefPtr<ICefBase> GetJsdialogHandler() override { return handlers[10]; }
  RefPtr<ICefBase> GetV8contextHandler() override { return handlers[11]; }
  RefPtr<ICefBase> GetRenderHandler() override { return handlers[12]; }
  RefPtr<ICefBase> GetDragHandler() override { return handlers[13]; }
  RefPtr<ICefBase> GetGeolocationHandler() override { return handlers[14]; }
  RefPtr<ICefBase> GetZoomHandler() override { return handlers[15]; }
  std::array<RefPtr<TCefBaseOwn>, 16> handlers;
};

// The sixteen entries, with the index of the handler each answers.
template <class F>
void ForEachGetter(cef_client_t* client, F&& check) {
  check(0, Ask(client, &cef_client_t::get_life_span_handler));
  check(1, Ask(client, &cef_client_t::get_load_handler));
  check(2, Ask(client, &cef_client_t::get_request_handler));
  check(3, Ask(client, &cef_client_t::get_display_handler));
  check(4, Ask(client, &cef_client_t::get_focus_handler));
  check(5, Ask(client, &cef_client_t::get_keyboard_handler));
  check(6, Ask(client, &cef_client_t::get_menu_handler));
  check(7, Ask(client, &cef_client_t::get_permission_handler));
  check(8, Ask(client, &cef_client_t::get_print_handler));
  check(9, Ask(client, &cef_client_t::get_find_handler));
  check(10, Ask(client, &cef_client_t::get_jsdialog_handler));
  check(11, Ask(client, &cef_client_t::get_v8context_handler));
  check(12, Ask(client, &cef_client_t::get_render_handler));
  check(13, Ask(client, &cef_client_t::get_drag_handler));
  check(14, Ask(client, &cef_client_t::get_geolocation_handler));
  check(15, Ask(client, &cef_client_t::get_zoom_handler));
}

TEST(ClientBridge, RecordSizesAndEveryEntryFilled) {
  auto* client = EngineRecord<cef_client_t>(Make<TCefClientOwn>());
  EXPECT_EQ(client->base.size, sizeof(cef_client_t));
  if constexpr (sizeof(void*) == 4) {
    EXPECT_EQ(client->base.size, 80u);
    EXPECT_EQ(sizeof(cef_life_span_handler_t), 36u);
    EXPECT_EQ(sizeof(cef_load_handler_t), 28u);
    EXPECT_EQ(sizeof(cef_display_handler_t), 48u);
  }
  EXPECT_NE(client->get_permission_handler, nullptr);
  ReleaseRecord(client);
}

TEST(ClientBridge, GettersNotOverriddenAnswerNull) {
  auto* client = EngineRecord<cef_client_t>(Make<TCefClientOwn>());
  int entries = 0;
  ForEachGetter(client, [&](int index, cef_base_t* answer) {
    ++entries;
    EXPECT_EQ(answer, nullptr) << "getter " << index + 1;
  });
  EXPECT_EQ(entries, 16);
  ReleaseRecord(client);
}

TEST(ClientBridge, EachEntryAnswersItsOwnGetterWithOneReferencePerCall) {
  auto object = Make<FullClient>();
  auto* client = EngineRecord<cef_client_t>(object);
  EntryExceptions reported;
  for (int round = 1; round <= 2; ++round) {
    ForEachGetter(client, [&](int index, cef_base_t* answer) {
      if (index > 3) {
        // Handed over, a load handler would be called as a record of another kind.
        EXPECT_EQ(answer, nullptr) << "getter " << index + 1 << " answered a handler of another kind";
        EXPECT_EQ(object->handlers[index]->RefCount(), 1) << "getter " << index + 1;
        return;
      }
      EXPECT_EQ(answer, object->handlers[index]->Data()) << "getter " << index + 1;
      // The test's reference and one per call the engine made.
      EXPECT_EQ(object->handlers[index]->RefCount(), 1 + round) << "getter " << index + 1;
    });
  }
  ASSERT_EQ(reported.messages.size(), 2u * 12) << "each wrong kind is reported";
  EXPECT_EQ(reported.messages[0], "The object handed to the engine is not of the kind its slot asks for");
  for (auto& handler : object->handlers) {
    while (handler->RefCount() > 1) ReleaseRecord(handler->Data());  // the engine's references
  }
  ReleaseRecord(client);
  EXPECT_EQ(object->RefCount(), 1);
}

// ---- life span ----------------------------------------------------------------------

struct PopupCase {
  bool answer = false;
  bool changeUrl = false;
  enum { Keep, Clear, Replace } client = Keep;
};

class PopupHandler : public TCefLifeSpanHandlerOwn {
 public:
  explicit PopupHandler(PopupCase c) : c_(c) {}
  bool OnBeforePopup(const RefPtr<ICefBrowser>& parentBrowser, const cef_popup_features_t* popupFeatures,
                     cef_window_info_t* windowInfo, ustring& url, RefPtr<ICefBase>& client,
                     cef_browser_settings_t* settings) override {
    parentRecord = parentBrowser ? parentBrowser->Wrap() : nullptr;
    if (parentRecord) parentRecord->release(parentRecord);
    features = popupFeatures;
    settingsSeen = settings;
    urlSeen = url;
    clientRecord = client ? client->Wrap() : nullptr;
    if (clientRecord) clientRecord->release(clientRecord);
    if (windowInfo) windowInfo->m_x = 77;  // the engine's own record
    if (c_.changeUrl) url = u"http://elsewhere/";
    if (c_.client == PopupCase::Clear) client = nullptr;
    if (c_.client == PopupCase::Replace) client = replacement;
    return c_.answer;
  }
  PopupCase c_;
  cef_base_t* parentRecord = nullptr;
  const cef_popup_features_t* features = nullptr;
  cef_browser_settings_t* settingsSeen = nullptr;
  ustring urlSeen;
  cef_base_t* clientRecord = nullptr;
  RefPtr<TCefClientOwn> replacement = Make<TCefClientOwn>();
};

class LifeSpanBridge : public testing::Test {
 protected:
  // Calls on_before_popup as the engine does; the engine's client pointer holds one
  // reference of the engine's.
  int Popup(PopupHandler& handler, cef_client_t*& client) {
    auto* record = EngineRecord<cef_life_span_handler_t>(RefPtr<PopupHandler>(&handler));
    const int answer = record->on_before_popup(record, HandOver(parent), &features, &windowInfo, url.get(),
                                               &client, &settings);
    ReleaseRecord(record);
    return answer;
  }
  FakeEngineObject<cef_browser_t> parent;
  cef_popup_features_t features{};
  cef_window_info_t windowInfo{};
  cef_browser_settings_t settings{};
  EngineString url{u"http://popup/"};
  FakeEngineObject<cef_client_t> engineClient;  // refs 1: the engine's pointer
};

TEST_F(LifeSpanBridge, PopupPassesEverythingAndWritesTheUnchangedUrlBack) {
  auto handler = Make<PopupHandler>(PopupCase{});
  cef_client_t* client = engineClient.get();
  const char16* before = url.record.str;
  EXPECT_EQ(Popup(*handler, client), 0);
  EXPECT_EQ(handler->parentRecord, &parent.record.base);
  EXPECT_EQ(handler->features, &features);
  EXPECT_EQ(handler->settingsSeen, &settings);
  EXPECT_EQ(windowInfo.m_x, 77) << "the window information is the engine's record";
  EXPECT_EQ(handler->urlSeen, u"http://popup/");
  EXPECT_EQ(url.Text(), u"http://popup/");
  EXPECT_NE(url.record.str, before) << "the text was stored back as a new engine copy";
  EXPECT_EQ(handler->clientRecord, &engineClient.record.base);
  EXPECT_EQ(client, engineClient.get()) << "left alone: same pointer";
  EXPECT_EQ(engineClient.refs, 1) << "left alone: unchanged count";
  EXPECT_EQ(parent.refs, 1) << "the parent's reference was given back";
}

TEST_F(LifeSpanBridge, PopupAnswerAndChangedUrlReachTheEngine) {
  auto handler = Make<PopupHandler>(PopupCase{true, true});
  cef_client_t* client = engineClient.get();
  EXPECT_EQ(Popup(*handler, client), 1);
  EXPECT_EQ(url.Text(), u"http://elsewhere/");
}

TEST_F(LifeSpanBridge, PopupClientClearedGivesNullAndReleasesTheEngineReference) {
  auto handler = Make<PopupHandler>(PopupCase{false, false, PopupCase::Clear});
  cef_client_t* client = engineClient.get();
  Popup(*handler, client);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(engineClient.refs, 0);
}

TEST_F(LifeSpanBridge, PopupClientReplacedHandsTheEngineOneReferenceOfTheNewClient) {
  auto handler = Make<PopupHandler>(PopupCase{false, false, PopupCase::Replace});
  cef_client_t* client = engineClient.get();
  Popup(*handler, client);
  EXPECT_EQ(client, reinterpret_cast<cef_client_t*>(handler->replacement->Data()));
  EXPECT_EQ(handler->replacement->RefCount(), 2);
  EXPECT_EQ(engineClient.refs, 0);
  ReleaseRecord(client);
}

TEST_F(LifeSpanBridge, PopupWithoutClientPassesNone) {
  auto handler = Make<PopupHandler>(PopupCase{false, false, PopupCase::Keep});
  cef_client_t* client = nullptr;
  Popup(*handler, client);
  EXPECT_EQ(handler->clientRecord, nullptr);
  EXPECT_EQ(client, nullptr);
}

TEST_F(LifeSpanBridge, PopupThatThrowsLeavesTheEngineClientAndUrlAlone) {
  class Throwing : public TCefLifeSpanHandlerOwn {
    bool OnBeforePopup(const RefPtr<ICefBrowser>&, const cef_popup_features_t*, cef_window_info_t*,
                       ustring& url, RefPtr<ICefBase>& client, cef_browser_settings_t*) override {
      url = u"changed";
      client = nullptr;
      throw std::runtime_error("popup failed");
    }
  };
  EntryExceptions caught;
  auto* record = EngineRecord<cef_life_span_handler_t>(Make<Throwing>());
  cef_client_t* client = engineClient.get();
  EXPECT_EQ(record->on_before_popup(record, HandOver(parent), &features, &windowInfo, url.get(), &client,
                                    &settings),
            0);
  EXPECT_EQ(client, engineClient.get());
  EXPECT_EQ(engineClient.refs, 1);
  EXPECT_EQ(parent.refs, 1);
  EXPECT_EQ(url.Text(), u"http://popup/");
  EXPECT_EQ(caught.messages, std::vector<std::string>{"popup failed"});
  ReleaseRecord(record);
}

// Records which method each entry reached, in the engine's entry order.
class LifeSpanRecorder : public TCefLifeSpanHandlerOwn {
 public:
  void OnAfterCreated(const RefPtr<ICefBrowser>& b) override { Seen("created", b); }
  void OnBeforeClose(const RefPtr<ICefBrowser>& b) override { Seen("close", b); }
  bool RunModal(const RefPtr<ICefBrowser>& b) override {
    Seen("modal", b);
    return true;
  }
  bool DoClose(const RefPtr<ICefBrowser>& b) override {
    Seen("doclose", b);
    return false;
  }
  void Seen(const std::string& what, const RefPtr<ICefBrowser>& b) {
    calls.push_back(what);
    browsers.push_back(b ? b->Wrap() : nullptr);
    if (b) browsers.back()->release(browsers.back());
  }
  std::vector<std::string> calls;
  std::vector<cef_base_t*> browsers;
};

TEST(LifeSpanEntries, ReachTheirMethodsWithTheBrowserAndAnswerOneOrZero) {
  auto handler = Make<LifeSpanRecorder>();
  auto* r = EngineRecord<cef_life_span_handler_t>(handler);
  FakeEngineObject<cef_browser_t> browser;
  r->on_after_created(r, HandOver(browser));
  EXPECT_EQ(r->run_modal(r, HandOver(browser)), 1);
  EXPECT_EQ(r->do_close(r, HandOver(browser)), 0);
  r->on_before_close(r, HandOver(browser));
  EXPECT_EQ(handler->calls, (std::vector<std::string>{"created", "modal", "doclose", "close"}));
  for (auto* b : handler->browsers) EXPECT_EQ(b, &browser.record.base);
  EXPECT_EQ(browser.refs, 1);
  ReleaseRecord(r);
}

TEST(LifeSpanEntries, DefaultsAnswerZero) {
  auto* r = EngineRecord<cef_life_span_handler_t>(Make<TCefLifeSpanHandlerOwn>());
  FakeEngineObject<cef_browser_t> browser;
  cef_client_t* client = nullptr;
  EngineString url(u"u");
  EXPECT_EQ(r->on_before_popup(r, HandOver(browser), nullptr, nullptr, url.get(), &client, nullptr), 0);
  EXPECT_EQ(url.Text(), u"u");
  EXPECT_EQ(r->run_modal(r, HandOver(browser)), 0);
  EXPECT_EQ(r->do_close(r, HandOver(browser)), 0);
  r->on_after_created(r, HandOver(browser));
  r->on_before_close(r, HandOver(browser));
  EXPECT_EQ(browser.refs, 1);
  ReleaseRecord(r);
}

// ---- load ---------------------------------------------------------------------------

class LoadRecorder : public TCefLoadHandlerOwn {
 public:
  void OnLoadStart(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f) override {
    calls.push_back("start");
    frameGiven = bool(f);
    browserGiven = bool(b);
  }
  void OnLoadEnd(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& f, int status) override {
    calls.push_back("end");
    frameGiven = bool(f);
    statusSeen = status;
  }
  bool OnLoadError(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int errorCode,
                   const ustring& failedUrl, ustring& errorText) override {
    calls.push_back("error");
    codeSeen = errorCode;
    urlSeen = failedUrl;
    textSeen = errorText;
    errorText = u"custom page";
    return answer;
  }
  std::vector<std::string> calls;
  bool frameGiven = false, browserGiven = false, answer = false;
  int statusSeen = 0, codeSeen = 0;
  ustring urlSeen, textSeen;
};

TEST(LoadEntries, StartAndEndPassBrowserFrameAndStatusANullFrameArrivesAsNone) {
  auto handler = Make<LoadRecorder>();
  auto* r = EngineRecord<cef_load_handler_t>(handler);
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  r->on_load_start(r, HandOver(browser), HandOver(frame));
  EXPECT_TRUE(handler->browserGiven);
  EXPECT_TRUE(handler->frameGiven);
  r->on_load_end(r, HandOver(browser), nullptr, 404);
  EXPECT_FALSE(handler->frameGiven);
  EXPECT_EQ(handler->statusSeen, 404);
  EXPECT_EQ(handler->calls, (std::vector<std::string>{"start", "end"}));
  EXPECT_EQ(browser.refs, 1);
  EXPECT_EQ(frame.refs, 1);
  ReleaseRecord(r);
}

TEST(LoadEntries, ErrorTextReachesTheEngineOnlyOnTrue) {
  auto handler = Make<LoadRecorder>();
  auto* r = EngineRecord<cef_load_handler_t>(handler);
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  const ustring failed = u"http://down/";
  const cef_string_t failedView = CefStringView(failed);
  EngineString text(u"engine text");
  EXPECT_EQ(r->on_load_error(r, HandOver(browser), HandOver(frame), ERR_CONNECTION_REFUSED, &failedView,
                             text.get()),
            0);
  EXPECT_EQ(handler->codeSeen, ERR_CONNECTION_REFUSED);
  EXPECT_EQ(handler->urlSeen, failed);
  EXPECT_EQ(handler->textSeen, u"engine text");
  EXPECT_EQ(text.Text(), u"engine text") << "false: not written back";
  handler->answer = true;
  EXPECT_EQ(r->on_load_error(r, HandOver(browser), HandOver(frame), ERR_FAILED, &failedView, text.get()), 1);
  EXPECT_EQ(text.Text(), u"custom page");
  EXPECT_EQ(browser.refs, 1);
  EXPECT_EQ(frame.refs, 1);
  ReleaseRecord(r);
}

// ---- display ------------------------------------------------------------------------

class DisplayRecorder : public TCefDisplayHandlerOwn {
 public:
  void OnNavStateChange(const RefPtr<ICefBrowser>&, bool back, bool forward) override {
    nav.push_back({back, forward});
  }
  void OnAddressChange(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& f, const ustring& url) override {
    texts.push_back(u"address " + url);
    frameGiven = bool(f);
  }
  void OnContentsSizeChange(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int w, int h) override {
    width = w;
    height = h;
  }
  void OnTitleChange(const RefPtr<ICefBrowser>&, const ustring& title) override {
    texts.push_back(u"title " + title);
  }
  void OnFaviconUrlChange(const RefPtr<ICefBrowser>&, const std::vector<ustring>& urls) override {
    icons = urls;
    ++iconCalls;
  }
  bool OnTooltip(const RefPtr<ICefBrowser>&, ustring& text) override {
    tooltipSeen = text;
    if (changeTooltip) text = u"changed tip";
    return tooltipAnswer;
  }
  void OnStatusMessage(const RefPtr<ICefBrowser>&, const ustring& value, int type) override {
    texts.push_back(u"status " + value);
    statusType = type;
  }
  bool OnConsoleMessage(const RefPtr<ICefBrowser>&, const ustring& message, const ustring& source,
                        int line) override {
    texts.push_back(u"console " + message + u" " + source);
    consoleLine = line;
    return true;
  }
  std::vector<std::pair<bool, bool>> nav;
  std::vector<ustring> texts, icons;
  ustring tooltipSeen;
  bool frameGiven = false, changeTooltip = false, tooltipAnswer = false;
  int width = 0, height = 0, statusType = -1, consoleLine = 0, iconCalls = 0;
};

class DisplayBridge : public testing::Test {
 protected:
  void TearDown() override {
    ReleaseRecord(r);
    EXPECT_EQ(browser.refs, 1);
    EXPECT_EQ(frame.refs, 1);
  }
  RefPtr<DisplayRecorder> handler = Make<DisplayRecorder>();
  cef_display_handler_t* r = EngineRecord<cef_display_handler_t>(handler);
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
};

TEST_F(DisplayBridge, NavigationFlagsAnyNonZeroIsTrue) {
  r->on_nav_state_change(r, HandOver(browser), 2, 0);
  r->on_nav_state_change(r, HandOver(browser), 0, -1);
  ASSERT_EQ(handler->nav.size(), 2u);
  EXPECT_EQ(handler->nav[0], std::make_pair(true, false));
  EXPECT_EQ(handler->nav[1], std::make_pair(false, true));
}

TEST_F(DisplayBridge, TextEntriesReadTheEngineStringsAndNumbers) {
  const ustring url = u"http://a/", title = u"Title", status = u"Loading", message = u"msg",
                source = u"src.js";
  const cef_string_t urlView = CefStringView(url), titleView = CefStringView(title),
                     statusView = CefStringView(status), messageView = CefStringView(message),
                     sourceView = CefStringView(source);
  r->on_address_change(r, HandOver(browser), HandOver(frame), &urlView);
  EXPECT_TRUE(handler->frameGiven);
  r->on_address_change(r, HandOver(browser), nullptr, nullptr);
  EXPECT_FALSE(handler->frameGiven);
  r->on_contents_size_change(r, HandOver(browser), HandOver(frame), 640, -480);
  r->on_title_change(r, HandOver(browser), &titleView);
  r->on_status_message(r, HandOver(browser), &statusView, STATUSTYPE_MOUSEOVER_URL);
  EXPECT_EQ(r->on_console_message(r, HandOver(browser), &messageView, &sourceView, 42), 1);
  EXPECT_EQ(handler->texts, (std::vector<ustring>{u"address http://a/", u"address ", u"title Title",
                                                  u"status Loading", u"console msg src.js"}));
  EXPECT_EQ(handler->width, 640);
  EXPECT_EQ(handler->height, -480);
  EXPECT_EQ(handler->statusType, STATUSTYPE_MOUSEOVER_URL);
  EXPECT_EQ(handler->consoleLine, 42);
}

TEST_F(DisplayBridge, FaviconListIsCopiedForTheCallAndLeftToTheEngine) {
  EngineList empty;
  r->on_favicon_urlchange(r, HandOver(browser), empty.list);
  EXPECT_EQ(handler->iconCalls, 1);
  EXPECT_TRUE(handler->icons.empty());
  EngineList icons({u"http://a/1.ico", u"http://a/2.png"});
  r->on_favicon_urlchange(r, HandOver(browser), icons.list);
  EXPECT_EQ(handler->icons, (std::vector<ustring>{u"http://a/1.ico", u"http://a/2.png"}));
  EXPECT_EQ(icons.Size(), 2) << "the engine's list is untouched";
}

TEST_F(DisplayBridge, TooltipIsWrittenBackWhateverTheAnswer) {
  EngineString tip(u"engine tip");
  EXPECT_EQ(r->on_tooltip(r, HandOver(browser), tip.get()), 0);
  EXPECT_EQ(handler->tooltipSeen, u"engine tip");
  EXPECT_EQ(tip.Text(), u"engine tip") << "unchanged and false: the text comes back";
  handler->changeTooltip = true;
  EXPECT_EQ(r->on_tooltip(r, HandOver(browser), tip.get()), 0);
  EXPECT_EQ(tip.Text(), u"changed tip") << "false still writes back";
  handler->tooltipAnswer = true;
  handler->changeTooltip = false;
  EXPECT_EQ(r->on_tooltip(r, HandOver(browser), tip.get()), 1);
  EXPECT_EQ(handler->tooltipSeen, u"changed tip");
  EXPECT_EQ(r->on_tooltip(r, HandOver(browser), nullptr), 1) << "no engine text: nothing to write";
}

TEST(DisplayEntries, DefaultsAnswerZeroAndKeepTheTooltip) {
  auto* r = EngineRecord<cef_display_handler_t>(Make<TCefDisplayHandlerOwn>());
  FakeEngineObject<cef_browser_t> browser;
  EngineString tip(u"tip");
  EXPECT_EQ(r->on_tooltip(r, HandOver(browser), tip.get()), 0);
  EXPECT_EQ(tip.Text(), u"tip");
  EXPECT_EQ(r->on_console_message(r, HandOver(browser), nullptr, nullptr, 1), 0);
  EXPECT_EQ(browser.refs, 1);
  ReleaseRecord(r);
}

TEST(DisplayEntries, TooltipThatThrowsGivesTheEngineItsTextBack) {
  class Throwing : public TCefDisplayHandlerOwn {
    bool OnTooltip(const RefPtr<ICefBrowser>&, ustring&) override {
      throw std::runtime_error("tooltip failed");
    }
  };
  EntryExceptions caught;
  auto* r = EngineRecord<cef_display_handler_t>(Make<Throwing>());
  FakeEngineObject<cef_browser_t> browser;
  EngineString tip(u"tip");
  EXPECT_EQ(r->on_tooltip(r, HandOver(browser), tip.get()), 0);
  EXPECT_EQ(tip.Text(), u"tip");
  EXPECT_EQ(browser.refs, 1);
  EXPECT_EQ(caught.messages, std::vector<std::string>{"tooltip failed"});
  ReleaseRecord(r);
}

}  // namespace
