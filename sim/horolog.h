#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace tvl::sim {

// Day 0 of the M calendar is 31 December 1840; 1 January 1970 is day 47117.
constexpr std::int64_t kHorologUnixEpochDay = 47117;
// 31 December 9999, the last day $ZDATE formats.
constexpr std::int64_t kHorologLastDay = 2980013;

struct Ymd {
    std::int64_t year;
    int month;
    int day;
};

std::int64_t horologDay(const Ymd& date);
Ymd dateOfHorologDay(std::int64_t day);

// $HOROLOG for a moment, in the local time of the server's time zone: "days,seconds".
std::string horolog(std::time_t t);

// $ZDATE of a day number: format 1 MM/DD/YYYY, 2 DD Mon YYYY, 3 YYYY-MM-DD, 4 DD/MM/YYYY,
// 8 YYYYMMDD. Nothing for an unknown format or a day outside 0..kHorologLastDay.
std::optional<std::string> formatHorologDate(std::int64_t day, int format);

}  // namespace tvl::sim
