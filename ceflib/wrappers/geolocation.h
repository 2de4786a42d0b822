// Geolocation records of the engine: a position (plain data, copied into TCefGeoposition)
// and the callback through which the program answers a page's permission question.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/v8.h"

namespace ceflib {

using TCefGeopositionErrorCode = cef_geoposition_error_code_t;

// A position: WGS84 degrees, metres, metres per second; timestamp in local time like
// script dates (TDateTime). errorCode other than GEOPOSITON_ERROR_NONE: no position,
// errorMessage says why.
struct TCefGeoposition {
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
  double accuracy = 0;
  double altitudeAccuracy = 0;
  double heading = 0;
  double speed = 0;
  TDateTime timestamp = 0;
  TCefGeopositionErrorCode errorCode = GEOPOSITON_ERROR_NONE;
  ustring errorMessage;

  TCefGeoposition() = default;
  // The engine's record, copied; null gives an empty position. A timestamp outside the
  // calendar raises EConvertError.
  explicit TCefGeoposition(const cef_geoposition_t* position);
};

class ICefGeolocationCallback : public virtual ICefBase {
 public:
  // Answers the page's question: true lets it know the location. Any thread; only the
  // first answer counts.
  virtual void Cont(bool allow) = 0;
};

class TCefGeolocationCallbackRef final
    : public TCefRef<TCefGeolocationCallbackRef, ICefGeolocationCallback, cef_geolocation_callback_t> {
 public:
  using TCefRef::TCefRef;
  void Cont(bool allow) override { Call(&cef_geolocation_callback_t::cont, allow); }
};

template <>
struct TCefWrapperOf<ICefGeolocationCallback> {
  using type = TCefGeolocationCallbackRef;
};

}  // namespace ceflib
