// Several schedulers on one working folder: the lock, the state file, catching up after a
// restart and reading the task file again.
#include "core/folderscheduler.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "core/schedule.h"
#include "core/taskfile.h"
#include "core/taskfilewatch.h"
#include "util/fakeclock.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::test::FakeClock;
using tvl::test::taskLine;
using tvl::test::TempDir;

namespace {

CivilMinute at(int day, int hour, int minute) {
    return civilMinute({{2026, 12, day}, hour, minute, 0});
}

using Start = std::pair<CivilMinute, std::string>;  // minute, task name

// One scheduler as the service runs it: take the lock, read the task file again when it
// changed, walk, hand each start over and mark it, finish the tick.
struct Seat {
    Seat(const Clock& clock, const TempDir& dir, CivilMinute catchUp = kMaxCatchUpMinutes)
        : scheduler(clock, SchedulerKind::Service, catchUp, dir.path()),
          tasks(dir.file(kTaskFileName)) {
        tasks.reset(loadTasks(dir.file(kTaskFileName)).lines);
    }
    // Stops after `killAfter` starts without marking the end of the tick, as a kill would.
    void tick(std::vector<Start>& started, int killAfter = -1) {
        if (scheduler.take() == FolderScheduler::Turn::Waiting) {
            return;
        }
        tasks.check();
        int n = 0;
        for (const ScheduledStart& s : scheduler.tick(tasks.lines())) {
            if (n++ == killAfter) {
                return;
            }
            const std::string& line = tasks.lines()[s.taskIndex];
            started.emplace_back(civilMinute(s.minute), line.substr(0, line.find('\x01')));
            ASSERT_TRUE(scheduler.started(s));
        }
        if (killAfter < 0) {
            ASSERT_TRUE(scheduler.finish());
        }
    }
    FolderScheduler scheduler;
    TaskFileWatch tasks;
};

std::vector<Start> expectedStarts(const std::vector<std::string>& lines, CivilMinute from,
                                  CivilMinute to) {
    std::vector<Start> out;
    for (CivilMinute m = from; m <= to; ++m) {
        for (std::size_t i : dueTasks(lines, fromCivilMinute(m))) {
            out.emplace_back(m, lines[i].substr(0, lines[i].find('\x01')));
        }
    }
    return out;
}

}  // namespace

TEST(FolderScheduler, TwoSchedulersOverADayStartEveryDueTaskOnceThroughKillsAndHandOvers) {
    TempDir dir(TempDir::Where::Memory);
    std::vector<std::string> lines = {
        taskLine("A", " 0:00", "1"),    taskLine("B", " 0:00", "1"),
        taskLine("C", " 6:30", "1"),    taskLine("Mon", "12:00", "21000000"),
        taskLine("Noon", "12:00", "1"), taskLine("Sleep", "20:03", "1"),
        taskLine("Late", "23:59", "1")};
    ASSERT_TRUE(saveTasks(dir.file(kTaskFileName), lines));
    FakeClock clock;
    const CivilMinute begin = at(6, 23, 58);
    clock.set(begin, 10);
    std::unique_ptr<Seat> seats[2] = {std::make_unique<Seat>(clock, dir),
                                      std::make_unique<Seat>(clock, dir)};
    auto holder = [&seats]() -> std::size_t { return seats[0]->scheduler.holding() ? 0 : 1; };

    std::vector<Start> started;
    const CivilMinute end = at(8, 0, 1);
    for (CivilMinute m = begin; m <= end; ++m) {
        if (m > at(7, 20, 0) && m < at(7, 20, 7)) {
            continue;  // the machine sleeps; the next tick catches these minutes up
        }
        clock.set(m, static_cast<int>((m * 7) % 50));
        const std::size_t h = holder();
        if (m == at(7, 0, 0) || m == at(7, 12, 0)) {
            // The holder is killed in the middle of its tick: after one start at midnight,
            // before any at noon. The other takes over in the same minute.
            seats[h]->tick(started, m == at(7, 0, 0) ? 1 : 0);
            seats[h] = std::make_unique<Seat>(clock, dir);
        } else if (m == at(7, 6, 0)) {
            seats[h] = std::make_unique<Seat>(clock, dir);  // an orderly end and a new start
        } else if (m == at(7, 11, 58)) {
            // The desktop program saves a new task while the holder runs.
            lines.push_back(taskLine("Saved", "12:05", "1"));
            ASSERT_TRUE(saveTasks(dir.file(kTaskFileName), lines));
        }
        for (auto& seat : seats) {
            seat->tick(started);
        }
    }
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, expectedStarts(lines, begin + 1, end));
    EXPECT_EQ(std::count_if(started.begin(), started.end(),
                            [](const Start& s) { return s.second == "Saved"; }),
              1);
}

