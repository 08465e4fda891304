// Speed of the scheduler's work on big task files: loading the file, one minute's due test
// over every task, and a year of expected backups computed and sorted.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/expected.h"
#include "core/regional.h"
#include "core/schedule.h"
#include "core/taskfile.h"

namespace {

std::string makeLine(std::size_t i) {
    const std::string name = "Task" + std::to_string(i);
    const std::string head = name +
                             "\x01"
                             "10.0.0." +
                             std::to_string(i % 250) +
                             "\x02"
                             "1972\x03/srv/db/user/;/srv/db/test/\x04/srv/backup/\x05" +
                             std::to_string(i % 3);
    char time[8];
    std::snprintf(time, sizeof time, "%02zu:%02zu", (i / 60) % 24, i % 60);
    switch (i % 4) {
        case 0:
            return head + time +
                   "\x06"
                   "1";
        case 1:
            return head + time +
                   "\x06"
                   "21010100";
        case 2:
            return head + time +
                   "\x06"
                   "3111111111111" +
                   std::to_string(1 + i % 28);
        default:
            return head + time +
                   "\x06"
                   "0" +
                   tvl::formatShortDate({2026, 12, 1 + int(i % 28)});
    }
}

std::vector<std::string> makeLines(std::size_t n) {
    std::vector<std::string> lines;
    lines.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        lines.push_back(makeLine(i));
    }
    return lines;
}

void BM_LoadTaskFile(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    char dir[] = "/tmp/tvlbench.XXXXXX";
    if (::mkdtemp(dir) == nullptr) {
        state.SkipWithError("no temporary directory");
        return;
    }
    const std::string path = std::string(dir) + "/task.txt";
    tvl::saveTasks(path, makeLines(n));
    for (auto _ : state) {
        tvl::TaskFileLoad load = tvl::loadTasks(path);
        benchmark::DoNotOptimize(load.lines.size());
    }
    ::unlink(path.c_str());
    ::rmdir(dir);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}

void BM_DueTestOneMinute(benchmark::State& state) {
    const tvl::TaskLines lines = makeLines(static_cast<std::size_t>(state.range(0)));
    const tvl::LocalDateTime now{{2026, 12, 7}, 10, 0, 0};
    for (auto _ : state) {
        auto due = tvl::dueTasks(lines, now);
        benchmark::DoNotOptimize(due.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The minute timer's tick after the program sat idle: other work has pushed the task list
// out of the caches, and no task starts in the minute.
void BM_TickAfterIdle(benchmark::State& state) {
    std::vector<std::string> made = makeLines(static_cast<std::size_t>(state.range(0)));
    for (std::string& line : made) {
        line.replace(line.find('\x05') + 2, 5, "23:59");
    }
    const tvl::TaskLines lines = made;
    made = {};
    const tvl::LocalDateTime now{{2026, 12, 7}, 10, 0, 0};
    std::vector<char> other(64u << 20, 1);
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < other.size(); i += 64) {
            other[i] = static_cast<char>(other[i] + 1);
        }
        benchmark::ClobberMemory();
        state.ResumeTiming();
        auto due = tvl::dueTasks(lines, now);
        benchmark::DoNotOptimize(due.data());
    }
}

void BM_ExpectedYearOfDailyTasks(benchmark::State& state) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < static_cast<std::size_t>(state.range(0)); ++i) {
        std::string l = makeLine(i * 4);  // every fourth generated line is Daily
        lines.push_back(l);
    }
    const std::array<std::string, 7> names = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                              "Friday", "Saturday", "Sunday"};
    const int column = static_cast<int>(state.range(1));
    std::size_t rows = 0;
    for (auto _ : state) {
        auto r = tvl::ExpectedBackups::compute(lines, {2026, 12, 7}, {2027, 12, 7}, names);
        r.sort(column);
        rows = r.size();
        benchmark::DoNotOptimize(r.size());
    }
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_ExpectedMixedTasks(benchmark::State& state) {
    const std::vector<std::string> lines = makeLines(static_cast<std::size_t>(state.range(0)));
    const std::array<std::string, 7> names = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    std::size_t rows = 0;
    for (auto _ : state) {
        auto r = tvl::ExpectedBackups::compute(lines, {2026, 12, 7}, {2027, 12, 7}, names);
        r.sort(1);
        rows = r.size();
        benchmark::DoNotOptimize(r.size());
    }
    state.counters["rows"] = static_cast<double>(rows);
}

}  // namespace

BENCHMARK(BM_LoadTaskFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DueTestOneMinute)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickAfterIdle)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpectedYearOfDailyTasks)
    ->ArgNames({"tasks", "column"})
    ->ArgsProduct({{1000}, {-1, 0, 1, 2, 3, 4, 5}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpectedMixedTasks)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
