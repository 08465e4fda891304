#include "core/activitylog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "util/fakeclock.h"
#include "util/tempdir.h"

using namespace tvl;

TEST(ActivityLogTest, StartLineCreatesTheLogAndSwitchesItOn) {
    test::TempDir dir;
    test::FakeClock clock;
    ActivityLog log(dir.file("tvl.log"), &clock);
    EXPECT_TRUE(log.writeTaskStarted("T", "started")) << "nothing to write while off";
    EXPECT_FALSE(test::fileExists(dir.file("tvl.log")));
    EXPECT_FALSE(log.enabled());

    ASSERT_TRUE(log.writeStart("Program started"));
    EXPECT_TRUE(log.enabled());
    clock.t += 65;
    ASSERT_TRUE(log.writeTaskStarted("Nightly", "task started"));
    ASSERT_TRUE(log.writeControlError("<COMMUNICATION> x", "CN_IPTCP:a[1]:a[1]"));
    ASSERT_TRUE(log.writeControlError("<COMMUNICATION> x", "CN_IPTCP:a[1]:a[1]", "Daily\x1b"));
    ASSERT_TRUE(log.writeEnd(""));
    EXPECT_EQ(test::readFile(dir.file("tvl.log")),
              "12/07/2026 10:15:00 Program started\r\n"
              "12/07/2026 10:16:05 Nightly task started\r\n"
              "12/07/2026 10:16:05 <COMMUNICATION> x CN_IPTCP:a[1]:a[1]\r\n"
              "12/07/2026 10:16:05 <COMMUNICATION> x CN_IPTCP:a[1]:a[1] Daily\\x1b\r\n"
              "12/07/2026 10:16:05 \r\n");
}

TEST(ActivityLogTest, ExistingContentIsKeptAndRemovedLogIsRecreated) {
    test::TempDir dir;
    test::FakeClock clock;
    test::writeFile(dir.file("tvl.log"), "old\r\n");
    ActivityLog log(dir.file("tvl.log"), &clock);
    ASSERT_TRUE(log.writeStart("s"));
    EXPECT_EQ(test::readFile(dir.file("tvl.log")), "old\r\n12/07/2026 10:15:00 s\r\n");

    std::filesystem::rename(dir.file("tvl.log"), dir.file("tvl.log.1"));
    ASSERT_TRUE(log.writeEnd("e"));
    EXPECT_EQ(test::readFile(dir.file("tvl.log")), "12/07/2026 10:15:00 e\r\n");
}

TEST(ActivityLogTest, FailedStartKeepsTheLogOffForGood) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("tvl.log"));
    ActivityLog log(dir.file("tvl.log"));
    EXPECT_FALSE(log.writeStart("s"));
    EXPECT_FALSE(log.enabled());
    std::filesystem::remove(dir.file("tvl.log"));
    EXPECT_TRUE(log.writeEnd("e"));
    EXPECT_FALSE(test::fileExists(dir.file("tvl.log"))) << "no line at all, not even the end";
}

TEST(ActivityLogTest, LaterLineReportsAFailedWrite) {
    test::TempDir dir;
    ActivityLog log(dir.file("tvl.log"));
    ASSERT_TRUE(log.writeStart("s"));
    std::filesystem::remove(dir.file("tvl.log"));
    std::filesystem::create_directory(dir.file("tvl.log"));
    EXPECT_FALSE(log.writeEnd("e"));
    EXPECT_TRUE(log.enabled()) << "the next event tries again";
}

TEST(ActivityLogTest, ControlBytesOfNamesAndServerTextsAreWrittenVisibly) {
    test::TempDir dir;
    test::FakeClock clock;
    ActivityLog log(dir.file("tvl.log"), &clock);
    ASSERT_TRUE(log.writeStart("s"));
    const std::pair<std::string, std::string> names[] = {
        {"a\x1b[2Jb", "a\\x1b[2Jb"},
        {"bell\x07", "bell\\x07"},
        {"two\r\nlines", "two\\x0d\\x0alines"},
        {std::string("nul\0tab\there\x7f", 13), "nul\\x00tab\\x09here\\x7f"},
        {"\xcd\xee\xf7\xed\xee\xe9 backup", "\xcd\xee\xf7\xed\xee\xe9 backup"},
    };
    std::string expected = "12/07/2026 10:15:00 s\r\n";
    for (const auto& [name, shown] : names) {
        ASSERT_TRUE(log.writeTaskStarted(name, "started"));
        expected += "12/07/2026 10:15:00 " + shown + " started\r\n";
    }
    ASSERT_TRUE(log.writeControlError("<ERR>\x1b]0;x\x07", "CN\r\nforged"));
    expected += "12/07/2026 10:15:00 <ERR>\\x1b]0;x\\x07 CN\\x0d\\x0aforged\r\n";
    EXPECT_EQ(test::readFile(dir.file("tvl.log")), expected);
}
