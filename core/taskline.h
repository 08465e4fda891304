#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tvl {

// Separator bytes of a task line, each used once and in rising order.
inline constexpr char kSepIp = '\x01';
inline constexpr char kSepPort = '\x02';
inline constexpr char kSepPaths = '\x03';
inline constexpr char kSepSaveDir = '\x04';
inline constexpr char kSepType = '\x05';
inline constexpr char kSepRunMode = '\x06';

enum RunMode : int { kOnce = 0, kDaily = 1, kWeekly = 2, kMonthly = 3 };

// The fields of one task line, as owned texts or as views into the line; one shape for
// both, so a field added to one reading is in the other too. Digit fields hold -1 when the
// byte at their place is missing or is not a decimal digit.
template <class Text>
struct BasicTaskFields {
    Text name;
    Text ip;
    Text port;
    Text dbPaths;
    Text saveDir;
    int backupType = -1;
    Text startTime;
    int runMode = -1;
    Text tail;
    friend bool operator==(const BasicTaskFields&, const BasicTaskFields&) = default;
};
using TaskFields = BasicTaskFields<std::string>;
using TaskFieldViews = BasicTaskFields<std::string_view>;

// The two readings of a line. The fields, for the editor and the run: every separator is
// found by searching the whole line for the first byte of its value; a field whose
// separators are missing or out of order is empty, and so is the name of a line that
// holds no 0x01. The views point into the line, for readers that only look at them.
TaskFields splitTaskLine(std::string_view line);
TaskFieldViews splitTaskLineViews(std::string_view line);

// The start rule, for the due test: the start-time text and run mode come from the first
// 0x06 after the first 0x05, so a stray 0x06 in an earlier field does not move them.
// hasRule is false when nothing follows the backup type digit; hasRunMode is false when
// the rule holds no 0x06; runMode is -1 when the byte after it is missing or no digit.
// The views point into the line.
struct StartRule {
    bool hasRule = false;
    bool hasRunMode = false;
    std::string_view startTime;
    int runMode = -1;
    std::string_view tail;
    friend bool operator==(const StartRule&, const StartRule&) = default;
};
StartRule startRule(std::string_view line);

// Both readings of a line from one pass over its bytes, for readers of every line of a
// big file; splitTaskLineViews and startRule give the same views.
struct TaskLineReading {
    TaskFieldViews fields;
    StartRule rule;
    friend bool operator==(const TaskLineReading&, const TaskLineReading&) = default;
};
TaskLineReading readTaskLine(std::string_view line);

// Where a line's separators are: the first of each of 0x01..0x06 in that order (npos when
// the line holds none), and the first 0x06 of the start rule, after the backup type's digit.
struct LineSeparators {
    static constexpr std::size_t kNone = std::string_view::npos;
    std::array<std::size_t, 6> first = {kNone, kNone, kNone, kNone, kNone, kNone};
    std::size_t ruleMode = kNone;
};
LineSeparators findSeparators(std::string_view line);
namespace lineparts {

// The digit at `pos`, -1 when the line is shorter or the byte is no decimal digit.
inline int digitAt(std::string_view line, std::size_t pos) {
    if (pos >= line.size()) {
        return -1;
    }
    const char c = line[pos];
    return (c >= '0' && c <= '9') ? c - '0' : -1;
}

// The bytes between two separators at offsets within the line; empty when either is
// missing (npos) or they are out of order.
inline std::string_view between(std::string_view line, std::size_t from, std::size_t to) {
    if (from == std::string_view::npos || to == std::string_view::npos || to < from + 1) {
        return {};
    }
    return {line.data() + from + 1, to - from - 1};
}

}  // namespace lineparts

