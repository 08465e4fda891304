#include "schedule.h"

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
    return dueTest(line, now, todayText) == Due::Due && planStoredLine(line).ok();
}

std::vector<std::size_t> dueTasks(const std::vector<std::string>& lines, const LocalDateTime& now) {
    std::vector<std::size_t> due;
    const std::string today = formatShortDate(now.date);
    const std::size_t saved = savedTaskCount(lines);
    for (std::size_t i = 0; i < saved; ++i) {
        if (wouldStart(lines[i], now, today)) {
            due.push_back(i);
        }
    }
    return due;
}

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

}  // namespace tvl
