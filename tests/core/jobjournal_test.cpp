#include "core/jobjournal.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "util/fakeclock.h"
#include "util/jobs.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::test::endedJob;
using tvl::test::startedJob;
using tvl::test::TempDir;

namespace {

constexpr std::time_t kT = 1796638500;  // 2026-12-07 10:15:00 UTC

std::vector<std::string> ids(const std::vector<JobRecord>& jobs) {
    std::vector<std::string> out;
    for (const JobRecord& j : jobs) {
        out.push_back(j.taskName);
    }
    return out;
}

}  // namespace

TEST(JobJournal, FoldsStartsAndEndsAndKeepsEveryByteOfTheTexts) {
    TempDir dir;
    JobJournal journal(dir.file("jobs.jnl"));
    // Separators, escapes, Windows-1251 and a line break from a server's log.
    JobRecord a = startedJob("A\\t\x01", kT, civilMinute(localDateTime(kT)));
    a.backupFile = "c:\\backup\\Full_2026(\xcd\xee\xf7\xfc).bcp";
    JobRecord b = startedJob("B", kT + 60);
    ASSERT_TRUE(journal.appendStart(a));
    ASSERT_TRUE(journal.appendStart(b));
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(ids(journal.unfinished()), (std::vector<std::string>{"A\\t\x01", "B"}));

    const JobRecord aEnded =
        endedJob(a, JobOutcome::Failed, kT + 120, "Backup failed:\tx\r\n\\n", "x\ty");
    ASSERT_TRUE(journal.appendEnd(aEnded));
    // A second end of the same job changes nothing: the first one stands.
    ASSERT_TRUE(journal.appendEnd(endedJob(a, JobOutcome::Completed, kT + 180, "late")));
    EXPECT_FALSE(journal.appendEnd(b)) << "a running job has no end to record";

    JobJournal::ReadStats stats;
    const std::vector<JobRecord> all = journal.readAll(&stats);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], aEnded);
    EXPECT_EQ(all[1], b);
    EXPECT_EQ(stats.records, 4u);
    EXPECT_EQ(stats.damaged, 0u);
    EXPECT_EQ(ids(journal.unfinished()), std::vector<std::string>{"B"});
    EXPECT_EQ(ids(journal.readAll(nullptr, kT + 30)), std::vector<std::string>{"B"});
}

TEST(JobJournal, ARecordTornAtAnyByteIsPassedOverAndTheNextAppendStandsAlone) {
    TempDir dir(TempDir::Where::Memory);
    const std::string path = dir.file("jobs.jnl");
    JobRecord whole = startedJob("Whole", kT);
    whole.id = "1";
    JobRecord torn = startedJob("Torn", kT + 60);
    torn.id = "2";
    const std::string first = journalStartLine(whole);
    const std::string cut = journalStartLine(torn);
    // Cut before its line end: a record that lacks only the line end is whole once the next
    // append has ended its line.
    for (std::size_t n = 1; n + 1 < cut.size(); ++n) {
        SCOPED_TRACE(n);
        test::writeFile(path, first + cut.substr(0, n));
        JobJournal journal(path);
        JobJournal::ReadStats stats;
        EXPECT_EQ(ids(journal.readAll(&stats)), std::vector<std::string>{"Whole"});
        EXPECT_TRUE(stats.tornTail);
        EXPECT_EQ(ids(journal.unfinished()), std::vector<std::string>{"Whole"});

        JobRecord next = startedJob("Next", kT + 120);
        ASSERT_TRUE(journal.appendStart(next));
        EXPECT_EQ(ids(journal.readAll(&stats)), (std::vector<std::string>{"Whole", "Next"}));
        EXPECT_FALSE(stats.tornTail);
        EXPECT_EQ(stats.damaged, 1u);
        EXPECT_EQ(ids(journal.unfinished()), (std::vector<std::string>{"Whole", "Next"}));
    }
}

TEST(JobJournal, AlteredLinesAndForeignFilesAreNoRecords) {
    TempDir dir;
    const std::string path = dir.file("jobs.jnl");
    JobRecord a = startedJob("A", kT);
    a.id = "1";
    std::string altered = journalStartLine(a);
    altered[altered.find("/bak/")] = '/' + 1;
    for (const std::string& text : {altered, std::string("start\t1\n"),
                                    std::string(70000, 'x') + "\n", std::string("\n\n")}) {
        test::writeFile(path, text + journalStartLine(startedJob("Good", kT)));
        JobJournal::ReadStats stats;
        EXPECT_EQ(ids(JobJournal(path).readAll(&stats)), std::vector<std::string>{"Good"});
        EXPECT_EQ(stats.damaged, text == "\n\n" ? 0u : 1u);
    }
    EXPECT_TRUE(JobJournal(dir.file("missing")).readAll().empty());
    test::plantSpecialFile(test::SpecialFile::Fifo, path);
    JobJournal::ReadStats stats;
    EXPECT_TRUE(JobJournal(path).readAll(&stats).empty());
    EXPECT_FALSE(stats.readable);
    JobRecord job = startedJob("A", kT);
    EXPECT_FALSE(JobJournal(path).appendStart(job));
}

