#pragma once

#include <cstdint>
#include <string>

#include "civil.h"

namespace tvl {

// A wall-clock minute as a number: day number * 1440 + hour * 60 + minute. Minutes are
// counted on the local wall clock, so a minute skipped by a clock change forward is still
// a minute to check and a minute repeated by a change back is not checked twice.
using CivilMinute = std::int64_t;

CivilMinute civilMinute(const LocalDateTime& t);
LocalDateTime fromCivilMinute(CivilMinute m);

inline constexpr CivilMinute kMaxCatchUpMinutes = 180;

// The minutes one tick checks: first..last, both included; none when first > last.
struct MinuteWalk {
    CivilMinute first = 0;
    CivilMinute last = -1;
    CivilMinute lastChecked = 0;  // what to remember for the next tick
    bool empty() const { return first > last; }
};

// Every wall-clock minute is checked once, in order. Minutes missed by a late tick, a long
// run, sleep or a clock jump forward of up to 3 hours are caught up; after a bigger jump
// forward only the current minute is checked. After the clock is set back by up to 3
// hours nothing is checked until it passes the last checked minute; set back further,
// checking starts again at the current minute.
MinuteWalk walkMinutes(CivilMinute lastChecked, CivilMinute now);

// "YYYY-MM-DDTHH:MM"; parse accepts exactly that form of a valid minute.
std::string minuteText(CivilMinute m);
bool parseMinuteText(const std::string& text, CivilMinute& out);

}  // namespace tvl
