// The page's find, zoom and input handlers through the binding against our engine: a
// browser on a page of the test's own, driven through the browser's members, with the
// handlers' calls recorded. Each test leaves no engine object alive.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/input_handlers.h"
#include "ceflib/bridges/request_handler.h"
#include "ceflib/bridges/task.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/core/engine_services.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/dom.h"
#include "support/engine_probe.h"

#if defined(_WIN32)
#undef LoadString  // windows.h's macro would rename the frame's member
#endif

namespace {

using namespace ceflib;

// Runs the engine's loop until `done` holds; false when it did not within two minutes
// (long enough for a slow, busy machine: a hang, not a slow run).
bool RunUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  std::function<void(TCefThreadId)> poll = [&](TCefThreadId) {
    if (done() || std::chrono::steady_clock::now() > deadline) {
      CefQuitMessageLoop();
    } else {
      CefPostDelayedTask(TID_UI, poll, 2);
    }
  };
  CefPostTask(TID_UI, poll);
  CefRunMessageLoop();
  return done();
}

struct FindReport {
  int identifier, count, active;
  cef_rect_t rect;
  bool final;
};

class TFind : public TCefFindHandlerOwn {
 public:
  void OnFindResult(const RefPtr<ICefBrowser>&, int identifier, int count, const cef_rect_t* rect, int active,
                    bool final) override {
    reports.push_back({identifier, count, active, rect ? *rect : cef_rect_t{-1, -1, -1, -1}, final});
  }
  std::vector<FindReport> reports;
};

// Imposes level 2 on addresses containing "zoomed"; records every level set.
class TZoom : public TCefZoomHandlerOwn {
 public:
  bool OnGetZoomLevel(const RefPtr<ICefBrowser>&, const ustring& url, double& level) override {
    asked.push_back(url);
    if (url.find(u"zoomed") == ustring::npos) return false;
    level = 2;
    return true;
  }
  bool OnSetZoomLevel(const RefPtr<ICefBrowser>&, const ustring& url, double level) override {
    stored.emplace_back(url, level);
    return true;
  }
  std::vector<ustring> asked;
  std::vector<std::pair<ustring, double>> stored;
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { closed = true; }
  bool closed = false;
};

class TLoad : public TCefLoadHandlerOwn {
 public:
  void OnLoadEnd(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame, int) override {
    if (frame->IsMain()) ++ends;
  }
  int ends = 0;
};

// Consumes F5 before the page sees it; records every call as "type:code" plus "+js"
// for the call after page script.
class TKeys : public TCefKeyboardHandlerOwn {
 public:
  bool OnKeyEvent(const RefPtr<ICefBrowser>&, TCefHandlerKeyEventType type, int code, int, bool,
                  bool isAfterJavaScript) override {
    calls.push_back(std::to_string(type) + ":" + std::to_string(code) + (isAfterJavaScript ? "+js" : ""));
    return code == 0x74;
  }
  std::vector<std::string> calls;
};

// Refuses the focus; records the moves: "node:ID" (or "node:-"), "take:next"/"take:back".
class TFocus : public TCefFocusHandlerOwn {
 public:
  void OnTakeFocus(const RefPtr<ICefBrowser>&, bool next) override {
    moves.push_back(next ? "take:next" : "take:back");
  }
  bool OnSetFocus(const RefPtr<ICefBrowser>&, TCefHandlerFocusSource source) override {
    sources.push_back(source);
    return true;
  }
  void OnFocusedNodeChanged(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                            const RefPtr<ICefDomNode>& node) override {
    EXPECT_TRUE(frame && frame->IsMain());
    moves.push_back("node:" + (node ? CefToUtf8(node->GetElementAttribute(u"id")) : std::string("-")));
  }
  std::vector<std::string> moves;
  std::vector<TCefHandlerFocusSource> sources;
};

