#include "sim/mvalue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "sim/horolog.h"

using namespace tvl::sim;

TEST(MValue, NumericInterpretationGivesCanonicalNumbers) {
    const std::pair<const char*, const char*> cases[] = {
        {"12", "12"},
        {"012", "12"},
        {"1.50", "1.5"},
        {"1.", "1"},
        {".5", ".5"},
        {"0.5", ".5"},
        {"-0", "0"},
        {"-0.0", "0"},
        {"--3", "3"},
        {"+-3", "-3"},
        {"007abc", "7"},
        {"abc", "0"},
        {"", "0"},
        {"  1", "0"},
        {"-.25x", "-.25"},
        {"3,1", "3"},
        {"67911,54307", "67911"},
    };
    for (const auto& [in, want] : cases) {
        EXPECT_EQ(numericValue(in), want) << in;
    }
}

TEST(MValue, CanonicalNumberTest) {
    for (const char* yes : {"0", "1", "-1", "12", ".5", "-.5", "1.25", "100000000000000000000"}) {
        EXPECT_TRUE(isCanonicalNumber(yes)) << yes;
    }
    for (const char* no : {"", "-", "01", "1.0", "1.", "-0", "+1", "1e3", " 1", "1 ", "0.5",
                           "1.2.3", "abc", "-.50"}) {
        EXPECT_FALSE(isCanonicalNumber(no)) << no;
    }
}

TEST(MValue, CollationPutsNumbersFirstInNumericOrderThenStringsByByte) {
    const std::vector<std::string> ordered = {
        "-100", "-10", "-9.5", "-1", "-.5", "0", ".001", ".5", "1", "1.5", "2", "9", "10",
        "99999999999999999999", "100000000000000000000",
        // strings in byte order, including number-like texts that are not canonical
        " ", "-0", "01", "1.0", "10a", "A", "B", "Z", "a", "b", "\xc3\xa9"};
    std::vector<std::string> shuffled = ordered;
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        std::sort(shuffled.begin(), shuffled.end(),
                  [](const std::string& a, const std::string& b) { return collate(a, b) < 0; });
        ASSERT_EQ(shuffled, ordered);
    }
    EXPECT_EQ(collate("5", "5"), 0);
    EXPECT_LT(collate("", "0"), 0);
}

TEST(MValue, NegationAndQuoting) {
    EXPECT_EQ(negateNumber("0"), "0");
    EXPECT_EQ(negateNumber("1.5"), "-1.5");
    EXPECT_EQ(negateNumber("-.5"), ".5");
    EXPECT_EQ(quoteString(R"(say "hi")"), R"("say ""hi""")");
    EXPECT_EQ(quoteString(""), R"("")");
    EXPECT_EQ(subscriptText("12"), "12");
    EXPECT_EQ(subscriptText("012"), "\"012\"");
}

TEST(Horolog, DayNumbersMatchTheCalendar) {
    EXPECT_EQ(horologDay({1840, 12, 31}), 0);
    EXPECT_EQ(horologDay({1841, 1, 1}), 1);
    EXPECT_EQ(horologDay({1970, 1, 1}), kHorologUnixEpochDay);
    EXPECT_EQ(horologDay({2026, 12, 7}), 67911);
    EXPECT_EQ(horologDay({9999, 12, 31}), kHorologLastDay);
    // Every day maps back to itself, across leap years and century rules.
    for (std::int64_t d = 0; d <= kHorologLastDay; d += 97) {
        Ymd ymd = dateOfHorologDay(d);
        ASSERT_EQ(horologDay(ymd), d) << d;
    }
    Ymd leap = dateOfHorologDay(horologDay({2024, 2, 29}));
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    EXPECT_EQ(horologDay({1900, 3, 1}) - horologDay({1900, 2, 28}), 1);  // 1900 not leap
    EXPECT_EQ(horologDay({2000, 3, 1}) - horologDay({2000, 2, 28}), 2);  // 2000 leap
}

TEST(Horolog, DateFormats) {
    EXPECT_EQ(formatHorologDate(67911, 1), "12/07/2026");
    EXPECT_EQ(formatHorologDate(67911, 3), "2026-12-07");
    EXPECT_EQ(formatHorologDate(67911, 2), "07 Dec 2026");
    EXPECT_EQ(formatHorologDate(67911, 4), "07/12/2026");
    EXPECT_EQ(formatHorologDate(67911, 8), "20261207");
    EXPECT_EQ(formatHorologDate(0, 3), "1840-12-31");
    EXPECT_FALSE(formatHorologDate(67911, 5));
    EXPECT_FALSE(formatHorologDate(-1, 3));
    EXPECT_FALSE(formatHorologDate(kHorologLastDay + 1, 3));
}
