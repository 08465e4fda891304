#include "expected.h"

#include <algorithm>
#include <cstdio>

#include "regional.h"
#include "schedule.h"
#include "taskfile.h"
#include "taskline.h"

namespace tvl {

CivilDate clampIntervalEnd(const CivilDate& from, const CivilDate& to) {
    const std::int64_t limit = daysFromCivil(from) + kMaxIntervalDays;
    return daysFromCivil(to) > limit ? civilFromDays(limit) : to;
}

namespace {

std::string timeCell(const CivilDate& d, const std::string& startTime, const std::string& dayName) {
    char date[32];
    std::snprintf(date, sizeof date, "%d-%02d-%02d, ", d.year, d.month, d.day);
    std::string s = date;
    s += startTime;
    s += " {";
    s += dayName;
    s += '}';
    return s;
}

}  // namespace

std::vector<ExpectedRow> expectedRows(const std::vector<std::string>& lines, const CivilDate& from,
                                      const CivilDate& to,
                                      const std::array<std::string, 7>& weekdayNames) {
    std::vector<ExpectedRow> rows;
    const std::int64_t first = daysFromCivil(from);
    const std::int64_t last = daysFromCivil(clampIntervalEnd(from, to));
    if (last < first) {
        return rows;
    }
    const std::size_t dayCount = static_cast<std::size_t>(last - first + 1);

    std::vector<CivilDate> days(dayCount);
    for (std::size_t k = 0; k < dayCount; ++k) {
        days[k] = civilFromDays(first + static_cast<std::int64_t>(k));
    }
    std::vector<std::string> dayTexts;  // short date texts, made only when a Once task needs them

    const std::size_t saved = savedTaskCount(lines);
    for (std::size_t i = 0; i < saved; ++i) {
        const std::string& line = lines[i];
        const TaskFields f = splitTaskLine(line);
        if (!canStart(f)) {
            continue;
        }
        const std::optional<int> start = parseStartTime(f.startTime);
        if (!start || f.runMode < 0 || f.runMode > 3) {
            continue;
        }
        if (f.runMode == kOnce && dayTexts.empty()) {
            dayTexts.reserve(dayCount);
            for (const CivilDate& d : days) {
                dayTexts.push_back(formatShortDate(d));
            }
        }

        // The rows come from the same due test the minute timer applies, so the preview
        // cannot show a backup that will not start nor leave out one that will.
        auto addIfDue = [&](std::size_t k) {
            const LocalDateTime t{days[k], *start / 60, *start % 60, 0};
            const std::string_view today =
                f.runMode == kOnce ? std::string_view(dayTexts[k]) : std::string_view();
            if (dueTest(line, t, today) != Due::Due) {
                return;
            }
            ExpectedRow row;
            row.taskIndex = i;
            row.backupType = f.backupType;
            row.cells[0] = timeCell(days[k], f.startTime, weekdayNames[isoWeekday(days[k]) - 1]);
            row.cells[1] = f.name;
            row.cells[2] = f.ip + ":" + f.port;
            row.cells[3] = f.dbPaths;
            row.cells[4] = std::string(backupTypeText(f.backupType));
            row.cells[5] = f.saveDir;
            rows.push_back(std::move(row));
        };

        if (f.runMode == kWeekly) {
            // Grouped by weekday: each of the first seven days, then every seventh day after.
            for (std::size_t k0 = 0; k0 < std::min<std::size_t>(7, dayCount); ++k0) {
                if (!tailFlag(f.tail, isoWeekday(days[k0]))) {
                    continue;
                }
                for (std::size_t k = k0; k < dayCount; k += 7) {
                    addIfDue(k);
                }
            }
        } else {
            for (std::size_t k = 0; k < dayCount; ++k) {
                addIfDue(k);
            }
        }
    }
    return rows;
}

void sortRows(std::vector<ExpectedRow>& rows, int column) {
    if (column < 0 || column > 5) {
        return;
    }
    const std::size_t c = static_cast<std::size_t>(column);
    std::stable_sort(rows.begin(), rows.end(), [c](const ExpectedRow& a, const ExpectedRow& b) {
        if (c != 0) {
            const int r = a.cells[c].compare(b.cells[c]);
            if (r != 0) {
                return r < 0;
            }
        }
        const int t = a.cells[0].compare(b.cells[0]);
        if (t != 0) {
            return t < 0;
        }
        return a.taskIndex < b.taskIndex;
    });
}

}  // namespace tvl
