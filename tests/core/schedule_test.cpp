#include "core/schedule.h"

#include <gtest/gtest.h>

#include <random>

#include "core/regional.h"
#include "nextstartreference.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::test::taskLine;

namespace {

LocalDateTime at(int y, int mo, int d, int h, int mi) {
    return {{y, mo, d}, h, mi, 0};
}

}  // namespace

TEST(StartTime, ReadsTimesAsTimes) {
    EXPECT_EQ(parseStartTime(" 9:05"), 9 * 60 + 5);
    EXPECT_EQ(parseStartTime("09:05"), 9 * 60 + 5);
    EXPECT_EQ(parseStartTime("9:05"), 9 * 60 + 5);
    EXPECT_EQ(parseStartTime("23:59"), 23 * 60 + 59);
    EXPECT_EQ(parseStartTime(" 0:00"), 0);
    EXPECT_EQ(parseStartTime("9:5"), 9 * 60 + 5) << "one minute digit, as hand-edited";
    EXPECT_EQ(parseStartTime(" 12:7"), 12 * 60 + 7);
    for (const char* bad : {"", "  :  ", "24:00", "12:60", "25:99", "1 :05", "12: 5", "12:5 ",
                            "12:05 ", "12:", "12:123", "9:6x", "a:00", "123:00", ":05"}) {
        EXPECT_FALSE(parseStartTime(bad)) << '"' << bad << '"';
    }
    EXPECT_EQ(currentTimeText(9, 5), "9:05");
    EXPECT_EQ(currentTimeText(14, 30), "14:30");
    EXPECT_EQ(currentTimeText(0, 0), "0:00");
}

TEST(DueTest, DailyAtItsMinuteOnly) {
    for (const std::string time : {" 9:05", "09:05"}) {
        const std::string line = taskLine("T", time, "1");
        EXPECT_EQ(dueTest(line, at(2026, 12, 7, 9, 5)), Due::Due);
        EXPECT_EQ(dueTest(line, at(2026, 12, 7, 9, 6)), Due::NotDue);
        EXPECT_EQ(dueTest(line, at(2026, 12, 7, 21, 5)), Due::NotDue);
    }
}

TEST(DueTest, WeeklyMonthlyAndOnce) {
    const std::string sundays = taskLine("T", "10:00", "20000001");
    const std::string mondays = taskLine("T", "10:00", "21000000");
    EXPECT_EQ(dueTest(sundays, at(2026, 12, 13, 10, 0)), Due::Due);
    EXPECT_EQ(dueTest(sundays, at(2026, 12, 7, 10, 0)), Due::NotDue);
    EXPECT_EQ(dueTest(mondays, at(2026, 12, 7, 10, 0)), Due::Due);
    EXPECT_EQ(dueTest(taskLine("T", "10:00", "2111"), at(2026, 12, 13, 10, 0)), Due::NotDue)
        << "a flag past the end of the line is off";

    const std::string firsts = taskLine("T", "10:00", "31111111111111");
    EXPECT_EQ(dueTest(firsts, at(2026, 7, 1, 10, 0)), Due::Due);
    EXPECT_EQ(dueTest(firsts, at(2026, 7, 2, 10, 0)), Due::NotDue);
    const std::string dec28 = taskLine("T", "10:00", "300000000000128");
    EXPECT_EQ(dueTest(dec28, at(2026, 12, 28, 10, 0)), Due::Due);
    EXPECT_EQ(dueTest(dec28, at(2026, 11, 28, 10, 0)), Due::NotDue);
    EXPECT_EQ(dueTest(taskLine("T", "10:00", "311111111111105"), at(2026, 7, 5, 10, 0)),
              Due::NotDue)
        << "a day stored as 05 never matches 5";
    EXPECT_EQ(dueTest(taskLine("T", "10:00", "3111111111111"), at(2026, 7, 5, 10, 0)), Due::NotDue);

    const std::string once = taskLine("T", "10:00", "0" + formatShortDate({2026, 12, 7}));
    EXPECT_EQ(dueTest(once, at(2026, 12, 7, 10, 0)), Due::Due);
    EXPECT_EQ(dueTest(once, at(2026, 12, 8, 10, 0)), Due::NotDue);
    EXPECT_EQ(dueTest(taskLine("T", "10:00", "007.12.2026"), at(2026, 12, 7, 10, 0)), Due::NotDue)
        << "a date stored under another format never matches";
    EXPECT_EQ(dueTest(taskLine("T", "10:00", "0"), at(2026, 12, 7, 10, 0)), Due::NotDue);
}

TEST(DueTest, MalformedRules) {
    const LocalDateTime t = at(2026, 12, 7, 10, 0);
    EXPECT_EQ(dueTest(taskLine("T", "10:00", "7"), t), Due::NotDue);
    EXPECT_EQ(dueTest(taskLine("T", "10:00", ""), t), Due::NotDue);
    EXPECT_EQ(dueTest(taskLine("T", "  :  ", "1"), t), Due::Unreadable);
    EXPECT_EQ(dueTest(taskLine("T", "25:99", "1"), t), Due::Unreadable);
    EXPECT_EQ(dueTest("T\x01ip\x02p\x03"
                      "d\x04o\x05"
                      "110:00",
                      t),
              Due::Unreadable)
        << "no run-mode separator";
    EXPECT_EQ(dueTest("T\x01ip\x02p\x03"
                      "d\x04o\x05"
                      "1",
                      t),
              Due::NotDue)
        << "empty rule text";
    EXPECT_EQ(dueTest("no separators at all", t), Due::NotDue);
}

