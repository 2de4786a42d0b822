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
#include "ceflib/bridges/geolocation.h"

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
  }
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_geolocation_callback_t> permission;
  EngineString url{u"http://page.test/"};
};

TEST_F(ThrowingHandlers, EveryEntryGivesTheNeutralAnswerAndReportsOnce) {
  auto* geolocation = EngineRecord<cef_geolocation_handler_t>(Make<ThrowingGeolocation>());
  auto* update = EngineRecord<cef_get_geolocation_callback_t>(Make<ThrowingLocationUpdate>());
  cef_geoposition_t position{};
  position.latitude = 1;
  const std::vector<ThrowingRow> rows = {
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
