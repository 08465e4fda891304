#include "core/regional.h"

#include <gtest/gtest.h>

#include "util/tempdir.h"

using namespace tvl;

TEST(Regional, CLocaleWritesFourDigitYears) {
    test::ScopedLocale c("C");
    EXPECT_EQ(shortDateFormat(), "%m/%d/%Y");
    EXPECT_EQ(formatShortDate({2026, 12, 7}), "12/07/2026");
    EXPECT_EQ(formatLongTime(9, 5, 7), "09:05:07");
    EXPECT_EQ(parseShortDate("12/07/2026"), (CivilDate{2026, 12, 7}));
}

TEST(Regional, DatesRoundTripThroughEveryFormat) {
    for (const std::string fmt : {"%m/%d/%Y", "%d.%m.%Y", "%Y-%m-%d"}) {
        for (CivilDate d :
             {CivilDate{2026, 1, 5}, CivilDate{2028, 2, 29}, CivilDate{1999, 12, 31}}) {
            const std::string text = formatShortDate(d, fmt);
            EXPECT_EQ(parseShortDate(text, fmt), d) << fmt << " " << text;
        }
    }
    EXPECT_EQ(formatShortDate({2026, 3, 7}, "%d.%m.%Y"), "07.03.2026");
}

TEST(Regional, BadDatesAreNoValue) {
    const std::string fmt = "%m/%d/%Y";
    EXPECT_FALSE(parseShortDate("", fmt));
    EXPECT_FALSE(parseShortDate("13/01/2026", fmt));
    EXPECT_FALSE(parseShortDate("02/30/2026", fmt));
    EXPECT_FALSE(parseShortDate("12/07/2026 junk", fmt));
    EXPECT_FALSE(parseShortDate("07.12.2026", fmt)) << "a date of another format";
    EXPECT_FALSE(parseShortDate(std::string("12/07/2026\0", 11), fmt));
}
