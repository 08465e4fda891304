// Run, the database list and the minute timer of the main window, against a scripted
// control and a clock that stands still until the test moves it.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "core/schedulerlock.h"
#include "core/schedulerstate.h"
#include "fakes/fakecontrol.h"
#include "fakes/scriptedserver.h"
#include "guitest.h"
#include "server/backuprun.h"
#include "ui/trayicon.h"
#include "util/tasklines.h"

namespace tvl::test {
namespace {

using ui::MessageBox;

const QString kBust = QStringLiteral("The backup job has been started on the server");

// The tasks here run on the local server, due at 9:06 unless the test says otherwise.
std::string task(const std::string& name, const std::string& time = " 9:06",
                 const std::string& port = "1972", const std::string& paths = "/db/a/;/db/b") {
    return taskLine({.name = name,
                     .ip = "127.0.0.1",
                     .port = port,
                     .dbPaths = paths,
                     .saveDir = "/bak",
                     .startTime = time});
}

class ServerCommandsTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        m_fake.script = [this](const std::string& code, const FakeControl::Params& p) {
            if (code == kJobLine && onJob) {
                onJob();
            }
            return serverAnswer(code, p);
        };
        m_control = &m_fake;
        // The database list is read by a control of its own, scripted like the window's.
        m_workerControl = [this] {
            auto walker = std::make_unique<FakeControl>();
            walker->script = [this](const std::string& code, const FakeControl::Params& p) {
                return m_fake.script(code, p);
            };
            m_walker = walker.get();
            return walker;
        };
    }

    // P0..P9 of every job started, in order.
    std::vector<FakeControl::Params> jobParams() const {
        std::vector<FakeControl::Params> out;
        std::size_t n = 0;
        for (const std::string& e : m_fake.events) {
            if (e == "exec " + std::string(kJobLine)) {
                out.push_back(m_fake.sentParams[n]);
            }
            n += e.rfind("exec ", 0) == 0 ? 1 : 0;
        }
        return out;
    }
    // The backup file of every job started, in order.
    std::vector<std::string> jobs() const {
        std::vector<std::string> files;
        for (const FakeControl::Params& p : jobParams()) {
            files.push_back(p[3]);
        }
        return files;
    }
    static std::string bcp(const std::string& name) {
        return "/bak/Full_2026-12-07_15h05m07s(" + name + ").bcp";
    }
    QString shownName() { return find<QComboBox>("cbName")->currentText(); }
    void failConnects(const std::string& why) {
        m_fake.connectScript = [why](const std::string&) {
            return FakeControl::Answer{1000, why, ""};
        };
    }

    FakeControl* m_walker = nullptr;  // owned by the window once a walk has begun
    std::function<void()> onJob;
};

TEST_F(ServerCommandsTest, RunStartsTheShownTaskWithItsUnsavedEditsAndReportsIt) {
    start(taskFileText({task("Nightly")}).c_str());
    pick(0);
    typeInto("edIn", QStringLiteral("/db/a/;;/db/c"));
    shortcut(Qt::Key_F5, Qt::ControlModifier);

    const std::vector<std::string> code = m_fake.codeLines();
    ASSERT_FALSE(m_fake.events.empty());
    EXPECT_EQ(m_fake.events.front(), "connect CN_IPTCP:127.0.0.1[1972]:127.0.0.1[1972]");
    EXPECT_NE(std::find(code.begin(), code.end(), directoryLine("/db/a/")), code.end());
    // Only the last directory is given its closing separator; the empty piece is skipped.
    EXPECT_NE(std::find(code.begin(), code.end(), directoryLine("/db/c/")), code.end());
    EXPECT_EQ(std::count_if(code.begin(), code.end(),
                            [](const std::string& c) { return c.rfind("s ^SYS", 0) == 0; }),
              2);
    EXPECT_EQ(jobs(), std::vector<std::string>{bcp("Nightly")});
    EXPECT_EQ(m_fake.events.back(), "disconnect");

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, kBust);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::None);
    EXPECT_EQ(main().statusText(), kBust);
    EXPECT_NE(logFile().find("Nightly backup job started"), std::string::npos);
    // The run saves nothing: the edit is still there to be saved or dropped.
    EXPECT_EQ(main().pendingIndex(), 0);
    EXPECT_EQ(taskFile(), taskFileText({task("Nightly")}));
}

