// Expected backups: the Date Interval dialog, the wait window and the Task Viewer, driven
// through the main window's command as the user does.

#include <QApplication>
#include <QClipboard>
#include <QDateEdit>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "core/jobjournal.h"
#include "core/messagetable.h"
#include "core/minutewalk.h"
#include "fakes/fakecontrol.h"
#include "guitest.h"
#include "server/backuprun.h"
#include "ui/dateintervaldialog.h"
#include "ui/expectedbackupscommand.h"
#include "ui/expectedrowsmodel.h"
#include "ui/taskviewer.h"
#include "ui/waitwindow.h"
#include "util/jobs.h"
#include "util/tasklines.h"

namespace tvl::test {
namespace {

using ui::MessageBox;
using ui::TaskViewerWindow;

QStringList texts(std::initializer_list<const char*> xs) {
    QStringList out;
    for (const char* x : xs) {
        out << QString::fromUtf8(x);
    }
    return out;
}

// What the viewer showed, column by column, while it was open.
struct Seen {
    bool mainHidden = false;
    bool waitHidden = false;
    QDate to;
    std::vector<QStringList> rows;
    QString panel0;
    QString panel1;
};

class ExpectedTest : public GuiTest {
protected:
    // Expected backups with the interval given in the dialog and OK; act runs while the
    // viewer is open, then the viewer is closed.
    Seen expected(QDate from, QDate to, std::function<void(TaskViewerWindow&)> act = {}) {
        Seen seen;
        onNextDialog([this, from, to, act, &seen](QWidget* dialog) {
            auto* dlg = qobject_cast<ui::DateIntervalDialog*>(dialog);
            ASSERT_NE(dlg, nullptr);
            dlg->fromField()->setDate(from);
            dlg->toField()->setDate(to);
            onNextDialog([this, act, &seen](QWidget* window) {
                auto* viewer = qobject_cast<TaskViewerWindow*>(window);
                ASSERT_NE(viewer, nullptr);
                seen.mainHidden = !main().isVisible();
                seen.waitHidden = !find<QWidget>("fmWait")->isVisible();
                if (act) {
                    act(*viewer);
                }
                seen.rows = shownRows(*viewer);
                seen.panel0 = viewer->panelText(0);
                seen.panel1 = viewer->panelText(1);
                viewer->close();
            });
            QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("bbOk")), Qt::LeftButton);
            seen.to = dlg->toField()->date();
        });
        main().tbViewClick();
        return seen;
    }

    static std::vector<QStringList> shownRows(const TaskViewerWindow& viewer) {
        std::vector<QStringList> rows;
        const ui::ExpectedRowsModel* model = viewer.model();
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < viewer.shownColumns(); ++c) {
                cells << model->index(r, c).data().toString();
            }
            rows.push_back(cells);
        }
        return rows;
    }

    static QStringList column(const std::vector<QStringList>& rows, int c, int length = -1) {
        QStringList out;
        for (const QStringList& r : rows) {
            out << r[c].left(length);
        }
        return out;
    }

    static void clickHeader(TaskViewerWindow& viewer, int column) {
        emit viewer.table()->horizontalHeader()->sectionClicked(column);
    }
};

TEST_F(ExpectedTest, SaveQuestionComesFirstAndCancelChangesNothing) {
    start(taskFileText({taskLine("A", "10:00", "1")}).c_str());
    pick(0);
    typeInto("edPort", QStringLiteral("5000"));
    ASSERT_EQ(main().pendingIndex(), 0);
    MessageBox::queueAnswers({MessageBox::Answer::No});
    bool questionBeforeDialog = false;
    bool mainShownDuringDialog = false;
    onNextDialog([&](QWidget* dialog) {
        const auto shown = boxes();
        questionBeforeDialog = shown.size() == 1 && shown[0].question;
        mainShownDuringDialog = main().isVisible();
        EXPECT_EQ(dialog->objectName(), QStringLiteral("fmQueDlg"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("bbCancel")),
                          Qt::LeftButton);
    });
    main().tbViewClick();
    EXPECT_TRUE(questionBeforeDialog);
    EXPECT_TRUE(mainShownDuringDialog);
    EXPECT_TRUE(main().isVisible());
    EXPECT_FALSE(find<QWidget>("fmRepDlg")->isVisible());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ExpectedTest, IntervalIsClampedAndAnEndBeforeTheStartGivesAnEmptyViewer) {
    start(taskFileText({taskLine("D", "10:00", "1")}).c_str());
    struct Case {
        QDate from, to, shownTo;
        std::size_t rows;
    };
    for (const Case& c : {Case{{2026, 3, 1}, {2027, 6, 1}, {2027, 3, 1}, 366},
                          Case{{2026, 3, 5}, {2026, 3, 4}, {2026, 3, 4}, 0},
                          Case{{2026, 3, 5}, {2026, 3, 5}, {2026, 3, 5}, 1}}) {
        const Seen seen = expected(c.from, c.to);
        EXPECT_EQ(seen.to, c.shownTo) << c.from.toString().toStdString();
        EXPECT_EQ(seen.rows.size(), c.rows) << c.from.toString().toStdString();
        EXPECT_TRUE(seen.mainHidden);
        EXPECT_TRUE(seen.waitHidden);
        EXPECT_TRUE(main().isVisible());
    }
    // The dialog keeps the dates last shown.
    auto* dialog = find<ui::DateIntervalDialog>("fmQueDlg");
    EXPECT_EQ(dialog->fromField()->date(), QDate(2026, 3, 5));
}

