#include "core/expected.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "core/regional.h"
#include "core/schedule.h"
#include "core/taskline.h"
#include "expectedreference.h"
#include "util/tasklines.h"

using namespace tvl;
using reference::ExpectedRow;
using tvl::test::taskLine;

namespace {

const std::array<std::string, 7> kNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

// The rows with their cells formed, sorted by the column first when one is given.
std::vector<ExpectedRow> expectedRows(const std::vector<std::string>& lines, const CivilDate& from,
                                      const CivilDate& to,
                                      const std::array<std::string, 7>& names = kNames,
                                      int sortColumn = -1) {
    ExpectedBackups backups = ExpectedBackups::compute(lines, from, to, names);
    backups.sort(sortColumn);
    std::vector<ExpectedRow> rows(backups.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < kExpectedColumns; ++c) {
            rows[r].cells[static_cast<std::size_t>(c)] = backups.cell(r, c);
        }
        rows[r].backupType = backups.backupType(r);
        rows[r].taskIndex = backups.taskIndex(r);
    }
    return rows;
}

std::vector<std::string> times(const std::vector<ExpectedRow>& rows) {
    std::vector<std::string> out;
    for (const ExpectedRow& r : rows) {
        out.push_back(r.cells[0]);
    }
    return out;
}

}  // namespace

TEST(ExpectedRows, CellsOfARow) {
    const auto rows =
        expectedRows({taskLine("Nightly", " 9:05", "1", '2')}, {2026, 3, 7}, {2026, 3, 7});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], "2026-03-07,  9:05 {Sat}");
    EXPECT_EQ(rows[0].cells[1], "Nightly");
    EXPECT_EQ(rows[0].cells[2], "10.0.0.5:1972");
    EXPECT_EQ(rows[0].cells[3], "/db/");
    EXPECT_EQ(rows[0].cells[4], "Incremental");
    EXPECT_EQ(rows[0].cells[5], "/bak/");
    EXPECT_EQ(rows[0].backupType, 2);

    std::array<std::string, 7> missing = kNames;
    missing[5].clear();
    EXPECT_EQ(expectedRows({taskLine("N", "09:05", "1")}, {2026, 3, 7}, {2026, 3, 7}, missing)[0]
                  .cells[0],
              "2026-03-07, 09:05 {}");
}