TEST(FolderScheduler, CatchesUpMissedStartsAtStartWithinItsBound) {
    struct Case {
        const char* what;
        const char* state;  // "" for no state file
        CivilMinute now;
        CivilMinute bound;
        std::vector<std::string> expected;  // "minute index"
    };
    const std::vector<std::string> lines = {taskLine("Daily", "23:30", "1"),
                                            taskLine("Too", "23:30", "1")};
    const std::vector<std::string> both = {"23:30 0", "23:30 1"};
    const std::vector<Case> cases = {
        {"off for 15 minutes", "2026-12-07T23:25\n", at(7, 23, 40), 180, both},
        {"off since the night before", "2026-12-07T23:25\n", at(8, 3, 0), 180, {}},
        {"catching up switched off", "2026-12-07T23:25\n", at(7, 23, 40), 0, {}},
        {"a bound just wide enough", "2026-12-07T23:25\n", at(7, 23, 40), 10, both},
        {"a bound one short", "2026-12-07T23:25\n", at(7, 23, 40), 9, {}},
        {"off for hours, due 10 minutes ago", "2026-12-07T19:00\n", at(7, 23, 40), 180, both},
        {"first start", "", at(7, 23, 40), 180, {}},
        {"a state file that cannot be read", "2026-12-07T23:2", at(7, 23, 40), 180, {}},
        {"the clock set back", "2026-12-07T23:45\n", at(7, 23, 20), 180, {}},
        {"killed after the first start", "2026-12-07T23:29 1\n", at(7, 23, 31), 180, {"23:30 1"}},
        {"killed after the first start long ago", "2026-12-07T23:29 1\n", at(8, 2, 40), 180, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir(TempDir::Where::Memory);
        if (*c.state) {
            tvl::test::writeFile(dir.file(kStateFileName), c.state);
        }
        FakeClock clock;
        clock.set(c.now, 5);
        FolderScheduler s(clock, SchedulerKind::Service, c.bound, dir.path());
        ASSERT_EQ(s.take(), FolderScheduler::Turn::Taken);
        std::vector<std::string> got;
        for (int i = 0; i < 15; ++i) {  // and the quarter of an hour after the start
            for (const ScheduledStart& st : s.tick(lines)) {
                got.push_back(currentTimeText(st.minute.hour, st.minute.minute) + " " +
                              std::to_string(st.taskIndex));
            }
            ASSERT_TRUE(s.finish());
            clock.advanceMinutes(1);
        }
        EXPECT_EQ(got, c.expected);
        ScheduleMark mark;
        ASSERT_EQ(readState(dir.file(kStateFileName), mark), StateRead::Ok);
        EXPECT_EQ(mark.lastChecked, std::max(c.now + 14, civilMinute({{2026, 12, 7}, 23, 45, 0})));
    }
}

TEST(FolderScheduler, AKilledHolderFreesTheLockAndNeverLeavesHalfAStateFile) {
    TempDir dir(TempDir::Where::Memory);
    FakeClock clock;
    const ScheduleMark marks[2] = {{at(7, 10, 14), 0}, {at(7, 10, 15), 12}};
    for (int round = 0; round < 5; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The other process: holds the lock and writes its state without a pause.
            // Its first state is whole before the test looks, so a kill that comes at once
            // still leaves a state to read.
            SchedulerLock lock(SchedulerKind::Desktop, dir.file(kLockFileName));
            if (lock.tryTake() != SchedulerLock::Result::Held ||
                !writeState(dir.file(kStateFileName), marks[0]) || ::write(ready[1], "x", 1) != 1) {
                ::_exit(1);
            }
            for (unsigned i = 0;; ++i) {
                writeState(dir.file(kStateFileName), marks[i % 2]);
            }
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);

        const LockHolder holder = readLockHolder(dir.file(kLockFileName));
        EXPECT_TRUE(holder.held);
        EXPECT_EQ(holder.pid, child);
        EXPECT_EQ(holder.kind, "desktop");
        FolderScheduler waiting(clock, SchedulerKind::Service, 180, dir.path());
        EXPECT_EQ(waiting.take(), FolderScheduler::Turn::Waiting);
        EXPECT_EQ(waiting.other().pid, child);

        ::usleep(static_cast<useconds_t>(2000 + round * 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_FALSE(readLockHolder(dir.file(kLockFileName)).held);
        ScheduleMark mark;
        ASSERT_EQ(readState(dir.file(kStateFileName), mark), StateRead::Ok) << round;
        EXPECT_TRUE(mark == marks[0] || mark == marks[1]);
        EXPECT_EQ(waiting.take(), FolderScheduler::Turn::Taken);
        EXPECT_EQ(waiting.lastChecked(), mark.lastChecked);
        EXPECT_EQ(readLockHolder(dir.file(kLockFileName)).kind, "service");
    }
}

TEST(TaskFileWatch, ReadsAChangedFileAndKeepsTheLastGoodListWhileItCannotBeRead) {
    TempDir dir;
    const std::string path = dir.file(kTaskFileName);
    ASSERT_TRUE(saveTasks(path, {taskLine("A", "10:00", "1")}));
    TaskFileWatch watch(path);
    watch.reset(loadTasks(path).lines);
    using C = TaskFileWatch::Change;
    EXPECT_EQ(watch.check(), C::None);

    ASSERT_TRUE(saveTasks(path, {taskLine("A", "10:00", "1"), taskLine("B", "10:05", "1")}));
    EXPECT_EQ(watch.check(), C::Reloaded);
    ASSERT_EQ(watch.lines().size(), 2u);

    // An edit in place, then a file the editor would refuse, then none at all: one change
    // of state, and the tasks read before go on.
    tvl::test::writeFile(path, taskLine("A", "10:00", "1") + "\r\n");
    EXPECT_EQ(watch.check(), C::Reloaded);
    EXPECT_EQ(watch.lines().size(), 1u);
    tvl::test::writeFile(path, "\r\n" + taskLine("A", "10:00", "1") + "\r\n");
    EXPECT_EQ(watch.check(), C::Unreadable);
    EXPECT_EQ(watch.check(), C::None);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(watch.check(), C::None);
    EXPECT_FALSE(tvl::test::fileExists(path)) << "a reload never makes an empty task file";
    EXPECT_EQ(watch.lines().size(), 1u);

    ASSERT_TRUE(saveTasks(path, {taskLine("C", "11:00", "1")}));
    EXPECT_EQ(watch.check(), C::ReadableAgain);
    EXPECT_EQ(watch.lines(), std::vector<std::string>{taskLine("C", "11:00", "1")});
    EXPECT_EQ(watch.check(), C::None);
}
