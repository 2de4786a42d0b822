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

cef_string_t View(const std::u16string& text) {
  return {const_cast<char16*>(text.data()), text.size(), nullptr};
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

// The page's text laid out in cells of 8 x 16 pixels, lines as the text breaks them,
// below the title's line and an 8-pixel margin, at the page's scale.
cef_rect_t MatchRect(const std::u16string& text, size_t at, size_t length, double scale) {
  constexpr int kMargin = 8, kCellWidth = 8, kCellHeight = 16;
  const size_t line_start = text.rfind(u'\n', at == 0 ? 0 : at - 1);
  const size_t column = line_start == std::u16string::npos || at == 0 ? at : at - line_start - 1;
  const auto line =
      static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(at), u'\n'));
  const size_t line_end = std::min(text.find(u'\n', at), text.size());
  const size_t cells = std::min(length, line_end - at);
  auto scaled = [scale](double v) { return static_cast<int>(std::lround(v * scale)); };
  return {kMargin + scaled(static_cast<double>(column) * kCellWidth),
          kMargin + scaled(static_cast<double>(line + 1) * kCellHeight + kMargin),
          scaled(static_cast<double>(cells) * kCellWidth), scaled(kCellHeight)};
}

double ScaleOf(double level) { return std::pow(1.2, level); }

}  // namespace

void PageInput::AskClient(cef_client_t* client) {
  if (!client) return;
  if (client->get_find_handler)
    find_handler_ = ProgramRef<cef_find_handler_t>::Adopt(client->get_find_handler(client));
  if (client->get_zoom_handler)
    zoom_handler_ = ProgramRef<cef_zoom_handler_t>::Adopt(client->get_zoom_handler(client));
}

void PageInput::Release() {
  find_handler_.Reset();
  zoom_handler_.Reset();
}

void PageInput::PageCommitted(const std::u16string& url, bool is_error) {
  search_.clear();
  active_ = -1;
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
    auto main = browser->MainFrame();
    if (!tell_handler || !main || !self.zoom_handler_ || !self.zoom_handler_->on_set_zoom_level) return;
    const std::u16string url = main->url();
    const cef_string_t address = View(url);
    self.zoom_handler_->on_set_zoom_level(self.zoom_handler_.get(), browser->Share(), &address, level);
  });
}

// Main thread. Searches the main frame's text as a reader sees it; the active match is
// selected (the document's selection) and reported with its rectangle and ordinal.
void PageInput::Find(int identifier, const std::u16string& text, bool forward, bool match_case,
                     bool find_next) {
  auto main = browser_.MainFrame();
  script::Page* page = main ? main->page_.get() : nullptr;
  if (browser_.closed() || !page) return;
  const std::u16string page_text = page->Text();
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
    rect = MatchRect(page_text, at, text.size(), ScaleOf(zoom()));
  } else {
    page->document().set_selection({});
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
  if (clear_selection && main && main->page_) main->page_->document().set_selection({});
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
};

void PageInput::Bind(cef_browser_t* r) {
  using E = PageInputEntries;
  r->find = &E::Find;
  r->stop_finding = &E::StopFinding;
  r->get_zoom_level = &E::GetZoomLevel;
  r->set_zoom_level = &E::SetZoomLevel;
}

}  // namespace cef_engine::browser
