#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "clock.h"
#include "minutewalk.h"
#include "schedulerstate.h"
#include "tasklines.h"

namespace tvl {

// One backup the minute timer starts: task-list index and the minute it is due in.
struct ScheduledStart {
    std::size_t taskIndex = 0;
    LocalDateTime minute;
};

// The minute timer's memory: which wall-clock minute was checked last. Each tick reads the
// clock once, walks the minutes not yet checked and answers the tasks to start, minute by
// minute in order and within a minute in task-list order.
class MinuteScheduler {
public:
    // The first minute checked is the one after the minute the scheduler was made in.
    explicit MinuteScheduler(const Clock& clock);

    std::vector<ScheduledStart> tick(const TaskLines& lines);

    // Continues from a mark kept by this or another scheduler of the folder: the next tick
    // walks the minutes after it, those of the last catchUpMinutes (at most 3 hours) only,
    // and does not start again what the mark says was started. A mark ahead of the clock
    // (set back) is waited for as after a set-back while running. Later ticks walk as
    // always.
    void resume(const ScheduleMark& mark, CivilMinute catchUpMinutes);
    // The mark once every start of the last tick has been handed over.
    ScheduleMark mark() const { return {m_lastChecked, 0}; }
    // The mark once this start (and the ones before it in its tick) has been handed over.
    static ScheduleMark markAfter(const ScheduledStart& start);

    CivilMinute lastChecked() const { return m_lastChecked; }
    // Milliseconds from now to the start of the next wall-clock minute, where the next tick
    // belongs (at least 1).
    int msToNextMinute() const;

private:
    const Clock& m_clock;
    CivilMinute m_lastChecked;
    CivilMinute m_catchUp = kMaxCatchUpMinutes;
    bool m_resumed = false;
    std::size_t m_startedBefore = 0;  // of the minute after m_lastChecked
};

}  // namespace tvl
