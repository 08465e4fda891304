#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tvl {

// A calendar day of the proleptic Gregorian calendar, as the user's wall clock names it.
struct CivilDate {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// A local wall-clock moment. Seconds are kept for the log's time stamps; schedules only
// look at the minute.
struct LocalDateTime {
    CivilDate date;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Day number with 1970-01-01 as day 0.
std::int64_t daysFromCivil(const CivilDate& date);
CivilDate civilFromDays(std::int64_t days);
// ISO 8601 weekday: 1 Monday ... 7 Sunday.
int isoWeekday(const CivilDate& date);
bool isValidDate(const CivilDate& date);
CivilDate addDays(const CivilDate& date, std::int64_t days);

// "YYYY-MM-DD"; parse accepts exactly that form of a valid date.
std::string isoDateText(const CivilDate& date);
bool parseIsoDate(const std::string& text, CivilDate& out);

// Local time of the machine's time zone.
LocalDateTime localDateTime(std::time_t t);
std::tm toTm(const LocalDateTime& t);

}  // namespace tvl