TEST_F(ExpectedTest, WeeklyRowsShowSortedByDateWithTheirCellsAndTheTip) {
    start(taskFileText({taskLine("W", "10:00", "21001000", '2')}).c_str());
    // 2026-12-07 is a Monday: Mondays and Thursdays over 14 days.
    const Seen seen = expected({2026, 12, 7}, {2026, 12, 20});
    ASSERT_EQ(seen.rows.size(), 4u);
    EXPECT_EQ(column(seen.rows, 0),
              texts({"2026-12-07, 10:00 {Monday}", "2026-12-10, 10:00 {Thursday}",
                     "2026-12-14, 10:00 {Monday}", "2026-12-17, 10:00 {Thursday}"}));
    EXPECT_EQ(seen.rows[0].mid(1), texts({"W", "10.0.0.5:1972", "/db/", "Incremental", "/bak/"}));
    EXPECT_EQ(seen.panel0, QStringLiteral("Click a column header to sort by it"));
    EXPECT_EQ(seen.panel1, QStringLiteral("Sorted by Time"));
}

TEST_F(ExpectedTest, ColumnsAreSizedOnEveryShapeOfCellTheyShow) {
    // The first start time is the narrower one in most fonts.
    start(
        taskFileText({taskLine("Nightly", " 2:00", "1"), taskLine("Late", "23:30", "1")}).c_str());
    expected({2026, 12, 7}, {2026, 12, 13}, [](TaskViewerWindow& viewer) {
        const ui::ExpectedRowsModel& model = *viewer.model();
        for (int c = 0; c < model.columnCount(); ++c) {
            const QStringList measured = model.distinctTexts(c);
            for (int r = 0; r < model.rowCount(); ++r) {
                // Dates differ only in their digits, measured as zeros.
                const QString shape =
                    c == 0 ? QStringLiteral("0000-00-00") + model.cellText(r, c).mid(10)
                           : model.cellText(r, c);
                EXPECT_TRUE(measured.contains(shape)) << shape.toStdString();
            }
        }
    });
}

TEST_F(ExpectedTest, HeaderClicksSortByTheColumnThenByTime) {
    start(taskFileText({taskLine("b", "10:00", "1", '0'), taskLine("a", "11:00", "1", '2'),
                        taskLine("c", " 9:05", "1", '1')})
              .c_str());
    std::map<int, QStringList> byColumn;
    expected({2026, 12, 7}, {2026, 12, 8}, [&](TaskViewerWindow& viewer) {
        for (int c : {1, 4, 0, 0}) {
            clickHeader(viewer, c);
            const auto rows = shownRows(viewer);
            byColumn[c] = column(rows, c == 0 ? 1 : c) + column(rows, 0, 17);
            EXPECT_EQ(viewer.sortColumn(), c);
        }
        EXPECT_EQ(viewer.panelText(1), QStringLiteral("Sorted by Time"));
    });
    EXPECT_EQ(byColumn[1], texts({"a", "a", "b", "b", "c", "c",  // names, then times
                                  "2026-12-07, 11:00", "2026-12-08, 11:00", "2026-12-07, 10:00",
                                  "2026-12-08, 10:00", "2026-12-07,  9:05", "2026-12-08,  9:05"}));
    EXPECT_EQ(byColumn[4].mid(0, 6),
              texts({"Cumulative", "Cumulative", "Full", "Full", "Incremental", "Incremental"}));
    EXPECT_EQ(byColumn[4].mid(6, 2), texts({"2026-12-07, 10:00", "2026-12-08, 10:00"}));
    // Time, clicked twice: the same ascending order; " 9:05" comes before "10:00".
    EXPECT_EQ(byColumn[0].mid(0, 3), texts({"c", "b", "a"}));
}

