// The built program, started the way a user starts it, in a working directory of its own.

#include <csignal>
#include <string>

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "util/programfolders.h"
#include "util/tempdir.h"

namespace tvl::test {
namespace {

class ProgramTest : public ::testing::Test, protected ProgramFolders {
protected:
    void launch(QProcess& process, const QProcessEnvironment& env) {
        ProgramFolders::launch(process, env);
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // Starts the program and waits until it has written its start line.
    void launchRunning(QProcess& process) {
        const std::size_t before = count(log(), "Program started");
        launch(process, environment());
        QDeadlineTimer deadline(10000);
        while (count(log(), "Program started") == before && !deadline.hasExpired()) {
            QTest::qWait(50);
        }
        ASSERT_EQ(count(log(), "Program started"), before + 1) << stderrOf(process);
    }

    // Starts the program and expects it to end at once, naming the file it could not read.
    void expectEndsReading(const std::string& file) {
        QProcess program;
        launch(program, environment());
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_NE(program.exitCode(), 0);
        EXPECT_NE(stderrOf(program).find("icon=error text=Error reading file " + file + "\n"),
                  std::string::npos);
    }

    static std::string stderrOf(QProcess& process) {
        return process.readAllStandardError().toStdString();
    }

    std::string log() const { return readFile(work.file("tvl.log")); }

    static std::size_t count(const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    }
};

TEST_F(ProgramTest, ASecondStartWakesTheFirstAndEndsShowingNothing) {
    QProcess first;
    launchRunning(first);

    QProcess second;
    launch(second, environment());
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(stderrOf(second), "");
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(count(log(), "Program started"), 1u);

    // SIGTERM ends it like Exit, without the save question.
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(count(log(), "Program finished"), 1u);
    EXPECT_EQ(stderrOf(first).find("TVL box"), std::string::npos);

    // With the first one gone, the next start runs.
    QProcess third;
    launchRunning(third);
    ::kill(static_cast<pid_t>(third.processId()), SIGINT);
    ASSERT_TRUE(third.waitForFinished(10000));
    EXPECT_EQ(count(log(), "Program finished"), 2u);
}

TEST_F(ProgramTest, AMissingControlGivesTheClientMessageAndNoLog) {
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("TVL_VISM_LIBRARY"),
               QString::fromStdString(work.file("no-such-libvism.so")));
    QProcess program;
    launch(program, env);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_NE(stderrOf(program).find(
                  "TVL box: title=TVL icon=error text=For normal work You must install at least "
                  "Cache client\n"),
              std::string::npos);
    EXPECT_FALSE(fileExists(work.file("tvl.log")));
    EXPECT_FALSE(fileExists(work.file("task.txt")));
}

TEST_F(ProgramTest, AMissingMessageTableEndsTheProgram) {
    std::filesystem::remove(work.file("english.dat"));
    expectEndsReading("english.dat");
}

TEST_F(ProgramTest, ATaskFileWithAnEmptyLineEndsTheProgram) {
    copyFile(fixture("broken-empty-line.txt"), work.file("task.txt"));
    expectEndsReading("Task.txt");
    // The start was logged before the program ended, and so was the end.
    EXPECT_EQ(count(log(), "Program started"), 1u);
    EXPECT_EQ(count(log(), "Program finished"), 1u);
}

}  // namespace
}  // namespace tvl::test
