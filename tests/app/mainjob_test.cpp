// The program's main job in real time: the built tarvel, offscreen, starts a Daily task on
// the simulated server at the minute it is due, logs it, and ends on SIGTERM.

#include <string>

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "ui/cachesimprocess.h"
#include "util/programfolders.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

namespace tvl::test {
namespace {

std::string logOf(const TempDir& work) {
    return fileExists(work.file("tvl.log")) ? readFile(work.file("tvl.log")) : std::string();
}

bool waitForLog(const TempDir& work, const std::string& what, int ms) {
    QDeadlineTimer deadline(ms);
    while (logOf(work).find(what) == std::string::npos) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(200);
    }
    return true;
}

// A Daily task on the simulated server due at the next minute, or the one after when this
// one is nearly over, so the program has started before the minute it must check.
std::string dailyTaskDueSoon(const CachesimProcess& server, std::string& at) {
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime due = now.addSecs(60 - now.time().second());
    if (now.time().second() >= 30) {
        due = due.addSecs(60);
    }
    at = QStringLiteral("%1:%2")
             .arg(due.time().hour(), 2, 10, QLatin1Char(' '))
             .arg(due.time().minute(), 2, 10, QLatin1Char('0'))
             .toStdString();
    return taskFileText(
        {taskLine({.name = "Demo",
                   .ip = "127.0.0.1",
                   .port = server.port(),
                   .dbPaths = server.database("alpha") + ";" + server.database("Beta"),
                   .saveDir = server.backupDir(),
                   .startTime = at})});
}

// The simulated server and a working folder with the message table and the demo task.
struct Demo : ProgramFolders {
    Demo() { writeFile(work.file("task.txt"), dailyTaskDueSoon(server, at)); }
    // The desktop program, offscreen, in the working folder.
    void startDesktop(QProcess& tarvel, const QProcessEnvironment& env) const {
        launch(tarvel, environment(env));
    }

    // At most three minutes from now, including the job itself.
    void expectJobCompleted() {
        const std::string jobLog = server.waitForJobLog(170000);
        EXPECT_NE(jobLog.find("Backup completed successfully"), std::string::npos)
            << "due at " << at << "\n"
            << jobLog << logOf(work);
    }

    CachesimProcess server;
    std::string at;  // the task's start time
};

TEST(MainJob, ADailyTaskDueAtTheNextMinuteIsBackedUpLoggedAndTheProgramEndsOnSigterm) {
    if (!CachesimProcess::built()) {
        GTEST_SKIP() << "cachesim is not built in this tree";
    }
    Demo demo;
    ASSERT_TRUE(demo.server.running());
    QProcess tarvel;
    demo.startDesktop(tarvel, QProcessEnvironment::systemEnvironment());
    ASSERT_TRUE(tarvel.waitForStarted(5000));
    ASSERT_TRUE(waitForLog(demo.work, "Program started", 10000))
        << tarvel.readAllStandardError().toStdString();

    demo.expectJobCompleted();
    const auto archives = demo.server.backupFiles(".bcp");
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_NE(archives[0].find("(Demo).bcp"), std::string::npos);
    const CommandResult listing = runCommand("tar -tf '" + archives[0] + "'");
    EXPECT_NE(listing.out.find("alpha/CACHE.DAT"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("Beta/CACHE.DAT"), std::string::npos) << listing.out;
    EXPECT_TRUE(waitForLog(demo.work, "Demo backup job started", 10000)) << logOf(demo.work);
    EXPECT_EQ(tarvel.readAllStandardError().toStdString().find("TVL box"), std::string::npos);

    tarvel.terminate();
    ASSERT_TRUE(tarvel.waitForFinished(10000));
    EXPECT_EQ(tarvel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tarvel.exitCode(), 0);
    const std::string log = logOf(demo.work);
    EXPECT_NE(log.find("Program finished"), std::string::npos) << log;
    EXPECT_LT(log.find("Program started"), log.find("Demo backup job started"));
    EXPECT_LT(log.find("Demo backup job started"), log.find("Program finished"));
}

// The built tarvelctl serve on a folder with a Daily task due at the next minute, and
// with the desktop program started on the same folder when asked: one of them starts the
// backup, once.
void serviceBacksUpTheDemo(bool withDesktop) {
    if (!CachesimProcess::built()) {
        GTEST_SKIP() << "cachesim is not built in this tree";
    }
    Demo demo;
    ASSERT_TRUE(demo.server.running());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess serve;
    serve.setProcessEnvironment(env);
    serve.start(QStringLiteral(TVL_BIN_DIR "/tarvelctl"),
                {QStringLiteral("--dir"), QString::fromStdString(demo.work.path()),
                 QStringLiteral("serve")});
    ASSERT_TRUE(serve.waitForStarted(5000));
    ASSERT_TRUE(waitForLog(demo.work, "Program started", 10000))
        << serve.readAllStandardError().toStdString();

    QProcess tarvel;
    if (withDesktop) {
        demo.startDesktop(tarvel, env);
        ASSERT_TRUE(tarvel.waitForStarted(5000));
    }

    demo.expectJobCompleted();
    EXPECT_TRUE(waitForLog(demo.work, "Demo backup job started", 10000)) << logOf(demo.work);
    if (withDesktop) {
        QTest::qWait(5000);  // time for a second start, were there one
        tarvel.terminate();
        ASSERT_TRUE(tarvel.waitForFinished(10000));
        EXPECT_EQ(tarvel.exitCode(), 0);
    }
    const auto archives = demo.server.backupFiles(".bcp");
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_NE(archives[0].find("(Demo).bcp"), std::string::npos);
    EXPECT_EQ(demo.server.backupFiles(".log").size(), 1u);

    serve.terminate();
    ASSERT_TRUE(serve.waitForFinished(10000));
    EXPECT_EQ(serve.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(serve.exitCode(), 0);
    const std::string err = serve.readAllStandardError().toStdString();
    EXPECT_NE(err.find("Demo backup job started"), std::string::npos) << err;
    const std::string log = logOf(demo.work);
    EXPECT_LT(log.find("Demo backup job started"), log.rfind("Program finished")) << log;
    EXPECT_EQ(log.find("Demo backup job started"), log.rfind("Demo backup job started")) << log;
    EXPECT_EQ(readFile(demo.work.file("tvl.state")).size(), 17u)
        << "one whole line, no minute half done";
}

TEST(MainJob, TheServiceBacksUpADailyTaskDueAtTheNextMinuteWithoutADisplay) {
    serviceBacksUpTheDemo(false);
}

TEST(MainJob, TheServiceAndTheDesktopProgramOnOneFolderStartTheBackupOnce) {
    serviceBacksUpTheDemo(true);
}

}  // namespace
}  // namespace tvl::test