TEST_F(ServerCommandsTest, AControlErrorIsBoxedOnlyWhileInteractiveAndAlwaysLogged) {
    start(taskFileText({task("Nightly")}).c_str());
    pick(0);
    failConnects("<COMMUNICATION> refused");
    find<QAction>("miRun")->trigger();
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("<COMMUNICATION> refused"));
    EXPECT_EQ(main().statusText(), QStringLiteral("Nightly: <COMMUNICATION> refused"));
    EXPECT_TRUE(jobs().empty());

    main().setInteractive(false);
    main().setStatusText(QString());
    main().RunClick();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(main().statusText(), QStringLiteral("Nightly: <COMMUNICATION> refused"));
    const std::string log = logFile();
    const std::string line =
        "<COMMUNICATION> refused CN_IPTCP:127.0.0.1[1972]:127.0.0.1[1972] Nightly\r\n";
    EXPECT_NE(log.find(line), std::string::npos);
    EXPECT_NE(log.find(line, log.find(line) + 1), std::string::npos) << log;

    // An incomplete task is not sent anywhere and says nothing.
    main().setInteractive(true);
    m_fake.events.clear();
    typeInto("edPort", QString());
    main().RunClick();
    EXPECT_TRUE(m_fake.events.empty());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ServerCommandsTest, TimerRunsEveryTaskOfAMinuteOnceInListOrderWithoutABox) {
    start(taskFileText({task("First"), task("Second"), task("Later", " 9:08")}).c_str());
    // Nothing is due in the minute the program started in.
    main().Timer1Timer();
    EXPECT_TRUE(jobs().empty());

    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(jobs(), (std::vector<std::string>{bcp("First"), bcp("Second")}));
    EXPECT_EQ(shownName(), QStringLiteral("Second"));
    EXPECT_TRUE(main().interactive());
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(main().statusText(), kBust);
    const std::string log = logFile();
    EXPECT_LT(log.find("First backup job started"), log.find("Second backup job started"));

    // A second tick in the same minute starts nothing again; a late tick catches up.
    main().Timer1Timer();
    EXPECT_EQ(jobs().size(), 2u);
    m_clock.advanceMinutes(3);
    main().Timer1Timer();
    EXPECT_EQ(jobs().back(), bcp("Later"));
    EXPECT_EQ(jobs().size(), 3u);
}

TEST_F(ServerCommandsTest, TheTimerStartsTasksOnlyWhileItHoldsTheFoldersLockAndSaysWhoElseDoes) {
    SchedulerLock service(SchedulerKind::Service, file("tvl.lock"));
    ASSERT_EQ(service.tryTake(), SchedulerLock::Result::Held);
    start(taskFileText({task("First"), task("Second", " 9:07")}).c_str());
    ui::TrayIcon tray(ui::TrayIcon::Availability::Available);
    ui::connectTray(tray, main());
    const QString notice =
        QStringLiteral("Backups are started by another Tarvel: PID %1").arg(::getpid());

    m_clock.advanceMinutes(1);  // 9:06: First is due, but the service starts it
    main().Timer1Timer();
    EXPECT_TRUE(jobs().empty());
    EXPECT_EQ(main().fieldHint(), notice);
    EXPECT_TRUE(tray.icon()->toolTip().endsWith(notice)) << tray.icon()->toolTip().toStdString();

    // The service ends having checked 9:05 only; the program takes over at the next tick
    // and continues from there: First is made up, Second starts in its minute, once each.
    ASSERT_TRUE(writeState(file("tvl.state"), {civilMinute({{2026, 12, 7}, 9, 5, 0}), 0}));
    service.release();
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    main().Timer1Timer();
    EXPECT_EQ(jobs(), (std::vector<std::string>{bcp("First"), bcp("Second")}));
    EXPECT_EQ(main().fieldHint(), QString());
    EXPECT_EQ(tray.icon()->toolTip(), QStringLiteral("Tarvel Utility"));
    EXPECT_EQ(readLockHolder(file("tvl.lock")).kind, "desktop");
    ScheduleMark mark;
    ASSERT_EQ(readState(file("tvl.state"), mark), StateRead::Ok);
    EXPECT_EQ(mark.lastChecked, civilMinute({{2026, 12, 7}, 9, 7, 0}));
}

