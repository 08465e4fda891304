#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "civil.h"
#include "tasklines.h"

namespace tvl {

enum class Due { Due, NotDue, Unreadable };

// A start time as a time of day in minutes: leading blanks ignored, hour 0..23 in one or
// two digits, ":", minutes 0..59 in one or two digits (a hand-edited "9:5" is 9:05),
// nothing after them. No value otherwise.
std::optional<int> parseStartTime(std::string_view text);

// Hour without leading zero, ":", two-digit minutes: 9:05, 14:30.
std::string currentTimeText(int hour, int minute);

// Is the task of this line due in the given local minute? The Once date is compared as
// text with today's date in the short date format of the locale.
Due dueTest(std::string_view line, const LocalDateTime& now);
// The same with today's short date text given, for callers that test many lines at once.
Due dueTest(std::string_view line, const LocalDateTime& now, std::string_view todayText);

// Due and able to start (the run's field check passes).
bool wouldStart(std::string_view line, const LocalDateTime& now, std::string_view todayText);

// Indices of the tasks the minute timer starts in this minute, in task-list order. Hidden
// lines are never started; a line whose start time cannot be read is passed over. Only the
// lines whose start minute is this minute are read.
std::vector<std::size_t> dueTasks(const TaskLines& lines, const LocalDateTime& now);

// The minute of the day at which the task of this line starts on the days its rule names;
// no value when it never starts: no run mode, a start time that cannot be read, or fields
// the run refuses.
std::optional<int> startMinute(std::string_view line);

// The first minute strictly after `after` at which the task of this line would start,
// looking ahead at most `lookaheadDays` days; no value when there is none.
std::optional<LocalDateTime> nextStart(std::string_view line, const LocalDateTime& after,
                                       int lookaheadDays = 366);

}  // namespace tvl
