#include "server/jobfollower.h"

#include <gtest/gtest.h>

#include "core/activitylog.h"
#include "core/messagetable.h"
#include "fakes/fakecontrol.h"
#include "util/fakeclock.h"
#include "util/jobs.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::test::FakeControl;
using tvl::test::TempDir;

namespace {

constexpr std::time_t kStart = 1796638500;  // 2026-12-07 10:15:00 UTC

// What the job's server does at one pass.
struct Visit {
    int minutesAfterStart = 1;
    enum Server { Answers, Away, OpenTimesOut, OpenRefused, CutWhileReading } server = Answers;
    std::vector<std::string> log = {};
};

// A server that keeps the job's log as lines and answers the follower's reads of it.
class LogServer {
public:
    explicit LogServer(FakeControl& control) {
        control.connectScript = [this](const std::string&) {
            return visit.server == Visit::Away
                       ? FakeControl::Answer{1000, "<COMMUNICATION> 127.0.0.1[1972]: refused", ""}
                       : FakeControl::Answer{};
        };
        control.script = [this](const std::string& code, const FakeControl::Params& p) {
            return answer(code, p);
        };
    }
    Visit visit;

private:
    FakeControl::Answer answer(const std::string& code, const FakeControl::Params& p) {
        if (code == kOpenLogLine) {
            m_next = 0;
            m_opened = visit.server != Visit::OpenTimesOut;
            if (visit.server == Visit::OpenRefused) {
                return {17, "<NOTOPEN>" + p[0], ""};
            }
            return {};
        }
        if (code == kOpenedLine) {
            return {0, "", m_opened ? "1" : "0"};
        }
        if (code == kReadLogLine) {
            if (visit.server == Visit::CutWhileReading && m_next == 1) {
                return {1000, "<COMMUNICATION> 127.0.0.1[1972]: the reply was cut", ""};
            }
            if (m_next >= visit.log.size()) {
                return {13, "<ENDOFFILE>", ""};
            }
            m_line = visit.log[m_next++];
            return {};
        }
        if (code == kReadValueLine) {
            return {0, "", m_line};
        }
        return {};
    }
    std::size_t m_next = 0;
    bool m_opened = false;
    std::string m_line;
};

const std::vector<std::string> kStarted = {"Backup started 10:15:00: Full backup to /bak/x.bcp"};
const std::vector<std::string> kDone = {kStarted[0], "Database /db/: 3 files, 10 bytes",
                                        "Backup completed successfully 10:15:02: 3 files", ""};
const std::vector<std::string> kFailed = {
    kStarted[0], "Backup failed: directory /nodb/ is not a database of this server"};

}  // namespace

