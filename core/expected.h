#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "civil.h"

namespace tvl {

inline constexpr int kMaxIntervalDays = 365;  // the end is clamped to start + 365 days

// One expected backup: Time, Name, Server IP:Port, Database, Type, Path; the backup type
// number picks the row's image.
struct ExpectedRow {
    std::array<std::string, 6> cells;
    LocalDateTime start;
    int backupType = 0;
    std::size_t taskIndex = 0;
};

// The end of an interval as the Date Interval dialog leaves it.
CivilDate clampIntervalEnd(const CivilDate& from, const CivilDate& to);

// Every backup the minute timer will start on the days from..to (both included, the end
// clamped), in the order the rules expand them. A row for a task on a day exists exactly
// when the due test of the task at that day and its start time answers due and the task
// passes the run's field check. weekdayNames are Monday first.
std::vector<ExpectedRow> expectedRows(const std::vector<std::string>& lines, const CivilDate& from,
                                      const CivilDate& to,
                                      const std::array<std::string, 7>& weekdayNames);

// Ascending by the bytes of the column (unsigned, a prefix first), ties by the Time cell,
// then by task-list order, then by the order the rows had (stable). Column 0 compares the
// Time cells only.
void sortRows(std::vector<ExpectedRow>& rows, int column);

}  // namespace tvl
