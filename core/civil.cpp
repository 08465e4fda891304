#include "civil.h"

#include "clock.h"

#include <cstdio>

namespace tvl {

// Howard Hinnant's days-from-civil algorithm.
std::int64_t daysFromCivil(const CivilDate& date) {
    std::int64_t y = date.year;
    const unsigned m = static_cast<unsigned>(date.month);
    const unsigned d = static_cast<unsigned>(date.day);
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

CivilDate civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

int isoWeekday(const CivilDate& date) {
    // 1970-01-01 was a Thursday (4).
    const std::int64_t days = daysFromCivil(date);
    const std::int64_t wd = ((days % 7) + 7 + 3) % 7;  // 0 Monday
    return static_cast<int>(wd) + 1;
}

bool isValidDate(const CivilDate& date) {
    if (date.month < 1 || date.month > 12 || date.day < 1) {
        return false;
    }
    return civilFromDays(daysFromCivil(date)) == date;
}

CivilDate addDays(const CivilDate& date, std::int64_t days) {
    return civilFromDays(daysFromCivil(date) + days);
}

std::string isoDateText(const CivilDate& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buf;
}

bool parseIsoDate(const std::string& text, CivilDate& out) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    CivilDate d{std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
                std::stoi(text.substr(8, 2))};
    if (!isValidDate(d)) {
        return false;
    }
    out = d;
    return true;
}

LocalDateTime localDateTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return LocalDateTime{CivilDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, tm.tm_hour,
                         tm.tm_min, tm.tm_sec};
}

std::tm toTm(const LocalDateTime& t) {
    std::tm tm{};
    tm.tm_year = t.date.year - 1900;
    tm.tm_mon = t.date.month - 1;
    tm.tm_mday = t.date.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = isoWeekday(t.date) % 7;  // 0 Sunday
    tm.tm_yday = static_cast<int>(daysFromCivil(t.date) - daysFromCivil({t.date.year, 1, 1}));
    tm.tm_isdst = -1;
    return tm;
}

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

}  // namespace tvl