TEST(JobJournal, UnfinishedReadsOnlyWhatWasAppendedAndNoticesAReplacedFile) {
    TempDir dir;
    const std::string path = dir.file("jobs.jnl");
    JobJournal follower(path);
    JobJournal writer(path);
    JobRecord a = startedJob("A", kT);
    ASSERT_TRUE(writer.appendStart(a));
    EXPECT_EQ(ids(follower.unfinished()), std::vector<std::string>{"A"});
    JobRecord b = startedJob("B", kT + 60);
    ASSERT_TRUE(writer.appendStart(b));
    ASSERT_TRUE(writer.appendEnd(endedJob(a, JobOutcome::Completed, kT + 90, "done")));
    EXPECT_EQ(ids(follower.unfinished()), std::vector<std::string>{"B"});

    JobRecord c = startedJob("C", kT);
    test::writeFile(path + ".new", journalStartLine(c));
    ASSERT_EQ(::rename((path + ".new").c_str(), path.c_str()), 0);
    EXPECT_EQ(ids(follower.unfinished()), std::vector<std::string>{"C"});
}

TEST(JobJournal, AKillInTheMiddleOfAppendingLosesNoCompleteRecord) {
    TempDir dir;
    const std::string path = dir.file("jobs.jnl");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        JobJournal journal(path);
        for (int i = 0;; ++i) {
            JobRecord job = startedJob("Job" + std::to_string(i), kT + i);
            journal.appendStart(job);
        }
    }
    // Killed once a few records are in, at whatever byte it is writing then.
    while (JobJournal(path).readAll().size() < 20) {
        ::sched_yield();
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    JobJournal journal(path);
    JobJournal::ReadStats stats;
    const std::vector<JobRecord> jobs = journal.readAll(&stats);
    EXPECT_EQ(stats.damaged, 0u);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        ASSERT_EQ(jobs[i].taskName, "Job" + std::to_string(i));
    }
    JobRecord after = startedJob("After", kT);
    ASSERT_TRUE(journal.appendStart(after));
    EXPECT_EQ(journal.readAll().back().taskName, "After");
}

TEST(JournalDigest, ReadsOnlyWhatWasAppendedAndATornRecordOnceItIsWhole) {
    TempDir dir;
    const std::string path = dir.file("jobs.jnl");
    JournalDigest digest(path);
    digest.keepSince(0);
    EXPECT_TRUE(digest.update());
    EXPECT_FALSE(digest.began());
    JobRecord a = startedJob("A", kT);
    a.id = "1";
    JobRecord b = startedJob("B", kT + 60);
    b.id = "2";
    const std::string first = journalStartLine(a);
    const std::string torn = journalStartLine(b);
    test::writeFile(path, first + torn.substr(0, 20));
    ASSERT_TRUE(digest.update());
    EXPECT_EQ(digest.began(), kT);
    EXPECT_EQ(ids(digest.recentJobs()), std::vector<std::string>{"A"});
    // What was read is not read again: spoiling it changes nothing.
    std::string spoilt = first;
    spoilt[first.find("/bak/")] = '#';
    test::writeFile(path, spoilt + torn +
                              journalEndLine(endedJob(a, JobOutcome::Failed, kT + 90,
                                                      "Backup failed", "disk")));
    ASSERT_TRUE(digest.update());
    EXPECT_EQ(ids(digest.recentJobs()), (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(digest.lastJobs().size(), 2u);
    EXPECT_EQ(digest.lastJobs().at("A").outcome, JobOutcome::Failed);
    EXPECT_EQ(digest.recentJobs()[0].reason, "disk");

    // A later job of a task is its last one; jobs started before the kept moment go.
    JobRecord a2 = startedJob("A", kT + 120);
    ASSERT_TRUE(JobJournal(path).appendStart(a2));
    digest.keepSince(kT + 60);
    ASSERT_TRUE(digest.update());
    EXPECT_EQ(ids(digest.recentJobs()), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(digest.lastJobs().at("A").id, a2.id);
    EXPECT_EQ(digest.lastJobs().at("A").outcome, JobOutcome::Running);
    // Asked for older jobs than it kept, it reads the journal anew.
    JobRecord old = startedJob("Old", kT - 600);
    ASSERT_TRUE(JobJournal(path).appendStart(old));
    ASSERT_TRUE(digest.update());
    EXPECT_EQ(ids(digest.recentJobs()), (std::vector<std::string>{"B", "A"}));
    digest.keepSince(0);
    ASSERT_TRUE(digest.update());
    EXPECT_EQ(ids(digest.recentJobs()), (std::vector<std::string>{"B", "A", "Old"}));

    // A journal replaced by another is read anew.
    JobRecord c = startedJob("C", kT + 180);
    test::writeFile(path + ".new", journalStartLine(c));
    ASSERT_EQ(::rename((path + ".new").c_str(), path.c_str()), 0);
    ASSERT_TRUE(digest.update());
    EXPECT_EQ(ids(digest.recentJobs()), std::vector<std::string>{"C"});
    EXPECT_EQ(digest.lastJobs().size(), 1u);
    EXPECT_EQ(digest.began(), kT + 180);
}