// readTaskLine for a line whose separators were found already. Inline: a reader of every
// line of a big file (TaskLines::reading) builds the reading from kept separators, and the
// views it does not look at cost nothing then.
[[gnu::always_inline]] inline TaskLineReading readTaskLine(std::string_view line,
                                                           const LineSeparators& at) {
    using lineparts::between;
    using lineparts::digitAt;
    constexpr auto npos = LineSeparators::kNone;
    const std::size_t s1 = at.first[0];
    const std::size_t s2 = at.first[1];
    const std::size_t s3 = at.first[2];
    const std::size_t s4 = at.first[3];
    const std::size_t s5 = at.first[4];
    const std::size_t s6 = at.first[5];
    const std::size_t ruleMode = at.ruleMode;
    const std::size_t size = line.size();
    // The bytes from `from` to the end of the line; `from` is at most its size.
    auto rest = [line](std::size_t from) {
        return std::string_view(line.data() + from, line.size() - from);
    };

    // Every view is worked out first and the reading made in one piece: this runs for every
    // line of a big file, and a reading filled in after a cleared start costs more than its
    // fields.
    const bool typed = s5 != npos;
    const bool moded = s6 != npos;
    // The start rule: nothing after the backup type's digit is no rule.
    const bool hasRule = typed && s5 + 2 < size;
    const bool hasRunMode = hasRule && ruleMode != npos;
    const bool ruleHasMode = hasRunMode && ruleMode + 1 < size;
    return TaskLineReading{
        TaskFieldViews{
            s1 != npos ? std::string_view(line.data(), s1) : std::string_view(),
            between(line, s1, s2),
            between(line, s2, s3),
            between(line, s3, s4),
            between(line, s4, s5),
            typed ? digitAt(line, s5 + 1) : -1,
            typed && moded && s6 >= s5 + 2 ? std::string_view(line.data() + s5 + 2, s6 - s5 - 2)
                                           : std::string_view(),
            moded ? digitAt(line, s6 + 1) : -1,
            moded && s6 + 2 <= size ? rest(s6 + 2) : std::string_view(),
        },
        StartRule{
            hasRule,
            hasRunMode,
            hasRunMode ? std::string_view(line.data() + s5 + 2, ruleMode - s5 - 2)
                       : std::string_view(),
            ruleHasMode ? digitAt(line, ruleMode + 1) : -1,
            ruleHasMode ? rest(ruleMode + 2) : std::string_view(),
        },
    };
}

// The task name of a line: the bytes before its first 0x01, empty when it holds none.
std::string_view lineTaskName(std::string_view line);

// True when the text holds a byte 0x00..0x1F anywhere (pasted text can carry them).
bool hasControlBytes(std::string_view text);

// Joins the fields into one line. No value when a text field holds a byte 0x00..0x1F
// (it would corrupt the line or the file) or a digit field is not 0..9.
std::optional<std::string> buildTaskLine(const TaskFields& fields);

// Schedule tails as the editor writes them.
std::string weekdayTail(const std::array<bool, 7>& mondayFirst);
std::string monthTail(const std::array<bool, 12>& januaryFirst, std::string_view dayText);
// Flag k (1-based) of a tail: only the byte "1" is on; a missing byte is off.
inline bool tailFlag(std::string_view tail, int k) {
    return k >= 1 && static_cast<std::size_t>(k) <= tail.size() && tail[k - 1] == '1';
}
// The day of a Monthly tail: everything after the 12 month flags.
std::string_view monthDayText(std::string_view tail);

// A line whose first byte is 0x01 (an empty task name) and every line after it are kept
// and written back, but are not tasks of the selector and are never started.
bool isHiddenLine(std::string_view line);

// "Cumulative", "Full", "Incremental" for 0, 1, 2; empty for any other digit.
std::string_view backupTypeText(int digit);

// Gives a path text its closing separator: "/" when it starts with "/", else "\". A text
// that already ends with "/" or "\" is left alone.
std::string addPathEnd(std::string_view path);

// Removes bytes up to 0x20 from both ends.
std::string trimText(std::string_view text);
// Tidying of an editor field: trimmed ends and no byte 0x00..0x1F inside.
std::string tidyText(std::string_view text);

}  // namespace tvl
