#include "xml/settings.h"

#include <cstdlib>
#include <ctime>
#include <string_view>

#include "xml/values.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace kdx {

char EnvironmentDecimalSeparator() {
  if (const char* env = std::getenv("KDX2XML_DECIMAL_SEPARATOR")) {
    if (std::string_view(env).size() == 1) return env[0];
  }
#if defined(_WIN32)
  // The decimal separator of the user's regional settings. Only a single ASCII
  // character is taken; anything else falls back to '.'.
  wchar_t sep[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) == 2 && sep[0] > 0 &&
      sep[0] < 0x80) {
    return static_cast<char>(sep[0]);
  }
#else
  // Read the environment's numeric locale without touching the process locale.
  if (locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
    const char* sep = nl_langinfo_l(RADIXCHAR, loc);
    char result = (sep && sep[0] && !sep[1]) ? sep[0] : '.';
    freelocale(loc);
    return result;
  }
#endif
  return '.';
}

namespace {
constexpr long long kDaysFrom1899To1970 = 25569;
}

double EnvironmentToday() {
  if (const char* env = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long secs = std::strtoll(env, &end, 10);
    if (end != env && *end == '\0') {
      long long days = secs / 86400;
      if (secs % 86400 < 0) --days;
      return static_cast<double>(days + kDaysFrom1899To1970);
    }
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return DateValueOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

}  // namespace kdx
