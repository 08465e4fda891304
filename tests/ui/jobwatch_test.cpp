// Following the started jobs in the desktop program: the activity log's end lines, the
// last-run line, the tray's warning and message, never a box, never a held window.

#include <QTest>
#include <QTimer>

#include "core/jobjournal.h"
#include "core/schedulerstate.h"
#include "fakes/fakecontrol.h"
#include "guitest.h"
#include "ui/jobwatch.h"
#include "ui/runsrow.h"
#include "ui/trayicon.h"
#include "util/joblogserver.h"
#include "util/jobs.h"

namespace tvl::test {
namespace {

std::string task(const std::string& name) {
    return name + "\x01" + "10.0.0.5\x02" + "1972\x03/db/\x04/bak/\x05" + "1 9:06\x06" + "1\r\n";
}

class JobWatchTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        // The window's control starts every backup; the follower's reads the logs.
        m_fake.script = [](const std::string& code, const FakeControl::Params&) {
            return FakeControl::Answer{0, "", code == "$h" ? "67911,54307" : "2026-12-07"};
        };
        m_control = &m_fake;
        m_followerControl = [this] { return m_logs.control(); };
        start((task("Good") + task("Bad") + task("Lost")).c_str());
        m_tray = std::make_unique<ui::TrayIcon>(ui::TrayIcon::Availability::Available);
        ui::connectTray(*m_tray, main());
        // In the tray, as on an unattended machine.
        main().close();
        ASSERT_FALSE(main().isVisible());
    }
    void TearDown() override {
        m_tray.reset();
        GuiTest::TearDown();
    }
    // The next minute's tick and the pass that follows it.
    void minute(int n = 1) {
        m_clock.advanceMinutes(n);
        main().Timer1Timer();
        QTRY_VERIFY(!main().jobWatch().busy());
    }
    QString lastRunOf(int entry) {
        pick(entry);
        return main().runsRow().lastRun();
    }

    FakeControl m_fake;
    JobLogServer m_logs;
    std::unique_ptr<ui::TrayIcon> m_tray;
};

