#include "minutewalk.h"

#include <cstdio>

namespace tvl {

CivilMinute civilMinute(const LocalDateTime& t) {
    return daysFromCivil(t.date) * 1440 + CivilMinute{t.hour} * 60 + t.minute;
}

LocalDateTime fromCivilMinute(CivilMinute m) {
    std::int64_t days = m / 1440;
    std::int64_t rest = m % 1440;
    if (rest < 0) {
        rest += 1440;
        --days;
    }
    return LocalDateTime{civilFromDays(days), static_cast<int>(rest / 60),
                         static_cast<int>(rest % 60), 0};
}

MinuteWalk walkMinutes(CivilMinute lastChecked, CivilMinute now) {
    MinuteWalk w;
    w.lastChecked = lastChecked;
    if (now > lastChecked) {
        // The minutes missed are those between the two; up to 3 hours of them are caught up.
        w.first = (now - lastChecked - 1 <= kMaxCatchUpMinutes) ? lastChecked + 1 : now;
        w.last = now;
        w.lastChecked = now;
    } else if (lastChecked - now > kMaxCatchUpMinutes) {
        w.first = now;
        w.last = now;
        w.lastChecked = now;
    }
    return w;
}

std::string minuteText(CivilMinute m) {
    const LocalDateTime t = fromCivilMinute(m);
    char hm[8];
    std::snprintf(hm, sizeof hm, "T%02d:%02d", t.hour, t.minute);
    return isoDateText(t.date) + hm;
}

bool parseMinuteText(const std::string& text, CivilMinute& out) {
    if (text.size() != 16 || text[10] != 'T' || text[13] != ':') {
        return false;
    }
    CivilDate d;
    if (!parseIsoDate(text.substr(0, 10), d)) {
        return false;
    }
    for (std::size_t i : {11u, 12u, 14u, 15u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const int h = (text[11] - '0') * 10 + (text[12] - '0');
    const int m = (text[14] - '0') * 10 + (text[15] - '0');
    if (h > 23 || m > 59) {
        return false;
    }
    out = civilMinute({d, h, m, 0});
    return true;
}

}  // namespace tvl
