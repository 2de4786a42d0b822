#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "bridge_test_support.h"
#include "ceflib/bridges/input_handlers.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

// Each handler answers the non-neutral value, changes its out-arguments and writes what
// it got into `seen`; with `throws` it does all that and then throws.
struct Log {
  bool throws = false;
  std::string seen;
  void Note(std::string what) {
    seen = std::move(what);
    if (throws) throw std::runtime_error("handler failed");
  }
};

class Find : public TCefFindHandlerOwn {
 public:
  explicit Find(Log& log) : log_(log) {}
  void OnFindResult(const RefPtr<ICefBrowser>& b, int id, int count, const cef_rect_t* rect, int active,
                    bool final) override {
    log_.Note(std::to_string(b != nullptr) + " " + std::to_string(id) + " " + std::to_string(count) + " " +
              std::to_string(rect ? rect->width : -1) + " " + std::to_string(active) + " " +
              std::to_string(final));
  }
  Log& log_;
};

class Zoom : public TCefZoomHandlerOwn {
 public:
  explicit Zoom(Log& log) : log_(log) {}
  bool OnGetZoomLevel(const RefPtr<ICefBrowser>&, const ustring& url, double& level) override {
    level = 3;
    log_.Note("get " + CefToUtf8(url));
    return true;
  }
  bool OnSetZoomLevel(const RefPtr<ICefBrowser>&, const ustring& url, double level) override {
    log_.Note("set " + CefToUtf8(url) + " " + std::to_string(level));
    return true;
  }
  Log& log_;
};

class Keyboard : public TCefKeyboardHandlerOwn {
 public:
  explicit Keyboard(Log& log) : log_(log) {}
  bool OnKeyEvent(const RefPtr<ICefBrowser>&, TCefHandlerKeyEventType type, int code, int modifiers,
                  bool system, bool after) override {
    log_.Note(std::to_string(type) + " " + std::to_string(code) + " " + std::to_string(modifiers) + " " +
              std::to_string(system) + " " + std::to_string(after));
    return true;
  }
  Log& log_;
};

class Focus : public TCefFocusHandlerOwn {
 public:
  explicit Focus(Log& log) : log_(log) {}
  void OnTakeFocus(const RefPtr<ICefBrowser>&, bool next) override {
    log_.Note("take " + std::to_string(next));
  }
  bool OnSetFocus(const RefPtr<ICefBrowser>&, TCefHandlerFocusSource source) override {
    log_.Note("set " + std::to_string(source));
    return true;
  }
  void OnFocusedNodeChanged(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                            const RefPtr<ICefDomNode>& node) override {
    log_.Note("node " + std::to_string(frame != nullptr) + " " + std::to_string(node != nullptr));
  }
  Log& log_;
};

class Menu : public TCefMenuHandlerOwn {
 public:
  explicit Menu(Log& log) : log_(log) {}
  bool OnBeforeMenu(const RefPtr<ICefBrowser>&, const TCefMenuInfo& info) override {
    log_.Note("menu " + std::to_string(info.typeFlags) + " " + std::to_string(info.x) + "," +
              std::to_string(info.y) + " " + CefToUtf8(info.linkUrl) + " " + CefToUtf8(info.selectionText) +
              " " + std::to_string(info.editFlags));
    return true;
  }
  void GetMenuLabel(const RefPtr<ICefBrowser>&, TCefMenuId id, ustring& label) override {
    log_.Note("label " + std::to_string(id) + " " + CefToUtf8(label));
    label = u"Mine";
  }
  bool OnMenuAction(const RefPtr<ICefBrowser>&, TCefMenuId id) override {
    log_.Note("action " + std::to_string(id));
    return true;
  }
  Log& log_;
};

// One engine call of an entry: its answer, and the out-argument it may change as text.
struct Call {
  std::string name;
  std::function<int(std::string& out)> run;
  int answer;               // the handler's answer; a throwing handler gives 0
  std::string seen;         // what the method got
  std::string out, outOld;  // the out-argument after the call, and as it was before
};

