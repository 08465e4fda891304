// The whole road of a backup's outcome in real time: the desktop program's window with the
// system clock and the built control library starts two Daily tasks on the simulated
// server at the minute they are due, one of a database the server has and one of a
// directory it does not know; within two minutes the first shows completed and the other
// failed, in tvl.log, in the built tarvelctl's history and in the window's last-run line.

#include <QComboBox>
#include <QDateTime>
#include <QTest>

#include "cachesimprocess.h"
#include "guitest.h"
#include "server/controlloader.h"
#include "server/vismcontrol.h"
#include "ui/runsrow.h"

namespace tvl::test {
namespace {

class FollowJobsRealTime : public GuiTest {};

TEST_F(FollowJobsRealTime, AGoodAndAnUnknownDatabaseEndCompletedAndFailedEverywhere) {
    if (!CachesimProcess::built()) {
        GTEST_SKIP() << "cachesim is not built in this tree";
    }
    CachesimProcess server;
    ASSERT_TRUE(server.running());
    std::string why;
    std::unique_ptr<VismControl> control = loadControl(TVL_BIN_DIR, &why);
    ASSERT_NE(control, nullptr) << why;

    // Due at the next minute, or the one after when this one is nearly over.
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime due = now.addSecs(60 - now.time().second());
    if (now.time().second() >= 40) {
        due = due.addSecs(60);
    }
    const std::string at = QStringLiteral("%1:%2")
                               .arg(due.time().hour(), 2, 10, QLatin1Char(' '))
                               .arg(due.time().minute(), 2, 10, QLatin1Char('0'))
                               .toStdString();
    const auto task = [&](const std::string& name, const std::string& paths) {
        return name + "\x01" + "127.0.0.1\x02" + server.port() + "\x03" + paths + "\x04" +
               server.backupDir() + "\x05" + "1" + at + "\x06" + "1\r\n";
    };
    writeFile(file("task.txt"),
              task("Good", server.database("alpha")) + task("Bad", "/no/such/database/"));

    ui::MainWindowOptions options;
    options.settingsFile = QString::fromStdString(file("tarvel.ini"));
    options.autostartFile = QString::fromStdString(file("autostart/tarvel.desktop"));
    options.control = control.get();
    options.workerControl = [] { return loadControl(TVL_BIN_DIR); };
    options.languageFolder = QString::fromStdString(m_dir->path());
    m_windows = ui::createProgramWindows(options);
    m_windows.main->show();

    const auto ended = [this](const char* what) {
        return logFile().find(what) != std::string::npos;
    };
    QTRY_VERIFY_WITH_TIMEOUT(
        ended("Good backup job ended: completed") && ended("Bad backup job ended: failed"), 200000);
    EXPECT_TRUE(ended("Bad backup job ended: failed - Backup failed: directory /no/such/database/"))
        << logFile();

    struct Case {
        int entry;
        const char* name;
        const char* outcome;
        bool warns;
    };
    const Case cases[] = {{0, "Good", "completed", false}, {1, "Bad", "failed", true}};
    const CommandResult history =
        runCommand(std::string(TVL_BIN_DIR "/tarvelctl --dir '") + m_dir->path() + "' history");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pick(c.entry);
        const QString last = main().runsRow().lastRun();
        EXPECT_TRUE(last.contains(QStringLiteral(": %1 - ").arg(QLatin1String(c.outcome))))
            << last.toStdString();
        EXPECT_EQ(main().runsRow().warns(), c.warns);
        EXPECT_NE(history.out.find(std::string("\t") + c.name + "\t" + c.outcome),
                  std::string::npos)
            << history.out << history.err;
    }
    EXPECT_TRUE(boxes().empty());
    // The windows go before the control they use.
    m_windows = ui::ProgramWindows();
}

}  // namespace
}  // namespace tvl::test
