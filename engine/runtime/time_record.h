// The engine's time record and milliseconds since 1970 in UTC, both ways (script dates,
// cookie dates).
#pragma once

#include <cstdint>

#include "cef/cef_types.h"

namespace cef_engine {

// Months outside 1..12 carry into the year, as Date.UTC does.
double MsFromTime(const cef_time_t& time);
// The day of the week is filled in; a value that is not finite gives an all-zero record.
cef_time_t TimeFromMs(double ms);
// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

}  // namespace cef_engine