// Records the menus it is asked about and answers as the test sets it: keep the menu
// closed, throw, or close its own browser. Renames Reload; handles Select All itself.
class TMenu : public TCefMenuHandlerOwn {
 public:
  bool OnBeforeMenu(const RefPtr<ICefBrowser>& browser, const TCefMenuInfo& info) override {
    infos.push_back(info);
    if (close) browser->CloseBrowser();
    if (fail) throw std::runtime_error("menu handler failed");
    return suppress;
  }
  void GetMenuLabel(const RefPtr<ICefBrowser>&, TCefMenuId id, ustring& label) override {
    if (id == MENU_ID_NAV_RELOAD) label = u"Refresh " + label;
  }
  bool OnMenuAction(const RefPtr<ICefBrowser>&, TCefMenuId id) override {
    actions.push_back(id);
    return id == MENU_ID_SELECTALL;
  }
  std::vector<TCefMenuInfo> infos;
  std::vector<int> actions;
  bool suppress = false, fail = false, close = false;
};

// Records the navigations of links and keeps the frame on its page.
class TRequests : public TCefRequestHandlerOwn {
 public:
  bool OnBeforeBrowse(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                      const RefPtr<ICefRequest>& request, TCefHandlerNavtype type, bool) override {
    if (type != NAVTYPE_LINKCLICKED) return false;
    links.push_back(request->GetUrl());
    return true;
  }
  std::vector<ustring> links;
};

class TClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetLifeSpanHandler() override { return life_span; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetFindHandler() override { return find; }
  RefPtr<ICefBase> GetZoomHandler() override { return zoom; }
  RefPtr<ICefBase> GetKeyboardHandler() override { return keys; }
  RefPtr<ICefBase> GetFocusHandler() override { return focus; }
  RefPtr<ICefBase> GetMenuHandler() override { return menu; }
  RefPtr<ICefBase> GetRequestHandler() override { return requests; }
  RefPtr<TLifeSpan> life_span = Make<TLifeSpan>();
  RefPtr<TLoad> load = Make<TLoad>();
  RefPtr<TFind> find = Make<TFind>();
  RefPtr<TZoom> zoom = Make<TZoom>();
  RefPtr<TKeys> keys = Make<TKeys>();
  RefPtr<TFocus> focus = Make<TFocus>();
  RefPtr<TMenu> menu = Make<TMenu>();
  RefPtr<TRequests> requests = Make<TRequests>();
};

class EngineRun : public testing::Environment {
 public:
  void SetUp() override { CefEnsureEngine(); }
  void TearDown() override { CefShutdownEngine(); }
};
const auto* const engine_run = testing::AddGlobalTestEnvironment(new EngineRun);

class PageInput : public testing::Test {
 protected:
  void SetUp() override {
    cef_window_info_t info{};
    info.m_nWidth = 800;
    info.m_nHeight = 600;
#if defined(_WIN32)
    info.m_dwStyle = WS_POPUP;  // hidden
#endif
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    browser_ = CefBrowserCreateSync(info, client_, u"", settings);
    ASSERT_TRUE(browser_);
  }
  void TearDown() override {
    browser_->CloseBrowser();
    browser_ = nullptr;
    EXPECT_TRUE(RunUntil([&] { return client_->life_span->closed; }));
    EXPECT_EQ(engine_probe::LiveObjects(), 0) << "engine objects left alive by the test";
  }

  void Show(const ustring& html, const ustring& url) {
    const int ends = client_->load->ends;
    browser_->GetMainFrame()->LoadString(html, url);
    ASSERT_TRUE(RunUntil([&] { return client_->load->ends > ends; }));
  }
  // The document's selection as text; "-" for none.
  std::string Selection() {
    std::string text;
    bool visited = false;
    browser_->GetMainFrame()->VisitDomProc([&](const RefPtr<ICefDomDocument>& document) {
      visited = true;
      text = document->HasSelection() ? CefToUtf8(document->GetSelectionAsText()) : "-";
    });
    EXPECT_TRUE(RunUntil([&] { return visited; }));
    return text;
  }

