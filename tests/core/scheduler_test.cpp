#include "core/scheduler.h"

#include <gtest/gtest.h>

#include "core/regional.h"
#include "core/schedule.h"
#include "util/fakeclock.h"
#include "util/tasklines.h"

using namespace tvl;
using tvl::test::FakeClock;
using tvl::test::taskLine;

namespace {

std::vector<std::pair<std::size_t, std::string>> named(const std::vector<ScheduledStart>& s) {
    std::vector<std::pair<std::size_t, std::string>> out;
    for (const ScheduledStart& x : s) {
        out.emplace_back(x.taskIndex, currentTimeText(x.minute.hour, x.minute.minute));
    }
    return out;
}

}  // namespace

TEST(MinuteScheduler, StartsEachDueTaskOnceInItsOwnMinute) {
    FakeClock clock;
    MinuteScheduler s(clock);
    const std::vector<std::string> lines = {
        taskLine("A", "10:16", "1"), taskLine("B", "  :  ", "1"), taskLine("C", "10:16", "1"),
        taskLine("D", "10:18", "1")};
    EXPECT_TRUE(s.tick(lines).empty()) << "the start-up minute is not checked";
    clock.advanceSeconds(61);  // 10:16:01
    using V = std::vector<std::pair<std::size_t, std::string>>;
    EXPECT_EQ(named(s.tick(lines)), (V{{0, "10:16"}, {2, "10:16"}}))
        << "an unreadable start time in the middle does not stop the walk";
    clock.advanceSeconds(20);  // a second tick within 10:16
    EXPECT_TRUE(s.tick(lines).empty());
    clock.advanceMinutes(3);  // a long run: the next tick comes at 10:19
    EXPECT_EQ(named(s.tick(lines)), (V{{3, "10:18"}})) << "the missed minute is caught up";
}

TEST(MinuteScheduler, CatchUpUsesEachMinutesOwnDate) {
    FakeClock clock;
    clock.t = 1796687940;  // 2026-12-07 23:59:00 UTC
    MinuteScheduler s(clock);
    const std::vector<std::string> lines = {
        taskLine("Tue", " 0:01", "20100000"),
        taskLine("Once", " 0:00", "0" + formatShortDate({2026, 12, 8}))};
    clock.advanceMinutes(5);
    const auto starts = s.tick(lines);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].taskIndex, 1u);
    EXPECT_EQ(starts[0].minute, (LocalDateTime{{2026, 12, 8}, 0, 0, 0}));
    EXPECT_EQ(starts[1].taskIndex, 0u);
}

TEST(MinuteScheduler, NextTickIsAlignedToTheMinute) {
    FakeClock clock;
    clock.advanceSeconds(42);
    MinuteScheduler s(clock);
    EXPECT_EQ(s.msToNextMinute(), 18000);
    clock.advanceSeconds(18);
    EXPECT_EQ(s.msToNextMinute(), 60000);
}
