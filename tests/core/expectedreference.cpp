// The row computation and order as they were before rows became (task, day) pairs, kept
// to prove that the compact rows print the same bytes in the same order.
#include "expectedreference.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "core/regional.h"
#include "core/runplan.h"
#include "core/schedule.h"
#include "core/taskfile.h"
#include "core/taskline.h"

namespace tvl::reference {

namespace {

std::string timeCell(const CivilDate& d, const std::string& startTime, const std::string& dayName) {
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", d.year, d.month, d.day);
    return std::string(date) + ", " + startTime + " {" + dayName + "}";
}

// The rows of one task: every day asked of the due test, with no short cut. Weekly rows
// come grouped by weekday: each of the first seven days, then every seventh day after it.
void addRows(std::vector<ExpectedRow>& rows, std::size_t index, const std::string& line, int start,
             const std::vector<CivilDate>& days, const std::array<std::string, 7>& weekdayNames) {
    const StartRule rule = startRule(line);
    const TaskFields f = splitTaskLine(line);
    const std::size_t stride = rule.runMode == kWeekly ? 7 : 1;
    for (std::size_t k0 = 0; k0 < std::min(stride, days.size()); ++k0) {
        for (std::size_t k = k0; k < days.size(); k += stride) {
            const CivilDate& d = days[k];
            const std::string today = rule.runMode == kOnce ? formatShortDate(d) : "";
            if (dueTest(line, {d, start / 60, start % 60, 0}, today) != Due::Due) {
                continue;
            }
            rows.push_back(
                {{timeCell(d, std::string(rule.startTime), weekdayNames[isoWeekday(d) - 1]), f.name,
                  f.ip + ":" + f.port, f.dbPaths, std::string(backupTypeText(f.backupType)),
                  f.saveDir},
                 f.backupType,
                 index});
        }
    }
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
    for (std::size_t i = 0; i < savedTaskCount(lines); ++i) {
        // Time and rule as the due test reads them, even from an odd hand-edited line.
        const StartRule rule = startRule(lines[i]);
        const std::optional<int> start = parseStartTime(rule.startTime);
        if (start && planStoredLine(lines[i]).ok()) {
            addRows(rows, i, lines[i], *start, days, weekdayNames);
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