  // Runs the loop until the tasks posted before this call (the browser's members post
  // theirs) have run.
  void Flush() {
    bool flushed = false;
    CefPostTask(TID_UI, [&](TCefThreadId) { flushed = true; });
    ASSERT_TRUE(RunUntil([&] { return flushed; }));
  }
  // The page's title and the value of its element `id`, read through the DOM.
  std::string Read(const ustring& id) {
    std::string text;
    bool visited = false;
    browser_->GetMainFrame()->VisitDomProc([&](const RefPtr<ICefDomDocument>& document) {
      visited = true;
      text = CefToUtf8(document->GetTitle()) + "|" + CefToUtf8(document->GetElementById(id)->GetValue());
    });
    EXPECT_TRUE(RunUntil([&] { return visited; }));
    return text;
  }

  RefPtr<TClient> client_ = Make<TClient>();
  RefPtr<ICefBrowser> browser_;
};

TEST_F(PageInput, FindCountsMatchesStepsThroughThemAndSelectsTheActiveOne) {
  Show(
      u"<html><head><title>Find</title></head><body><p>Gold coins and more gold. GOLD!</p>"
      u"<p>Second line: gold</p></body></html>",
      u"http://page.test/find");
  struct Step {
    ustring text;
    bool forward, matchCase, findNext;
    int count, active;
    std::string selection;
  };
  const std::vector<Step> steps = {
      {u"gold", true, false, false, 4, 1, "Gold"},
      {u"gold", true, false, true, 4, 2, "gold"},
      {u"gold", false, false, true, 4, 1, "Gold"},
      {u"gold", false, false, true, 4, 4, "gold"},  // backwards past the first: the last
      {u"gold", true, false, true, 4, 1, "Gold"},   // forwards past the last: the first
      {u"GOLD", true, true, true, 1, 1, "GOLD"},    // another search starts anew
      {u"gold", false, true, false, 2, 2, "gold"},
      {u"silver", true, false, false, 0, 0, "-"},
      {u"", true, false, false, 0, 0, "-"},
      {ustring(1 << 20, u'g'), true, false, false, 0, 0, "-"},
  };
  int identifier = 0;
  for (const auto& step : steps) {
    const std::string row = CefToUtf8(step.text.substr(0, 8)) + " row " + std::to_string(identifier);
    client_->find->reports.clear();
    browser_->Find(step.text, static_cast<uint8_t>(++identifier), step.forward, step.matchCase,
                   step.findNext);
    ASSERT_TRUE(RunUntil([&] { return !client_->find->reports.empty(); })) << row;
    const FindReport& report = client_->find->reports.back();
    EXPECT_EQ(report.identifier, identifier) << row;
    EXPECT_EQ(report.count, step.count) << row;
    EXPECT_EQ(report.active, step.active) << row;
    EXPECT_TRUE(report.final) << row;
    EXPECT_EQ(report.rect.width > 0, step.count > 0) << row;
    EXPECT_EQ(Selection(), step.selection) << row;
  }

  // The match on the second line lies below the first line's, and zoom scales it.
  client_->find->reports.clear();
  browser_->Find(u"second", 1, true, false, false);
  browser_->Find(u"coins", 2, true, false, false);
  ASSERT_TRUE(RunUntil([&] { return client_->find->reports.size() == 2; }));
  const cef_rect_t second = client_->find->reports[0].rect, first = client_->find->reports[1].rect;
  EXPECT_GT(second.y, first.y);
  EXPECT_EQ(second.height, first.height);
  browser_->SetZoomLevel(std::log(2.0) / std::log(1.2));  // twice the size
  browser_->Find(u"coins", 3, true, false, false);
  ASSERT_TRUE(RunUntil([&] { return client_->find->reports.size() == 3; }));
  EXPECT_EQ(client_->find->reports[2].rect.height, 2 * first.height);
  EXPECT_EQ(client_->find->reports[2].rect.width, 2 * first.width);

  // Stopping keeps the selection or clears it, as asked.
  browser_->StopFinding(false);
  EXPECT_EQ(Selection(), "coins");
  browser_->StopFinding(true);
  EXPECT_EQ(Selection(), "-");
}

