#include "core/minutewalk.h"

#include <gtest/gtest.h>

#include <map>

#include "util/tempdir.h"

using namespace tvl;

namespace {

// Drives the walk the way the minute timer does: a tick reads the clock, checks the minutes
// the walk gives and remembers the last one. Counts how often each minute was checked.
class Ticker {
public:
    explicit Ticker(CivilMinute start) : m_last(start) {}
    void tick(CivilMinute now) {
        const MinuteWalk w = walkMinutes(m_last, now);
        for (CivilMinute m = w.first; m <= w.last; ++m) {
            ++checked[m];
        }
        m_last = w.lastChecked;
    }
    std::map<CivilMinute, int> checked;

private:
    CivilMinute m_last;
};

const CivilMinute kStart = civilMinute({{2026, 12, 7}, 22, 0, 0});

}  // namespace

TEST(MinuteWalk, TicksInStepCheckEachMinuteOnceStartingAfterStartUp) {
    Ticker t(kStart);
    t.tick(kStart);  // a tick within the start-up minute checks nothing
    for (CivilMinute m = kStart + 1; m <= kStart + 10; ++m) {
        t.tick(m);
    }
    EXPECT_EQ(t.checked.size(), 10u);
    EXPECT_EQ(t.checked.begin()->first, kStart + 1);
    for (auto [m, n] : t.checked) {
        EXPECT_EQ(n, 1) << m;
    }
}

TEST(MinuteWalk, DriftAndLongRunsLoseNoMinuteAndDoubleNone) {
    Ticker t(kStart);
    // Ticks drift: two fall in one minute, then one is late by two minutes (a 3-minute run).
    for (CivilMinute now :
         {kStart + 1, kStart + 1, kStart + 2, kStart + 5, kStart + 6, kStart + 6}) {
        t.tick(now);
    }
    for (CivilMinute m = kStart + 1; m <= kStart + 6; ++m) {
        EXPECT_EQ(t.checked[m], 1) << m - kStart;
    }
    EXPECT_EQ(t.checked.size(), 6u);
}

TEST(MinuteWalk, ForwardJumps) {
    Ticker small(kStart);
    small.tick(kStart + 60);  // an hour of sleep
    EXPECT_EQ(small.checked.size(), 60u);
    EXPECT_EQ(small.checked.begin()->first, kStart + 1);

    // The clock jumps 3 hours forward just after a tick: the next tick, a minute later, finds
    // 180 minutes missed and its own, and checks them all.
    Ticker three(kStart);
    three.tick(kStart + 181);
    EXPECT_EQ(three.checked.size(), 181u);
    Ticker more(kStart);
    more.tick(kStart + 182);
    EXPECT_EQ(more.checked.size(), 1u);

    Ticker big(kStart);
    big.tick(kStart + 300);  // five hours: only the current minute
    EXPECT_EQ(big.checked.size(), 1u);
    EXPECT_EQ(big.checked.begin()->first, kStart + 300);
    big.tick(kStart + 301);
    EXPECT_EQ(big.checked[kStart + 301], 1);
}

TEST(MinuteWalk, BackwardJumps) {
    Ticker small(kStart);
    small.tick(kStart + 1);
    small.tick(kStart + 1 - 60);  // set back an hour: nothing until the clock passes again
    small.tick(kStart - 30);
    small.tick(kStart + 1);
    EXPECT_EQ(small.checked.size(), 1u);
    small.tick(kStart + 2);
    EXPECT_EQ(small.checked[kStart + 2], 1);

    Ticker big(kStart);
    big.tick(kStart + 1);
    big.tick(kStart - 300);  // set back five hours: starts again at the current minute
    big.tick(kStart - 299);
    EXPECT_EQ(big.checked[kStart - 300], 1);
    EXPECT_EQ(big.checked[kStart - 299], 1);
}

TEST(MinuteWalk, DaylightSavingChangesAcrossWholeDays) {
    // A real clock in a zone with daylight saving: the timer ticks every 60 seconds of real
    // time through both changes of 2026, and every wall-clock minute of those days is
    // checked exactly once (the skipped spring hour is caught up, the repeated autumn hour
    // is not checked twice).
    test::ScopedTimeZone tz("Europe/Berlin");
    for (std::time_t dayStart : {std::time_t{1774738800} /* 2026-03-29 00:00 CET */,
                                 std::time_t{1792879200} /* 2026-10-25 00:00 CEST */}) {
        const CivilMinute start = civilMinute(localDateTime(dayStart - 60));
        Ticker t(start);
        for (std::time_t s = dayStart; s < dayStart + std::time_t{25} * 3600; s += 60) {
            t.tick(civilMinute(localDateTime(s)));
        }
        const CivilMinute dayFirst = civilMinute(localDateTime(dayStart));
        for (CivilMinute m = dayFirst; m < dayFirst + CivilMinute{24} * 60; ++m) {
            EXPECT_EQ(t.checked[m], 1) << "minute " << (m - dayFirst);
        }
    }
}

TEST(MinuteWalk, CivilMinutesRoundTrip) {
    const LocalDateTime t{{2026, 12, 7}, 23, 59, 0};
    EXPECT_EQ(fromCivilMinute(civilMinute(t)), t);
    EXPECT_EQ(fromCivilMinute(civilMinute(t) + 1), (LocalDateTime{{2026, 12, 8}, 0, 0, 0}));
    const LocalDateTime old{{1960, 1, 1}, 0, 0, 0};
    EXPECT_EQ(fromCivilMinute(civilMinute(old) - 1), (LocalDateTime{{1959, 12, 31}, 23, 59, 0}));
}