TEST_F(JobWatchTest, EachEndIsLoggedAndShownAndOnlyFailedOrUnknownOnesWarn) {
    minute();  // 9:06: the three backups start
    ASSERT_EQ(logFile().find("Lost backup job started") != std::string::npos, true) << logFile();
    EXPECT_EQ(lastRunOf(0), QStringLiteral("2026-12-07 09:06, Monday: running"));

    struct Step {
        const char* task;
        std::vector<std::string> log;  // none: the log never opens
        int minutes;
        const char* logLine;  // what the activity log says of the end
        bool warns;
    };
    const Step steps[] = {
        {"Good",
         {"Backup started", "Backup completed successfully"},
         1,
         "Good backup job ended: completed - Backup completed successfully",
         false},
        {"Bad",
         {"Backup started", "Backup failed: directory /db/ is not a database"},
         1,
         "Bad backup job ended: failed - Backup failed: directory /db/ is not a database",
         true},
        // A log that cannot be opened is unknown once the server has had time to make it.
        {"Lost", {}, 5, "Lost backup job ended: unknown - the job's log ", true},
    };
    int entry = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.task);
        if (!s.log.empty()) {
            m_logs.setLog(std::string("(") + s.task + ")", s.log);
        }
        minute(s.minutes);
        EXPECT_NE(logFile().find(s.logLine), std::string::npos) << logFile();
        EXPECT_EQ(m_tray->warning(), s.warns);
        if (s.warns) {
            EXPECT_TRUE(m_tray->icon()->toolTip().contains(QString::fromLatin1(s.task)));
            EXPECT_TRUE(m_tray->lastMessage().startsWith(QString::fromLatin1(s.task)));
        }
        // The window comes back: the warning has been seen.
        main().wakeUp();
        EXPECT_FALSE(m_tray->warning());
        EXPECT_EQ(m_tray->icon()->toolTip(), QStringLiteral("Tarvel Utility"));
        EXPECT_TRUE(lastRunOf(entry).startsWith(QStringLiteral("2026-12-07 09:06, Monday: ")));
        EXPECT_EQ(main().runsRow().warns(), s.warns);
        main().close();
        ++entry;
    }
    EXPECT_TRUE(
        lastRunOf(1).endsWith(QStringLiteral("failed - Backup failed: directory /db/ is "
                                             "not a database")));
    // Every end is told once.
    minute();
    EXPECT_EQ(logFile().find("Good backup job ended"), logFile().rfind("Good backup job ended"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(JobWatchTest, ASlowServerHoldsNeitherTheWindowNorTheNextStarts) {
    minute();
    m_logs.hold(true);
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    QTRY_VERIFY(m_logs.linesSent() > 0);
    ASSERT_TRUE(main().jobWatch().busy());
    // The event loop answers and the next day's starts happen while the pass waits.
    bool answered = false;
    QTimer::singleShot(0, &main(), [&answered] { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 100);
    m_clock.advanceMinutes(24 * 60 - 1);
    main().Timer1Timer();
    const std::string log = logFile();
    EXPECT_NE(log.find("Good backup job started"), log.rfind("Good backup job started")) << log;
    EXPECT_TRUE(main().jobWatch().busy());
    m_logs.hold(false);
    QTRY_VERIFY(!main().jobWatch().busy());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(JobWatchTest, AServerAwayIsQuietUntilItAnswersAndALogWithoutEndIsUnknownAtTheBound) {
    minute();  // 9:06: the three backups start
    m_logs.setLog("(Good)", {"Backup started", "Backup completed successfully"});
    m_logs.setLog("(Bad)", {"Backup started"});
    m_logs.setLog("(Lost)", {"Backup started"});
    struct Step {
        bool reachable;
        int minutes;
        const char* logLine;  // none: nothing ended
        bool warns;
    };
    const Step steps[] = {
        {false, 3, nullptr, false},
        {true, 1, "Good backup job ended: completed - Backup completed successfully", false},
        // 9:06 the next day: 24 hours without an end line.
        {true, 24 * 60 - 4,
         "Bad backup job ended: unknown - no end line in the job's log within 24 hours; "
         "Backup started",
         true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.minutes);
        m_logs.setReachable(s.reachable);
        minute(s.minutes);
        const std::string log = logFile();
        if (s.logLine == nullptr) {
            EXPECT_EQ(log.find("job ended"), std::string::npos) << log;
        } else {
            EXPECT_NE(log.find(s.logLine), std::string::npos) << log;
        }
        EXPECT_EQ(m_tray->warning(), s.warns);
    }
    EXPECT_TRUE(m_tray->icon()->toolTip().contains(QStringLiteral("Bad")));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(JobWatchTest, StartsMissedWhileNoTarvelRanAreToldOnceEachNeverInABox) {
    // The last Tarvel checked yesterday 8:00 and ended; the journal goes back further.
    const CivilMinute yesterday = civilMinute({{2026, 12, 6}, 8, 0, 0});
    ASSERT_TRUE(writeState(file("tvl.state"), {yesterday, 0}));
    JobRecord old = startedJob("Good", (yesterday - 1440) * 60);
    ASSERT_TRUE(JobJournal(file("jobs.jnl")).appendStart(old));
    restart();
    ui::connectTray(*m_tray, main());
    main().close();
    QTRY_VERIFY(logFile().find("Lost backup missed") != std::string::npos);
    const std::string log = logFile();
    for (const char* name : {"Good", "Bad", "Lost"}) {
        SCOPED_TRACE(name);
        const std::string line = std::string(name) + " backup missed, planned for 2026-12-06 09:06";
        EXPECT_NE(log.find(line), std::string::npos) << log;
        EXPECT_TRUE(m_tray->icon()->toolTip().contains(QString::fromLatin1(name)));
    }
    EXPECT_TRUE(m_tray->warning());
    EXPECT_TRUE(m_tray->lastMessage().contains(QStringLiteral("backup missed")));
    // Today's starts happen; nothing is told twice.
    minute();
    QTRY_VERIFY(!main().jobWatch().busy());
    EXPECT_EQ(logFile().find("Good backup missed"), logFile().rfind("Good backup missed"));
    EXPECT_TRUE(boxes().empty());
}

}  // namespace
}  // namespace tvl::test