TEST_F(PageInput, ZoomLevelIsKeptPerBrowserAndTheHandlerSuppliesOrStoresItPerAddress) {
  Show(u"<html><body>plain</body></html>", u"http://page.test/plain");
  EXPECT_EQ(client_->zoom->asked, std::vector<ustring>{u"http://page.test/plain"});
  EXPECT_EQ(browser_->GetZoomLevel(), 0);

  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const double smallest = std::log(0.25) / std::log(1.2), largest = std::log(5.0) / std::log(1.2);
  struct Row {
    double set, expected;
    bool stored;  // a valid level reaches the handler
  };
  const std::vector<Row> rows = {{1.5, 1.5, true},    {nan, 1.5, false},       {inf, 1.5, false},
                                 {-inf, 1.5, false},  {-1000, smallest, true}, {1000, largest, true},
                                 {-2.25, -2.25, true}};
  for (const auto& row : rows) {
    const std::string name = "set " + std::to_string(row.set);
    client_->zoom->stored.clear();
    browser_->SetZoomLevel(row.set);
    EXPECT_DOUBLE_EQ(browser_->GetZoomLevel(), row.expected) << name;
    // A task posted now runs after the engine told the handler.
    bool flushed = false;
    CefPostTask(TID_UI, [&](TCefThreadId) { flushed = true; });
    ASSERT_TRUE(RunUntil([&] { return flushed; })) << name;
    if (row.stored) {
      ASSERT_EQ(client_->zoom->stored.size(), 1u) << name;
      EXPECT_EQ(client_->zoom->stored[0].first, u"http://page.test/plain") << name;
      EXPECT_DOUBLE_EQ(client_->zoom->stored[0].second, row.expected) << name;
    } else {
      EXPECT_TRUE(client_->zoom->stored.empty()) << name;
    }
  }

  // The handler imposes its level for its address; elsewhere the browser's level stays.
  Show(u"<html><body>zoomed</body></html>", u"http://page.test/zoomed");
  EXPECT_EQ(browser_->GetZoomLevel(), 2);
  Show(u"<html><body>again</body></html>", u"http://page.test/again");
  EXPECT_EQ(browser_->GetZoomLevel(), 2);
  EXPECT_EQ(client_->zoom->asked.back(), u"http://page.test/again");
}

