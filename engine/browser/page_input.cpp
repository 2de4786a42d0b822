#include "browser/page_input.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "browser/browser.h"
#include "cef_engine.h"
#include "runtime/runtime.h"
#include "strings/text.h"

namespace cef_engine::browser {
namespace {

template <class Work>
void OnMainThread(Work work) {
  Runtime::Get().PostWork(TID_UI, std::move(work));
}

// Case folding for searches without match case: ASCII, Latin-1 and the Latin letters
// of Vietnamese (Latin Extended-A and Additional, upper case at the even code point).
char16_t Fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x1E00 && c <= 0x1EFF)) return static_cast<char16_t>(c | 1);
  return c;
}

std::u16string Folded(std::u16string text) {
  std::transform(text.begin(), text.end(), text.begin(), Fold);
  return text;
}

// Where every (non-overlapping) occurrence of `needle` starts in `text`.
std::vector<size_t> Matches(const std::u16string& text, const std::u16string& needle) {
  std::vector<size_t> found;
  if (needle.empty() || needle.size() > text.size()) return found;
  for (size_t at = text.find(needle); at != std::u16string::npos; at = text.find(needle, at + needle.size()))
    found.push_back(at);
  return found;
}

double ScaleOf(double level) { return std::pow(1.2, level); }

}  // namespace

void PageInput::AskClient(cef_client_t* client) {
  find_handler_ = HandlerOf(client, &cef_client_t::get_find_handler);
  zoom_handler_ = HandlerOf(client, &cef_client_t::get_zoom_handler);
  keyboard_handler_ = HandlerOf(client, &cef_client_t::get_keyboard_handler);
  focus_handler_ = HandlerOf(client, &cef_client_t::get_focus_handler);
  menu_handler_ = HandlerOf(client, &cef_client_t::get_menu_handler);
}

void PageInput::Release() {
  find_handler_.Reset();
  zoom_handler_.Reset();
  keyboard_handler_.Reset();
  focus_handler_.Reset();
  menu_handler_.Reset();
  menu_.clear();
}

void PageInput::PageCommitted(const std::u16string& url, bool is_error) {
  search_.clear();
  active_ = -1;
  selected_.reset();
  menu_.clear();
  WatchFocus();
  if (is_error || !zoom_handler_ || !zoom_handler_->on_get_zoom_level) return;
  double level = zoom();
  const cef_string_t address = View(url);
  if (zoom_handler_->on_get_zoom_level(zoom_handler_.get(), browser_.Share(), &address, &level) &&
      ValidZoom(level))
    SetZoom(level, false);
}

bool PageInput::ValidZoom(double& level) {
  static const double kMin = std::log(0.25) / std::log(1.2), kMax = std::log(5.0) / std::log(1.2);
  if (!std::isfinite(level)) return false;
  level = std::clamp(level, kMin, kMax);
  return true;
}

double PageInput::Scale() const { return ScaleOf(zoom()); }

double PageInput::zoom() const {
  std::lock_guard lock(mutex_);
  return zoom_;
}

// Any thread: the level holds at once; the window and the handler hear of it on the
// main thread.
void PageInput::SetZoom(double level, bool tell_handler) {
  {
    std::lock_guard lock(mutex_);
    zoom_ = level;
  }
  OnMainThread([browser = EngineRef<Browser>(&browser_), level, tell_handler] {
    auto& self = browser->input();
    if (browser->closed()) return;
    if (browser->window_) browser->window_->SetScale(ScaleOf(level));
    if (browser->view_) browser->view_->SetScale(ScaleOf(level));
    auto main = browser->MainFrame();
    if (!tell_handler || !main || !self.zoom_handler_ || !self.zoom_handler_->on_set_zoom_level) return;
    const std::u16string url = main->url();
    const cef_string_t address = View(url);
    self.zoom_handler_->on_set_zoom_level(self.zoom_handler_.get(), browser->Share(), &address, level);
  });
}

