// The day-by-day walk kept to prove that the next start found by date arithmetic is the
// same for every rule.
#include "nextstartreference.h"

#include "core/minutewalk.h"
#include "core/regional.h"
#include "core/schedule.h"

namespace tvl::reference {

std::optional<LocalDateTime> nextStart(std::string_view line, const LocalDateTime& after,
                                       int lookaheadDays) {
    const CivilMinute afterMinute = civilMinute(after);
    const std::optional<int> start = startMinute(line);
    for (int d = 0; start && d <= lookaheadDays; ++d) {
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