TEST_F(PageInput, KeysReachTheHandlerThenPageScriptAndTabMovesTheFocusThroughThePageAndOut) {
  // Page script logs its key events into the title and cancels the key B.
  Show(
      u"<html><head><title>-</title></head><body><input id=name><a id=more href='/more'>more</a>"
      u"<input type=hidden id=secret><script>"
      u"function log(e, what) { document.title += what + e.keyCode + (e.shiftKey ? 'S' : '') + ';';"
      u"  if (e.keyCode == 66) e.preventDefault(); }"
      u"document.addEventListener('keydown', function(e) { log(e, 'down'); });"
      u"document.addEventListener('keypress', function(e) { log(e, 'press'); });"
      u"</script></body></html>",
      u"http://page.test/keys");
  const auto key = [&](cef_key_type_t type, int code, int modifiers = 0) {
    browser_->SendKeyEvent(type, cef_key_info_t{code, 0, 0}, modifiers);
    Flush();
  };
  struct Row {
    cef_key_type_t type;
    int code, modifiers;
    std::vector<std::string> handler;  // the keyboard handler's calls
    std::string page;                  // title and the field's value afterwards
    std::vector<std::string> moves;    // the focus handler's
  };
  const std::vector<Row> rows = {
      {KT_KEYDOWN, 0x74, 0, {"0:116"}, "-|", {}},                          // F5: consumed by the handler
      {KT_KEYDOWN, 65, KEY_SHIFT, {"0:65", "0:65+js"}, "-down65S;|", {}},  // script, then the handler again
      {KT_KEYDOWN, 66, 0, {"0:66"}, "-down65S;down66;|", {}},              // cancelled by script
      {KT_KEYUP, 65, 0, {"2:65"}, "-down65S;down66;|", {}},                // no listener, no second call
      {KT_KEYDOWN, 9, 0, {"0:9", "0:9+js"}, "-down65S;down66;down9;|", {"node:name"}},    // Tab: the field
      {KT_CHAR, 'x', 0, {"3:120", "3:120+js"}, "-down65S;down66;down9;press120;|x", {}},  // typed into it
      {KT_KEYDOWN, 9, 0, {"0:9", "0:9+js"}, "-down65S;down66;down9;press120;down9;|x", {"node:more"}},
      {KT_KEYDOWN,
       9,
       0,
       {"0:9", "0:9+js"},
       "-down65S;down66;down9;press120;down9;down9;|x",
       {"node:-", "take:next"}},  // past the last: the focus leaves the page (hidden input skipped)
      {KT_KEYDOWN,
       9,
       KEY_SHIFT,
       {"0:9", "0:9+js"},
       "-down65S;down66;down9;press120;down9;down9;down9S;|x",
       {"node:more"}},  // Shift+Tab from outside: the last one
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    client_->keys->calls.clear();
    client_->focus->moves.clear();
    key(row.type, row.code, row.modifiers);
    EXPECT_EQ(client_->keys->calls, row.handler) << "row " << i;
    EXPECT_EQ(Read(u"name"), row.page) << "row " << i;
    EXPECT_EQ(client_->focus->moves, row.moves) << "row " << i;
  }

  // The browser asks before it takes the focus; this handler refuses. Losing the focus
  // leaves the page without a focused element.
  client_->focus->moves.clear();
  browser_->SendFocusEvent(true);
  browser_->SetFocus(true);
  browser_->SendFocusEvent(false);
  Flush();
  EXPECT_EQ(client_->focus->sources,
            (std::vector<TCefHandlerFocusSource>{FOCUS_SOURCE_SYSTEM, FOCUS_SOURCE_SYSTEM}));
  EXPECT_EQ(client_->focus->moves, std::vector<std::string>{"node:-"});
}