std::optional<PageInput::Shown> PageInput::Show() {
  auto main = browser_.MainFrame();
  if (!main || !main->page_) return std::nullopt;
  Shown shown;
  shown.title = main->page_->Title();
  shown.text = main->page_->document().ViewText(&shown.owners);
  int height = 0;
  if (browser_.view_) {
    browser_.view_->Size(shown.width, height);
  } else if (browser_.window_) {
    shown.width = browser_.window_->Width();
  }
  shown.scale = ScaleOf(zoom());
  return shown;
}

// Main thread. Searches the main frame's text as a reader sees it; the active match is
// selected (the document's selection) and reported with its rectangle and ordinal.
void PageInput::Find(int identifier, const std::u16string& text, bool forward, bool match_case,
                     bool find_next) {
  auto main = browser_.MainFrame();
  script::Page* page = main ? main->page_.get() : nullptr;
  auto shown = Show();
  if (browser_.closed() || !page || !shown) return;
  const std::u16string& page_text = shown->text;
  const auto found = match_case ? Matches(page_text, text) : Matches(Folded(page_text), Folded(text));
  const int count = static_cast<int>(found.size());
  const bool same = find_next && active_ >= 0 && search_ == text && search_case_ == match_case;
  if (count == 0) {
    active_ = -1;
  } else if (same) {
    active_ = forward ? (active_ + 1) % count : (active_ + count - 1) % count;
  } else {
    active_ = forward ? 0 : count - 1;
  }
  search_ = text;
  search_case_ = match_case;
  cef_rect_t rect{};
  if (active_ >= 0) {
    const size_t at = found[static_cast<size_t>(active_)];
    page->document().set_selection(page_text.substr(at, text.size()));
    selected_.emplace(at, text.size());
    rect = shown->layout().TextRect(at, text.size());
  } else {
    page->document().set_selection({});
    selected_.reset();
  }
  ReportFind(identifier, count, rect, active_ + 1);
}

void PageInput::ReportFind(int identifier, int count, const cef_rect_t& rect, int active) {
  if (find_handler_ && find_handler_->on_find_result)
    find_handler_->on_find_result(find_handler_.get(), browser_.Share(), identifier, count, &rect, active, 1);
}

// Main thread. The search ends; the selected match stays selected unless asked otherwise.
void PageInput::StopFinding(bool clear_selection) {
  search_.clear();
  active_ = -1;
  auto main = browser_.MainFrame();
  if (clear_selection && main && main->page_) {
    main->page_->document().set_selection({});
    selected_.reset();
  }
}

bool PageInput::AskKeyboard(cef_handler_keyevent_type_t type, int code, int modifiers, bool system,
                            bool after_script) {
  return keyboard_handler_ && keyboard_handler_->on_key_event &&
         keyboard_handler_->on_key_event(keyboard_handler_.get(), browser_.Share(), type, code, modifiers,
                                         system ? 1 : 0, after_script ? 1 : 0) != 0;
}

