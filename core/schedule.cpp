#include "schedule.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "minutewalk.h"
#include "regional.h"
#include "runplan.h"
#include "taskfile.h"
#include "taskline.h"

namespace tvl {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<int> parseStartTime(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    const std::size_t hourStart = i;
    while (i < text.size() && isDigit(text[i]) && i - hourStart < 3) {
        ++i;
    }
    const std::size_t hourLen = i - hourStart;
    if (hourLen < 1 || hourLen > 2 || i >= text.size() || text[i] != ':') {
        return std::nullopt;
    }
    ++i;
    const std::size_t minuteLen = text.size() - i;
    if (minuteLen < 1 || minuteLen > 2) {
        return std::nullopt;
    }
    int hour = 0;
    for (std::size_t k = hourStart; k < hourStart + hourLen; ++k) {
        hour = hour * 10 + (text[k] - '0');
    }
    int minute = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) {
            return std::nullopt;
        }
        minute = minute * 10 + (text[i] - '0');
    }
    if (hour > 23 || minute > 59) {
        return std::nullopt;
    }
    return hour * 60 + minute;
}

std::string currentTimeText(int hour, int minute) {
    return std::to_string(hour) + (minute < 10 ? ":0" : ":") + std::to_string(minute);
}

Due dueTest(std::string_view line, const LocalDateTime& now) {
    return dueTest(line, now, formatShortDate(now.date));
}

Due dueTest(std::string_view line, const LocalDateTime& now, std::string_view todayText) {
    const StartRule r = startRule(line);
    if (!r.hasRule) {
        return Due::NotDue;
    }
    if (!r.hasRunMode) {
        return Due::Unreadable;
    }
    const std::optional<int> start = parseStartTime(r.startTime);
    if (!start) {
        return Due::Unreadable;
    }
    if (*start != now.hour * 60 + now.minute) {
        return Due::NotDue;
    }
    const std::string_view tail = r.tail;
    switch (r.runMode) {
        case kOnce:
            return tail == todayText ? Due::Due : Due::NotDue;
        case kDaily:
            return Due::Due;
        case kWeekly:
            return tailFlag(tail, isoWeekday(now.date)) ? Due::Due : Due::NotDue;
        case kMonthly: {
            if (!tailFlag(tail, now.date.month)) {
                return Due::NotDue;
            }
            const std::string_view day = tail.size() > 12 ? tail.substr(12, 2) : std::string_view{};
            return day == std::to_string(now.date.day) ? Due::Due : Due::NotDue;
        }
        default:
            return Due::NotDue;
    }
}

bool wouldStart(std::string_view line, const LocalDateTime& now, std::string_view todayText) {
    return dueTest(line, now, todayText) == Due::Due && storedLineCanStart(line);
}

std::vector<std::size_t> dueTasks(const TaskLines& lines, const LocalDateTime& now) {
    std::vector<std::size_t> due;
    const int minute = now.hour * 60 + now.minute;
    std::string today;
    const std::size_t saved = lines.savedCount();
    for (std::size_t i = 0; i < saved; ++i) {
        if (lines.startMinute(i) != minute) {
            continue;
        }
        if (today.empty()) {
            today = formatShortDate(now.date);
        }
        if (wouldStart(lines[i], now, today)) {
            due.push_back(i);
        }
    }
    return due;
}

namespace {

// The day number of a Monthly rule's day text, as the due test compares it: the text must
// be a day's number without a leading zero ("7", "31"). 0 when no day of a month has it.
int monthlyDay(std::string_view tail) {
    const std::string_view text = tail.size() > 12 ? tail.substr(12, 2) : std::string_view{};
    if (text.empty() || text.front() == '0') {
        return 0;
    }
    int day = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return 0;
        }
        day = day * 10 + (c - '0');
    }
    return day <= 31 ? day : 0;
}

bool dateAfter(const CivilDate& a, const CivilDate& b) {
    if (a.year != b.year) {
        return a.year > b.year;
    }
    return a.month != b.month ? a.month > b.month : a.day > b.day;
}

// A hash of a short text, eight bytes at a time.
std::uint64_t textHash(std::string_view text) {
    constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15ULL;
    std::uint64_t h = text.size();
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        h = (h ^ word) * kMix;
    }
    std::uint64_t rest = 0;
    for (; i < text.size(); ++i) {
        rest = rest << 8 | static_cast<unsigned char>(text[i]);
    }
    h = (h ^ rest) * kMix;
    return h ^ h >> 32;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The first day in [first, last] (day numbers) on which the rule's day test passes, found
// by date arithmetic; kNoDay when none. onceDay(text) is the day a Once date names,
// dateOf(day) the date of a day.
// No day: a plain number, not an optional, since this is asked for every line of a big file.
constexpr std::int64_t kNoDay = std::numeric_limits<std::int64_t>::min();

