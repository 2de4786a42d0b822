// Local time and UTC by the platform's current time-zone rules, on broken-down times;
// years the platform has no rules for follow those of the years it has.
// Kept apart from other code: on 32-bit Linux its source switches to a 64-bit time_t.
#pragma once

namespace ceflib {

struct TCefCivilTime {
  int year;
  int month;  // 1-12
  int day;    // 1-31
  int hour;
  int minute;
  int second;
};

// Convert in place; false when the platform cannot convert the time (the time is then
// unchanged).
bool CefLocalToUtc(TCefCivilTime& time);
bool CefUtcToLocal(TCefCivilTime& time);

}  // namespace ceflib
