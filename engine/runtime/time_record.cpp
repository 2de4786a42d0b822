#include "runtime/time_record.h"

#include <cmath>

namespace cef_engine {

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

double MsFromTime(const cef_time_t& t) {
  int64_t year = t.year, month = t.month - 1;
  year += month >= 0 ? month / 12 : (month - 11) / 12;
  month = ((month % 12) + 12) % 12;
  const int64_t days = DaysFromCivil(year, month + 1, 1) + t.day_of_month - 1;
  return static_cast<double>(days) * 86400000.0 + t.hour * 3600000.0 + t.minute * 60000.0 +
         t.second * 1000.0 + t.millisecond;
}

cef_time_t TimeFromMs(double ms) {
  if (!std::isfinite(ms)) return cef_time_t{};
  const auto total = static_cast<int64_t>(std::floor(ms));
  int64_t days = total >= 0 ? total / 86400000 : (total - 86399999) / 86400000;
  int64_t rest = total - days * 86400000;
  cef_time_t t{};
  t.day_of_week = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  t.hour = static_cast<int>(rest / 3600000);
  t.minute = static_cast<int>(rest / 60000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.millisecond = static_cast<int>(rest % 1000);
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  t.day_of_month = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
  return t;
}

}  // namespace cef_engine
