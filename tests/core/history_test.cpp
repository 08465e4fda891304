#include "core/history.h"

#include <gtest/gtest.h>

#include "util/jobs.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::test::endedJob;
using tvl::test::startedJob;
using tvl::test::taskLine;

namespace {

// The tests run in UTC: a minute's epoch is its civil minute times 60.
std::time_t at(const char* minute) {
    CivilMinute m = 0;
    EXPECT_TRUE(parseMinuteText(minute, m)) << minute;
    return static_cast<std::time_t>(m * 60);
}
CivilMinute due(const char* minute) {
    return at(minute) / 60;
}

std::string rowText(const HistoryRow& row) {
    return (row.planned ? minuteText(*row.planned) : std::string("-")) + " " + row.taskName + " " +
           historyStateWord(row.state);
}

}  // namespace

TEST(BackupHistory, AWeekOfPlannedStartsBesideWhatBecameOfThem) {
    // D daily at 9:00, W on Mondays at 10:00, S on Sundays at 23:00.
    const std::vector<std::string> tasks = {taskLine("D", " 9:00", "1"),
                                            taskLine("W", "10:00", "21000000"),
                                            taskLine("S", "23:00", "20000001")};
    const auto done = [](JobRecord j, JobOutcome o) {
        const std::time_t ended = j.started + 60;
        return endedJob(std::move(j), o, ended, "last");
    };
    const std::vector<JobRecord> jobs = {
        done(startedJob("D", at("2026-12-07T09:00"), due("2026-12-07T09:00")),
             JobOutcome::Completed),
        done(startedJob("W", at("2026-12-07T10:00"), due("2026-12-07T10:00")),
             JobOutcome::Completed),
        done(startedJob("D", at("2026-12-08T09:00"), due("2026-12-08T09:00")), JobOutcome::Failed),
        // A task no longer in the task file, and a run by hand the rules did not plan.
        done(startedJob("Gone", at("2026-12-08T12:00")), JobOutcome::Completed),
        done(startedJob("D", at("2026-12-09T09:00"), due("2026-12-09T09:00")), JobOutcome::Unknown),
        done(startedJob("W", at("2026-12-09T14:00")), JobOutcome::Completed),
        // Thursday nothing; Friday the start was made up by hand 40 minutes later.
        done(startedJob("D", at("2026-12-11T09:40")), JobOutcome::Completed),
        // Saturday's start came from the catch-up after a restart at 11:00.
        startedJob("D", at("2026-12-12T11:00"), due("2026-12-12T09:00")),
        // A start for a minute of another day answers nothing of Sunday's.
        startedJob("D", at("2026-12-13T09:00"), due("2026-12-12T09:00")),
        // Started before the interval: not shown.
        done(startedJob("D", at("2026-12-06T09:00"), due("2026-12-06T09:00")), JobOutcome::Failed),
    };
    const ExpectedBackups expected = ExpectedBackups::compute(tasks, {2026, 12, 7}, {2026, 12, 13},
                                                              {"1", "2", "3", "4", "5", "6", "7"});
    const LocalDateTime now = localDateTime(at("2026-12-13T09:05"));
    const std::vector<HistoryRow> rows =
        backupHistory(expected, jobs, {2026, 12, 7}, {2026, 12, 13}, now);

    std::vector<std::string> texts;
    for (const HistoryRow& row : rows) {
        texts.push_back(rowText(row));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "2026-12-07T09:00 D completed",
                         "2026-12-07T10:00 W completed",
                         "2026-12-08T09:00 D failed",
                         "- Gone completed",
                         "2026-12-09T09:00 D unknown",
                         "- W completed",
                         "2026-12-10T09:00 D missed",
                         "2026-12-11T09:00 D completed",
                         "2026-12-12T09:00 D running",
                         "2026-12-13T09:00 D planned",
                         "- D running",
                         "2026-12-13T23:00 S planned",
                     }));
    // Every planned row is one row of the expected backups, each once.
    std::vector<bool> seen(expected.size(), false);
    for (const HistoryRow& row : rows) {
        EXPECT_EQ(row.planned.has_value(), row.expectedRow.has_value());
        if (row.expectedRow) {
            ASSERT_FALSE(seen[*row.expectedRow]);
            seen[*row.expectedRow] = true;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<long>(expected.size()));

    // One task's rows only.
    const auto w = backupHistory(expected, jobs, {2026, 12, 7}, {2026, 12, 13}, now, std::nullopt,
                                 std::string("W"));
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(rowText(w[1]), "- W completed");
}