TEST_F(ServerCommandsTest, AStartMakesUpTheStartsMissedWithinCatchUpMinutes) {
    struct Case {
        const char* setting;
        std::size_t jobs;
    } cases[] = {{nullptr, 1}, {"0", 0}, {"1", 0}, {"2", 1}, {"999", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting ? c.setting : "none");
        // The last Tarvel checked 9:02 and ended; this one starts at 9:05.
        ASSERT_TRUE(writeState(file("tvl.state"), {civilMinute({{2026, 12, 7}, 9, 2, 0}), 0}));
        writeFile(file("tarvel.ini"),
                  c.setting ? std::string("[Scheduler]\ncatchUpMinutes=") + c.setting + "\n" : "");
        m_fake.events.clear();
        start(taskFileText({task("Missed", " 9:03")}).c_str());
        main().Timer1Timer();
        QTest::qWait(20);  // the tick right after start-up
        EXPECT_EQ(jobs().size(), c.jobs);
    }
}

TEST_F(ServerCommandsTest, APendingTaskAtATickStaysAsItIsAndTheDueTaskRunsFromItsLine) {
    start(taskFileText({task("Edited", "23:00"), task("Due")}).c_str());
    pick(0);
    typeInto("edIP", QStringLiteral("10.9.9.9"));
    ASSERT_EQ(main().pendingIndex(), 0);

    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(jobs(), std::vector<std::string>{bcp("Due")});
    EXPECT_EQ(m_fake.events.front(), "connect CN_IPTCP:127.0.0.1[1972]:127.0.0.1[1972]");
    // No save question, and the user's edit and selection are untouched.
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(shownName(), QStringLiteral("Edited"));
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.9.9.9"));
    EXPECT_EQ(main().pendingIndex(), 0);
    EXPECT_TRUE(main().interactive());
    EXPECT_NE(logFile().find("Due backup job started"), std::string::npos);
}

TEST_F(ServerCommandsTest, AControlErrorOfATimerRunNamesItsTaskNotTheShownOne) {
    start(taskFileText({task("Shown", "23:00"), task("Due")}).c_str());
    pick(0);
    typeInto("edPort", QStringLiteral("1973"));
    failConnects("<COMMUNICATION> 127.0.0.1[1972]: connection refused");
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(shownName(), QStringLiteral("Shown"));
    EXPECT_EQ(main().statusText(),
              QStringLiteral("Due: <COMMUNICATION> 127.0.0.1[1972]: connection refused"));
    EXPECT_NE(logFile().find("<COMMUNICATION> 127.0.0.1[1972]: connection refused "
                             "CN_IPTCP:127.0.0.1[1972]:127.0.0.1[1972] Due\r\n"),
              std::string::npos)
        << logFile();
    EXPECT_TRUE(boxes().empty());
}

// A due task runs through the editor when it is free, else from its stored line; both send
// the same bytes, whatever blanks, control bytes or character set the line holds.
TEST_F(ServerCommandsTest, TheEditorAndTheStoredLineSendTheSameBytes) {
    auto raw = [](const std::string& name, const std::string& ip, const std::string& port,
                  const std::string& paths, const std::string& save, const std::string& time) {
        return name + '\x01' + ip + '\x02' + port + '\x03' + paths + '\x04' + save + '\x05' + "2" +
               time + '\x06' + "1";
    };
    auto both = [&](const std::string& time) {
        return std::vector<std::string>{
            raw("Spaces", " 127.0.0.1 ", " 1972", " /db/a\x1e;/db/b \t", " /bak", time),
            raw("\xed\xee\xf7\xfc", "127.0.0.1", "1972", "/db/\xcf\xf3\xf2\xfc", "bak/ ", time)};
    };
    const std::vector<std::string> viaEditor = both(" 9:06");
    const std::vector<std::string> viaLine = both(" 9:07");
    start(
        taskFileText({task("Edited", "23:00"), viaEditor[0], viaEditor[1], viaLine[0], viaLine[1]})
            .c_str());
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    const std::vector<std::string> editorEvents = m_fake.events;
    const std::vector<FakeControl::Params> editorJobs = jobParams();
    ASSERT_EQ(editorJobs.size(), 2u);
    EXPECT_EQ(jobs()[1],
              "bak/Incremental_2026-12-07_15h05m07s(\xd0\xbd\xd0\xbe\xd1\x87\xd1\x8c).bcp");

    pick(0);
    typeInto("edIP", QStringLiteral("10.9.9.9"));
    ASSERT_EQ(main().pendingIndex(), 0);
    m_fake.events.clear();
    m_fake.sentParams.clear();
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(m_fake.events, editorEvents);
    EXPECT_EQ(jobParams(), editorJobs);
    EXPECT_EQ(main().pendingIndex(), 0) << "the stored-line road leaves the edit alone";
}

