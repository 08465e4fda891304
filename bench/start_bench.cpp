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
#include <QDir>
#include <QTest>

#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/programwindows.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

namespace {

using Clock = std::chrono::steady_clock;

tvl::test::TempDir* g_work = nullptr;

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
    tvl::test::writeFile(g_work->file("task.txt"), tvl::test::taskFileText(lines));
}

void BM_StartShownAndPainted(benchmark::State& state) {
    const auto tasks = static_cast<std::size_t>(state.range(0));
    writeTasks(tasks);
    double cpu = 0;
    for (auto _ : state) {
        tvl::ui::MainWindowOptions options;
        options.settingsFile = QString::fromStdString(g_work->file("tarvel.ini"));
        options.languageFolder = QString::fromStdString(g_work->path());
        options.autostartFile = QString::fromStdString(g_work->file("autostart/tarvel.desktop"));
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

// The user opens the selector over every task: the popup shown, then closed.
void BM_SelectorPopupShown(benchmark::State& state) {
    writeTasks(static_cast<std::size_t>(state.range(0)));
    tvl::ui::MainWindowOptions options;
    options.settingsFile = QString::fromStdString(g_work->file("tarvel.ini"));
    options.languageFolder = QString::fromStdString(g_work->path());
    options.autostartFile = QString::fromStdString(g_work->file("autostart/tarvel.desktop"));
    tvl::ui::ProgramWindows windows = tvl::ui::createProgramWindows(options);
    windows.main->show();
    if (!QTest::qWaitForWindowExposed(windows.main.get())) {
        state.SkipWithError("the main window was never shown");
        return;
    }
    auto* cbName = windows.main->findChild<QComboBox*>(QStringLiteral("cbName"));
    for (auto _ : state) {
        cbName->showPopup();
        cbName->view()->viewport()->repaint();
        cbName->hidePopup();
    }
    windows.main->endWithoutQuestion();
}

BENCHMARK(BM_SelectorPopupShown)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_StartShownAndPainted)
    ->Arg(0)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

QtMessageHandler g_messages = nullptr;

// The offscreen platform says for every window shown that it cannot raise it.
void quietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.startsWith(QStringLiteral("This plugin does not support"))) {
        g_messages(type, context, text);
    }
}

int main(int argc, char** argv) {
    // A fixed threshold keeps the task file's buffer in memory of its own at every start, as
    // in a fresh process; glibc would otherwise raise it after the first free and later
    // starts would reuse memory already touched.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    g_messages = qInstallMessageHandler(quietPlatform);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    tvl::test::TempDir work;
    g_work = &work;
    for (const char* name : {"english.dat", "russian.dat"}) {
        tvl::test::copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + name, work.file(name));
    }
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(work.path()));
    tvl::ui::MessageBox::setTestMode(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir::setCurrent(oldDir);
    g_work = nullptr;
    return 0;
}
