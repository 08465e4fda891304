#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "civil.h"

namespace tvl {

// The user's regional formats come from the C locale machinery: every program calls
// setlocale(LC_ALL, "") first, so LANG/LC_ALL rule. Run dates are written and parsed with
// one format only, the short date format below, so a date written today parses tomorrow.

// nl_langinfo(D_FMT), with a two-digit year widened to four digits ("%m/%d/%y" becomes
// "%m/%d/%Y").
std::string shortDateFormat();
// nl_langinfo(T_FMT).
std::string longTimeFormat();

std::string formatShortDate(const CivilDate& date);
std::string formatShortDate(const CivilDate& date, const std::string& format);
// The whole text must be one date in the short date format; anything else is no value.
std::optional<CivilDate> parseShortDate(std::string_view text);
std::optional<CivilDate> parseShortDate(std::string_view text, const std::string& format);

std::string formatLongTime(int hour, int minute, int second);
std::string formatLongTime(int hour, int minute, int second, const std::string& format);

}  // namespace tvl
