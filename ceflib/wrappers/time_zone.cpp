// A 64-bit time_t on 32-bit Linux, so that dates outside 1901-2038 convert too.
#if defined(__linux__) && !defined(_TIME_BITS)
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#endif

#include "ceflib/wrappers/time_zone.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <ctime>
#endif

namespace ceflib {

namespace {

// The years the platform converts by the zone's rules: the system refuses years before
// 1601 on Windows, and the C library gives years before 1970 no daylight saving time.
#if defined(_WIN32)
constexpr int kFirstRuledYear = 1602, kLastRuledYear = 30826;
#else
constexpr int kFirstRuledYear = 1970, kLastRuledYear = 1 << 30;
#endif

// The calendar and its weekdays repeat every 400 years, so a time outside those years is
// moved into them by whole cycles, converted, and moved back: every year follows the
// same rules, on every platform.
template <class Convert>
bool ConvertByTheRules(TCefCivilTime& time, Convert convert) {
  int shift = 0;
  if (time.year < kFirstRuledYear) shift = (kFirstRuledYear - time.year + 399) / 400 * 400;
  if (time.year > kLastRuledYear) shift = -((time.year - kFirstRuledYear) / 400 * 400);
  TCefCivilTime moved = time;
  moved.year += shift;
  if (!convert(moved)) return false;
  moved.year -= shift;
  time = moved;
  return true;
}

#if defined(_WIN32)

SYSTEMTIME ToSystemTime(const TCefCivilTime& t) {
  SYSTEMTIME s{};
  s.wYear = static_cast<WORD>(t.year);
  s.wMonth = static_cast<WORD>(t.month);
  s.wDay = static_cast<WORD>(t.day);
  s.wHour = static_cast<WORD>(t.hour);
  s.wMinute = static_cast<WORD>(t.minute);
  s.wSecond = static_cast<WORD>(t.second);
  return s;
}

TCefCivilTime FromSystemTime(const SYSTEMTIME& s) {
  return {s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond};
}

bool SystemLocalToUtc(TCefCivilTime& time) {
  const SYSTEMTIME local = ToSystemTime(time);
  SYSTEMTIME utc{};
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return false;
  time = FromSystemTime(utc);
  return true;
}

bool SystemUtcToLocal(TCefCivilTime& time) {
  const SYSTEMTIME utc = ToSystemTime(time);
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  time = FromSystemTime(local);
  return true;
}

#else

std::tm ToTm(const TCefCivilTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;  // let the rules decide
  return tm;
}

TCefCivilTime FromTm(const std::tm& tm) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// -1 is also a real time (one second before 1970), so failure is told by errno.
bool Failed(time_t result) { return result == static_cast<time_t>(-1) && errno != 0; }

bool SystemLocalToUtc(TCefCivilTime& time) {
  std::tm tm = ToTm(time);
  errno = 0;
  const time_t seconds = mktime(&tm);
  std::tm utc{};
  if (Failed(seconds) || !gmtime_r(&seconds, &utc)) return false;
  time = FromTm(utc);
  return true;
}

bool SystemUtcToLocal(TCefCivilTime& time) {
  std::tm tm = ToTm(time);
  errno = 0;
  const time_t seconds = timegm(&tm);
  std::tm local{};
  if (Failed(seconds) || !localtime_r(&seconds, &local)) return false;
  time = FromTm(local);
  return true;
}

#endif

}  // namespace

bool CefLocalToUtc(TCefCivilTime& time) { return ConvertByTheRules(time, SystemLocalToUtc); }
bool CefUtcToLocal(TCefCivilTime& time) { return ConvertByTheRules(time, SystemUtcToLocal); }

}  // namespace ceflib
