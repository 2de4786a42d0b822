// navigator.geolocation for page script: getCurrentPosition, watchPosition and
// clearWatch. The frame asks the program (FrameHooks::RequestGeolocation); its answer
// comes later on the main thread and calls the page's success function with a position
// object, or its error function with {code, message}. A watch stays until clearWatch or
// until the page goes; a request still open then is withdrawn through the frame.
#include "script/context.h"

namespace cef_engine::script {
namespace {

constexpr const char* kContextId = DUK_HIDDEN_SYMBOL("context");

enum GeoOp : int { kGetCurrentPosition, kWatchPosition, kClearWatch };

duk_ret_t GeolocationEntry(duk_context* ctx) {
  Outcome outcome = Outcome::kReturn;
  {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kContextId);
    const int id = duk_get_int(ctx, -1);
    duk_pop_2(ctx);
    const std::shared_ptr<ContextState> state = ContextState::FromId(id);
    if (state && state->valid())
      outcome = state->GeolocationCall(ctx, duk_get_current_magic(ctx));
    else
      duk_push_undefined(ctx);
  }
  if (outcome == Outcome::kThrow) return duk_throw(ctx);
  return 1;
}

void PutNumber(duk_context* ctx, const char* name, double value) {
  duk_push_number(ctx, value);
  duk_put_prop_string(ctx, -2, name);
}

// The script's position object: {coords: {...}, timestamp} (milliseconds since 1970).
void PushPosition(duk_context* ctx, const cef_geoposition_t& position) {
  duk_push_object(ctx);
  duk_push_object(ctx);
  PutNumber(ctx, "latitude", position.latitude);
  PutNumber(ctx, "longitude", position.longitude);
  PutNumber(ctx, "altitude", position.altitude);
  PutNumber(ctx, "accuracy", position.accuracy);
  PutNumber(ctx, "altitudeAccuracy", position.altitude_accuracy);
  PutNumber(ctx, "heading", position.heading);
  PutNumber(ctx, "speed", position.speed);
  duk_put_prop_string(ctx, -2, "coords");
  PutNumber(ctx, "timestamp", MsFromTime(position.timestamp));
}

// The script's error object: code, message and the three code constants.
void PushPositionError(duk_context* ctx, const cef_geoposition_t& position) {
  duk_push_object(ctx);
  PutNumber(ctx, "code", position.error_code);
  PushText(ctx, std::u16string_view(position.error_message.str ? position.error_message.str : u"",
                                    position.error_message.length));
  duk_put_prop_string(ctx, -2, "message");
  PutNumber(ctx, "PERMISSION_DENIED", GEOPOSITON_ERROR_PERMISSION_DENIED);
  PutNumber(ctx, "POSITION_UNAVAILABLE", GEOPOSITON_ERROR_POSITION_UNAVAILABLE);
  PutNumber(ctx, "TIMEOUT", GEOPOSITON_ERROR_TIMEOUT);
}

}  // namespace

void ContextState::InstallGeolocation(duk_context* ctx, duk_idx_t global) {
  duk_push_object(ctx);  // navigator
  duk_push_object(ctx);  // navigator.geolocation
  constexpr std::pair<const char*, GeoOp> kMethods[] = {{"getCurrentPosition", kGetCurrentPosition},
                                                        {"watchPosition", kWatchPosition},
                                                        {"clearWatch", kClearWatch}};
  for (const auto& [name, op] : kMethods) {
    duk_push_c_function(ctx, &GeolocationEntry, DUK_VARARGS);
    duk_set_magic(ctx, -1, op);
    duk_push_int(ctx, id_);
    duk_put_prop_string(ctx, -2, kContextId);
    duk_put_prop_string(ctx, -2, name);
  }
  duk_put_prop_string(ctx, -2, "geolocation");
  duk_put_prop_string(ctx, global, "navigator");
}

Outcome ContextState::GeolocationCall(duk_context* ctx, int op) {
  if (op == kClearWatch) {
    const auto watch = geo_watches_.find(duk_get_int_default(ctx, 0, 0));
    if (watch != geo_watches_.end() && watch->second.watch) EndGeoWatch(watch, true);
    duk_push_undefined(ctx);
    return Outcome::kReturn;
  }
  if (!duk_is_function(ctx, 0)) {
    PushError(ctx, u"TypeError: the success callback must be a function", DUK_ERR_TYPE_ERROR);
    return Outcome::kThrow;
  }
  GeoWatch watch;
  watch.watch = op == kWatchPosition;
  watch.success = heap_->Pin(ctx, 0);
  if (duk_is_function(ctx, 1)) watch.error = heap_->Pin(ctx, 1);
  const int id = ++last_geo_watch_;
  geo_watches_.emplace(id, watch);
  std::weak_ptr<ContextState> weak = weak_from_this();
  const int request = hooks_ ? hooks_->RequestGeolocation([weak, id](const cef_geoposition_t& position) {
    if (auto state = weak.lock(); state && state->valid()) state->DeliverGeoposition(id, position);
  })
                             : 0;
  if (const auto found = geo_watches_.find(id); found != geo_watches_.end()) found->second.request = request;
  duk_push_int(ctx, id);
  return Outcome::kReturn;
}

void ContextState::DeliverGeoposition(int id, const cef_geoposition_t& position) {
  auto found = geo_watches_.find(id);
  if (found == geo_watches_.end()) return;  // cleared
  found->second.request = 0;                // answered: nothing left to withdraw
  const bool ok = position.error_code == GEOPOSITON_ERROR_NONE;
  const std::optional<uint32_t> function = ok ? found->second.success : found->second.error;
  const std::shared_ptr<ContextState> keep = shared_from_this();
  duk_context* ctx = WorkThread(thread_);
  const duk_idx_t top = duk_get_top(ctx);
  if (function) heap_->Push(ctx, *function);
  // A single request is over once answered; a watch waits for further answers.
  if (!found->second.watch) EndGeoWatch(found, false);
  if (!function) return;
  PushGlobal(ctx, thread_);
  if (ok)
    PushPosition(ctx, position);
  else
    PushPositionError(ctx, position);
  CallPushedMethod(ctx, 1);
  duk_set_top(ctx, top);
}

void ContextState::EndGeoWatch(std::map<int, GeoWatch>::iterator watch, bool withdraw) {
  const GeoWatch ended = watch->second;
  geo_watches_.erase(watch);
  heap_->Unpin(ended.success);
  if (ended.error) heap_->Unpin(*ended.error);
  if (withdraw && ended.request && hooks_) hooks_->CancelGeolocation(ended.request);
}

void ContextState::CloseGeolocation() {
  while (!geo_watches_.empty()) EndGeoWatch(geo_watches_.begin(), true);
}

}  // namespace cef_engine::script
