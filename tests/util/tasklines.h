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

private:
    const char* pick(const std::vector<const char*>& choices);
    std::mt19937 m_rng;
};

}  // namespace tvl::test