TEST_F(PageInput, ClicksReachPageScriptFocusAndLinksAndTheRightButtonOpensTheContextMenu) {
  Show(u"<html><body>first</body></html>", u"http://page.test/first");
  // Page script logs its mouse events into the title and keeps the menu of "quiet" closed;
  // the image's listener logs their point, button, buttons held and count into #where.
  Show(
      u"<html><head><title>-</title></head><body><p>Plain words</p><p><a id=link href='/next'>next</a></p>"
      u"<textarea id=field>typed</textarea><p>Gold</p><p id=quiet>quiet</p>"
      u"<p><img id=pic src='/emblem.png'> <input id=name placeholder='Your name'></p>"
      u"<input type=hidden id=where><script>"
      u"function log(e) { document.title += e.type + ':' + e.target.id + ';';"
      u"  if (e.type == 'contextmenu' && e.target.id == 'quiet') e.preventDefault(); }"
      u"var kinds = ['mousedown', 'mouseup', 'click', 'contextmenu', 'mousemove'];"
      u"for (var i = 0; i < kinds.length; ++i) document.addEventListener(kinds[i], log);"
      u"function at(e) { document.getElementById('where').value +="
      u"  [e.clientX, e.clientY, e.button, e.buttons, e.detail] + ';'; }"
      u"for (var i = 0; i < kinds.length; ++i) document.getElementById('pic').addEventListener(kinds[i], at);"
      u"document.addEventListener('wheel', function(e) { document.getElementById('where').value +="
      u"  'wheel:' + [e.target.id, e.deltaX, e.deltaY] + ';'; });"
      u"</script></body></html>",
      u"http://page.test/menu");
  const auto items_of =
      engine_probe::Export<cef_string_userfree_t (*)(cef_browser_t*)>("cef_engine_menu_items");
  const auto pick = engine_probe::Export<int (*)(cef_browser_t*, int)>("cef_engine_pick_menu_item");
  ASSERT_TRUE(items_of && pick);
  auto* record = reinterpret_cast<cef_browser_t*>(CefDataOf(browser_));
  TMenu& menu = *client_->menu;
  int reported = 0;
  CefOnEntryException = [&](std::exception_ptr) { ++reported; };

  // The middle of a word as the view lays it out (fixed cells on Linux, the painter's
  // font on Windows), from the rectangle find reports; the selection find makes goes again.
  struct Point {
    int x, y;
    std::string text() const { return std::to_string(x) + "," + std::to_string(y); }
  };
  const auto middle_of = [&](const ustring& word) {
    client_->find->reports.clear();
    browser_->Find(word, 1, true, true, false);
    EXPECT_TRUE(RunUntil([&] { return !client_->find->reports.empty(); }));
    browser_->StopFinding(true);
    Flush();
    const cef_rect_t rect = client_->find->reports.back().rect;
    EXPECT_GT(rect.width, 0) << CefToUtf8(word);
    return Point{rect.x + rect.width / 2, rect.y + rect.height / 2};
  };
  // One word on each line: text, a link, a textarea, text, text, an image and an input.
  const Point plain = middle_of(u"Plain"), next = middle_of(u"next"), typed = middle_of(u"typed"),
              gold = middle_of(u"Gold"), quiet = middle_of(u"quiet"), pic = middle_of(u"[image]"),
              name = middle_of(u"Your");
  const auto click = [&](cef_mouse_button_type_t button, Point at) {
    browser_->SendMouseClickEvent(at.x, at.y, button, false, 1);
    browser_->SendMouseClickEvent(at.x, at.y, button, true, 1);
  };
  const auto right = [&](Point at) { return [=] { click(MBT_RIGHT, at); }; };
  const auto picked = [&](int item, const std::function<std::string()>& then) {
    return [=, this, &menu] {
      click(MBT_RIGHT, plain);
      Flush();
      EXPECT_EQ(pick(record, item), 1);
      EXPECT_EQ(pick(record, item), 0) << "a menu is picked from once";
      menu.infos.clear();  // the menu's info is the other rows' concern
      return "actions " + std::to_string(menu.actions.size()) + " " + then();
    };
  };
  const std::string all = "12 Refresh Reload\n26 Select All\n30 Print", back = "10 Back\n" + all;
  struct Row {
    std::string name;
    std::function<void()> act;
    int flags;                                // of the menu info; -1: no menu was asked for
    std::string link_or_selection, items;     // the link (or image) address or the selected text
    std::function<std::string()> check = {};  // what else the row did
    std::string checked = {};
    std::string page = "menu";  // whose address the menu info names
  };
  const std::vector<Row> rows = {
    {"right click on text", right(plain), MENUTYPE_PAGE, "", back,
     [&] {
       return Point{menu.infos.at(0).x, menu.infos.at(0).y}.text();
     },
     plain.text()},
    {"right click on a link", right(next), MENUTYPE_PAGE | MENUTYPE_LINK, "http://page.test/next", back},
    {"right click on a field", right(typed), MENUTYPE_PAGE | MENUTYPE_EDITABLE, "", back},
    {"right click on the selection",
     [&] {
       browser_->Find(u"gold", 1, true, false, false);
       click(MBT_RIGHT, gold);
     },
     MENUTYPE_PAGE | MENUTYPE_SELECTION, "Gold",
     "10 Back\n12 Refresh Reload\n23 Copy\n26 Select All\n30 Print"},
    {"the handler keeps the menu closed",
     [&] {
       browser_->StopFinding(true);
       menu.suppress = true;
       click(MBT_RIGHT, plain);
     },
     MENUTYPE_PAGE, "", ""},
    {"page script keeps the menu closed", right(quiet), -1, "", "", [&] { return Read(u"field"); },
     "-mousedown:quiet;mouseup:quiet;contextmenu:quiet;|typed"},
    {"outside the page", right(Point{-5, plain.y}), -1, "", ""},
    {"picked and done by the program", [] {}, -1, "", "",
     picked(MENU_ID_SELECTALL, [&] { return Selection(); }), "actions 1 -"},
    {"left click on a field focuses it", [&] { click(MBT_LEFT, typed); }, -1, "", "",
     [&] { return Read(u"field") + " " + client_->focus->moves.back(); },
     "-mousedown:field;mouseup:field;click:field;|typed node:field"},
    {"the menu key opens it at the focus",
     [&] {
       browser_->SendKeyEvent(KT_KEYDOWN, cef_key_info_t{0x5D, 0, 0}, 0);
     },
     MENUTYPE_PAGE | MENUTYPE_EDITABLE, "", back},
    {"left click on a link follows it", [&] { click(MBT_LEFT, next); }, -1, "", "",
     [&] { return Read(u"field") + " " + CefToUtf8(client_->requests->links.at(0)); },
     "-mousedown:link;mouseup:link;click:link;|typed http://page.test/next"},
    {"a move reaches page script", [&] { browser_->SendMouseMoveEvent(next.x, next.y, false); }, -1, "", "",
     [&] { return Read(u"field"); }, "-mousemove:link;|typed"},
    {"a turn of the wheel reaches page script, in the DOM's direction",
     [&] { browser_->SendMouseWheelEvent(pic.x, pic.y, 3, 120); }, -1, "", "", [&] { return Read(u"where"); },
     "-|wheel:pic,-3,-120;"},
    {"page script reads resolved addresses",
     [&] {
       browser_->GetMainFrame()->ExecuteJavaScript(
           u"document.title = [document.getElementById('pic').src, document.links[0].href,"
           u" typeof document.body.src].join(' ');",
           u"", 1);
     },
     -1, "", "", [&] { return Read(u"field"); },
     "http://page.test/emblem.png http://page.test/next undefined|typed"},
    // An image stands as "[image]" and an empty field as its placeholder.
    {"right click on an image", right(pic), MENUTYPE_PAGE | MENUTYPE_IMAGE, "http://page.test/emblem.png",
     back, [&] { return Read(u"where"); },
     "-mousedown:pic;mouseup:pic;contextmenu:pic;|" + pic.text() + ",2,2,1;" + pic.text() + ",2,0,1;" +
         pic.text() + ",2,0,0;"},
    {"a double click of the middle button, moving, at twice the size",
     [&] {
       browser_->SetZoomLevel(std::log(2.0) / std::log(1.2));
       browser_->SendMouseClickEvent(2 * pic.x, 2 * pic.y, MBT_MIDDLE, false, 2);
       browser_->SendMouseMoveEvent(2 * pic.x + 1, 2 * pic.y, false);  // half a CSS pixel rounds up
       browser_->SendMouseClickEvent(2 * pic.x, 2 * pic.y, MBT_MIDDLE, true, 2);
     },
     -1, "", "",
     [&] {
       browser_->SetZoomLevel(0);
       return Read(u"where");
     },
     "-mousedown:pic;mousemove:pic;mouseup:pic;|" + pic.text() + ",1,4,2;" + Point{pic.x + 1, pic.y}.text() +
         ",0,4,0;" + pic.text() + ",1,0,2;"},
    {"left click on a text input focuses it", [&] { click(MBT_LEFT, name); }, -1, "", "",
     [&] { return Read(u"field") + " " + client_->focus->moves.back(); },
     "-mousedown:name;mouseup:name;click:name;|typed node:name"},
    {"right click on a text input", right(name), MENUTYPE_PAGE | MENUTYPE_EDITABLE, "", back},
    {"a handler that throws gets the default menu",
     [&] {
       menu.fail = true;
       click(MBT_RIGHT, plain);
     },
     MENUTYPE_PAGE, "", back, [&] { return std::to_string(reported); }, "1"},
#if defined(_WIN32)
    // The window's own messages, with the menu kept closed (a shown one would wait for
    // the user): a right button release at a client point, the menu message at a screen
    // point (this window's client area starts at the screen's origin).
    {"the window's right button",
     [&] {
       menu.suppress = true;
       SendMessageW(browser_->GetWindowHandle(), WM_RBUTTONUP, 0, MAKELPARAM(next.x, next.y));
     },
     MENUTYPE_PAGE | MENUTYPE_LINK, "http://page.test/next", ""},
    {"the window's menu message",
     [&] {
       menu.suppress = true;
       SendMessageW(browser_->GetWindowHandle(), WM_CONTEXTMENU, 0, MAKELPARAM(typed.x, typed.y));
     },
     MENUTYPE_PAGE | MENUTYPE_EDITABLE, "", ""},
    {"the window's double click and move",
     [&] {
       Flush();  // the title's reset, queued, before the messages, which are not
       const HWND window = browser_->GetWindowHandle();
       SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(pic.x, pic.y));
       SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(pic.x, pic.y));
       SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(pic.x, pic.y));
     },
     -1, "", "", [&] { return Read(u"where"); },
     "-mousedown:pic;mousemove:pic;mouseup:pic;click:pic;|" + pic.text() + ",0,1,2;" + pic.text() +
         ",0,1,0;" + pic.text() + ",0,0,2;" + pic.text() + ",0,0,2;"},
