// The page's output side bridges (geolocation, off-screen painting, printing, drags):
// every entry of a handler that throws gives the engine its neutral answer, leaves the
// engine's out-arguments alone, gives back every reference the engine handed over, and
// reports the exception once.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridge_test_support.h"
#include "ceflib/bridges/drag_handler.h"
#include "ceflib/bridges/geolocation.h"
#include "ceflib/bridges/print_handler.h"
#include "ceflib/bridges/render_handler.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

[[noreturn]] void Fail() { throw std::runtime_error("handler failed"); }

class ThrowingGeolocation : public TCefGeolocationHandlerOwn {
 public:
  void OnRequestGeolocationPermission(const RefPtr<ICefBrowser>&, const ustring&, int,
                                      const RefPtr<ICefGeolocationCallback>&) override {
    Fail();
  }
  void OnCancelGeolocationPermission(const RefPtr<ICefBrowser>&, const ustring&, int) override { Fail(); }
};

class ThrowingLocationUpdate : public TCefGetGeolocationCallbackOwn {
 public:
  void OnLocationUpdate(const TCefGeoposition&) override { Fail(); }
};

class ThrowingRender : public TCefRenderHandlerOwn {
 public:
  bool GetViewRect(const RefPtr<ICefBrowser>&, cef_rect_t& rect) override {
    rect.width = 99;
    Fail();
  }
  bool GetScreenRect(const RefPtr<ICefBrowser>&, cef_rect_t& rect) override {
    rect.width = 99;
    Fail();
  }
  bool GetScreenPoint(const RefPtr<ICefBrowser>&, int, int, int& x, int&) override {
    x = 99;
    Fail();
  }
  void OnPopupShow(const RefPtr<ICefBrowser>&, bool) override { Fail(); }
  void OnPopupSize(const RefPtr<ICefBrowser>&, const cef_rect_t&) override { Fail(); }
  void OnPaint(const RefPtr<ICefBrowser>&, TCefPaintElementType, std::span<const cef_rect_t>,
               const void*) override {
    Fail();
  }
  void OnCursorChange(const RefPtr<ICefBrowser>&, TCefCursorHandle) override { Fail(); }
};

class ThrowingPrint : public TCefPrintHandlerOwn {
 public:
  bool GetPrintOptions(const RefPtr<ICefBrowser>&, TCefPrintOptions& options) override {
    options.page_orientation = LANDSCAPE;
    Fail();
  }
  bool GetPrintHeaderFooter(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const TCefPrintInfo&,
                            const ustring&, const ustring&, int, int, ustring& topLeft, ustring&, ustring&,
                            ustring&, ustring&, ustring&) override {
    topLeft = u"changed";
    Fail();
  }
};

class ThrowingDrag : public TCefDragHandlerOwn {
 public:
  bool OnDragStart(const RefPtr<ICefBrowser>&, const RefPtr<ICefDragData>&, TCefDragOperationsMask) override {
    Fail();
  }
  bool OnDragEnter(const RefPtr<ICefBrowser>&, const RefPtr<ICefDragData>&, TCefDragOperationsMask) override {
    Fail();
  }
};

// One entry called as the engine would, with a handler that throws; answers what the
// engine got (0 for entries without a result).
struct ThrowingRow {
  const char* entry;
  std::function<int()> call;
};

class ThrowingHandlers : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(browser.refs, 1) << "every browser handed over is released";
    EXPECT_EQ(permission.refs, 1) << "the permission callback is released";
    EXPECT_EQ(frame.refs, 1) << "the frame is released";
    EXPECT_EQ(drag_data.refs, 1) << "the drag data is released";
  }
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  FakeEngineObject<cef_drag_data_t> drag_data;
  FakeEngineObject<cef_geolocation_callback_t> permission;
  EngineString url{u"http://page.test/"};
};