TEST_F(ServerCommandsTest, EditsLeftOnScreenByARefusedSaveAreNotLoadedOverAtATick) {
    start(taskFileText({task("Edited", "23:00"), task("Other", "23:00"), task("Due")}).c_str());
    pick(0);
    typeInto("edIP", QString());  // incomplete: the save question's Yes is refused
    typeInto("edPort", QStringLiteral("5555"));
    MessageBox::queueAnswers({MessageBox::Answer::Yes, MessageBox::Answer::Ok});
    pick(1);
    ASSERT_EQ(main().pendingIndex(), -1);
    ASSERT_EQ(find<QLineEdit>("edPort")->text(), QStringLiteral("5555"));
    boxes();

    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(jobs(), std::vector<std::string>{bcp("Due")});
    EXPECT_EQ(find<QLineEdit>("edPort")->text(), QStringLiteral("5555"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ServerCommandsTest, UnreadableTimesHiddenLinesAndIncompleteTasksDoNotStopTheTick) {
    start(taskFileText({task("A"), task("NoTime", "  :  "), task("BlankPort", " 9:06", " "),
                        task("C"), std::string("\x01") + "hidden", task("AfterHidden")})
              .c_str());
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(jobs(), (std::vector<std::string>{bcp("A"), bcp("C")}));
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(main().interactive());

    // The blank port failed the run's field check silently; interactive mode is on again,
    // so the user's own Run reports with a box.
    pick(0);
    failConnects("<COMMUNICATION> refused");
    main().RunClick();
    ASSERT_EQ(boxes().size(), 1u);
}

TEST_F(ServerCommandsTest, ATickDuringATickDoesNothingAndItsMinuteComesNext) {
    start(taskFileText({task("First"), task("Next", " 9:07")}).c_str());
    int nested = 0;
    onJob = [this, &nested] {
        if (nested++ == 0) {
            m_clock.advanceMinutes(1);
            main().Timer1Timer();
        }
    };
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(jobs(), std::vector<std::string>{bcp("First")});
    main().Timer1Timer();
    EXPECT_EQ(jobs(), (std::vector<std::string>{bcp("First"), bcp("Next")}));
}

// Database list: the server lists /db/a/, /db/B/ and /db/c/.
class DatabaseListTest : public ServerCommandsTest {
protected:
    void SetUp() override {
        ServerCommandsTest::SetUp();
        m_fake.script = [this, run = m_fake.script](const std::string& code,
                                                    const FakeControl::Params& p) {
            if (code != "$o(^|\"%SYS\"|SYS(\"UCI\",P0))") {
                return run(code, p);
            }
            // The directory after P0 in the server's order; empty after the last.
            auto next = m_databases.begin();
            if (!p[0].empty()) {
                next = std::find(m_databases.begin(), m_databases.end(), p[0]);
                if (next != m_databases.end()) {
                    ++next;
                }
            }
            return FakeControl::Answer{0, "", next == m_databases.end() ? "" : *next};
        };
    }
    QString paths() { return find<QLineEdit>("edIn")->text(); }

    std::vector<std::string> m_databases = {"/db/a/", "/db/B/", "/db/c/"};
};

TEST_F(DatabaseListTest, OpeningChecksTheFieldsDirectoriesAndClosingWritesTheCheckedBack) {
    start(taskFileText({task("Nightly", " 9:06", "1972", "/db/b/;/db/x/;/db/a/;/db/a;/db/a/")})
              .c_str());
    pick(0);
    press();
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("/db/a/ [x]"), QStringLiteral("/db/B/ [x]"),
                                      QStringLiteral("/db/c/")}));
    EXPECT_EQ(find<QPushButton>("btDB")->text(), QStringLiteral("<<"));
    EXPECT_FALSE(find<QListWidget>("clbDB")->isHidden());
    EXPECT_TRUE(find<QLineEdit>("edOut")->isHidden());
    EXPECT_TRUE(find<QComboBox>("cbBUTyp")->isHidden());
    ASSERT_NE(m_walker, nullptr);
    EXPECT_EQ(m_walker->events.back(), "disconnect");

    // The button names what it is for; a click in the list clears the hint.
    auto* list = find<QListWidget>("clbDB");
    find<QLineEdit>("edIP")->setFocus();
    find<QPushButton>("btDB")->setFocus();
    EXPECT_EQ(main().fieldHint(), QStringLiteral("Pick databases from the server's list"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(main().fieldHint(), QString());

    // Ticking is no edit; closing writes the list's order and letter case, once each.
    list->item(2)->setCheckState(Qt::Checked);
    list->item(2)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(main().pendingIndex(), -1);
    press();
    EXPECT_EQ(paths(), QStringLiteral("/db/a/;/db/B/"));
    EXPECT_EQ(main().pendingIndex(), 0);
    EXPECT_EQ(find<QPushButton>("btDB")->text(), QStringLiteral(">>"));
    EXPECT_TRUE(list->isHidden());
    EXPECT_FALSE(find<QLineEdit>("edOut")->isHidden());
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("/db/a/"), QStringLiteral("/db/B/"),
                                      QStringLiteral("/db/c/")}));
    EXPECT_TRUE(boxes().empty());
    // The directory the server does not list is named as it leaves the task.
    EXPECT_EQ(main().statusText(),
              QStringLiteral("Not in the server's list, left out of the task: /db/x/"));
}

