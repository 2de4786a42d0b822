// Geolocation: page script's position requests go to the program's geolocation handler,
// which answers through a permission callback; granted requests, and the program's own
// cef_get_geolocation, get the position of the engine's one source: the environment
// variable CEF_ENGINE_GEOPOSITION, "latitude,longitude[,accuracy[,altitude]]" (degrees,
// metres), read at each request. Without it the answer is "position unavailable".
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "browser/browser.h"
#include "browser/geolocation.h"
#include "runtime/runtime.h"
#include "script/context.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cef_engine::browser {
namespace {

constexpr char kSourceVariable[] = "CEF_ENGINE_GEOPOSITION";

std::atomic<int> next_request_id{0};

// The variable's text; none when it is not set.
std::optional<std::string> SourceText() {
#if defined(_WIN32)
  // The process environment, which the program may have changed since the start (the
  // C run time's copy would not see that).
  const std::wstring name(kSourceVariable, kSourceVariable + sizeof kSourceVariable - 1);
  wchar_t buffer[256];
  const DWORD length = GetEnvironmentVariableW(name.c_str(), buffer, 256);
  if (length == 0 || length >= 256) return length == 0 ? std::nullopt : std::optional<std::string>("");
  std::string text;
  for (DWORD i = 0; i < length; ++i) text += buffer[i] < 128 ? static_cast<char>(buffer[i]) : '?';
  return text;
#else
  const char* text = std::getenv(kSourceVariable);
  if (!text) return std::nullopt;
  return std::string(text);
#endif
}

// Up to four numbers separated by commas; false for anything else.
bool ParseNumbers(const std::string& text, std::vector<double>& numbers) {
  const char* at = text.c_str();
  while (true) {
    char* end = nullptr;
    const double value = std::strtod(at, &end);
    if (end == at || !std::isfinite(value)) return false;
    numbers.push_back(value);
    while (*end == ' ') ++end;
    if (*end == '\0') return numbers.size() <= 4;
    if (*end != ',') return false;
    at = end + 1;
  }
}

}  // namespace

Geoposition Geoposition::Error(cef_geoposition_error_code_t code, std::u16string message) {
  Geoposition position;
  position.record_.error_code = code;
  position.message_ = std::move(message);
  return position;
}

Geoposition Geoposition::Current() {
  const auto text = SourceText();
  if (!text)
    return Error(GEOPOSITON_ERROR_POSITION_UNAVAILABLE,
                 u"No position source: CEF_ENGINE_GEOPOSITION is not set");
  std::vector<double> numbers;
  if (!ParseNumbers(*text, numbers) || numbers.size() < 2 || std::fabs(numbers[0]) > 90 ||
      std::fabs(numbers[1]) > 180 || (numbers.size() > 2 && numbers[2] < 0))
    return Error(GEOPOSITON_ERROR_POSITION_UNAVAILABLE,
                 u"CEF_ENGINE_GEOPOSITION is not \"latitude,longitude[,accuracy[,altitude]]\" "
                 u"(degrees within range, metres)");
  Geoposition position;
  auto& r = position.record_;
  r.latitude = numbers[0];
  r.longitude = numbers[1];
  r.accuracy = numbers.size() > 2 ? numbers[2] : 0;
  r.altitude = numbers.size() > 3 ? numbers[3] : 0;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  r.timestamp = script::TimeFromMs(
      static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
  r.error_code = GEOPOSITON_ERROR_NONE;
  return position;
}

const cef_geoposition_t& Geoposition::record() {
  record_.error_message = {message_.data(), message_.size(), nullptr};
  return record_;
}

namespace {

// The program's answer to one permission question; only the first answer counts (the
// browser forgets the question once answered or withdrawn).
class PermissionCallback final : public EngineObject<cef_geolocation_callback_t> {
 public:
  using Record = cef_geolocation_callback_t;
  PermissionCallback(EngineRef<Browser> browser, int request)
      : browser_(std::move(browser)), request_(request) {
    record()->cont = &Cont;
  }

 private:
  static void CEF_CALLBACK Cont(cef_geolocation_callback_t* self, int allow) {
    auto& callback = *static_cast<PermissionCallback*>(FromRecord(self));
    Runtime::Get().PostWork(TID_UI, [browser = callback.browser_, request = callback.request_, allow] {
      browser->AnswerGeolocation(request, allow != 0);
    });
  }
  const EngineRef<Browser> browser_;
  const int request_;
};

}  // namespace

int Browser::RequestGeolocation(const std::u16string& url,
                                std::function<void(const cef_geoposition_t&)> answer) {
  const int id = ++next_request_id;
  geolocation_requests_[id] = {url, std::move(answer)};
  if (!geolocation_ || !geolocation_->on_request_geolocation_permission || closed_) {
    // No one to ask: refused, answered after the script's call like any answer.
    Runtime::Get().PostWork(TID_UI,
                            [self = EngineRef<Browser>(this), id] { self->AnswerGeolocation(id, false); });
    return id;
  }
  const cef_string_t address = View(url);
  auto* callback = NewEngineRecord<PermissionCallback>(EngineRef<Browser>(this), id);
  geolocation_->on_request_geolocation_permission(geolocation_.get(), Share(), &address, id, callback);
  return id;
}

void Browser::CancelGeolocation(int request) {
  const auto found = geolocation_requests_.find(request);
  if (found == geolocation_requests_.end()) return;
  const std::u16string url = std::move(found->second.url);
  geolocation_requests_.erase(found);
  if (!geolocation_ || !geolocation_->on_cancel_geolocation_permission) return;
  const cef_string_t address = View(url);
  geolocation_->on_cancel_geolocation_permission(geolocation_.get(), Share(), &address, request);
}

void Browser::AnswerGeolocation(int request, bool allow) {
  const auto found = geolocation_requests_.find(request);
  if (found == geolocation_requests_.end()) return;  // withdrawn, or answered before
  auto answer = std::move(found->second.answer);
  geolocation_requests_.erase(found);
  Geoposition position = allow ? Geoposition::Current()
                               : Geoposition::Error(GEOPOSITON_ERROR_PERMISSION_DENIED,
                                                    u"The program did not allow the page to "
                                                    u"know the location");
  answer(position.record());
}

int GetGeolocation(cef_get_geolocation_callback_t* callback) {
  auto held = std::make_shared<ProgramRef<cef_get_geolocation_callback_t>>(
      ProgramRef<cef_get_geolocation_callback_t>::Adopt(callback));
  if (!*held) return 0;
  const bool posted = Runtime::Get().PostWork(TID_UI, [held] {
    Geoposition position = Geoposition::Current();
    if ((*held)->on_location_update) (*held)->on_location_update(held->get(), &position.record());
    held->Reset();
  });
  return posted ? 1 : 0;
}

}  // namespace cef_engine::browser