TEST_F(ThrowingHandlers, EveryEntryGivesTheNeutralAnswerAndReportsOnce) {
  auto* geolocation = EngineRecord<cef_geolocation_handler_t>(Make<ThrowingGeolocation>());
  auto* update = EngineRecord<cef_get_geolocation_callback_t>(Make<ThrowingLocationUpdate>());
  auto* render = EngineRecord<cef_render_handler_t>(Make<ThrowingRender>());
  auto* print = EngineRecord<cef_print_handler_t>(Make<ThrowingPrint>());
  auto* drag = EngineRecord<cef_drag_handler_t>(Make<ThrowingDrag>());
  cef_geoposition_t position{};
  position.latitude = 1;
  cef_rect_t rect{1, 2, 3, 4};
  int x = 5, y = 6;
  const uint32_t pixels[4] = {};
  cef_print_options_t options{};
  cef_print_info_t info{};
  EngineString slots[6];
  // Out-arguments the handler changed before it threw stay as the engine had them.
  auto untouched = [&] {
    return rect.width == 3 && x == 5 && options.page_orientation == PORTRAIT && slots[0].Text().empty();
  };
  const std::vector<ThrowingRow> rows = {
      {"get_view_rect",
       [&] { return render->get_view_rect(render, HandOver(browser), &rect) + !untouched(); }},
      {"get_screen_rect",
       [&] { return render->get_screen_rect(render, HandOver(browser), &rect) + !untouched(); }},
      {"get_screen_point",
       [&] { return render->get_screen_point(render, HandOver(browser), 1, 2, &x, &y) + !untouched(); }},
      {"on_popup_show",
       [&] {
         render->on_popup_show(render, HandOver(browser), 1);
         return 0;
       }},
      {"on_popup_size",
       [&] {
         render->on_popup_size(render, HandOver(browser), &rect);
         return 0;
       }},
      {"on_paint",
       [&] {
         render->on_paint(render, HandOver(browser), PET_VIEW, 1, &rect, pixels);
         return 0;
       }},
      {"on_cursor_change",
       [&] {
         render->on_cursor_change(render, HandOver(browser), nullptr);
         return 0;
       }},
      {"get_print_options",
       [&] { return print->get_print_options(print, HandOver(browser), &options) + !untouched(); }},
      {"get_print_header_footer",
       [&] {
         return print->get_print_header_footer(print, HandOver(browser), HandOver(frame), &info, url.get(),
                                               url.get(), 1, 1, slots[0].get(), slots[1].get(),
                                               slots[2].get(), slots[3].get(), slots[4].get(),
                                               slots[5].get()) +
                !untouched();
       }},
      {"on_drag_start",
       [&] {
         return drag->on_drag_start(drag, HandOver(browser), HandOver(drag_data), DRAG_OPERATION_COPY);
       }},
      {"on_drag_enter",
       [&] {
         return drag->on_drag_enter(drag, HandOver(browser), HandOver(drag_data), DRAG_OPERATION_EVERY);
       }},
      {"on_request_geolocation_permission",
       [&] {
         geolocation->on_request_geolocation_permission(geolocation, HandOver(browser), url.get(), 7,
                                                        HandOver(permission));
         return 0;
       }},
      {"on_cancel_geolocation_permission",
       [&] {
         geolocation->on_cancel_geolocation_permission(geolocation, HandOver(browser), url.get(), 7);
         return 0;
       }},
      {"on_location_update",
       [&] {
         update->on_location_update(update, &position);
         return 0;
       }},
  };
  for (const auto& row : rows) {
    EntryExceptions reported;
    EXPECT_EQ(row.call(), 0) << row.entry;
    EXPECT_EQ(reported.messages, std::vector<std::string>{"handler failed"}) << row.entry;
  }
  ReleaseRecord(geolocation);
  ReleaseRecord(update);
  ReleaseRecord(render);
  ReleaseRecord(print);
  ReleaseRecord(drag);
}

std::vector<int> permission_answers;
void CEF_CALLBACK RecordAnswer(cef_geolocation_callback_t*, int allow) {
  permission_answers.push_back(allow);
}

// The defaults: a page's question is refused at once, so it never waits for an answer.
TEST(GeolocationEntries, TheDefaultHandlerRefusesAndThePositionArrivesConverted) {
  FakeEngineObject<cef_geolocation_callback_t> permission;
  permission.record.cont = &RecordAnswer;
  auto* handler = EngineRecord<cef_geolocation_handler_t>(Make<TCefGeolocationHandlerOwn>());
  handler->on_request_geolocation_permission(handler, nullptr, nullptr, 1, HandOver(permission));
  handler->on_cancel_geolocation_permission(handler, nullptr, nullptr, 1);
  EXPECT_EQ(permission_answers, std::vector<int>{0});
  EXPECT_EQ(permission.refs, 1);
  ReleaseRecord(handler);

  std::vector<TCefGeoposition> seen;
  auto* update = EngineRecord<cef_get_geolocation_callback_t>(
      Make<TCefFastGetGeolocationCallback>([&](const TCefGeoposition& p) { seen.push_back(p); }));
  cef_geoposition_t position{};
  position.latitude = -12.5;
  position.speed = 3;
  position.timestamp = {2024, 2, 4, 29, 12, 0, 0, 0};
  position.error_code = GEOPOSITON_ERROR_TIMEOUT;
  EngineString message(u"too slow");
  position.error_message = message.record;
  update->on_location_update(update, &position);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].latitude, -12.5);
  EXPECT_EQ(seen[0].speed, 3);
  EXPECT_EQ(seen[0].errorCode, GEOPOSITON_ERROR_TIMEOUT);
  EXPECT_EQ(seen[0].errorMessage, u"too slow");
  EXPECT_EQ(seen[0].timestamp, CefTimeToDateTime(position.timestamp));
  ReleaseRecord(update);
}

}  // namespace
