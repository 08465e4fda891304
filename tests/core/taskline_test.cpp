#include "core/taskline.h"

#include <gtest/gtest.h>

#include <random>

using namespace tvl;

namespace {
const std::string kNightly =
    "Nightly\x01"
    "10.0.0.5\x02"
    "5000\x03"
    "c:\\db\\user\\;c:\\db\\test\\\x04"
    "d:\\bak\\\x05"
    "123:30\x06"
    "21111100";
}

TEST(TaskLine, SplitsEveryFieldOfAWeeklyLine) {
    const TaskFields f = splitTaskLine(kNightly);
    EXPECT_EQ(f.name, "Nightly");
    EXPECT_EQ(f.ip, "10.0.0.5");
    EXPECT_EQ(f.port, "5000");
    EXPECT_EQ(f.dbPaths, "c:\\db\\user\\;c:\\db\\test\\");
    EXPECT_EQ(f.saveDir, "d:\\bak\\");
    EXPECT_EQ(f.backupType, 1);
    EXPECT_EQ(f.startTime, "23:30");
    EXPECT_EQ(f.runMode, 2);
    EXPECT_EQ(f.tail, "1111100");
}

TEST(TaskLine, BuildIsTheInverseOfSplit) {
    const TaskFields f = splitTaskLine(kNightly);
    ASSERT_TRUE(buildTaskLine(f).has_value());
    EXPECT_EQ(*buildTaskLine(f), kNightly);

    TaskFields daily = f;
    daily.runMode = kDaily;
    daily.tail.clear();
    daily.startTime = " 9:05";
    const std::string line = *buildTaskLine(daily);
    EXPECT_EQ(line.back(), '1') << "a Daily line ends with its run mode digit";
    EXPECT_EQ(splitTaskLine(line), daily);
}

TEST(TaskLine, NonDigitAndMissingFieldsAreFlagged) {
    TaskFields f = splitTaskLine("X\x01ip\x02port\x03p\x04o\x05x 9:05\x06z");
    EXPECT_EQ(f.backupType, -1);
    EXPECT_EQ(f.runMode, -1);
    EXPECT_EQ(f.startTime, " 9:05");

    // A line without 0x01 has no name: the selector shows an empty entry for it.
    f = splitTaskLine("only a name");
    EXPECT_EQ(f.name, "");
    EXPECT_EQ(lineTaskName("only\x02a name"), "");
    EXPECT_TRUE(f.ip.empty());
    EXPECT_EQ(f.backupType, -1);
    EXPECT_EQ(f.runMode, -1);

    // Separators are found by their first occurrence, so a stray 0x02 before 0x01 empties
    // the server IP instead of reading garbage.
    f = splitTaskLine(
        "A\x02"
        "B\x01"
        "C\x03");
    EXPECT_EQ(f.name,
              "A\x02"
              "B");
    EXPECT_TRUE(f.ip.empty());
}

TEST(TaskLine, BuilderRefusesControlBytesAnywhereInATextField) {
    TaskFields f = splitTaskLine(kNightly);
    for (std::string TaskFields::*field :
         {&TaskFields::name, &TaskFields::ip, &TaskFields::port, &TaskFields::dbPaths,
          &TaskFields::saveDir, &TaskFields::tail}) {
        for (char bad : {'\x00', '\x01', '\x06', '\r', '\n', '\x1f'}) {
            TaskFields g = f;
            (g.*field).insert(1, 1, bad);
            EXPECT_FALSE(buildTaskLine(g).has_value()) << int(bad);
        }
    }
    TaskFields g = f;
    g.backupType = -1;
    EXPECT_FALSE(buildTaskLine(g).has_value());
}

TEST(TaskLine, TailFlagsAndMonthDay) {
    EXPECT_EQ(weekdayTail({true, false, false, true, false, false, false}), "1001000");
    const std::string m =
        monthTail({true, true, true, true, true, true, true, false, true, true, true, true}, "5");
    EXPECT_EQ(m, "1111111011115");
    EXPECT_TRUE(tailFlag(m, 1));
    EXPECT_FALSE(tailFlag(m, 8));
    EXPECT_FALSE(tailFlag("11", 3)) << "a flag past the end is off";
    EXPECT_FALSE(tailFlag("x1", 1)) << "only the byte 1 is on";
    EXPECT_EQ(monthDayText(m), "5");
    EXPECT_EQ(monthDayText("111111111111"), "");
}

TEST(TaskLine, PathEndFollowsTheFirstCharacter) {
    EXPECT_EQ(addPathEnd(""), "");
    EXPECT_EQ(addPathEnd("/srv/db"), "/srv/db/");
    EXPECT_EQ(addPathEnd("/srv/db/"), "/srv/db/");
    EXPECT_EQ(addPathEnd("c:\\db"), "c:\\db\\");
    EXPECT_EQ(addPathEnd("c:\\db\\"), "c:\\db\\");
    EXPECT_EQ(addPathEnd("/a/;/b"), "/a/;/b/") << "only the end of the whole list is looked at";
    // A relative path that already ends with either separator keeps its end.
    EXPECT_EQ(addPathEnd("db/"), "db/");
    EXPECT_EQ(addPathEnd("/srv\\"), "/srv\\");
}

