#include "scheduler.h"

#include <algorithm>

#include "regional.h"
#include "schedule.h"

namespace tvl {

MinuteScheduler::MinuteScheduler(const Clock& clock)
    : m_clock(clock), m_lastChecked(civilMinute(clock.localNow())) {}

std::vector<ScheduledStart> MinuteScheduler::tick(const TaskLines& lines) {
    const CivilMinute now = civilMinute(m_clock.localNow());
    if (m_resumed) {
        // The machine was off or no scheduler ran: the minutes since the mark passed for
        // real, and those of the last catchUpMinutes are made up; older ones are not.
        m_resumed = false;
        if (now - m_lastChecked - 1 > m_catchUp) {
            m_lastChecked = now - m_catchUp - 1;
            m_startedBefore = 0;
        }
    }
    const CivilMinute partMinute = m_lastChecked + 1;
    const std::size_t startedBefore = m_startedBefore;
    const MinuteWalk walk = walkMinutes(m_lastChecked, now);
    if (!walk.empty() || walk.lastChecked != m_lastChecked) {
        m_startedBefore = 0;
    }
    m_lastChecked = walk.lastChecked;
    std::vector<ScheduledStart> starts;
    for (CivilMinute m = walk.first; m <= walk.last; ++m) {
        const LocalDateTime t = fromCivilMinute(m);
        for (std::size_t i : dueTasks(lines, t)) {
            // What a killed scheduler started in its last minute is not started again.
            if (m != partMinute || i >= startedBefore) {
                starts.push_back({i, t});
            }
        }
    }
    return starts;
}

void MinuteScheduler::resume(const ScheduleMark& mark, CivilMinute catchUpMinutes) {
    m_lastChecked = mark.lastChecked;
    m_startedBefore = mark.startedBefore;
    m_catchUp = std::clamp<CivilMinute>(catchUpMinutes, 0, kMaxCatchUpMinutes);
    m_resumed = true;
}

ScheduleMark MinuteScheduler::markAfter(const ScheduledStart& start) {
    return {civilMinute(start.minute) - 1, start.taskIndex + 1};
}

int MinuteScheduler::msToNextMinute() const {
    const int second = m_clock.localNow().second;
    return (60 - (second % 60)) * 1000;
}

}  // namespace tvl
