// Following the started jobs in the desktop program: the activity log's end lines, the
// last-run line, the tray's warning and message, never a box, never a held window.

#include <QTest>
#include <QTimer>

#include "fakes/fakecontrol.h"
#include "guitest.h"
#include "ui/jobwatch.h"
#include "ui/runsrow.h"
#include "ui/trayicon.h"
#include "util/joblogserver.h"

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
        useFakeServer();
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

}  // namespace
}  // namespace tvl::test