TEST(DueTasks, SkipsUnreadableLinesHiddenLinesAndTasksThatCannotStart) {
    const LocalDateTime t = at(2026, 12, 7, 10, 0);
    const std::vector<std::string> lines = {
        taskLine("A", "10:00", "1"),
        taskLine("Broken", "  :  ", "1"),
        taskLine("BadMode", "10:00", "7"),
        taskLine("BadType", "10:00", "1", '3'),
        "E\x01ip\x02\x03/db/\x04/bak/\x05"
        "110:00\x06"
        "1",  // no port
        taskLine("B", "10:00", "1"),
        taskLine("", "10:00", "1"),  // begins with 0x01: hidden from here on
        taskLine("AfterHidden", "10:00", "1"),
    };
    EXPECT_EQ(dueTasks(lines, t), (std::vector<std::size_t>{0, 5}));
}

TEST(NextStart, FindsTheNextMinuteAfterNow) {
    const std::string daily = taskLine("T", " 9:05", "1");
    EXPECT_EQ(nextStart(daily, at(2026, 12, 7, 9, 4)), at(2026, 12, 7, 9, 5));
    EXPECT_EQ(nextStart(daily, at(2026, 12, 7, 9, 5)), at(2026, 12, 8, 9, 5)) << "strictly after";
    EXPECT_EQ(nextStart(taskLine("T", "10:00", "300000000000128"), at(2026, 12, 29, 0, 0)),
              at(2027, 12, 28, 10, 0));
    EXPECT_FALSE(nextStart(taskLine("T", "10:00", "2"), at(2026, 12, 7, 0, 0)));
    EXPECT_FALSE(nextStart(taskLine("T", "10:00", "1", '5'), at(2026, 12, 7, 0, 0)));
    EXPECT_FALSE(nextStart(taskLine("T", "10:00", "0" + formatShortDate({2026, 12, 6})),
                           at(2026, 12, 7, 0, 0)));
}

// Every day of a leap year and a common year as "now", each with a few rules of every shape
// and a look-ahead that is mostly the year `list` uses: the next start found by date
// arithmetic is the one the day-by-day walk through the due test finds.
TEST(NextStart, SameAsWalkingEveryDayThroughTheDueTest) {
    std::vector<std::string> onceDates;
    for (CivilDate d{2023, 12, 1}; d.year < 2027 || d.month < 3; d = addDays(d, 1)) {
        onceDates.push_back(formatShortDate(d));
    }
    test::TaskLineGenerator rules(16);
    test::TaskLineGenerator damaged(61);
    std::mt19937 rng(7);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const int lookaheads[] = {366, 366, 366, 366, 0, 1, 6, 31, 400};
    for (CivilDate day{2024, 1, 1}; day.year < 2026; day = addDays(day, 1)) {
        for (int k = 0; k < 12; ++k) {
            const std::string line = k == 0 ? damaged.line() : rules.ruleLine(onceDates);
            const LocalDateTime now{day, below(24), below(60), below(60)};
            const int ahead = lookaheads[below(9)];
            ASSERT_EQ(nextStart(line, now, ahead), reference::nextStart(line, now, ahead))
                << testing::PrintToString(line) << " after " << isoDateText(day) << ' ' << now.hour
                << ':' << now.minute << " within " << ahead << " days";
        }
    }
    // One finder over many lines, as list uses it: more Once dates than it remembers, so
    // a remembered date gives way to another and is worked out again when met again. The
    // same lines cut from one text with their separators kept, walked as list walks them.
    const LocalDateTime now{{2025, 2, 27}, 10, 0, 0};
    NextStartFinder finder(now);
    std::vector<std::string> lines;
    std::string text;
    for (int k = 0; k < 6000; ++k) {
        lines.push_back(rules.ruleLine(onceDates));
        ASSERT_EQ(finder(lines.back()), reference::nextStart(lines.back(), now, 366))
            << testing::PrintToString(lines.back());
        text += lines.back() + "\r\n";
    }
    TaskLines cut;
    ASSERT_TRUE(cut.assign(nullptr, text, lines.size(), true));
    ASSERT_EQ(cut.savedCount(), lines.size());
    std::size_t walked = 0;
    NextStartFinder(now).forEachSaved(cut, [&](std::size_t i, std::string_view name, int runMode,
                                               const std::optional<LocalDateTime>& next) {
        const std::string& line = lines[i];
        EXPECT_EQ(name, lineTaskName(line));
        EXPECT_EQ(runMode, startRule(line).runMode);
        EXPECT_EQ(next, reference::nextStart(line, now, 366)) << testing::PrintToString(line);
        walked = i + 1;
    });
    EXPECT_EQ(walked, lines.size());
}
