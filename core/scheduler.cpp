#include "scheduler.h"

#include "regional.h"
#include "schedule.h"

namespace tvl {

MinuteScheduler::MinuteScheduler(const Clock& clock)
    : m_clock(clock), m_lastChecked(civilMinute(clock.localNow())) {}

std::vector<ScheduledStart> MinuteScheduler::tick(const std::vector<std::string>& lines) {
    const MinuteWalk walk = walkMinutes(m_lastChecked, civilMinute(m_clock.localNow()));
    m_lastChecked = walk.lastChecked;
    std::vector<ScheduledStart> starts;
    for (CivilMinute m = walk.first; m <= walk.last; ++m) {
        const LocalDateTime t = fromCivilMinute(m);
        for (std::size_t i : dueTasks(lines, t)) {
            starts.push_back({i, t});
        }
    }
    return starts;
}

int MinuteScheduler::msToNextMinute() const {
    const int second = m_clock.localNow().second;
    return (60 - (second % 60)) * 1000;
}

}  // namespace tvl