TEST(BackupHistory, ARecentPlannedStartIsMissedOnlyOnceItsMinuteIsSurelyPast) {
    const std::vector<std::string> tasks = {taskLine("D", " 9:00", "1")};
    const ExpectedBackups expected = ExpectedBackups::compute(tasks, {2026, 12, 7}, {2026, 12, 7},
                                                              {"1", "2", "3", "4", "5", "6", "7"});
    struct Case {
        const char* now;
        std::optional<CivilMinute> lastChecked;
        HistoryState state;
    };
    for (const Case& c : std::vector<Case>{
             {"2026-12-07T08:59", std::nullopt, HistoryState::Planned},
             {"2026-12-07T09:00", due("2026-12-07T09:00"), HistoryState::Planned},
             {"2026-12-07T09:10", std::nullopt, HistoryState::Planned},
             {"2026-12-07T09:10", due("2026-12-07T08:59"), HistoryState::Planned},
             {"2026-12-07T09:10", due("2026-12-07T09:00"), HistoryState::Missed},
             {"2026-12-07T09:15", std::nullopt, HistoryState::Missed},
         }) {
        SCOPED_TRACE(c.now);
        const auto rows = backupHistory(expected, {}, {2026, 12, 7}, {2026, 12, 7},
                                        localDateTime(at(c.now)), c.lastChecked);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].state, c.state);
    }
}

TEST(MissedStarts, EachPlannedStartWithoutAJobIsFlaggedOnceAfterTheLastRunAndTheJournalsStart) {
    // D daily at 9:00, E daily at 9:30. The journal began with D's job of Saturday.
    const TaskLines tasks(
        std::vector<std::string>{taskLine("D", " 9:00", "1"), taskLine("E", " 9:30", "1")});
    const JobRecord first = startedJob("D", at("2026-12-05T09:00"), due("2026-12-05T09:00"));
    struct Case {
        const char* name;
        std::optional<const char*> mark;  // the state file's last checked minute
        bool journal;
        std::vector<std::string> flagged;
    };
    const std::vector<Case> cases = {
        {"a restart after the morning",
         "2026-12-07T08:00",
         true,
         {"2026-12-07T09:00 D missed", "2026-12-07T09:30 E missed"}},
        {"the folder's first run", std::nullopt, true, {}},
        {"a mark older than the journal",
         "2026-12-01T00:00",
         true,
         {"2026-12-05T09:30 E missed", "2026-12-06T09:00 D missed", "2026-12-06T09:30 E missed",
          "2026-12-07T09:00 D missed", "2026-12-07T09:30 E missed"}},
        {"no journal yet", "2026-12-07T08:00", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        JournalDigest digest(dir.file("jobs.jnl"));
        JobJournal journal(dir.file("jobs.jnl"));
        if (c.journal) {
            JobRecord j = first;
            ASSERT_TRUE(journal.appendStart(j));
        }
        // Taken at 12:00, the tick checks up to 12:00; each minute is looked at once.
        MissedStartWatch watch;
        watch.taken(c.mark ? std::optional(due(*c.mark)) : std::nullopt, due("2026-12-07T12:00"));
        std::vector<std::string> flagged;
        if (const auto span = watch.next(due("2026-12-07T12:00"))) {
            for (const HistoryRow& row :
                 missedStarts(digest, tasks, *span, at("2026-12-07T12:00"))) {
                flagged.push_back(rowText(row));
            }
        }
        EXPECT_EQ(flagged, c.flagged);
        EXPECT_FALSE(watch.next(due("2026-12-07T12:00")));

        // Next morning D starts, E's start fails before the job: E is missed at once, in
        // the minute the scheduler checked it, and only then.
        JobRecord d = startedJob("D", at("2026-12-08T09:00"), due("2026-12-08T09:00"));
        ASSERT_TRUE(journal.appendStart(d));
        std::vector<std::string> later;
        for (const char* tick : {"2026-12-08T09:00", "2026-12-08T09:30", "2026-12-08T09:31"}) {
            const auto next = watch.next(due(tick));
            ASSERT_TRUE(next);
            for (const HistoryRow& row : missedStarts(digest, tasks, *next, at(tick))) {
                later.push_back(std::string(tick) + ": " + rowText(row));
            }
        }
        EXPECT_EQ(later, std::vector<std::string>{"2026-12-08T09:30: 2026-12-08T09:30 E missed"});
    }
}
