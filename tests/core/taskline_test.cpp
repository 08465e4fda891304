#include "core/taskline.h"

#include <gtest/gtest.h>

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