TEST(TaskLine, TidyingRemovesControlBytesButTrimOnlyTheEnds) {
    EXPECT_EQ(trimText("  \t a b \x01\r\n"), "a b");
    EXPECT_EQ(trimText("a\x01"
                       "b"),
              "a\x01"
              "b");
    EXPECT_EQ(tidyText(" a\x01"
                       "b\tc "),
              "abc");
    EXPECT_EQ(tidyText("\x7f\xc3\xa9"), "\x7f\xc3\xa9") << "bytes above 0x1F stay";
}

TEST(TaskLine, TypeTextsAndHiddenLines) {
    for (int t : {-1, 3, 9}) {
        EXPECT_EQ(backupTypeText(t), "");
    }
    EXPECT_EQ(backupTypeText(0), "Cumulative");
    EXPECT_EQ(backupTypeText(1), "Full");
    EXPECT_EQ(backupTypeText(2), "Incremental");
    EXPECT_TRUE(isHiddenLine("\x01x"));
    EXPECT_FALSE(isHiddenLine(""));
    EXPECT_FALSE(isHiddenLine("a\x01"));
}

namespace {

// The two readings as they were made before a line was read in one pass: each separator
// searched for on its own.
TaskFieldViews fieldsBySearch(std::string_view line) {
    constexpr auto npos = std::string_view::npos;
    const std::size_t s[7] = {0,
                              line.find('\x01'),
                              line.find('\x02'),
                              line.find('\x03'),
                              line.find('\x04'),
                              line.find('\x05'),
                              line.find('\x06')};
    auto between = [&](int a, int b) {
        return s[a] == npos || s[b] == npos || s[b] < s[a] + 1
                   ? std::string_view()
                   : line.substr(s[a] + 1, s[b] - s[a] - 1);
    };
    auto digit = [&](std::size_t at) {
        return at < line.size() && line[at] >= '0' && line[at] <= '9' ? line[at] - '0' : -1;
    };
    TaskFieldViews f;
    f.name = s[1] == npos ? std::string_view() : line.substr(0, s[1]);
    f.ip = between(1, 2);
    f.port = between(2, 3);
    f.dbPaths = between(3, 4);
    f.saveDir = between(4, 5);
    if (s[5] != npos) {
        f.backupType = digit(s[5] + 1);
        if (s[6] != npos && s[6] >= s[5] + 2) {
            f.startTime = line.substr(s[5] + 2, s[6] - s[5] - 2);
        }
    }
    if (s[6] != npos) {
        f.runMode = digit(s[6] + 1);
        f.tail = s[6] + 2 <= line.size() ? line.substr(s[6] + 2) : std::string_view();
    }
    return f;
}

StartRule ruleBySearch(std::string_view line) {
    StartRule r;
    const std::size_t p5 = line.find('\x05');
    if (p5 == std::string_view::npos || p5 + 2 >= line.size()) {
        return r;
    }
    r.hasRule = true;
    const std::string_view rule = line.substr(p5 + 2);
    const std::size_t p6 = rule.find('\x06');
    if (p6 == std::string_view::npos) {
        return r;
    }
    r.hasRunMode = true;
    r.startTime = rule.substr(0, p6);
    if (p6 + 1 < rule.size()) {
        r.runMode = rule[p6 + 1] >= '0' && rule[p6 + 1] <= '9' ? rule[p6 + 1] - '0' : -1;
        r.tail = rule.substr(p6 + 2);
    }
    return r;
}

}  // namespace

// Lines of every length around the sixteen-byte pieces the one pass reads, thick with
// separators in and out of order, repeated, doubled and missing: the fields and the start
// rule are those that searching for each separator gives.
TEST(TaskLine, OnePassReadsWhatSearchingEachSeparatorReads) {
    std::mt19937 rng(23);
    const char bytes[] = {'a',    ' ',    '1',    '9',    ':',    '\x01', '\x02',
                          '\x03', '\x04', '\x05', '\x06', '\x07', '\x0d', '\xd0'};
    for (int round = 0; round < 20000; ++round) {
        std::string line(std::uniform_int_distribution<std::size_t>(0, 70)(rng), 'a');
        for (char& c : line) {
            c = bytes[std::uniform_int_distribution<std::size_t>(0, sizeof bytes - 1)(rng)];
        }
        const TaskLineReading reading = readTaskLine(line);
        ASSERT_EQ(reading.fields, fieldsBySearch(line)) << testing::PrintToString(line);
        ASSERT_EQ(reading.rule, ruleBySearch(line)) << testing::PrintToString(line);
    }
}
