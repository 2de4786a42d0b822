// What a browser does with find, zoom and input: searching the page's text and selecting
// the match (find handler), the zoom level and the zoom handler, and the browser record's
// members for them. One PageInput per browser; handler calls run on the main thread,
// the record's members may be called on any thread.
#pragma once

#include <mutex>
#include <string>

#include "cef/cef_records.h"
#include "objects/engine_object.h"

namespace cef_engine::browser {

class Browser;

class PageInput {
 public:
  explicit PageInput(Browser& browser) : browser_(browser) {}

  // Main thread: the handlers are asked for once, when the browser opens, and let go
  // of when it closes.
  void AskClient(cef_client_t* client);
  void Release();
  // Main thread: the main frame shows a new page (an error page too). The search ends;
  // the zoom handler may impose a level for the page's address.
  void PageCommitted(const std::u16string& url, bool is_error);

  // Stores the find, stop_finding and zoom members into the browser's record.
  static void Bind(cef_browser_t* record);

  // Levels outside a scale of 25% to 500% (1.2 to the power of the level) are clamped
  // to it; NaN and infinities are refused.
  static bool ValidZoom(double& level);

 private:
  friend struct PageInputEntries;
  void Find(int identifier, const std::u16string& text, bool forward, bool match_case, bool find_next);
  void StopFinding(bool clear_selection);
  void SetZoom(double level, bool tell_handler);
  double zoom() const;
  void ReportFind(int identifier, int count, const cef_rect_t& rect, int active);

  Browser& browser_;
  ProgramRef<cef_find_handler_t> find_handler_;
  ProgramRef<cef_zoom_handler_t> zoom_handler_;

  // The search in progress (main thread): its text and case, and the active match.
  std::u16string search_;
  bool search_case_ = false;
  int active_ = -1;

  mutable std::mutex mutex_;
  double zoom_ = 0;  // read and set on any thread
};

}  // namespace cef_engine::browser
