#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "civil.h"
#include "taskline.h"
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

// nextStart for many lines after one minute: what is the same for every line (the day, the
// short date format, the days that Once dates name) is worked out once.
class NextStartFinder {
public:
    explicit NextStartFinder(const LocalDateTime& after, int lookaheadDays = 366);
    std::optional<LocalDateTime> operator()(std::string_view line);

    // The next start of each saved task of `lines`, in order: row(i, its name, its start
    // rule's run mode, its next start). A list whose separators were kept when its file
    // was cut (TaskFileRead::separators) is read without searching its lines again.
    using SavedRow = void (*)(void* context, std::size_t i, std::string_view name, int runMode,
                              const std::optional<LocalDateTime>& next);
    void forEachSaved(const TaskLines& lines, SavedRow row, void* context);
    template <class Row>
    void forEachSaved(const TaskLines& lines, Row&& row) {
        forEachSaved(
            lines,
            [](void* context, std::size_t i, std::string_view name, int runMode,
               const std::optional<LocalDateTime>& next) {
                (*static_cast<std::remove_reference_t<Row>*>(context))(i, name, runMode, next);
            },
            &row);
    }

private:
    // operator() for a line read already, with its start minute as TaskLines::startMinute
    // gives it (-1: a start time that cannot be read); inline where every saved task of a
    // list is looked at.
    [[gnu::always_inline]] inline std::optional<LocalDateTime> find(const TaskLineReading& line,
                                                                    int start);
    std::optional<std::int64_t> onceDay(std::string_view dateText);
    // The date of a day: the days ahead are kept once one is asked for.
    CivilDate dateOf(std::int64_t day) {
        const auto k = static_cast<std::uint64_t>(day - m_today);
        return k < m_dates.size() ? m_dates[k] : dateOfFar(day);
    }
    CivilDate dateOfFar(std::int64_t day);

    LocalDateTime m_after;
    std::int64_t m_today;
    int m_lookahead;
    std::string m_dateFormat;
    // The day each Once date text names (no value: none), for the texts met lately: a
    // slot for each hash of a text, taken over by the next text of that hash. A file of
    // Once tasks names few dates many times; a hostile one cannot grow the memo.
    struct OnceSlot {
        std::string text;
        std::optional<std::int64_t> day;
        bool filled = false;
    };
    static constexpr std::size_t kOnceSlots = 1024;
    std::vector<OnceSlot> m_onceSlots;  // made when the first Once task is met
    std::vector<CivilDate> m_dates;     // of the days from today on, when one was asked for
};

}  // namespace tvl