TEST(InputHandlerEntries, EveryEntryReachesItsMethodAndAThrowingHandlerGivesTheNeutralAnswer) {
  for (const bool throws : {false, true}) {
    Log log;
    log.throws = throws;
    EntryExceptions caught;
    FakeEngineObject<cef_browser_t> browser;
    FakeEngineObject<cef_frame_t> frame;
    auto* find = EngineRecord<cef_find_handler_t>(Make<Find>(log));
    auto* zoom = EngineRecord<cef_zoom_handler_t>(Make<Zoom>(log));
    auto* keys = EngineRecord<cef_keyboard_handler_t>(Make<Keyboard>(log));
    auto* focus = EngineRecord<cef_focus_handler_t>(Make<Focus>(log));
    auto* menu = EngineRecord<cef_menu_handler_t>(Make<Menu>(log));
    const ustring address = u"http://a/";
    const cef_string_t url = CefStringView(address);
    cef_menu_info_t info{};
    const ustring link = u"http://link/", selected = u"sel";
    info.typeFlags = MENUTYPE_PAGE | MENUTYPE_LINK;
    info.x = 3;
    info.y = 4;
    info.linkUrl = CefStringView(link);
    info.selectionText = CefStringView(selected);
    info.editFlags = MENU_CAN_COPY;
    const cef_rect_t rect{1, 2, 30, 4};

    const std::vector<Call> calls = {
        {"find",
         [&](std::string&) {
           find->on_find_result(find, HandOver(browser), 7, 3, &rect, 2, 1);
           return 0;
         },
         0, "1 7 3 30 2 1", "", ""},
        {"get zoom",
         [&](std::string& out) {
           double level = 1.5;
           const int answer = zoom->on_get_zoom_level(zoom, HandOver(browser), &url, &level);
           out = std::to_string(level);
           return answer;
         },
         1, "get http://a/", std::to_string(3.0), std::to_string(1.5)},
        {"set zoom",
         [&](std::string&) { return zoom->on_set_zoom_level(zoom, HandOver(browser), &url, -2.5); }, 1,
         "set http://a/ " + std::to_string(-2.5), "", ""},
        {"key",
         [&](std::string&) {
           return keys->on_key_event(keys, HandOver(browser), KEYEVENT_KEYDOWN, 116, KEY_CTRL | KEY_SHIFT, 1,
                                     0);
         },
         1, "1 116 3 1 0", "", ""},
        {"take focus",
         [&](std::string&) {
           focus->on_take_focus(focus, HandOver(browser), 1);
           return 0;
         },
         0, "take 1", "", ""},
        {"set focus",
         [&](std::string&) { return focus->on_set_focus(focus, HandOver(browser), FOCUS_SOURCE_SYSTEM); }, 1,
         "set 1", "", ""},
        {"node",
         [&](std::string&) {
           focus->on_focused_node_changed(focus, HandOver(browser), HandOver(frame), nullptr);
           return 0;
         },
         0, "node 1 0", "", ""},
        {"menu", [&](std::string&) { return menu->on_before_menu(menu, HandOver(browser), &info); }, 1,
         "menu 5 3,4 http://link/ sel 8", "", ""},
        {"label",
         [&](std::string& out) {
           EngineString label(u"Back");
           menu->get_menu_label(menu, HandOver(browser), MENU_ID_NAV_BACK, label.get());
           out = CefToUtf8(label.Text());
           return 0;
         },
         0, "label 10 Back", "Mine", "Back"},
        {"action", [&](std::string&) { return menu->on_menu_action(menu, HandOver(browser), MENU_ID_COPY); },
         1, "action 23", "", ""},
    };
    for (const auto& call : calls) {
      const std::string row = call.name + (throws ? " (throwing)" : "");
      std::string out;
      log.seen.clear();
      caught.messages.clear();
      EXPECT_EQ(call.run(out), throws ? 0 : call.answer) << row;
      EXPECT_EQ(log.seen, call.seen) << row;
      EXPECT_EQ(out, throws ? call.outOld : call.out) << row;
      EXPECT_EQ(caught.messages.size(), throws ? 1u : 0u) << row;
      EXPECT_EQ(browser.refs, 1) << row << ": the reference handed over went back";
      EXPECT_EQ(frame.refs, 1) << row;
    }
    ReleaseRecord(find);
    ReleaseRecord(zoom);
    ReleaseRecord(keys);
    ReleaseRecord(focus);
    ReleaseRecord(menu);
  }
}

TEST(InputHandlerEntries, DefaultsLetTheEngineGoOnAsWithoutAHandler) {
  FakeEngineObject<cef_browser_t> browser;
  auto* zoom = EngineRecord<cef_zoom_handler_t>(Make<TCefZoomHandlerOwn>());
  auto* keys = EngineRecord<cef_keyboard_handler_t>(Make<TCefKeyboardHandlerOwn>());
  auto* focus = EngineRecord<cef_focus_handler_t>(Make<TCefFocusHandlerOwn>());
  auto* menu = EngineRecord<cef_menu_handler_t>(Make<TCefMenuHandlerOwn>());
  double level = 1.25;
  EXPECT_EQ(zoom->on_get_zoom_level(zoom, HandOver(browser), nullptr, &level), 0);
  EXPECT_EQ(level, 1.25);
  EXPECT_EQ(keys->on_key_event(keys, HandOver(browser), KEYEVENT_CHAR, 'a', 0, 0, 1), 0);
  EXPECT_EQ(focus->on_set_focus(focus, HandOver(browser), FOCUS_SOURCE_NAVIGATION), 0);
  EXPECT_EQ(menu->on_before_menu(menu, HandOver(browser), nullptr), 0);
  EngineString label(u"Reload");
  menu->get_menu_label(menu, HandOver(browser), MENU_ID_NAV_RELOAD, label.get());
  EXPECT_EQ(label.Text(), u"Reload");
  EXPECT_EQ(menu->on_menu_action(menu, HandOver(browser), MENU_ID_NAV_RELOAD), 0);
  EXPECT_EQ(browser.refs, 1);
  ReleaseRecord(zoom);
  ReleaseRecord(keys);
  ReleaseRecord(focus);
  ReleaseRecord(menu);
}

}  // namespace