TEST(ExpectedRows, LinesTheEditorCannotLoadAreNamed) {
    const std::vector<std::string> lines = {taskLine("BadType", "10:00", "1", 'x'),
                                            taskLine("BadDate", "10:00",
                                                     "0"
                                                     "31.31.2026"),
                                            taskLine("NoMode", "10:00", ""),
                                            taskLine("Good", "10:00", "1")};
    const auto backups = ExpectedBackups::compute(lines, {2026, 3, 1}, {2026, 3, 1}, kNames);
    EXPECT_EQ(backups.unreadableTasks(), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(backups.size(), 1u);
}

TEST(ExpectedRows, IntervalBoundsAndClamp) {
    EXPECT_EQ(clampIntervalEnd({2026, 3, 1}, {2027, 6, 1}), (CivilDate{2027, 3, 1}));
    EXPECT_EQ(clampIntervalEnd({2026, 3, 1}, {2026, 3, 5}), (CivilDate{2026, 3, 5}));
    const std::vector<std::string> daily = {taskLine("D", "10:00", "1")};
    EXPECT_EQ(expectedRows(daily, {2026, 3, 1}, {2027, 6, 1}).size(), 366u);
    EXPECT_EQ(expectedRows(daily, {2026, 3, 5}, {2026, 3, 4}).size(), 0u);
    EXPECT_EQ(expectedRows({taskLine("O", "10:00", "0" + formatShortDate({2026, 4, 1}))},
                           {2026, 3, 1}, {2026, 3, 31})
                  .size(),
              0u);
}

TEST(ExpectedRows, WeeklyRowsComeGroupedByWeekdayAndSortByTime) {
    // 2026-12-07 is a Monday; Mondays and Thursdays over 14 days.
    auto rows = expectedRows({taskLine("W", "10:00", "21001000")}, {2026, 12, 7}, {2026, 12, 20});
    EXPECT_EQ(times(rows),
              (std::vector<std::string>{"2026-12-07, 10:00 {Mon}", "2026-12-14, 10:00 {Mon}",
                                        "2026-12-10, 10:00 {Thu}", "2026-12-17, 10:00 {Thu}"}));
    EXPECT_EQ(times(expectedRows({taskLine("W", "10:00", "21001000")}, {2026, 12, 7},
                                 {2026, 12, 20}, kNames, 0)),
              (std::vector<std::string>{"2026-12-07, 10:00 {Mon}", "2026-12-10, 10:00 {Thu}",
                                        "2026-12-14, 10:00 {Mon}", "2026-12-17, 10:00 {Thu}"}));
}

TEST(ExpectedRows, MonthlyOnItsDayOnly) {
    const auto rows = expectedRows(
        {taskLine("M", "10:00", "311111111111128"), taskLine("Z", "10:00", "311111111111105")},
        {2026, 1, 1}, {2026, 12, 31});
    ASSERT_EQ(rows.size(), 12u);
    for (const ExpectedRow& r : rows) {
        EXPECT_EQ(r.cells[0].substr(8, 2), "28");
        EXPECT_EQ(r.cells[1], "M");
    }
}

TEST(ExpectedRows, SortByColumnThenTimeThenListOrder) {
    std::vector<std::string> lines = {
        taskLine("b", "10:00", "1", '1'), taskLine("a", " 9:05", "1", '2'),
        taskLine("c", "10:00", "1", '0'), taskLine("a", "10:00", "1", '1')};
    auto rows = expectedRows(lines, {2026, 12, 7}, {2026, 12, 8}, kNames, 1);
    std::vector<std::pair<std::string, std::size_t>> got;
    for (const ExpectedRow& r : rows) {
        got.emplace_back(r.cells[1] + " " + r.cells[0].substr(0, 17), r.taskIndex);
    }
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::size_t>>{{"a 2026-12-07,  9:05", 1},
                                                                     {"a 2026-12-07, 10:00", 3},
                                                                     {"a 2026-12-08,  9:05", 1},
                                                                     {"a 2026-12-08, 10:00", 3},
                                                                     {"b 2026-12-07, 10:00", 0},
                                                                     {"b 2026-12-08, 10:00", 0},
                                                                     {"c 2026-12-07, 10:00", 2},
                                                                     {"c 2026-12-08, 10:00", 2}}));

    rows = expectedRows(lines, {2026, 12, 7}, {2026, 12, 8}, kNames, 4);
    EXPECT_EQ(rows.front().cells[4], "Cumulative");
    EXPECT_EQ(rows.back().cells[4], "Incremental");

    // Bytes compare unsigned: a name starting with 0xD0 sorts after plain letters.
    const std::vector<std::string> cyr = {taskLine("\xd0\x90", "10:00", "1"),
                                          taskLine("z", "10:00", "1")};
    EXPECT_EQ(expectedRows(cyr, {2026, 12, 7}, {2026, 12, 7}, kNames, 1)[0].cells[1], "z");
    // Equal Time cells keep list order.
    EXPECT_EQ(expectedRows(cyr, {2026, 12, 7}, {2026, 12, 7}, kNames, 0)[0].taskIndex, 0u);
}

