#include "ceflib/wrappers/geolocation.h"

namespace ceflib {

TCefGeoposition::TCefGeoposition(const cef_geoposition_t* position) {
  if (!position) return;
  latitude = position->latitude;
  longitude = position->longitude;
  altitude = position->altitude;
  accuracy = position->accuracy;
  altitudeAccuracy = position->altitude_accuracy;
  heading = position->heading;
  speed = position->speed;
  errorCode = position->error_code;
  errorMessage = CefStringRead(&position->error_message);
  // A failed update need not carry a date.
  if (position->timestamp.year != 0) timestamp = CefTimeToDateTime(position->timestamp);
}

}  // namespace ceflib
