#include "sim/horolog.h"

#include <cstdio>

namespace tvl::sim {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t unixDay(std::int64_t y, int m, int d) {
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::int64_t horologDay(const Ymd& date) {
    return unixDay(date.year, date.month, date.day) + kHorologUnixEpochDay;
}

Ymd dateOfHorologDay(std::int64_t day) {
    std::int64_t z = day - kHorologUnixEpochDay + 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return Ymd{yoe + era * 400 + (m <= 2), m, d};
}

std::string horolog(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    std::int64_t day = horologDay(Ymd{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday});
    int seconds = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    return std::to_string(day) + "," + std::to_string(seconds);
}

std::optional<std::string> formatHorologDate(std::int64_t day, int format) {
    if (day < 0 || day > kHorologLastDay) {
        return std::nullopt;
    }
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    Ymd d = dateOfHorologDay(day);
    int y = static_cast<int>(d.year);
    char buf[32];
    switch (format) {
        case 1:
            std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.month, d.day, y);
            break;
        case 2:
            std::snprintf(buf, sizeof buf, "%02d %s %04d", d.day, kMonths[d.month - 1], y);
            break;
        case 3:
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, d.month, d.day);
            break;
        case 4:
            std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day, d.month, y);
            break;
        case 8:
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, d.month, d.day);
            break;
        default:
            return std::nullopt;
    }
    return std::string(buf);
}

}  // namespace tvl::sim
