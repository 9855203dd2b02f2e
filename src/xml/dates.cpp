// Dates: the "dd.mm.yyyy" text of a date value (days since 30 December 1899)
// and the date value of a calendar date, in the proleptic Gregorian calendar.
#include <cmath>
#include <cstdio>

#include "xml/values.h"

namespace kdx {

std::string DateToText(double date) {
  char buf[32];
  if (!std::isfinite(date) || std::fabs(date) >= 2958466.0) {
    // From 01.01.10000 on a year needs five digits: no calendar date.
    return "00.00.0000";
  }
  const long long days = static_cast<long long>(date) - 25569;  // days since 1970-01-01
  if (days < -719162) return "00.00.0000";                      // before 01.01.0001
  long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
  std::snprintf(buf, sizeof buf, "%02u.%02u.%04lld", d, m, y);
  return buf;
}

bool IsCalendarDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap);
}

double DateValueOf(int year, int month, int day) {
  // Days from the civil date in the proleptic Gregorian calendar.
  const int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned m = static_cast<unsigned>(month);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days1970 = static_cast<long long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days1970 + 25569);
}

}  // namespace kdx
