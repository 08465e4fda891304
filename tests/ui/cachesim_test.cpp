// Run and the database list of the main window through the built control library against
// the simulated database server.

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "cachesimprocess.h"
#include "guitest.h"
#include "server/controlloader.h"
#include "server/vismcontrol.h"
#include "util/tasklines.h"

namespace tvl::test {
namespace {

using ui::MessageBox;

// The task file of one task on the simulated server.
std::string task(const std::string& name, const std::string& port, const std::string& paths,
                 const std::string& saveDir) {
    return taskFileText({taskLine({.name = name,
                                   .ip = "127.0.0.1",
                                   .port = port,
                                   .dbPaths = paths,
                                   .saveDir = saveDir,
                                   .startTime = " 3:00"})});
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

class CachesimGuiTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        if (!CachesimProcess::built()) {
            GTEST_SKIP() << "cachesim is not built in this tree";
        }
        m_server = std::make_unique<CachesimProcess>();
        ASSERT_TRUE(m_server->running());
        std::string why;
        m_ownControl = loadControl(TVL_BIN_DIR, &why);
        ASSERT_NE(m_ownControl, nullptr) << why;
        m_control = m_ownControl.get();
    }
    void TearDown() override {
        GuiTest::TearDown();
        m_ownControl.reset();
        m_server.reset();
    }
    QString q(const std::string& s) { return QString::fromStdString(s); }

    std::unique_ptr<CachesimProcess> m_server;
    std::unique_ptr<VismControl> m_ownControl;
};

TEST_F(CachesimGuiTest, RunStartsABackupOfBothDatabasesOnTheServer) {
    const std::string paths = m_server->database("alpha") + ";" + m_server->database("Beta");
    start(task("Nightly", m_server->port(), paths, m_server->backupDir()).c_str());
    pick(0);
    main().RunClick();

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u) << main().statusText().toStdString();
    EXPECT_EQ(shown[0].text, QStringLiteral("The backup job has been started on the server"));
    EXPECT_EQ(main().statusText(), shown[0].text);
    EXPECT_NE(logFile().find("Nightly backup job started"), std::string::npos);

    const std::string jobLog = m_server->waitForJobLog();
    EXPECT_NE(jobLog.find("Backup completed successfully"), std::string::npos) << jobLog;
    const auto archives = m_server->backupFiles(".bcp");
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_NE(archives[0].find("/Full_"), std::string::npos);
    EXPECT_NE(archives[0].find("(Nightly).bcp"), std::string::npos);
    const CommandResult listing = runCommand("tar -tf '" + archives[0] + "'");
    EXPECT_NE(listing.out.find("alpha/CACHE.DAT"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("Beta/CACHE.DAT"), std::string::npos) << listing.out;
}

TEST_F(CachesimGuiTest, AServerThatCannotBeReachedIsReportedByBoxOnlyWhileInteractive) {
    // Port 1 on loopback: nothing listens there.
    start(task("Nightly", "1", m_server->database("alpha"), m_server->backupDir()).c_str());
    pick(0);
    main().RunClick();
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_FALSE(main().statusText().isEmpty());
    EXPECT_EQ(main().statusText(), QStringLiteral("Nightly: ") + shown[0].text);

    main().setInteractive(false);
    main().RunClick();
    EXPECT_TRUE(boxes().empty());
    main().setInteractive(true);

    const std::string log = logFile();
    const std::string mserver = "CN_IPTCP:127.0.0.1[1]:127.0.0.1[1]";
    const auto first = log.find(mserver);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(mserver, first + 1), std::string::npos) << log;
    EXPECT_EQ(log.find("backup job started"), std::string::npos);
    EXPECT_TRUE(m_server->backupFiles(".bcp").empty());
}

TEST_F(CachesimGuiTest, TheDatabaseListComesFromTheServerInItsOrderAndLetterCase) {
    const std::string alpha = m_server->database("alpha");
    const std::string beta = m_server->database("Beta");
    // alpha typed in capitals, a directory the server does not list, Beta without its
    // closing separator (the same directory), alpha again.
    const std::string paths =
        upper(alpha) + ";/not/listed/;" + beta.substr(0, beta.size() - 1) + ";" + alpha;
    start(task("Nightly", m_server->port(), paths, m_server->backupDir()).c_str());
    pick(0);
    press();
    // The server lists in byte order: "Beta" before "alpha".
    EXPECT_EQ(entries(),
              (QStringList{q(beta) + QStringLiteral(" [x]"), q(alpha) + QStringLiteral(" [x]")}));
    EXPECT_EQ(main().pendingIndex(), -1);
    press();
    EXPECT_EQ(find<QLineEdit>("edIn")->text(), q(beta + ";" + alpha));
    EXPECT_EQ(main().statusText(),
              QStringLiteral("Not in the server's list, left out of the task: /not/listed/"));
    EXPECT_EQ(main().pendingIndex(), 0);

    press();
    find<QListWidget>("clbDB")->item(0)->setCheckState(Qt::Checked);
    press();
    EXPECT_EQ(find<QLineEdit>("edIn")->text(), q(beta + ";" + alpha));
    EXPECT_TRUE(boxes().empty());
}

}  // namespace
}  // namespace tvl::test