bool PageInput::KeyEvent(cef_key_type_t type, const cef_key_info_t& info, int modifiers, bool from_window) {
  const cef_handler_keyevent_type_t kind = type == KT_KEYDOWN ? KEYEVENT_RAWKEYDOWN
                                           : type == KT_KEYUP ? KEYEVENT_KEYUP
                                                              : KEYEVENT_CHAR;
  const bool system = info.sysChar != 0;
  if (browser_.closed()) return false;
  if (AskKeyboard(kind, info.key, modifiers, system, false)) return true;
  // The handler may have closed the browser or navigated: look at the page again.
  auto main = browser_.MainFrame();
  if (browser_.closed() || !main || !main->page_) return false;
  std::unique_ptr<script::Page>& page = main->page_;
  dom::Document& document = page->document();
  dom::Node* target = document.focused() ? document.focused() : document.Body();
  if (!target) target = &document.root();
  dom::Event event{type == KT_KEYDOWN ? u"keydown"
                   : type == KT_KEYUP ? u"keyup"
                                      : u"keypress",
                   DOM_EVENT_CATEGORY_KEYBOARD,
                   DOM_EVENT_PHASE_UNKNOWN,
                   true,
                   true,
                   target,
                   nullptr};
  (type == KT_CHAR ? event.char_code : event.key_code) = info.key;
  event.modifiers = modifiers;
  const auto keep = document.shared_from_this();  // a listener may replace the page
  if (!keep->Dispatch(*target, std::move(event))) return true;
  if (type == KT_KEYUP || browser_.closed()) return false;
  if (AskKeyboard(kind, info.key, modifiers, system, true)) return true;
  if (browser_.closed() || !main->page_ || &main->page_->document() != keep.get()) return false;

  // The engine's own handling: Tab moves the focus; the context-menu key (and Shift+F10)
  // opens the menu at the focused element; characters edit the focused field.
  constexpr int kTab = 9, kBackspace = 8, kMenuKey = 0x5D, kF10 = 0x79;
  if (type == KT_KEYDOWN && info.key == kTab && !(modifiers & (KEY_CTRL | KEY_ALT))) {
    MoveFocus(!(modifiers & KEY_SHIFT));
  } else if (type == KT_KEYDOWN && (info.key == kMenuKey || (info.key == kF10 && (modifiers & KEY_SHIFT)))) {
    int x = 0, y = 0;
    if (auto hit = HitAtFocus(x, y)) OpenMenu(*hit, x, y, from_window);
  } else if (type == KT_CHAR && !(modifiers & (KEY_CTRL | KEY_ALT)) && keep->focused()) {
    dom::Node& field = *keep->focused();
    if (field.IsTextField() && !field.FindAttribute(u"readonly")) {
      std::u16string value = field.Value();
      if (info.key == kBackspace) {
        if (!value.empty()) value.pop_back();
      } else if (info.key >= 0x20 && info.key <= 0xFFFF) {
        value += static_cast<char16_t>(info.key);
      }
      field.SetValue(std::move(value));
      main->Refresh();
    }
  }
  return false;
}

void PageInput::MoveFocus(bool forward) {
  auto main = browser_.MainFrame();
  if (!main || !main->page_) return;
  dom::Document& document = main->page_->document();
  const std::vector<dom::Node*> order = document.Focusable();
  const auto at = std::find(order.begin(), order.end(), document.focused());
  const auto index = static_cast<ptrdiff_t>(at - order.begin());  // order.size() when none
  const ptrdiff_t next = at == order.end() ? (forward ? 0 : static_cast<ptrdiff_t>(order.size()) - 1)
                                           : index + (forward ? 1 : -1);
  if (next >= 0 && next < static_cast<ptrdiff_t>(order.size())) {
    document.SetFocus(order[static_cast<size_t>(next)]);
    return;
  }
  // Past the last (or before the first) element: the focus leaves the page.
  document.SetFocus(nullptr);
  if (focus_handler_ && focus_handler_->on_take_focus)
    focus_handler_->on_take_focus(focus_handler_.get(), browser_.Share(), forward ? 1 : 0);
}

// The focus handler hears of every move of the main frame's focus; the node record is
// lent for the call.
void PageInput::WatchFocus() {
  auto main = browser_.MainFrame();
  if (!main || !main->page_) return;
  dom::Document& document = main->page_->document();
  document.OnFocusChange([this, frame = main.get(), &document](dom::Node* node) {
    if (focus_handler_ && focus_handler_->on_focused_node_changed)
      focus_handler_->on_focused_node_changed(focus_handler_.get(), browser_.Share(), frame->Share(),
                                              document.ShareNodeRecord(node));
  });
}

void PageInput::LoseFocus() {
  if (auto main = browser_.MainFrame(); main && main->page_) main->page_->document().SetFocus(nullptr);
}

