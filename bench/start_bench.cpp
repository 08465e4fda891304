// The desktop program's start with an empty task file and with 100,000 tasks, through the
// real windows: from the creation of the windows (the main window's creation reads the
// message table and the task file and fills the task selector) to the main window shown
// and painted. QApplication and the process's own start are the same for both and are
// left out. Offscreen unless QT_QPA_PLATFORM says otherwise (xcb under Xvfb maps a real
// window).
// Run each case in a process of its own, as a start is: a case run after the other in the
// same process comes out slower or faster by what the first left behind.
//   build/bin/tvl_start_bench --benchmark_filter=Painted/0/
//   build/bin/tvl_start_bench --benchmark_filter=Painted/100000
// The selector's list and New's duplicate check, after a start over 10 to 1,000,000 tasks:
//   build/bin/tvl_start_bench --benchmark_filter='Popup|NewName'
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "guibench.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/programwindows.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

namespace {

using Clock = std::chrono::steady_clock;

tvl::bench::GuiBench* g_bench = nullptr;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void writeTasks(std::size_t count) {
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(tvl::test::taskLine({.name = "Task" + std::to_string(i),
                                             .ip = "10.0.0." + std::to_string(i % 250),
                                             .dbPaths = "/srv/db/user/;/srv/db/test/",
                                             .saveDir = "/srv/backup/"}));
    }
    tvl::test::writeFile(g_bench->work().file("task.txt"), tvl::test::taskFileText(lines));
}

void BM_StartShownAndPainted(benchmark::State& state) {
    const auto tasks = static_cast<std::size_t>(state.range(0));
    writeTasks(tasks);
    double cpu = 0;
    for (auto _ : state) {
        const tvl::ui::MainWindowOptions options = g_bench->options();
        const double cpuStart = cpuSeconds();
        const Clock::time_point start = Clock::now();
        tvl::ui::ProgramWindows windows = tvl::ui::createProgramWindows(options);
        windows.main->show();
        if (!QTest::qWaitForWindowExposed(windows.main.get())) {
            state.SkipWithError("the main window was never shown");
            break;
        }
        windows.main->repaint();
        const std::chrono::duration<double> took = Clock::now() - start;
        cpu += cpuSeconds() - cpuStart;
        state.SetIterationTime(took.count());
        const auto* cbName = windows.main->findChild<QComboBox*>(QStringLiteral("cbName"));
        if (cbName == nullptr || static_cast<std::size_t>(cbName->count()) != tasks) {
            state.SkipWithError("the selector does not hold every task");
        }
        windows.main->endWithoutQuestion();
    }
    state.counters["cpu_ms"] =
        benchmark::Counter(cpu * 1e3 / static_cast<double>(state.iterations()));
}

BENCHMARK(BM_StartShownAndPainted)
    ->Arg(0)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// The program started and shown over `tasks` tasks, for the benchmarks of one window.
struct Started {
    explicit Started(std::size_t tasks)
        : windows((writeTasks(tasks), tvl::ui::createProgramWindows(g_bench->options()))) {
        windows.main->show();
        exposed = QTest::qWaitForWindowExposed(windows.main.get());
    }
    ~Started() { windows.main->endWithoutQuestion(); }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    QComboBox* selector() const {
        return windows.main->findChild<QComboBox*>(QStringLiteral("cbName"));
    }
    tvl::ui::ProgramWindows windows;
    bool exposed = false;
};

// 10 to 1,000,000 tasks, five runs each, each timed as it says.
void overTaskCounts(benchmark::internal::Benchmark* b) {
    b->Arg(10)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
    b->Iterations(5);
}

// The user opens the selector's list and closes it again; the CPU time of one opening.
double openSelector(QComboBox* cbName) {
    const double cpuStart = cpuSeconds();
    cbName->showPopup();
    cbName->view()->viewport()->repaint();
    cbName->hidePopup();
    return cpuSeconds() - cpuStart;
}

// The selector's list opened over every task: the first time after the task file was read
// (the time reported), and again (the counter again_cpu_ms).
void BM_SelectorPopupShown(benchmark::State& state) {
    const auto tasks = static_cast<std::size_t>(state.range(0));
    double first = 0;
    double again = 0;
    for (auto _ : state) {
        const Started started(tasks);
        if (!started.exposed || static_cast<std::size_t>(started.selector()->count()) != tasks) {
            state.SkipWithError("the selector is not shown with every task");
            break;
        }
        const double took = openSelector(started.selector());
        first += took;
        state.SetIterationTime(took);
        again += openSelector(started.selector());
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["first_cpu_ms"] = benchmark::Counter(first * 1e3 / runs);
    state.counters["again_cpu_ms"] = benchmark::Counter(again * 1e3 / runs);
}

BENCHMARK(BM_SelectorPopupShown)->Apply(overTaskCounts);

// New with the name of the file's last task in capitals: the duplicate check compares it
// with every task and refuses it; the warning is answered at once and the dialog cancelled.
// CPU time of the whole command.
void BM_NewNameRefused(benchmark::State& state) {
    const auto tasks = static_cast<std::size_t>(state.range(0));
    const Started started(tasks);
    const QString taken = QStringLiteral("TASK") + QString::number(tasks - 1);
    double cpu = 0;
    for (auto _ : state) {
        QTimer::singleShot(0, started.windows.main.get(), [&taken] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialog->findChild<QLineEdit*>(QStringLiteral("edNew"))->setText(taken);
            dialog->findChild<QPushButton*>(QStringLiteral("bbOk"))->click();
            dialog->findChild<QPushButton*>(QStringLiteral("bbCancel"))->click();
        });
        const double cpuStart = cpuSeconds();
        started.windows.main->NewClick();
        const double took = cpuSeconds() - cpuStart;
        cpu += took;
        state.SetIterationTime(took);
        if (tvl::ui::MessageBox::takeShown().size() != 1) {
            state.SkipWithError("the name was not refused");
            break;
        }
    }
    state.counters["cpu_ms"] =
        benchmark::Counter(cpu * 1e3 / static_cast<double>(state.iterations()));
}

BENCHMARK(BM_NewNameRefused)->Apply(overTaskCounts);

}  // namespace

int main(int argc, char** argv) {
    // A fixed threshold keeps the task file's buffer in memory of its own at every start, as
    // in a fresh process; glibc would otherwise raise it after the first free and later
    // starts would reuse memory already touched.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    tvl::bench::GuiBench bench(argc, argv);
    g_bench = &bench;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_bench = nullptr;
    return 0;
}
