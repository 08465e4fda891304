// The Task Viewer with a year of rows, driven through the real windows (offscreen): from OK
// in the Date Interval dialog to the painted viewer, a header click re-sorted and painted,
// and the memory the open viewer adds to the program.
//   QT_QPA_PLATFORM=offscreen build/bin/tvl_viewer_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

#include <QApplication>
#include <QDateEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "guibench.h"
#include "ui/dateintervaldialog.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/programwindows.h"
#include "ui/taskviewer.h"
#include "util/tempdir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTasks = 1000;
const QDate kFrom(2026, 12, 7);
const QDate kTo(2027, 12, 7);  // 366 days

tvl::ui::ProgramWindows* g_windows = nullptr;
// The program's memory with its windows made, before the viewer was first filled.
long g_baseKiB = 0;

// The program's resident memory in KiB.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

std::string dailyTasks() {
    std::string text;
    for (int i = 0; i < kTasks; ++i) {
        char time[8];
        std::snprintf(time, sizeof time, "%2d:%02d", (i / 60) % 24, i % 60);
        text += "Task" + std::to_string(i) + "\x01" + "10.0.0." + std::to_string(i % 250) + "\x02" +
                "1972\x03/srv/db/user/;/srv/db/test/\x04/srv/backup/\x05" + std::to_string(i % 3) +
                time + "\x06" + "1\r\n";
    }
    return text;
}

void paint(tvl::ui::TaskViewerWindow& viewer) {
    viewer.repaint();
    viewer.table()->viewport()->repaint();
    viewer.table()->horizontalHeader()->viewport()->repaint();
}

// Calls back once, from the event loop, after the watched window was shown.
class AfterShow : public QObject {
public:
    AfterShow(QWidget* window, std::function<void()> act)
        : m_window(window), m_act(std::move(act)) {
        window->installEventFilter(this);
    }
    ~AfterShow() override { m_window->removeEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show && m_act) {
            QTimer::singleShot(0, this, std::exchange(m_act, {}));
        }
        return false;
    }

private:
    QWidget* m_window;
    std::function<void()> m_act;
};

// Runs the Expected backups command: the interval is entered, the clock starts as OK is
// clicked, and open runs in the viewer's own event loop once it has been shown.
void runCommand(const std::function<void(Clock::time_point, tvl::ui::TaskViewerWindow&)>& open) {
    tvl::ui::TaskViewerWindow& viewer = *g_windows->taskViewer;
    Clock::time_point clicked;
    AfterShow shown(&viewer, [&] {
        open(clicked, viewer);
        viewer.close();
    });
    QTimer::singleShot(0, g_windows->main.get(), [&] {
        tvl::ui::DateIntervalDialog& dialog = *g_windows->dateInterval;
        dialog.fromField()->setDate(kFrom);
        dialog.toField()->setDate(kTo);
        clicked = Clock::now();
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("bbOk")), Qt::LeftButton);
    });
    g_windows->main->tbViewClick();
}

void BM_ViewerOpenedAndPainted(benchmark::State& state) {
    for (auto _ : state) {
        runCommand([&](Clock::time_point clicked, tvl::ui::TaskViewerWindow& viewer) {
            paint(viewer);
            const std::chrono::duration<double> took = Clock::now() - clicked;
            state.SetIterationTime(took.count());
            state.counters["rows"] = viewer.table()->model()->rowCount();
            state.counters["added_MiB"] =
                std::max(state.counters["added_MiB"].value,
                         static_cast<double>(residentKiB() - g_baseKiB) / 1024.0);
        });
    }
}

void BM_HeaderClickSortedAndPainted(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    runCommand([&](Clock::time_point, tvl::ui::TaskViewerWindow& viewer) {
        paint(viewer);
        QHeaderView* header = viewer.table()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            paint(viewer);
            const std::chrono::duration<double> took = Clock::now() - start;
            state.SetIterationTime(took.count());
        }
        if (viewer.sortColumn() != column) {
            state.SkipWithError("the header click did not sort by the column");
        }
    });
}

BENCHMARK(BM_ViewerOpenedAndPainted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HeaderClickSortedAndPainted)
    ->DenseRange(0, 5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    tvl::bench::GuiBench bench(argc, argv);
    tvl::test::writeFile(bench.work().file("task.txt"), dailyTasks());
    int status = 0;
    {
        tvl::ui::ProgramWindows windows = tvl::ui::createProgramWindows(bench.options());
        g_windows = &windows;
        windows.main->show();
        if (!QTest::qWaitForWindowExposed(windows.main.get())) {
            std::fprintf(stderr, "the main window was never shown\n");
            status = 1;
        } else {
            QApplication::processEvents();
            g_baseKiB = residentKiB();
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
        windows.main->endWithoutQuestion();
        g_windows = nullptr;
    }
    return status;
}