bool PageInput::TakeFocus(cef_handler_focus_source_t source) {
  if (focus_handler_ && focus_handler_->on_set_focus &&
      focus_handler_->on_set_focus(focus_handler_.get(), browser_.Share(), source))
    return false;
  if (browser_.window_) browser_.window_->Focus();
  return true;
}

// --- the browser record's members ---------------------------------------------------------

struct PageInputEntries {
  static EngineRef<Browser> Keep(cef_browser_t* self) {
    return EngineRef<Browser>(static_cast<Browser*>(Browser::FromRecord(self)));
  }
  static void CEF_CALLBACK Find(cef_browser_t* self, int identifier, const cef_string_t* text, int forward,
                                int match_case, int find_next) {
    OnMainThread([browser = Keep(self), identifier, text = std::u16string(ViewOf(text)), forward, match_case,
                  find_next] { browser->input().Find(identifier, text, forward, match_case, find_next); });
  }
  static void CEF_CALLBACK StopFinding(cef_browser_t* self, int clear_selection) {
    OnMainThread([browser = Keep(self), clear_selection] { browser->input().StopFinding(clear_selection); });
  }
  static double CEF_CALLBACK GetZoomLevel(cef_browser_t* self) { return Keep(self)->input().zoom(); }
  static void CEF_CALLBACK SetZoomLevel(cef_browser_t* self, double level) {
    if (PageInput::ValidZoom(level)) Keep(self)->input().SetZoom(level, true);
  }
  static void CEF_CALLBACK SendKeyEvent(cef_browser_t* self, cef_key_type_t type, const cef_key_info_t* info,
                                        int modifiers) {
    if (!info || type < KT_KEYUP || type > KT_CHAR) return;
    OnMainThread([browser = Keep(self), type, info = *info, modifiers] {
      browser->input().KeyEvent(type, info, modifiers);
    });
  }
  static void CEF_CALLBACK SendMouseClickEvent(cef_browser_t* self, int x, int y,
                                               cef_mouse_button_type_t button, int up, int clicks) {
    if (button < MBT_LEFT || button > MBT_RIGHT) return;
    OnMainThread([browser = Keep(self), x, y, button, up, clicks] {
      browser->input().MouseClick(x, y, button, up != 0, clicks, false);
    });
  }
  static void CEF_CALLBACK SendMouseMoveEvent(cef_browser_t* self, int x, int y, int leave) {
    OnMainThread([browser = Keep(self), x, y, leave] { browser->input().MouseMove(x, y, leave != 0); });
  }
  static void CEF_CALLBACK SendMouseWheelEvent(cef_browser_t* self, int x, int y, int delta_x, int delta_y) {
    OnMainThread([browser = Keep(self), x, y, delta_x, delta_y] {
      browser->input().MouseWheel(x, y, delta_x, delta_y);
    });
  }
  static void CEF_CALLBACK SendFocusEvent(cef_browser_t* self, int set_focus) {
    OnMainThread([browser = Keep(self), set_focus] {
      if (set_focus) {
        browser->input().TakeFocus(FOCUS_SOURCE_SYSTEM);
      } else {
        browser->input().LoseFocus();
      }
    });
  }
};

void PageInput::Bind(cef_browser_t* r) {
  using E = PageInputEntries;
  r->find = &E::Find;
  r->stop_finding = &E::StopFinding;
  r->get_zoom_level = &E::GetZoomLevel;
  r->set_zoom_level = &E::SetZoomLevel;
  r->send_key_event = &E::SendKeyEvent;
  r->send_focus_event = &E::SendFocusEvent;
  r->send_mouse_click_event = &E::SendMouseClickEvent;
  r->send_mouse_move_event = &E::SendMouseMoveEvent;
  r->send_mouse_wheel_event = &E::SendMouseWheelEvent;
}

}  // namespace cef_engine::browser
