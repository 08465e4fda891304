#include "minutewalk.h"

namespace tvl {

CivilMinute civilMinute(const LocalDateTime& t) {
    return daysFromCivil(t.date) * 1440 + t.hour * 60 + t.minute;
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

}  // namespace tvl
