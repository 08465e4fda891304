// The row computation and order as they were before rows became (task, day) pairs, kept
// to prove that the compact rows print the same bytes in the same order.
#include "expectedreference.h"

#include <algorithm>
#include <cstdint>

#include "core/regional.h"
#include "core/runplan.h"
#include "core/schedule.h"
#include "core/taskfile.h"
#include "core/taskline.h"

namespace tvl::reference {

namespace {

std::string timeCell(const CivilDate& d, const std::string& startTime, const std::string& dayName) {
    std::string s = std::to_string(d.year);
    s.reserve(s.size() + 10 + startTime.size() + dayName.size());
    const auto two = [&s](int v) {
        s += static_cast<char>('0' + v / 10);
        s += static_cast<char>('0' + v % 10);
    };
    s += '-';
    two(d.month);
    s += '-';
    two(d.day);
    s += ", ";
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

    std::vector<std::size_t> hits;
    const std::size_t saved = savedTaskCount(lines);
    for (std::size_t i = 0; i < saved; ++i) {
        const std::string& line = lines[i];
        const TaskFields f = splitTaskLine(line);
        if (!planStoredLine(line).ok()) {
            continue;
        }
        // Time and rule as the due test reads them, even from an odd hand-edited line.
        const StartRule rule = startRule(line);
        const std::optional<int> start = parseStartTime(rule.startTime);
        if (!start || rule.runMode < 0 || rule.runMode > 3) {
            continue;
        }
        const std::string startText(rule.startTime);
        if (rule.runMode == kOnce && dayTexts.empty()) {
            dayTexts.reserve(dayCount);
            for (const CivilDate& d : days) {
                dayTexts.push_back(formatShortDate(d));
            }
        }

        // The rows come from the same due test the minute timer applies, so the preview
        // cannot show a backup that will not start nor leave out one that will.
        hits.clear();
        auto addIfDue = [&](std::size_t k) {
            const LocalDateTime t{days[k], *start / 60, *start % 60, 0};
            const std::string_view today =
                rule.runMode == kOnce ? std::string_view(dayTexts[k]) : std::string_view();
            if (dueTest(line, t, today) == Due::Due) {
                hits.push_back(k);
            }
        };

        if (rule.runMode == kWeekly) {
            // Grouped by weekday: each of the first seven days, then every seventh day after.
            for (std::size_t k0 = 0; k0 < std::min<std::size_t>(7, dayCount); ++k0) {
                if (!tailFlag(rule.tail, isoWeekday(days[k0]))) {
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

        const std::string server = f.ip + ":" + f.port;
        const std::string type(backupTypeText(f.backupType));
        for (std::size_t k : hits) {
            ExpectedRow& row = rows.emplace_back();
            row.taskIndex = i;
            row.backupType = f.backupType;
            row.cells[0] = timeCell(days[k], startText, weekdayNames[isoWeekday(days[k]) - 1]);
            row.cells[1] = f.name;
            row.cells[2] = server;
            row.cells[3] = f.dbPaths;
            row.cells[4] = type;
            row.cells[5] = f.saveDir;
        }
    }
    return rows;
}

void sortRows(std::vector<ExpectedRow>& rows, int column) {
    if (column < 0 || column > 5 || rows.size() < 2) {
        return;
    }
    const std::size_t c = static_cast<std::size_t>(column);
    // Sorting positions instead of rows: a row is six strings, and moving them around in a
    // merge sort costs more than the comparisons.
    std::vector<std::uint32_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    std::stable_sort(order.begin(), order.end(), [&rows, c](std::uint32_t x, std::uint32_t y) {
        const ExpectedRow& a = rows[x];
        const ExpectedRow& b = rows[y];
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
    // Put the rows in place by following the permutation's cycles, without a second copy.
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) {
            continue;
        }
        ExpectedRow held = std::move(rows[i]);
        std::size_t j = i;
        while (order[j] != i) {
            const std::size_t from = order[j];
            rows[j] = std::move(rows[from]);
            order[j] = static_cast<std::uint32_t>(j);
            j = from;
        }
        rows[j] = std::move(held);
        order[j] = static_cast<std::uint32_t>(j);
    }
}

}  // namespace tvl::reference
