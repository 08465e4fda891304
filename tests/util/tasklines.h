#pragma once

#include <random>
#include <string>
#include <vector>

namespace tvl::test {

// Task lines as a hand-edited or damaged task file may hold them: fields of blanks, control
// bytes inside fields, separators inside names, missing separators, a backup type or run
// mode out of range, unreadable start times, hidden lines, Windows-1251 and UTF-8 text.
// The same seed gives the same lines.
class TaskLineGenerator {
public:
    explicit TaskLineGenerator(unsigned seed) : m_rng(seed) {}
    std::string line();
    std::vector<std::string> lines(std::size_t count);
    // A task line that passes the run's field check, with a start rule of any shape: start
    // times readable or not, every run mode and a bad one, weekday and month flags at
    // random, Monthly day texts with and without a day of every month, Once dates from
    // `onceDates` (texts in the short date format) or damaged ones.
    std::string ruleLine(const std::vector<std::string>& onceDates);

private:
    const char* pick(const std::vector<const char*>& choices);
    std::mt19937 m_rng;
};

}  // namespace tvl::test
