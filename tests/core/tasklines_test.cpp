#include "core/tasklines.h"

#include <gtest/gtest.h>

#include <random>

#include "core/regional.h"
#include "core/schedule.h"
#include "core/taskfile.h"
#include "core/taskline.h"
#include "util/tasklines.h"

using namespace tvl;

namespace {

TaskLines cut(const std::string& text, std::size_t maxLines = kMaxTextFileLines,
              bool keepSeparators = false) {
    auto block = std::make_shared<const std::string>(text);
    TaskLines lines;
    EXPECT_TRUE(lines.assign(block, *block, maxLines, keepSeparators));
    return lines;
}

// The minute's due test read from every line, as the minute timer made it before the
// start minutes were kept beside the lines.
std::vector<std::size_t> dueByLines(const TaskLines& lines, const LocalDateTime& now) {
    std::vector<std::size_t> due;
    const std::string today = formatShortDate(now.date);
    for (std::size_t i = 0; i < lines.size() && !isHiddenLine(lines[i]); ++i) {
        if (wouldStart(lines[i], now, today)) {
            due.push_back(i);
        }
    }
    return due;
}

}  // namespace

TEST(TaskLinesTest, CutsTextAsTheFileReaderDoes) {
    std::mt19937 rng(3);
    const char bytes[] = {'a', 'b', '\r', '\n', '\0', '\x01', ' '};
    for (int round = 0; round < 3000; ++round) {
        std::string text(std::uniform_int_distribution<std::size_t>(0, 40)(rng), 'a');
        for (char& c : text) {
            c = bytes[std::uniform_int_distribution<std::size_t>(0, sizeof bytes - 1)(rng)];
        }
        const std::vector<std::string> expected = splitTextLines(text);
        ASSERT_EQ(cut(text), expected) << testing::PrintToString(text);
        if (!expected.empty()) {
            TaskLines lines;
            auto block = std::make_shared<const std::string>(text);
            EXPECT_FALSE(lines.assign(block, *block, expected.size() - 1));
            EXPECT_TRUE(lines.empty());
        }
    }
}

// Task lines of every shape, with stray separators, empty, long and hidden lines, joined by
// every kind of break: the one pass over the text cuts the lines, reads their start minutes
// and finds their separators as the lines one by one do.
TEST(TaskLinesTest, OnePassOverTheTextMatchesTheLinesOneByOne) {
    test::TaskLineGenerator gen(17);
    std::mt19937 rng(7);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    const std::vector<std::string> onceDates = {"07/12/2026"};
    const char* const breaks[] = {"\r\n", "\n", "\r", "\n\r"};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (std::size_t n = below(30); n > 0; --n) {
            std::string line = below(2) ? gen.line() : gen.ruleLine(onceDates);
            for (std::size_t k = below(3); k > 0 && below(3) == 0; --k) {
                line.insert(below(line.size() + 1), 1, "\x05\x06\x01"[below(3)]);
            }
            if (below(40) == 0) {
                line = below(2) ? "" : "\x01hidden";
            }
            if (below(20) == 0) {
                line.insert(below(line.size() + 1), 250 + below(10), 'n');
            }
            text += line + breaks[below(4)];
        }
        if (below(10) == 0) {
            text.insert(below(text.size() + 1), 1, '\0');
        }
        text.resize(text.size() - below(3) * (text.size() > 2));
        const TaskLines expected(splitTextLines(text));
        std::vector<std::string_view> names;
        const bool keepSeparators = below(2) == 0;
        const TaskLines lines = cut(text, kMaxTextFileLines, keepSeparators);
        ASSERT_EQ(lines, expected) << testing::PrintToString(text);
        ASSERT_EQ(lines.savedCount(), expected.savedCount());
        ASSERT_EQ(lines.hasEmptySavedLine(), !selectorNames(expected, names));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(lines.startMinute(i), expected.startMinute(i))
                << testing::PrintToString(lines[i]);
            ASSERT_EQ(lines.reading(i), readTaskLine(lines[i]))
                << keepSeparators << testing::PrintToString(lines[i]);
        }
    }
}

// Generated lines of every shape, at minutes of a leap and a common year, before and after
// lines are stored, inserted and erased: the start minutes kept beside the lines pick the
// same tasks as the due test read from every line.
TEST(TaskLinesTest, DueTestOverStartMinutesMatchesTheLines) {
    std::vector<std::string> onceDates;
    for (CivilDate d{2024, 1, 1}; d.year < 2026; d = addDays(d, 1)) {
        onceDates.push_back(formatShortDate(d));
    }
    test::TaskLineGenerator gen(11);
    std::mt19937 rng(5);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    auto line = [&] { return below(4) == 0 ? gen.line() : gen.ruleLine(onceDates); };
    std::vector<std::string> start;
    start.reserve(400);
    for (int i = 0; i < 400; ++i) {
        start.push_back(line());
    }
    // Every generated start time is used by a line whose rule always passes, so most
    // minutes below find tasks due.
    for (int m = 0; m < 24 * 60; m += 7) {
        start.push_back(
            "D\x01ip\x02"
            "1972\x03/db/\x04/bak/\x05"
            "1" +
            std::to_string(m / 60) + ":" + std::to_string(m % 60) +
            "\x06"
            "1");
    }
    TaskLines lines(start);
    for (CivilDate day{2024, 1, 1}; day.year < 2026; day = addDays(day, 3)) {
        for (int k = 0; k < 4; ++k) {
            const LocalDateTime now{day, static_cast<int>(below(24)), static_cast<int>(below(60)),
                                    0};
            ASSERT_EQ(dueTasks(lines, now), dueByLines(lines, now))
                << isoDateText(day) << ' ' << now.hour << ':' << now.minute;
        }
        switch (below(4)) {
            case 0:
                lines.set(below(lines.size()), line());
                break;
            case 1:
                lines.insert(below(lines.size() + 1), below(8) ? line() : "\x01hidden");
                break;
            case 2:
                lines.erase(below(lines.size()));
                break;
            default:
                break;
        }
    }
}
