#include "core/civil.h"

#include <gtest/gtest.h>

using namespace tvl;

TEST(Civil, DayNumbersRoundTripAcrossCenturiesAndLeapDays) {
    EXPECT_EQ(daysFromCivil({1970, 1, 1}), 0);
    EXPECT_EQ(daysFromCivil({1840, 12, 31}), -47117);
    for (std::int64_t d = -800000; d < 800000; d += 997) {
        EXPECT_EQ(daysFromCivil(civilFromDays(d)), d);
    }
    EXPECT_EQ(addDays({2028, 2, 28}, 1), (CivilDate{2028, 2, 29}));
    EXPECT_EQ(addDays({2100, 2, 28}, 1), (CivilDate{2100, 3, 1}));
    EXPECT_EQ(addDays({2026, 3, 1}, 365), (CivilDate{2027, 3, 1}));
}

TEST(Civil, IsoWeekdaysAndValidation) {
    EXPECT_EQ(isoWeekday({2026, 12, 7}), 1);  // a Monday
    EXPECT_EQ(isoWeekday({2026, 12, 13}), 7);
    EXPECT_EQ(isoWeekday({2026, 3, 7}), 6);
    EXPECT_TRUE(isValidDate({2024, 2, 29}));
    EXPECT_FALSE(isValidDate({2026, 2, 29}));
    EXPECT_FALSE(isValidDate({2026, 13, 1}));
    CivilDate d;
    EXPECT_TRUE(parseIsoDate("2026-12-07", d));
    EXPECT_EQ(d, (CivilDate{2026, 12, 7}));
    EXPECT_FALSE(parseIsoDate("2026-02-30", d));
    EXPECT_FALSE(parseIsoDate("2026-2-3", d));
    EXPECT_EQ(isoDateText({987, 1, 2}), "0987-01-02");
}
