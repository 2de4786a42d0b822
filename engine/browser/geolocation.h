// The position the engine reports (geolocation.cpp says where it comes from).
#pragma once

#include <string>

#include "cef/cef_records.h"

namespace cef_engine::browser {

class Geoposition {
 public:
  // The source's position now, or "position unavailable" with the reason.
  static Geoposition Current();
  static Geoposition Error(cef_geoposition_error_code_t code, std::u16string message);
  // The record, lent: valid while this object lives.
  const cef_geoposition_t& record();

 private:
  Geoposition() = default;
  cef_geoposition_t record_{};
  std::u16string message_;
};

// cef_get_geolocation: the callback gets the position on the main thread; 0 (and the
// callback released) when there is none or the engine does not run.
int GetGeolocation(cef_get_geolocation_callback_t* callback);

}  // namespace cef_engine::browser
