#include "schedule.h"

#include "minutewalk.h"
#include "regional.h"
#include "taskfile.h"
#include "taskline.h"

namespace tvl {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The rule text and its start-time text as the due test finds them: everything from the
// second byte after the first 0x05, cut at its first 0x06.
struct RuleParts {
    bool hasRule = false;     // a non-empty rule text
    bool hasRunMode = false;  // a 0x06 in the rule text
    std::string_view startTime;
    std::string_view afterSep;  // run-mode character and tail
};

RuleParts ruleParts(std::string_view line) {
    RuleParts r;
    const std::size_t p5 = line.find(kSepType);
    if (p5 == std::string_view::npos || p5 + 2 > line.size()) {
        return r;
    }
    const std::string_view rule = line.substr(p5 + 2);
    if (rule.empty()) {
        return r;
    }
    r.hasRule = true;
    const std::size_t p6 = rule.find(kSepRunMode);
    if (p6 == std::string_view::npos) {
        return r;
    }
    r.hasRunMode = true;
    r.startTime = rule.substr(0, p6);
    r.afterSep = rule.substr(p6 + 1);
    return r;
}

}  // namespace

StartRule startRule(std::string_view line) {
    const RuleParts r = ruleParts(line);
    StartRule rule;
    rule.hasRunMode = r.hasRunMode;
    rule.startTime = r.startTime;
    if (!r.afterSep.empty()) {
        const char c = r.afterSep.front();
        rule.runMode = (c >= '0' && c <= '9') ? c - '0' : -1;
        rule.tail = r.afterSep.substr(1);
    }
    return rule;
}

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
    if (text.size() - i != 2 || !isDigit(text[i]) || !isDigit(text[i + 1])) {
        return std::nullopt;
    }
    int hour = 0;
    for (std::size_t k = hourStart; k < hourStart + hourLen; ++k) {
        hour = hour * 10 + (text[k] - '0');
    }
    const int minute = (text[i] - '0') * 10 + (text[i + 1] - '0');
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
    const RuleParts r = ruleParts(line);
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
    if (r.afterSep.empty()) {
        return Due::NotDue;
    }
    const std::string_view tail = r.afterSep.substr(1);
    switch (r.afterSep.front()) {
        case '0':
            return tail == todayText ? Due::Due : Due::NotDue;
        case '1':
            return Due::Due;
        case '2':
            return tailFlag(tail, isoWeekday(now.date)) ? Due::Due : Due::NotDue;
        case '3': {
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
    return dueTest(line, now, todayText) == Due::Due && canStart(splitTaskLine(line));
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
    const RuleParts r = ruleParts(line);
    if (!r.hasRunMode) {
        return std::nullopt;
    }
    const std::optional<int> start = parseStartTime(r.startTime);
    if (!start || !canStart(splitTaskLine(line))) {
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