TEST_F(DatabaseListTest, PathsThatLackOnlyTheServersClosingSeparatorAreItsEntries) {
    // The program closes only the last path of the field; the server lists every one closed.
    start(taskFileText({task("Nightly", " 9:06", "1972", "/db/a;/db/c/")}).c_str());
    pick(0);
    press();
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("/db/a/ [x]"), QStringLiteral("/db/B/"),
                                      QStringLiteral("/db/c/ [x]")}));
    press();
    EXPECT_EQ(paths(), QStringLiteral("/db/a/;/db/c/"));
    EXPECT_FALSE(main().statusText().contains(QStringLiteral("left out")));
}

TEST_F(DatabaseListTest, AnUnchangedTextIsNoEditButKeepsAnEarlierPendingState) {
    start(taskFileText({task("Nightly", " 9:06", "1972", "/db/a/;/db/B/")}).c_str());
    pick(0);
    press();
    press();
    EXPECT_EQ(paths(), QStringLiteral("/db/a/;/db/B/"));
    EXPECT_EQ(main().pendingIndex(), -1);

    typeInto("edOut", QStringLiteral("/elsewhere"));
    ASSERT_EQ(main().pendingIndex(), 0);
    press();
    press();
    EXPECT_EQ(main().pendingIndex(), 0);
}

TEST_F(DatabaseListTest, EmptyServerListMissingAddressAndPickingATask) {
    start(taskFileText({task("Nightly"), task("Other")}).c_str());
    pick(0);
    m_databases.clear();
    press();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_FALSE(find<QListWidget>("clbDB")->isHidden());
    press();
    EXPECT_EQ(paths(), QString());

    // Picking a task closes the list and empties it.
    m_databases = {"/db/a/"};
    press();
    ASSERT_FALSE(find<QListWidget>("clbDB")->isHidden());
    MessageBox::queueAnswers({MessageBox::Answer::No});
    pick(1);
    EXPECT_TRUE(find<QListWidget>("clbDB")->isHidden());
    EXPECT_EQ(find<QPushButton>("btDB")->text(), QStringLiteral(">>"));
    EXPECT_EQ(find<QListWidget>("clbDB")->count(), 0);
    boxes();

    m_walker->events.clear();
    typeInto("edPort", QString());
    press();
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Enter the server IP and the port to get the list of databases"));
    EXPECT_TRUE(m_walker->events.empty());
    EXPECT_TRUE(find<QListWidget>("clbDB")->isHidden());
}

TEST_F(DatabaseListTest, ATickLeavesAnOpenListAndAnOpenDialogAlone) {
    start(taskFileText(
              {task("Shown", "23:00", "1972", "/db/a/"), task("Due"), task("Later", " 9:07")})
              .c_str());
    pick(0);
    press();
    ASSERT_FALSE(find<QListWidget>("clbDB")->isHidden());
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(jobs(), std::vector<std::string>{bcp("Due")});
    EXPECT_FALSE(find<QListWidget>("clbDB")->isHidden());
    EXPECT_EQ(shownName(), QStringLiteral("Shown"));
    press();

    // The New Task Name dialog is open when the next minute comes.
    QString shownDuringDialog;
    onNextDialog([this, &shownDuringDialog](QWidget* dialog) {
        m_clock.advanceMinutes(1);
        main().Timer1Timer();
        shownDuringDialog = shownName();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("bbCancel")),
                          Qt::LeftButton);
    });
    main().NewClick();
    EXPECT_EQ(jobs(), (std::vector<std::string>{bcp("Due"), bcp("Later")}));
    EXPECT_EQ(shownDuringDialog, QStringLiteral("Shown"));
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(main().interactive());
}

