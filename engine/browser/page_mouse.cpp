// The mouse on a page and the context menu: hit testing on the page's layout, clicks that
// page script hears of, focus and links, the menu handler and the default menu with its
// actions, and the diagnostic exports that read and pick the default menu's items.
#include <algorithm>
#include <cmath>
#include <utility>

#include "browser/browser.h"
#include "browser/page_input.h"
#include "cef_engine.h"
#include "dom/document.h"
#include "dom/text_util.h"
#include "strings/text.h"

namespace cef_engine::browser {
namespace {

bool IsEditable(const dom::Node& node) {
  return node.IsTextField() && !node.FindAttribute(u"readonly") && !node.FindAttribute(u"disabled");
}

struct MenuItem {
  cef_menu_id_t id;
  const char16_t* label;  // the default text
};

}  // namespace

std::optional<PageInput::Hit> PageInput::HitTest(int x, int y) {
  auto shown = Show();
  auto main = browser_.MainFrame();
  if (!shown || !main || !main->page_ || x < 0 || y < 0) return std::nullopt;
  int width = 0, height = 0;
  if (browser_.view_) browser_.view_->Size(width, height);
  if ((shown->width > 0 && x >= shown->width) || (height > 0 && y >= height)) return std::nullopt;
  dom::Document& document = main->page_->document();
  const std::optional<size_t> at = shown->layout().TextAt(x, y);
  // A character's text node is in the element that shows it; an image's or a field's
  // stand-in text belongs to the element itself.
  dom::Node* owner = at ? shown->owners[*at] : nullptr;
  dom::Node* element = !owner ? document.Body() : owner->IsElement() ? owner : owner->parent();
  Hit hit;
  const std::vector<dom::Node*> focusable = document.Focusable();
  for (dom::Node* node = element; node; node = node->parent()) {
    if (!node->IsElement()) continue;
    if (!hit.target) hit.target = node;
    if (!hit.link && node->name() == u"a" && node->FindAttribute(u"href")) hit.link = node;
    if (!hit.image && node->name() == u"img") hit.image = node;
    if (!hit.field && IsEditable(*node)) hit.field = node;
    if (!hit.focusable && std::find(focusable.begin(), focusable.end(), node) != focusable.end())
      hit.focusable = node;
  }
  if (!hit.target) hit.target = &document.root();
  hit.on_selection = at && selected_ && !document.selection().empty() && *at >= selected_->first &&
                     *at < selected_->first + selected_->second;
  return hit;
}

std::optional<PageInput::Hit> PageInput::HitAtFocus(int& x, int& y) {
  auto shown = Show();
  auto main = browser_.MainFrame();
  if (!shown || !main || !main->page_) return std::nullopt;
  dom::Document& document = main->page_->document();
  dom::Node* focused = document.focused();
  x = y = 0;
  // The focused element's first character, when it shows any text.
  for (size_t i = 0; focused && i < shown->owners.size(); ++i) {
    for (const dom::Node* node = shown->owners[i]; node; node = node->parent()) {
      if (node != focused) continue;
      const cef_rect_t cell = shown->layout().TextRect(i, 1);
      if (cell.width == 0) break;
      return HitTest(x = cell.x, y = cell.y);
    }
  }
  Hit hit;
  hit.target = focused ? focused : document.Body() ? document.Body() : &document.root();
  hit.focusable = focused;
  if (focused && IsEditable(*focused)) hit.field = focused;
  if (focused && focused->name() == u"a" && focused->FindAttribute(u"href")) hit.link = focused;
  return hit;
}

dom::Event PageInput::MouseEvent(std::u16string type, dom::Node& target, int x, int y, int button,
                                 int detail) const {
  dom::Event event{std::move(type), DOM_EVENT_CATEGORY_MOUSE, DOM_EVENT_PHASE_UNKNOWN, true, true, &target,
                   nullptr};
  const double scale = Scale();
  event.client_x = static_cast<int>(std::lround(x / scale));
  event.client_y = static_cast<int>(std::lround(y / scale));
  event.button = button;
  event.buttons = buttons_;
  event.detail = detail;
  return event;
}

void PageInput::MouseClick(int x, int y, cef_mouse_button_type_t button, bool up, int clicks,
                           bool from_window) {
  if (browser_.closed()) return;
  // The buttons held change wherever the press or release happens.
  const int held = button == MBT_LEFT ? 1 : button == MBT_RIGHT ? 2 : 4;
  buttons_ = up ? buttons_ & ~held : buttons_ | held;
  if (!up) menu_.clear();  // a click elsewhere dismisses a menu that waits
  const std::optional<Hit> hit = HitTest(x, y);
  auto main = browser_.MainFrame();
  if (!hit || !main) return;                                         // outside the page
  const auto document = main->page_->document().shared_from_this();  // a listener may replace the page
  const auto still_shown = [&] {
    return !browser_.closed() && main->page_ && &main->page_->document() == document.get();
  };
  // Page script hears of each step; false when a listener cancelled it.
  const auto tell = [&](std::u16string type, int detail) {
    return document->Dispatch(*hit->target, MouseEvent(std::move(type), *hit->target, x, y, button, detail));
  };
  if (!up) {
    // Pressing the left button moves the focus, as browsers do.
    if (button == MBT_LEFT) document->SetFocus(hit->focusable);
    if (still_shown()) tell(u"mousedown", clicks);
    return;
  }
  if (!tell(u"mouseup", clicks) || !still_shown()) return;
  if (button == MBT_RIGHT) {
    // Page script may keep the menu closed by cancelling its contextmenu event; the menu
    // describes the page as the event's listeners left it.
    if (!tell(u"contextmenu", 0) || !still_shown()) return;
    if (auto now = HitTest(x, y)) OpenMenu(*now, x, y, from_window);
    return;
  }
  if (button != MBT_LEFT || clicks < 1) return;
  if (!tell(u"click", clicks) || !still_shown() || !hit->link) return;
  // The click's default action: the link opens, in a new window for target="_blank".
  const std::u16string url = document->CompleteUrl(*hit->link->FindAttribute(u"href"));
  const std::u16string* target = hit->link->FindAttribute(u"target");
  if (target && dom::EqualsIgnoringAsciiCase(*target, u"_blank")) {
    main->OpenWindow(url, u"");
  } else {
    main->Load({url, u"GET", {}, {}}, true, NAVTYPE_LINKCLICKED);
  }
}

void PageInput::MouseMove(int x, int y, bool leave) {
  if (browser_.closed() || leave) return;  // no element keeps a hover state to leave
  // A move is hit-tested only for a page that listens: the window sends one for every
  // pixel the pointer crosses.
  auto main = browser_.MainFrame();
  if (!main || !main->page_ || !main->page_->document().EverListened(u"mousemove")) return;
  const std::optional<Hit> hit = HitTest(x, y);
  if (!hit) return;
  const auto document = main->page_->document().shared_from_this();
  document->Dispatch(*hit->target, MouseEvent(u"mousemove", *hit->target, x, y, 0, 0));
}

// The page does not scroll: a turn of the wheel is only page script's `wheel` event at the
// element under the point. The engine's deltas count a turn away from the user as
// positive, the DOM's count scrolling down as positive.
void PageInput::MouseWheel(int x, int y, int delta_x, int delta_y) {
  if (browser_.closed()) return;
  auto main = browser_.MainFrame();
  if (!main || !main->page_) return;
  const std::optional<Hit> hit = HitTest(x, y);
  if (!hit) return;
  const auto document = main->page_->document().shared_from_this();
  dom::Event event = MouseEvent(u"wheel", *hit->target, x, y, 0, 0);
  event.delta_x = -delta_x;
  event.delta_y = -delta_y;
  document->Dispatch(*hit->target, std::move(event));
}

void PageInput::WindowMouse(const BrowserWindow::MouseInput& input) {
  const EngineRef<Browser> keep(&browser_);  // the page or a handler may close the browser
  if (input.wheel) {
    MouseWheel(input.x, input.y, input.delta_x, input.delta_y);
    return;
  }
  if (input.move) {
    MouseMove(input.x, input.y, false);
    return;
  }
  if (!input.menu || input.up) {
    MouseClick(input.x, input.y, input.button, input.up, input.clicks, true);
    return;
  }
  int x = input.x, y = input.y;
  if (browser_.closed()) return;
  if (auto hit = input.at_focus ? HitAtFocus(x, y) : HitTest(x, y)) OpenMenu(*hit, x, y, true);
}

// The menu info describes what the menu opens on; the handler may keep it closed (1).
// Otherwise the default menu is made with the handler's labels: shown and run at once in
// a window, kept for a pick (MenuItems, PickMenuItem) otherwise.
void PageInput::OpenMenu(const Hit& hit, int x, int y, bool from_window) {
  auto main = browser_.MainFrame();
  if (browser_.closed() || !main || !main->page_) return;
  dom::Document& document = main->page_->document();
  menu_.clear();
  const std::u16string page_url = main->url();
  const std::u16string link_url =
      hit.link ? document.CompleteUrl(*hit.link->FindAttribute(u"href")) : std::u16string();
  const std::u16string* src = hit.image ? hit.image->FindAttribute(u"src") : nullptr;
  const std::u16string image_url = src ? document.CompleteUrl(*src) : std::u16string();
  const std::u16string selection = hit.on_selection ? document.selection() : std::u16string();
  const bool loading = main->load_ != nullptr;
  bool back = false, forward = false;
  {
    std::lock_guard lock(browser_.mutex_);
    back = browser_.history_index_ > 0;
    forward = browser_.history_index_ + 1 < static_cast<int>(browser_.history_.size());
  }
  cef_menu_info_t info{};
  info.typeFlags = MENUTYPE_PAGE | (hit.link ? MENUTYPE_LINK : 0) | (hit.image ? MENUTYPE_IMAGE : 0) |
                   (hit.on_selection ? MENUTYPE_SELECTION : 0) | (hit.field ? MENUTYPE_EDITABLE : 0);
  // With a window, the position is on the screen; an off-screen view has only its own.
  info.x = x;
  info.y = y;
  if (!browser_.view_) browser_.ScreenPoint(x, y, info.x, info.y);
  info.linkUrl = View(link_url);
  info.imageUrl = View(image_url);
  info.pageUrl = View(page_url);
  info.frameUrl = View(page_url);
  info.selectionText = View(selection);
  info.editFlags = (back ? MENU_CAN_GO_BACK : 0) | (forward ? MENU_CAN_GO_FORWARD : 0) |
                   (document.selection().empty() ? 0 : MENU_CAN_COPY) |
                   (document.ViewText().empty() ? 0 : MENU_CAN_SELECT_ALL);
  if (menu_handler_ && menu_handler_->on_before_menu &&
      menu_handler_->on_before_menu(menu_handler_.get(), browser_.Share(), &info))
    return;
  if (browser_.closed()) return;

  // The items that apply now, each with the handler's label.
  const MenuItem all[] = {{MENU_ID_NAV_BACK, u"Back"},     {MENU_ID_NAV_FORWARD, u"Forward"},
                          {MENU_ID_NAV_RELOAD, u"Reload"}, {MENU_ID_NAV_STOP, u"Stop"},
                          {MENU_ID_COPY, u"Copy"},         {MENU_ID_SELECTALL, u"Select All"},
                          {MENU_ID_PRINT, u"Print"}};
  std::vector<std::pair<int, std::u16string>> items;
  for (const MenuItem& item : all) {
    const bool applies = item.id == MENU_ID_NAV_BACK      ? back
                         : item.id == MENU_ID_NAV_FORWARD ? forward
                         : item.id == MENU_ID_NAV_RELOAD  ? !loading
                         : item.id == MENU_ID_NAV_STOP    ? loading
                         : item.id == MENU_ID_COPY        ? (info.editFlags & MENU_CAN_COPY) != 0
                         : item.id == MENU_ID_SELECTALL   ? (info.editFlags & MENU_CAN_SELECT_ALL) != 0
                                                          : true;
    if (!applies) continue;
    cef_string_t label{};
    AssignCopy(&label, std::u16string_view(item.label));
    if (menu_handler_ && menu_handler_->get_menu_label)
      menu_handler_->get_menu_label(menu_handler_.get(), browser_.Share(), item.id, &label);
    items.emplace_back(item.id, std::u16string(ViewOf(&label)));
    ClearRecord(&label);
    if (browser_.closed()) return;
  }
  menu_ = std::move(items);
  if (!from_window || !browser_.window_) return;
  const EngineRef<Browser> keep(&browser_);
  const int chosen = browser_.window_->TrackMenu(menu_, info.x, info.y);
  if (chosen != 0) {
    PickMenuItem(chosen);
  } else {
    menu_.clear();
  }
}

bool PageInput::PickMenuItem(int id) {
  const auto item = std::find_if(menu_.begin(), menu_.end(), [id](const auto& i) { return i.first == id; });
  if (item == menu_.end() || browser_.closed()) return false;
  menu_.clear();  // a menu is picked from once
  const auto menu_id = static_cast<cef_menu_id_t>(id);
  if (menu_handler_ && menu_handler_->on_menu_action &&
      menu_handler_->on_menu_action(menu_handler_.get(), browser_.Share(), menu_id))
    return true;
  if (!browser_.closed()) RunMenuItem(id);
  return true;
}

// The engine's own action for a menu item.
void PageInput::RunMenuItem(int id) {
  auto main = browser_.MainFrame();
  if (!main) return;
  switch (id) {
    case MENU_ID_NAV_BACK:
      browser_.Navigate(-1);
      return;
    case MENU_ID_NAV_FORWARD:
      browser_.Navigate(1);
      return;
    case MENU_ID_NAV_RELOAD:
      browser_.Navigate(0);
      return;
    case MENU_ID_NAV_STOP:
      main->StopLoad(true);
      return;
    case MENU_ID_COPY:
      if (main->page_) CopyToClipboard(main->page_->document().selection());
      return;
    case MENU_ID_SELECTALL:
      if (main->page_) {
        // All the view shows, so that the selection's place matches what a click hits.
        std::u16string text = main->page_->document().ViewText();
        selected_.emplace(0, text.size());
        main->page_->document().set_selection(std::move(text));
      }
      return;
    case MENU_ID_PRINT:
      browser_.Print(*main);
      return;
    default:
      return;
  }
}

}  // namespace cef_engine::browser

using cef_engine::browser::Browser;

extern "C" {

cef_string_userfree_t cef_engine_menu_items(cef_browser_t* browser) {
  if (!Browser::IsOurs(browser)) return nullptr;
  std::u16string lines;
  for (const auto& [id, label] : static_cast<Browser*>(Browser::FromRecord(browser))->input().MenuItems()) {
    if (!lines.empty()) lines += u'\n';
    const std::string number = std::to_string(id);
    lines.append(number.begin(), number.end());
    lines += u' ';
    lines += label;
  }
  return cef_engine::NewUserfree(lines);
}

int cef_engine_pick_menu_item(cef_browser_t* browser, int id) {
  if (!Browser::IsOurs(browser)) return 0;
  const cef_engine::EngineRef<Browser> keep(static_cast<Browser*>(Browser::FromRecord(browser)));
  return keep->input().PickMenuItem(id) ? 1 : 0;
}

}  // extern "C"