template <class OnceDay, class DateOf>
std::int64_t firstRuleDay(const StartRule& r, std::int64_t first, std::int64_t last,
                          OnceDay&& onceDay, DateOf&& dateOf) {
    switch (r.runMode) {
        case kDaily:
            return first;
        case kWeekly:
            for (std::int64_t day = first; day <= last && day < first + 7; ++day) {
                if (tailFlag(r.tail, static_cast<int>(((day % 7) + 7 + 3) % 7) + 1)) {
                    return day;
                }
            }
            return kNoDay;
        case kMonthly: {
            const int dayOfMonth = monthlyDay(r.tail);
            if (dayOfMonth == 0) {
                return kNoDay;
            }
            // Dates in calendar order are days in the same order: the months are walked by
            // date and only the day found is counted.
            const CivilDate from = dateOf(first);
            const CivilDate to = dateOf(last);
            CivilDate month{from.year, from.month, 1};
            while (!dateAfter(month, to)) {
                if (tailFlag(r.tail, month.month) &&
                    dayOfMonth <= daysInMonth(month.year, month.month)) {
                    const CivilDate date{month.year, month.month, dayOfMonth};
                    if (!dateAfter(from, date)) {
                        return dateAfter(date, to) ? kNoDay : daysFromCivil(date);
                    }
                }
                month = month.month == 12 ? CivilDate{month.year + 1, 1, 1}
                                          : CivilDate{month.year, month.month + 1, 1};
            }
            return kNoDay;
        }
        case kOnce: {
            const std::optional<std::int64_t> day = onceDay(r.tail);
            if (!day || *day < first || *day > last) {
                return kNoDay;
            }
            return *day;
        }
        default:
            return kNoDay;
    }
}

}  // namespace

std::optional<int> startMinute(std::string_view line) {
    const StartRule r = startRule(line);
    const std::optional<int> start = parseStartTime(r.startTime);
    if (!r.hasRunMode || !start || !storedLineCanStart(line)) {
        return std::nullopt;
    }
    return start;
}

std::optional<LocalDateTime> nextStart(std::string_view line, const LocalDateTime& after,
                                       int lookaheadDays) {
    return NextStartFinder(after, lookaheadDays)(line);
}

NextStartFinder::NextStartFinder(const LocalDateTime& after, int lookaheadDays)
    : m_after(after), m_today(daysFromCivil(after.date)), m_lookahead(lookaheadDays) {}

std::optional<LocalDateTime> NextStartFinder::operator()(std::string_view line) {
    const TaskLineReading reading = readTaskLine(line);
    return find(reading, parseStartTime(reading.rule.startTime).value_or(-1));
}

void NextStartFinder::forEachSaved(const TaskLines& lines, SavedRow row, void* context) {
    const std::size_t saved = lines.savedCount();
    for (std::size_t i = 0; i < saved; ++i) {
        const TaskLineReading line = lines.reading(i);
        row(context, i, line.fields.name, line.rule.runMode, find(line, lines.startMinute(i)));
    }
}

inline std::optional<LocalDateTime> NextStartFinder::find(const TaskLineReading& line, int start) {
    const StartRule& r = line.rule;
    if (!r.hasRunMode || start < 0 || !storedLineCanStart(line.fields)) {
        return std::nullopt;
    }
    const std::int64_t first = m_today + (start > m_after.hour * 60 + m_after.minute ? 0 : 1);
    const std::int64_t last = m_today + m_lookahead;
    if (first > last) {
        return std::nullopt;
    }
    // A Daily task starts on the first day it may: the most common rule asks no more.
    const std::int64_t day =
        r.runMode == kDaily
            ? first
            : firstRuleDay(
                  r, first, last, [this](std::string_view text) { return onceDay(text); },
                  [this](std::int64_t d) { return dateOf(d); });
    std::optional<LocalDateTime> next;
    if (day == kNoDay) {
        return next;
    }
    // Filled in place: a start made apart and copied in costs a stall on every line.
    next.emplace();
    next->date = dateOf(day);
    next->hour = start / 60;
    next->minute = start % 60;
    next->second = 0;
    return next;
}

// The due test compares a Once date as text with the day's short date; the text names one
// day at most, the one it parses to if that day is written the same.
std::optional<std::int64_t> NextStartFinder::onceDay(std::string_view dateText) {
    if (m_onceSlots.empty()) {
        m_onceSlots.resize(kOnceSlots);
        m_dateFormat = shortDateFormat();
    }
    OnceSlot& slot = m_onceSlots[textHash(dateText) % kOnceSlots];
    if (slot.filled && slot.text == dateText) {
        return slot.day;
    }
    std::optional<std::int64_t> day;
    const std::optional<CivilDate> date = parseShortDate(dateText, m_dateFormat);
    if (date && formatShortDate(*date, m_dateFormat) == dateText) {
        day = daysFromCivil(*date);
    }
    slot.text.assign(dateText);
    slot.day = day;
    slot.filled = true;
    return day;
}

CivilDate NextStartFinder::dateOfFar(std::int64_t day) {
    const std::int64_t k = day - m_today;
    if (m_dates.empty() && m_lookahead >= 0 && k >= 0 && k <= m_lookahead) {
        // Every day ahead at once: a list of many tasks asks for most of them.
        m_dates.reserve(static_cast<std::size_t>(m_lookahead) + 1);
        for (std::int64_t d = 0; d <= m_lookahead; ++d) {
            m_dates.push_back(civilFromDays(m_today + d));
        }
        return m_dates[static_cast<std::size_t>(k)];
    }
    return civilFromDays(day);
}

}  // namespace tvl
