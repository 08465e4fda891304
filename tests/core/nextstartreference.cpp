// The day-by-day walk kept to prove that the next start found by date arithmetic is the
// same for every rule.
#include "nextstartreference.h"

#include "core/minutewalk.h"
#include "core/regional.h"
#include "core/runplan.h"
#include "core/schedule.h"
#include "core/taskline.h"

namespace tvl::reference {

std::optional<LocalDateTime> nextStart(std::string_view line, const LocalDateTime& after,
                                       int lookaheadDays) {
    const StartRule r = startRule(line);
    if (!r.hasRunMode) {
        return std::nullopt;
    }
    const std::optional<int> start = parseStartTime(r.startTime);
    if (!start || !planStoredLine(line).ok()) {
        return std::nullopt;
    }
    const CivilMinute afterMinute = civilMinute(after);
    for (int d = 0; d <= lookaheadDays; ++d) {
        const CivilDate day = addDays(after.date, d);
        const LocalDateTime t{day, *start / 60, *start % 60, 0};
        if (civilMinute(t) <= afterMinute) {
            continue;
        }
        if (dueTest(line, t, formatShortDate(day)) == Due::Due) {
            return t;
        }
    }
    return std::nullopt;
}

}  // namespace tvl::reference