TEST_F(ExpectedTest, SortPanelIsLeftAsItWasWhenNoRowsAreCompared) {
    start(taskFileText({taskLine("One", "10:00", "1")}).c_str());
    // A first viewer of one row: no comparison, the panel stays empty.
    EXPECT_EQ(expected({2026, 12, 7}, {2026, 12, 7}).panel1, QString());
    // Two rows name the sort; an empty table afterwards keeps that text, also on a click.
    EXPECT_EQ(expected({2026, 12, 7}, {2026, 12, 8}).panel1, QStringLiteral("Sorted by Time"));
    const Seen empty = expected({2026, 12, 8}, {2026, 12, 7},
                                [](TaskViewerWindow& viewer) { clickHeader(viewer, 1); });
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(empty.panel1, QStringLiteral("Sorted by Time"));
}

TEST_F(ExpectedTest, AMissingWeekdayKeyLeavesTheBracesEmpty) {
    std::string table = readFile(std::string(TVL_SOURCE_DATA_DIR) + "/english.dat");
    table.erase(table.find("mon=Monday\r\n"), std::string("mon=Monday\r\n").size());
    start(taskFileText({taskLine("A", "10:00", "1")}).c_str());
    writeFile(file("english.dat"), table);
    restart();
    const Seen seen = expected({2026, 12, 7}, {2026, 12, 8});
    EXPECT_EQ(column(seen.rows, 0), texts({"2026-12-07, 10:00 {}", "2026-12-08, 10:00 {Tuesday}"}));
}

TEST_F(ExpectedTest, UnreadableTasksAreNamedOnceAfterTheViewerOpens) {
    start(taskFileText({taskLine("Good", "10:00", "1"),
                        taskLine("BadDate", "10:00",
                                 "0"
                                 "99.99.9999"),
                        taskLine("BadType", "10:00", "1", 'x')})
              .c_str());
    std::vector<MessageBox::Shown> whileOpen;
    const Seen seen =
        expected({2026, 12, 7}, {2026, 12, 7}, [&](TaskViewerWindow&) { whileOpen = boxes(); });
    EXPECT_EQ(seen.rows.size(), 1u);
    ASSERT_EQ(whileOpen.size(), 1u);
    EXPECT_TRUE(whileOpen[0].text.endsWith(QStringLiteral("\n\nBadDate\nBadType")))
        << whileOpen[0].text.toStdString();
}

class ExpectedWithServerTest : public ExpectedTest {
protected:
    ExpectedWithServerTest() { useFakeServer(); }
};

TEST_F(ExpectedWithServerTest, ATickWhileTheViewerIsOpenRunsTheStoredLineAndTheTaskComesBack) {
    // The clock stands at 09:05; "Due" starts at 09:06.
    start(taskFileText({taskLine("Shown", "23:00", "1"), taskLine("Due", " 9:06", "1")}).c_str());
    pick(0);
    expected({2026, 12, 7}, {2026, 12, 7}, [this](TaskViewerWindow&) {
        main().Timer1Timer();
        m_clock.advanceMinutes(1);
        main().Timer1Timer();
    });
    EXPECT_NE(logFile().find("Due backup job started"), std::string::npos) << logFile();
    EXPECT_TRUE(main().isVisible());
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 0);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(main().pendingIndex(), -1);

    // With nothing selected before, the editor is left empty.
    pick(-1);
    expected({2026, 12, 7}, {2026, 12, 7});
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), -1);
    EXPECT_TRUE(find<QLineEdit>("edIP")->text().isEmpty());
}

TEST_F(ExpectedTest, CopyAsTabSeparatedAndSaveAsCsv) {
    start(taskFileText({taskLine("Plain", "10:00", "1"), taskLine("Comma, 'quoted'", "11:00", "1")})
              .c_str());
    QString copied;
    QString error;
    bool saved = false;
    expected({2026, 12, 7}, {2026, 12, 7}, [&](TaskViewerWindow& viewer) {
        viewer.activateWindow();
        viewer.table()->setFocus();
        viewer.table()->selectRow(1);
        QTest::keyClick(viewer.table(), Qt::Key_C, Qt::ControlModifier);
        copied = QApplication::clipboard()->text();
        saved = viewer.saveCsv(QString::fromStdString(file("out.csv")), &error);
    });
    EXPECT_EQ(copied, QStringLiteral("Time\tName\tServer IP:Port\tDatabase\tType\tPath\n"
                                     "2026-12-07, 11:00 {Monday}\tComma, 'quoted'\t"
                                     "10.0.0.5:1972\t/db/\tFull\t/bak/\n"));
    ASSERT_TRUE(saved) << error.toStdString();
    EXPECT_EQ(readFile(file("out.csv")),
              "Time,Name,Server IP:Port,Database,Type,Path\r\n"
              "\"2026-12-07, 10:00 {Monday}\",Plain,10.0.0.5:1972,/db/,Full,/bak/\r\n"
              "\"2026-12-07, 11:00 {Monday}\",\"Comma, 'quoted'\",10.0.0.5:1972,/db/,Full,"
              "/bak/\r\n");
    EXPECT_FALSE(ui::TaskViewerWindow().saveCsv(QStringLiteral("/nonexistent/dir/x.csv"), &error));
}

