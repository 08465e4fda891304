#pragma once

#include <random>
#include <string>
#include <vector>

namespace tvl::test {

// One task as the editor writes it: a complete Daily task until the test says otherwise,
//   taskLine({.name = "Nightly", .port = "5000", .startTime = "23:30"})
// The backup type byte and the rule (the run-mode byte and the tail after it) stand as
// given, so a test can also write a damaged line: a type 'x', an empty rule, mode 7.
struct TaskDraft {
    std::string name = "T";
    std::string ip = "10.0.0.5";
    std::string port = "1972";
    std::string dbPaths = "/db/";
    std::string saveDir = "/bak/";
    char type = '1';
    std::string startTime = " 9:05";
    std::string rule = "1";
};
std::string taskLine(const TaskDraft& draft);
// The start-rule tests' task: only its name, start time, rule and type vary.
std::string taskLine(const std::string& name, const std::string& startTime, const std::string& rule,
                     char type = '1');
// The lines as the task file holds them, each ended by CR LF.
std::string taskFileText(const std::vector<std::string>& lines);

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