// The preview never shows a backup the minute timer would not start, nor leaves one out:
// over random task lines and intervals, a row for task T on day D exists exactly when the
// timer, at day D and T's start time, would start T.
TEST(ExpectedRows, PropertyRowsAreExactlyTheStartsOfTheTimer) {
    std::mt19937 rng(20261207);
    auto pick = [&](std::initializer_list<const char*> xs) {
        std::vector<const char*> v(xs);
        return std::string(v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)]);
    };
    auto flags = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            s += pick({"0", "1", "1", "x"});
        }
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        const CivilDate from =
            addDays({2026, 1, 1}, std::uniform_int_distribution<int>(0, 800)(rng));
        const CivilDate to = addDays(from, std::uniform_int_distribution<int>(-3, 420)(rng));
        std::vector<std::string> lines;
        const int n = std::uniform_int_distribution<int>(1, 8)(rng);
        for (int i = 0; i < n; ++i) {
            const std::string time =
                pick({" 9:05", "09:05", "23:59", " 0:00", "  :  ", "24:00", "9:5"});
            const std::string type = pick({"0", "1", "2", "3", "x"});
            std::string rule;
            const std::string mode = pick({"0", "1", "2", "3", "7", ""});
            if (mode == "0") {
                const CivilDate d = addDays(from, std::uniform_int_distribution<int>(-5, 40)(rng));
                rule = "0" + pick({"", "x"}) + formatShortDate(d);
                if (rule[1] == 'x') {
                    rule = "0" + formatShortDate(d, "%d.%m.%Y");
                }
            } else if (mode == "2") {
                rule = "2" + flags(std::uniform_int_distribution<int>(0, 8)(rng));
            } else if (mode == "3") {
                rule = "3" + flags(std::uniform_int_distribution<int>(0, 12)(rng)) +
                       pick({"1", "5", "05", "28", "31", "", "123"});
            } else {
                rule = mode;
            }
            const std::string port = pick({"1972", "1972", ""});
            // "" makes a hidden line; a stray 0x06 in a name must not move the start rule.
            const std::string name = pick({"A", "B", "", "C", "X\x06y"});
            lines.push_back(name + "\x01h\x02" + port + "\x03/db/\x04/bak/\x05" + type + time +
                            "\x06" + rule);
        }

        std::set<std::tuple<std::size_t, std::int64_t>> fromRows;
        for (const ExpectedRow& r : expectedRows(lines, from, to)) {
            CivilDate d;
            ASSERT_TRUE(parseIsoDate(r.cells[0].substr(0, 10), d));
            EXPECT_TRUE(fromRows.emplace(r.taskIndex, daysFromCivil(d)).second) << "duplicate row";
        }

        std::set<std::tuple<std::size_t, std::int64_t>> fromTimer;
        const CivilDate end = clampIntervalEnd(from, to);
        for (std::int64_t day = daysFromCivil(from); day <= daysFromCivil(end); ++day) {
            const CivilDate d = civilFromDays(day);
            for (int minute : {0, 9 * 60 + 5, 23 * 60 + 59}) {
                const LocalDateTime t{d, minute / 60, minute % 60, 0};
                for (std::size_t i : dueTasks(lines, t)) {
                    fromTimer.emplace(i, day);
                }
            }
        }
        ASSERT_EQ(fromRows, fromTimer) << "round " << round;
    }
}

// Rows are kept as (task, day) and sorted by ranks; the cells and their order must be those
// of the rows formed as texts and sorted by comparing them, for every column, over tasks
// that share names, servers and start times, odd start times and Cyrillic bytes, and an
// interval across the year 10000 where the date texts stop following the dates.
TEST(ExpectedRows, SameCellsAndOrderAsRowsSortedByTheirTexts) {
    std::mt19937 rng(20261208);
    auto pick = [&](std::initializer_list<std::string> xs) {
        return *(xs.begin() + std::uniform_int_distribution<std::size_t>(0, xs.size() - 1)(rng));
    };
    const std::array<std::string, 7> names = {
        "Mon", "Tue", "", "Thu", "Fr", "Sat", "\xd0\x92\xd1\x81"};
    for (int round = 0; round < 40; ++round) {
        const CivilDate from =
            round == 0 ? CivilDate{9999, 11, 1}
                       : addDays({2026, 1, 1}, std::uniform_int_distribution<int>(0, 800)(rng));
        const CivilDate to = round == 0
                                 ? CivilDate{10000, 2, 1}
                                 : addDays(from, std::uniform_int_distribution<int>(-2, 400)(rng));
        std::vector<std::string> lines;
        const int n = std::uniform_int_distribution<int>(1, 30)(rng);
        for (int i = 0; i < n; ++i) {
            const std::string rule = pick({"1", "1", "21010100", "21111111",
                                           "3111111111111"
                                           "5",
                                           "0" + formatShortDate(addDays(from, i))});
            lines.push_back(taskLine({
                .name = pick({"A", "B", "a", "\xd0\x90", "AB", ""}),
                .ip = pick({"10.0.0.1", "10.0.0.10", "h"}),
                .port = pick({"1972", "56773"}),
                .dbPaths = pick({"/db/", "/db/a/;/db/b/", "/Db/"}),
                .saveDir = pick({"/bak/", "/bak2/"}),
                .type = pick({"0", "1", "2"})[0],
                .startTime = pick({" 9:05", "09:05", "9:05", "10:00", "  0:00", "23:59"}),
                .rule = rule,
            }));
        }
        auto ref = reference::expectedRows(lines, from, to, names);
        for (int column = -1; column < kExpectedColumns; ++column) {
            reference::sortRows(ref, column);
            const auto got = expectedRows(lines, from, to, names, column);
            ASSERT_EQ(got.size(), ref.size());
            for (std::size_t r = 0; r < got.size(); ++r) {
                ASSERT_EQ(got[r].cells, ref[r].cells) << "round " << round << " column " << column;
                ASSERT_EQ(got[r].taskIndex, ref[r].taskIndex);
                ASSERT_EQ(got[r].backupType, ref[r].backupType);
            }
        }
    }
}