TEST_F(DatabaseListTest, AFailedWalkLeavesTheListClosedAndTheFieldAsItWas) {
    start(taskFileText({task("Nightly", " 9:06", "1972", "/db/a/;/db/c/")}).c_str());
    pick(0);
    m_fake.script = [](const std::string&, const FakeControl::Params& p) {
        if (p[0].empty()) {
            return FakeControl::Answer{0, "", "/db/a/"};
        }
        return FakeControl::Answer{1001, "<DISCONNECT> lost", ""};
    };
    press();
    EXPECT_TRUE(find<QListWidget>("clbDB")->isHidden());
    EXPECT_EQ(find<QPushButton>("btDB")->text(), QStringLiteral(">>"));
    EXPECT_EQ(paths(), QStringLiteral("/db/a/;/db/c/"));
    EXPECT_EQ(boxes().size(), 1u);
}

// The list read off the window thread by the built control library, from a server that
// names a new directory every 5 ms and never ends.
class SlowDatabaseListTest : public ServerCommandsTest {
protected:
    void SetUp() override {
        ServerCommandsTest::SetUp();
        m_workerControl = nullptr;
        auto limits = std::make_shared<WalkLimits>();
        limits->maxEntries = 150;
        m_walkLimits = limits;
    }
    // Shows a task on the slow server and clicks the list button.
    void startWalk(const std::function<void()>& beforeClick = {}) {
        start(taskFileText({task("Shown", "23:00", m_server.portText(), "/db/1/"), task("Due")})
                  .c_str());
        pick(0);
        if (beforeClick) {
            beforeClick();
        }
        QTest::mouseClick(find<QPushButton>("btDB"), Qt::LeftButton);
    }

    std::atomic<int> m_named{0};
    // After three names the server holds its answers until the test lets it go on, so what
    // the test looks at happens while the walk surely runs, however slow the machine.
    std::atomic<bool> m_goOn{false};
    ScriptedServer m_server{[this](const wire::Request& r) {
        if (r.code != kNextDatabaseLine) {
            return ok();
        }
        for (int waited = 0; m_named >= 3 && !m_goOn && waited < 30000; waited += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return ok("/db/" + std::to_string(++m_named) + "/");
    }};
};

TEST_F(SlowDatabaseListTest, TheWindowAndTheMinuteTimerGoOnWhileTheWalkRunsToItsBound) {
    // A zero-timer set before the click fires while the walk still runs: the click does
    // not hold the window's thread.
    QPushButton* btDB = nullptr;
    int firedWhileWalking = -1;
    startWalk([&] {
        btDB = find<QPushButton>("btDB");
        QTimer::singleShot(0, &main(), [&] { firedWhileWalking = btDB->isEnabled() ? 0 : 1; });
    });
    EXPECT_FALSE(btDB->isEnabled());
    QTRY_VERIFY(firedWhileWalking >= 0);
    EXPECT_EQ(firedWhileWalking, 1);

    // The minute comes while the walk runs: the due task starts from its stored line, the
    // shown one stays, and a second walk is not begun.
    m_clock.advanceMinutes(1);
    find<QTimer>("Timer1")->start(0);
    QTRY_COMPARE(jobs(), std::vector<std::string>{bcp("Due")});
    EXPECT_EQ(shownName(), QStringLiteral("Shown"));
    main().btDBClick();
    EXPECT_FALSE(btDB->isEnabled());

    m_goOn = true;
    QTRY_VERIFY_WITH_TIMEOUT(btDB->isEnabled(), 30000);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("the server named more than 150 databases; the list was stopped"));
    EXPECT_TRUE(find<QListWidget>("clbDB")->isHidden());
    EXPECT_EQ(m_server.connections(), 1);
}

TEST_F(SlowDatabaseListTest, EndingTheProgramDuringAWalkNeitherWaitsForItNorCrashes) {
    startWalk();
    QTRY_VERIFY(m_named >= 3);
    // The walk waits for a server that holds its answer: ending must not wait for it.
    QElapsedTimer clock;
    clock.start();
    m_windows = ui::ProgramWindows();
    EXPECT_LT(clock.elapsed(), 10000);
    // Once the server goes on, the walk stops at its next pass instead of running to its
    // bound.
    m_goOn = true;
    QTest::qWait(200);
    EXPECT_LE(m_named, 4);
}

}  // namespace
}  // namespace tvl::test