#endif
    {"picked and done by the engine: back", [] {}, -1, "", "",
     picked(MENU_ID_NAV_BACK,
            [&] {
              EXPECT_TRUE(
                  RunUntil([&] { return browser_->GetMainFrame()->GetUrl() == u"http://page.test/first"; }));
              return std::string("went back");
            }),
     "actions 2 went back"},
    {"a handler that closes its browser",
     [&] {
       menu.close = true;
       click(MBT_RIGHT, plain);
     },
     MENUTYPE_PAGE, "", "",
     [&] {
       EXPECT_TRUE(RunUntil([&] { return client_->life_span->closed; }));
       click(MBT_RIGHT, plain);  // the closed browser opens no menu
       Flush();
       return std::to_string(menu.infos.size());
     },
     "1", "first"},
  };
  for (const Row& row : rows) {
    browser_->GetMainFrame()->ExecuteJavaScript(
        u"document.title = '-'; var where = document.getElementById('where'); if (where) where.value = '';",
        u"", 1);
    menu.infos.clear();
    menu.suppress = menu.fail = false;
    row.act();
    Flush();
    if (row.check) {
      EXPECT_EQ(row.check(), row.checked) << row.name;
    }
    ASSERT_EQ(menu.infos.size(), row.flags < 0 ? 0u : 1u) << row.name;
    if (row.flags >= 0) {
      const TCefMenuInfo& info = menu.infos[0];
      EXPECT_EQ(info.typeFlags, row.flags) << row.name;
      EXPECT_EQ(CefToUtf8((row.flags & MENUTYPE_LINK)    ? info.linkUrl
                          : (row.flags & MENUTYPE_IMAGE) ? info.imageUrl
                                                         : info.selectionText),
                row.link_or_selection)
          << row.name;
      EXPECT_EQ(CefToUtf8(info.pageUrl), "http://page.test/" + row.page) << row.name;
      EXPECT_EQ(info.editFlags & (MENU_CAN_GO_BACK | MENU_CAN_GO_FORWARD),
                row.page == "menu" ? MENU_CAN_GO_BACK : MENU_CAN_GO_FORWARD)
          << row.name;
    }
    EXPECT_EQ(CefToUtf8(CefStringFreeAndGet(items_of(record))), row.items) << row.name;
  }
  CefOnEntryException = nullptr;
  record->base.release(&record->base);
}

}  // namespace