// A failure in the middle of the work: the main window comes back, the wait window goes,
// and the failure is reported.
class FailingHost : public ui::ExpectedBackupsHost {
public:
    QWidget* hostWindow() override { return &window; }
    std::string messageBytes(const char*) const override { return {}; }
    void normalizeDayField() override {}
    bool hasPendingTask() const override { return false; }
    void askSaveQuestion() override {}
    int selectedTask() const override { return 0; }
    void selectTask(int entry) override { selected = entry; }
    const TaskLines& taskLines() const override {
        throw std::runtime_error("the task list went away");
    }
    const MessageTable& messages() const override { return table; }
    LocalDateTime now() const override { return {}; }
    MessageTable table;
    QWidget window;
    int selected = -2;
};

TEST_F(ExpectedTest, AFailureInTheMiddleLeavesTheMainWindowShownAndTheWaitWindowHidden) {
    start();
    FailingHost host;
    host.window.show();
    ui::DateIntervalDialog dialog;
    ui::WaitWindow wait;
    TaskViewerWindow viewer;
    ui::ExpectedBackupsCommand command(host, dialog, wait, viewer);
    onNextDialog([](QWidget* d) {
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("bbOk")), Qt::LeftButton);
    });
    command.tbViewClick();
    EXPECT_TRUE(host.window.isVisible());
    EXPECT_FALSE(wait.isVisible());
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(host.selected, 0);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("the task list went away"));
}

TEST_F(ExpectedTest, AnIntervalIntoThePastSaysWhatBecameOfEachStartInTheLanguageInForce) {
    // Daily at 9:00; the clock stands at Monday 2026-12-07 09:05, after the minute timer
    // has checked 9:00 without a job.
    JobJournal journal;
    const auto jobOn = [&journal](int day, JobOutcome outcome, const char* line) {
        const std::time_t at = 1796634300 + (day - 7) * 86400 - 5 * 60;
        JobRecord job = startedJob("D", at, civilMinute(localDateTime(at)));
        ASSERT_TRUE(journal.appendStart(job));
        ASSERT_TRUE(journal.appendEnd(endedJob(job, outcome, at + 60, line)));
    };
    jobOn(5, JobOutcome::Completed, "Backup completed successfully");
    jobOn(6, JobOutcome::Failed, "Backup failed: no space");
    for (const char* name : {"English.lng", "Russian.lng"}) {
        copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + name, file(name));
    }
    start(taskFileText({taskLine("D", " 9:00", "1")}).c_str());

    struct Case {
        bool russian;
        QDate from;
        QStringList outcomes;  // empty: no Outcome column
        const char* header;
    };
    const Case cases[] = {
        {false, QDate(2026, 12, 7), {}, ""},
        {false, QDate(2026, 12, 5), texts({"completed", "failed", "missed", "planned"}), "Outcome"},
        {true, QDate(2026, 12, 5), texts({"успешно", "ошибка", "пропущено", "запланировано"}),
         "Итог"},
    };
    for (const Case& c : cases) {
        if (c.russian) {
            main().miRusClick();
        }
        QString header;
        int columns = 0;
        const Seen seen = expected(c.from, QDate(2026, 12, 8), [&](TaskViewerWindow& viewer) {
            columns = viewer.shownColumns();
            header = viewer.model()->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString();
        });
        if (c.outcomes.isEmpty()) {
            EXPECT_EQ(columns, 6);
            continue;
        }
        EXPECT_EQ(columns, 7);
        EXPECT_EQ(header, QString::fromUtf8(c.header));
        EXPECT_EQ(column(seen.rows, 6), c.outcomes);
    }
    EXPECT_TRUE(boxes().empty());
}

}  // namespace
}  // namespace tvl::test
