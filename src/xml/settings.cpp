#include "xml/settings.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "filer/errors.h"
#include "xml/values.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace kdx {

std::optional<char> DecimalSeparatorOverride() {
  if (const char* env = std::getenv("KDX2XML_DECIMAL_SEPARATOR")) {
    if (std::string_view(env).size() == 1) return env[0];
  }
  return std::nullopt;
}

char EnvironmentDecimalSeparator() {
  return DecimalSeparatorOverride().value_or(LocaleDecimalSeparator());
}

char LocaleDecimalSeparator() {
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

std::optional<uint64_t> ParseByteCount(const char* text) {
  const char* end = text + std::strlen(text);
  uint64_t value = 0;
  if (text == end || *text < '0' || *text > '9') return std::nullopt;
  const auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<uint64_t> EnvironmentMaxXmlSize() {
  const char* env = std::getenv("KDX2XML_MAX_XML_SIZE");
  if (!env) return std::nullopt;
  // A bound the host meant to set but mistyped is not dropped silently.
  const std::optional<uint64_t> bound = ParseByteCount(env);
  if (!bound || *bound == 0)
    Raise(kEConvertException, std::string("KDX2XML_MAX_XML_SIZE is not a number of bytes: ") + env);
  return bound;
}

}  // namespace kdx