TEST(JobFollower, EachJobEndsAsItsLogAndServerSay) {
    struct Case {
        const char* name;
        std::vector<Visit> visits;  // one pass each; the last one records the end
        JobOutcome outcome;
        std::string detail;  // jobEndDetail of the recorded end
        JudgeSettings judge = {};
    };
    const Visit running{10, Visit::Answers, kStarted};
    const std::vector<Case> cases = {
        {"completes",
         {{0, Visit::Answers, {}}, running, {11, Visit::Answers, kDone}},
         JobOutcome::Completed,
         "Backup completed successfully 10:15:02: 3 files"},
        {"fails",
         {{1, Visit::Answers, kFailed}},
         JobOutcome::Failed,
         "Backup failed: directory /nodb/ is not a database of this server"},
        {"log never opens",
         {{1, Visit::OpenTimesOut}, {4, Visit::OpenTimesOut}, {5, Visit::OpenTimesOut}},
         JobOutcome::Unknown,
         "the job's log /bak/Full_x(T).log cannot be opened"},
        {"log refused",
         {{2, Visit::OpenRefused}, {6, Visit::OpenRefused}},
         JobOutcome::Unknown,
         "the job's log /bak/Full_x(T).log cannot be opened: <NOTOPEN>/bak/Full_x(T).log"},
        {"never ends",
         {running, {24 * 60 - 1, Visit::Answers, kStarted}, {24 * 60, Visit::Answers, kStarted}},
         JobOutcome::Unknown,
         "no end line in the job's log within 24 hours; " + kStarted[0]},
        {"away, then answers",
         {{1, Visit::Away},
          {2, Visit::CutWhileReading, kDone},
          {3, Visit::Away},
          {9, Visit::Answers, kFailed}},
         JobOutcome::Failed,
         kFailed[1]},
        {"away until the bound",
         {{1, Visit::Away}, {60, Visit::Away}},
         JobOutcome::Unknown,
         "the server could not be reached for 1 hour: <COMMUNICATION> 127.0.0.1[1972]: refused",
         {kDefaultSuccessPattern, kDefaultFailurePattern, 1}},
        {"a server's own wording",
         {{1, Visit::Answers, {"Sauvegarde OK", "fin"}},
          {2, Visit::Answers, {"fin", "Sauvegarde OK"}}},
         JobOutcome::Completed,
         "Sauvegarde OK",
         {"Sauvegarde OK", "ERREUR", 24}},
        {"both patterns count as failed",
         {{1, Visit::Answers, {"Backup failed, Backup completed successfully"}}},
         JobOutcome::Failed,
         "Backup failed, Backup completed successfully"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir(TempDir::Where::Memory);
        JobJournal journal(dir.file("jobs.jnl"));
        JobRecord job = test::startedJob("T", kStart);
        ASSERT_TRUE(journal.appendStart(job));
        FakeControl control;
        LogServer server(control);
        for (std::size_t v = 0; v < c.visits.size(); ++v) {
            server.visit = c.visits[v];
            const std::time_t now = kStart + std::time_t{60} * c.visits[v].minutesAfterStart;
            const std::vector<JobRecord> ended = followJobs(control, journal, c.judge, now);
            if (v + 1 < c.visits.size()) {
                ASSERT_TRUE(ended.empty()) << "pass " << v << ": " << jobEndDetail(ended[0]);
                continue;
            }
            ASSERT_EQ(ended.size(), 1u);
            EXPECT_EQ(ended[0].outcome, c.outcome);
            EXPECT_EQ(jobEndDetail(ended[0]), c.detail);
            EXPECT_EQ(ended[0].ended, now);
            EXPECT_EQ(journal.readAll(), ended) << "the end is in the journal";
        }
        EXPECT_TRUE(followJobs(control, journal, c.judge, kStart + std::time_t{86400} * 2).empty())
            << "an ended job is not read again";
    }
}

TEST(JobFollower, ReadsTheLogByItsNameWithTheSequentialFileCommandsAndClosesIt) {
    TempDir dir(TempDir::Where::Memory);
    JobJournal journal(dir.file("jobs.jnl"));
    JobRecord job = test::startedJob("T", kStart, std::nullopt, "5000");
    job.logFile = "c:\\backup\\Full_2026-12-07_10h15m00s(T \"q\").log";
    ASSERT_TRUE(journal.appendStart(job));
    FakeControl control;
    LogServer server(control);
    server.visit = {1, Visit::Answers, {"Backup failed: x"}};
    ASSERT_EQ(followJobs(control, journal, {}, kStart + 60).size(), 1u);
    EXPECT_EQ(control.events.front(), "connect CN_IPTCP:127.0.0.1[5000]:127.0.0.1[5000]");
    EXPECT_EQ(control.codeLines(),
              (std::vector<std::string>{"O P0:(\"R\"):5", "$T", "U P0", "R %TVLLINE", "%TVLLINE",
                                        "R %TVLLINE", "C P0"}));
    EXPECT_EQ(control.events.back(), "disconnect");
    for (const std::size_t i : {0u, 2u, 6u}) {
        EXPECT_EQ(control.sentParams[i][0], job.logFile);
    }
}

TEST(JobFollower, TheEndLineOfTheActivityLogCarriesTheOutcomeAndTheLogsLastLine) {
    TempDir dir;
    test::FakeClock clock;
    ActivityLog log(dir.file("tvl.log"), &clock);
    ASSERT_TRUE(log.writeStart("start"));
    MessageTable messages;
    test::writeFile(dir.file("english.dat"), "tskend=backup job ended:\r\njobfail=failed\r\n");
    ASSERT_TRUE(messages.load(dir.file("english.dat")));
    JobRecord failed = test::endedJob(test::startedJob("Nightly", kStart), JobOutcome::Failed,
                                      kStart + 60, "Backup failed: directory\x1b /x/", "x");
    JobRecord unknown = test::endedJob(test::startedJob("Weekly", kStart), JobOutcome::Unknown,
                                       kStart + 60, "", "the server could not be reached");
    ASSERT_TRUE(writeJobEnded(log, messages, failed));
    ASSERT_TRUE(writeJobEnded(log, messages, unknown));
    EXPECT_EQ(test::readFile(dir.file("tvl.log")),
              "12/07/2026 10:15:00 start\r\n"
              "12/07/2026 10:15:00 Nightly backup job ended: failed - Backup failed: "
              "directory\\x1b /x/\r\n"
              "12/07/2026 10:15:00 Weekly backup job ended: unknown - the server could not be "
              "reached\r\n");
}
