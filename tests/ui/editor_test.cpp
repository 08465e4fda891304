// The task editor: showing tasks, New, Save, Remove, the save question and the alignment
// of the selector with the task file.

#include <filesystem>
#include <functional>
#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "guitest.h"
#include "util/tasklines.h"

namespace tvl::test {
namespace {

using ui::MessageBox;

const std::string kNightly = taskLine({.name = "Nightly",
                                       .port = "5000",
                                       .dbPaths = "c:\\db\\user\\;c:\\db\\test\\",
                                       .saveDir = "d:\\bak\\",
                                       .startTime = "23:30",
                                       .rule = "21111100"});
const std::string kMonthly = taskLine({.name = "Monthly",
                                       .ip = "10.0.0.6",
                                       .dbPaths = "/db/a/",
                                       .type = '0',
                                       .startTime = " 2:00",
                                       .rule = "3111111101111"
                                               "5"});
const std::string kOnce =
    taskLine({.name = "Once", .ip = "srv", .type = '2', .rule = "012/24/2026"});
const std::string kHidden = std::string("\x01") + "kept as it is";

using EditorTest = GuiTest;

TEST_F(EditorTest, StartsWithNothingSelectedAndTheClockInTheTimeField) {
    start(taskFileText({kNightly, kMonthly}).c_str());
    EXPECT_EQ(selectorNames(), (QStringList{QStringLiteral("Nightly"), QStringLiteral("Monthly")}));
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), -1);
    for (const char* field : {"edIP", "edPort", "edIn", "edOut"}) {
        EXPECT_TRUE(find<QLineEdit>(field)->text().isEmpty()) << field;
    }
    auto* cbBUTyp = find<QComboBox>("cbBUTyp");
    EXPECT_EQ(cbBUTyp->currentIndex(), -1);
    ASSERT_EQ(cbBUTyp->count(), 3);
    EXPECT_EQ(cbBUTyp->itemText(0), QStringLiteral("Cumulative"));
    EXPECT_EQ(cbBUTyp->itemText(2), QStringLiteral("Incremental"));
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(find<QRadioButton>(QStringLiteral("rgRun%1").arg(i).toLatin1())->isChecked());
    }
    for (const char* group : {"mcCal", "gbDay", "gbMonth", "gbMonthDay", "clbDB"}) {
        EXPECT_TRUE(find<QWidget>(group)->isHidden()) << group;
    }
    EXPECT_TRUE(find<QCheckBox>("cbSun")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("cbDec")->isChecked());
    EXPECT_EQ(find<QSpinBox>("seDay")->value(), 1);
    EXPECT_EQ(main().startTimeText(), QStringLiteral(" 9:05"));
    EXPECT_EQ(main().pendingIndex(), -1);
    EXPECT_TRUE(main().interactive());
    EXPECT_FALSE(m_windows.startupFailed);
    EXPECT_TRUE(boxes().empty());

    for (const char* name : {"miRun", "miView", "miAbout", "miEng", "miRus"}) {
        EXPECT_TRUE(find<QAction>(name)->isEnabled()) << name;
    }
    for (const char* name : {"tbRun", "tbView", "tbAbout", "btDB"}) {
        EXPECT_TRUE(find<QWidget>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(find<QAction>("miEng")->isChecked());
    EXPECT_FALSE(find<QAction>("miRus")->isChecked());
    EXPECT_EQ(find<QAction>("miRemove")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    EXPECT_EQ(find<QAction>("miRun")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F5));
}

TEST_F(EditorTest, ShowsEachRunModeWithItsGroupsAndIsNotPendingAfterwards) {
    start(taskFileText({kNightly, kMonthly, kOnce}).c_str());

    pick(1);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.6"));
    EXPECT_EQ(find<QLineEdit>("edIn")->text(), QStringLiteral("/db/a/"));
    EXPECT_EQ(find<QComboBox>("cbBUTyp")->currentIndex(), 0);
    EXPECT_EQ(main().startTimeText(), QStringLiteral(" 2:00"));
    EXPECT_TRUE(find<QRadioButton>("rgRun3")->isChecked());
    EXPECT_TRUE(find<QWidget>("gbMonth")->isVisible());
    EXPECT_TRUE(find<QWidget>("gbMonthDay")->isVisible());
    EXPECT_TRUE(find<QWidget>("gbDay")->isHidden());
    EXPECT_FALSE(find<QCheckBox>("cbAug")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("cbSep")->isChecked());
    EXPECT_EQ(find<QSpinBox>("seDay")->value(), 5);
    EXPECT_EQ(main().pendingIndex(), -1);

    // A Weekly task after a Monthly one leaves the hidden month boxes as they were.
    pick(0);
    EXPECT_TRUE(find<QWidget>("gbDay")->isVisible());
    EXPECT_TRUE(find<QWidget>("gbMonth")->isHidden());
    EXPECT_FALSE(find<QCheckBox>("cbSat")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("cbFri")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("cbAug")->isChecked());
    EXPECT_EQ(main().startTimeText(), QStringLiteral("23:30"));
    EXPECT_EQ(main().pendingIndex(), -1);

    pick(2);
    EXPECT_TRUE(find<QWidget>("mcCal")->isVisible());
    EXPECT_EQ(find<QCalendarWidget>("mcCal")->selectedDate(), QDate(2026, 12, 24));
    EXPECT_EQ(main().startTimeText(), QStringLiteral(" 9:05"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(EditorTest, OddDigitsShowAsTheRulesSayAndBrokenOnesStopWithTheReason) {
    // Only the save directory of the broken line is looked at, to see how far it was read.
    start(taskFileText({taskLine({.name = "HighType", .type = '7', .startTime = "12:00"}),
                        taskLine({.name = "HighMode",
                                  .startTime = "12:00",
                                  .rule = "7"
                                          "010101010101"
                                          "9"}),
                        taskLine({.name = "BadType", .saveDir = "/b2/", .type = 'x'}),
                        taskLine({.name = "BadDate", .rule = "0not a date"})})
              .c_str());
    pick(0);
    EXPECT_EQ(find<QComboBox>("cbBUTyp")->currentIndex(), -1);
    EXPECT_TRUE(find<QRadioButton>("rgRun1")->isChecked());

    pick(1);
    EXPECT_TRUE(find<QRadioButton>("rgRun3")->isChecked());
    EXPECT_TRUE(find<QWidget>("gbMonth")->isVisible());
    EXPECT_FALSE(find<QCheckBox>("cbJan")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("cbFeb")->isChecked());
    EXPECT_EQ(find<QSpinBox>("seDay")->value(), 9);
    EXPECT_TRUE(boxes().empty());

    pick(2);
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("'x' is not a valid integer value"));
    // The fields before the broken one are on screen; the broken line is not pending, so
    // it cannot be overwritten by accident.
    EXPECT_EQ(find<QLineEdit>("edOut")->text(), QStringLiteral("/b2/"));
    EXPECT_EQ(main().pendingIndex(), -1);

    pick(3);
    shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("'not a date' is not a valid date"));
    EXPECT_EQ(main().pendingIndex(), -1);
}

TEST_F(EditorTest, NewAndSaveWriteTheLineByteForByte) {
    start("");
    newTask(QStringLiteral("  Nightly  "));
    EXPECT_EQ(selectorNames(), QStringList{QStringLiteral("Nightly")});
    EXPECT_EQ(main().pendingIndex(), 0);
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 0);

    typeInto("edIP", QStringLiteral("10.0.0.5"));
    typeInto("edPort", QStringLiteral("5000"));
    typeInto("edIn", QStringLiteral("c:\\db\\user\\;c:\\db\\test"));
    typeInto("edOut", QStringLiteral("d:\\bak"));
    find<QComboBox>("cbBUTyp")->setCurrentIndex(1);
    QTest::mouseClick(find<QRadioButton>("rgRun2"), Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_TRUE(find<QWidget>("gbDay")->isVisible());
    QTest::mouseClick(find<QCheckBox>("cbSat"), Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseClick(find<QCheckBox>("cbSun"), Qt::LeftButton, {}, QPoint(6, 6));
    auto* meTime = find<QLineEdit>("meTime");
    meTime->setFocus();
    meTime->home(false);
    QTest::keyClicks(meTime, QStringLiteral("2330"));

    shortcut(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(taskFile(), taskFileText({kNightly}));
    EXPECT_EQ(main().pendingIndex(), -1);
    // The closing separators are on screen too.
    EXPECT_EQ(find<QLineEdit>("edOut")->text(), QStringLiteral("d:\\bak\\"));

    // Monthly with the day field and Once with the calendar's date.
    newTask(QStringLiteral("Monthly"));
    QTest::mouseClick(find<QRadioButton>("rgRun3"), Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseClick(find<QCheckBox>("cbAug"), Qt::LeftButton, {}, QPoint(6, 6));
    find<QSpinBox>("seDay")->setValue(5);
    typeInto("edOut", QStringLiteral("/bak"));
    main().SaveClick();
    newTask(QStringLiteral("Once"));
    QTest::mouseClick(find<QRadioButton>("rgRun0"), Qt::LeftButton, {}, QPoint(6, 6));
    find<QCalendarWidget>("mcCal")->setSelectedDate(QDate(2026, 12, 24));
    main().SaveClick();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(taskFile(), taskFileText({kNightly,
                                        taskLine({.name = "Monthly",
                                                  .port = "5000",
                                                  .dbPaths = "c:\\db\\user\\;c:\\db\\test\\",
                                                  .startTime = "23:30",
                                                  .rule = "3111111101111"
                                                          "5"}),
                                        taskLine({.name = "Once",
                                                  .port = "5000",
                                                  .dbPaths = "c:\\db\\user\\;c:\\db\\test\\",
                                                  .startTime = "23:30",
                                                  .rule = "012/24/2026"})}));
}

TEST_F(EditorTest, NewTaskNameCheck) {
    start(taskFileText({kNightly, taskLine({.name = "ночь"})}).c_str());
    // Empty, blank and names that differ only in case are refused, Cyrillic ones by Unicode
    // case folding, and so are names that cannot be part of a file name; the dialog stays
    // open.
    for (const QString& refused :
         {QString(), QStringLiteral("   "), QStringLiteral("NIGHTLY"), QStringLiteral(" nightly "),
          QString::fromUtf8("НОЧЬ"), QStringLiteral("Daily/Full"), QStringLiteral("a\\b"),
          QStringLiteral("x:y"), QStringLiteral("a*"), QStringLiteral("q?"), QStringLiteral("a\"b"),
          QStringLiteral("<a>"), QStringLiteral("a|b")}) {
        newTask(refused);
        auto shown = boxes();
        ASSERT_EQ(shown.size(), 1u) << refused.toStdString();
        EXPECT_EQ(shown[0].icon, MessageBox::Icon::Warning);
        EXPECT_EQ(shown[0].title, QStringLiteral("TVL"));
        EXPECT_EQ(shown[0].text, QStringLiteral("The task name is empty or already used"));
    }
    EXPECT_EQ(selectorNames(), (QStringList{QStringLiteral("Nightly"), QString::fromUtf8("ночь")}));

    // Cancel and Escape add nothing.
    onNextDialog([](QWidget* dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("edNew")),
                         QStringLiteral("Other"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    main().NewClick();
    EXPECT_EQ(selectorNames().size(), 2);
    EXPECT_EQ(main().pendingIndex(), -1);

    // A name can carry no control character into the task file.
    newTask(QStringLiteral("a\tb"));
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(selectorNames().last(), QStringLiteral("ab"));
    EXPECT_EQ(main().pendingIndex(), 2);
}

TEST_F(EditorTest, SaveRefusesIncompleteTasksAndUnreadableStartTimes) {
    start("");
    // Nothing pending: Save tidies the focused field and the path fields, saves nothing.
    typeInto("edIn", QStringLiteral("  /db/a  "));
    main().SaveClick();
    EXPECT_EQ(find<QLineEdit>("edIn")->text(), QStringLiteral("/db/a/"));
    EXPECT_EQ(taskFile(), "");
    EXPECT_EQ(main().pendingIndex(), -1);  // edits with nothing selected are never pending

    newTask(QStringLiteral("T"));
    fillDaily();
    find<QLineEdit>("edPort")->clear();
    main().SaveClick();
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_EQ(shown[0].text.left(20), QStringLiteral("Fill in every field "));
    EXPECT_EQ(main().pendingIndex(), 0);
    EXPECT_EQ(taskFile(), "");

    typeInto("edPort", QStringLiteral("1972"));
    // A time the minute timer could never read gets the same refusal.
    for (const char* bad : {"25:00", "12:60", "  :  ", " 9:  "}) {
        main().setStartTime(QString::fromLatin1(bad));
        main().SaveClick();
        EXPECT_EQ(boxes().size(), 1u) << bad;
        EXPECT_EQ(taskFile(), "") << bad;
        EXPECT_EQ(main().pendingIndex(), 0);
    }
    main().setStartTime(QStringLiteral("0:00"));
    main().SaveClick();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(
        taskFile(),
        taskFileText({taskLine({.name = "T", .dbPaths = "/db/user/", .startTime = " 0:00"})}));
}

TEST_F(EditorTest, TidyingKeepsControlBytesOutOfTheTaskFile) {
    start("");
    newTask(QStringLiteral("T"));
    fillDaily();
    // Pasted text can carry control characters; a separator inside a field would shift
    // every later field of the line.
    find<QLineEdit>("edIP")->setText(QStringLiteral("10.0\x03.0.5\t"));
    find<QLineEdit>("edOut")->setText(QStringLiteral(" /ba\x01k\r\n"));
    find<QLineEdit>("edOut")->setFocus();
    main().SaveClick();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(taskFile(), taskFileText({taskLine({.name = "T", .dbPaths = "/db/user/"})}));

    // Leaving a field with blanks at its ends tidies it.
    pick(0);
    EXPECT_EQ(main().pendingIndex(), -1);
    auto* edPort = find<QLineEdit>("edPort");
    edPort->setFocus();
    QTest::keyClick(edPort, Qt::Key_Space);
    find<QLineEdit>("edIP")->setFocus();
    EXPECT_EQ(edPort->text(), QStringLiteral("1972"));
    EXPECT_EQ(main().pendingIndex(), 0);
}

TEST_F(EditorTest, SaveQuestionNamesThePendingTaskAndFollowsTheAnswer) {
    start(taskFileText({kNightly, kMonthly}).c_str());
    pick(0);
    typeInto("edIP", QStringLiteral("10.9.9.9"));
    ASSERT_EQ(main().pendingIndex(), 0);

    // No: the edits are dropped and the picked task is shown.
    MessageBox::queueAnswers({MessageBox::Answer::No});
    pick(1);
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Save changes to task Nightly?"));
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::None);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.6"));
    EXPECT_EQ(taskFile(), taskFileText({kNightly, kMonthly}));
    EXPECT_EQ(main().pendingIndex(), -1);

    // Yes: the pending task is saved, then the picked one is shown.
    typeInto("edIP", QStringLiteral("10.9.9.9"));
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    pick(0);
    shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Save changes to task Monthly?"));
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 0);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(taskFile(), taskFileText({kNightly, taskLine({.name = "Monthly",
                                                            .ip = "10.9.9.9",
                                                            .dbPaths = "/db/a/",
                                                            .type = '0',
                                                            .startTime = " 2:00",
                                                            .rule = "3111111101111"
                                                                    "5"})}));

    // Yes with an incomplete task: "fieldreq", the pending task stays selected and shown.
    find<QLineEdit>("edIP")->clear();
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    pick(1);
    shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].icon, MessageBox::Icon::Error);
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 0);
    EXPECT_TRUE(find<QLineEdit>("edIP")->text().isEmpty());
    EXPECT_EQ(main().pendingIndex(), -1);
}

TEST_F(EditorTest, NewWhilePendingAsksFirstAndNoDropsAnUnsavedNewTask) {
    start(taskFileText({kNightly}).c_str());
    pick(0);
    find<QLineEdit>("edIP")->clear();
    // Yes with an incomplete task shows "fieldreq" and the dialog still opens.
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    newTask(QStringLiteral("Fresh"));
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Save changes to task Nightly?"));
    EXPECT_EQ(shown[1].icon, MessageBox::Icon::Error);
    EXPECT_EQ(selectorNames(), (QStringList{QStringLiteral("Nightly"), QStringLiteral("Fresh")}));
    EXPECT_EQ(main().pendingIndex(), 1);

    // Leaving the new task and answering No removes its name.
    MessageBox::queueAnswers({MessageBox::Answer::No});
    pick(0);
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_EQ(selectorNames(), QStringList{QStringLiteral("Nightly")});
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 0);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(taskFile(), taskFileText({kNightly}));
}

TEST_F(EditorTest, RemoveSelectsTheNextTaskAndWritesTheFile) {
    start(taskFileText({kNightly, kMonthly, kOnce}).c_str());
    pick(1);
    MessageBox::queueAnswers({MessageBox::Answer::No});
    main().remove();
    EXPECT_EQ(selectorNames().size(), 3);

    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    shortcut(Qt::Key_Delete, Qt::ControlModifier);
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, QStringLiteral("Remove the selected task?"));
    EXPECT_EQ(selectorNames(), (QStringList{QStringLiteral("Nightly"), QStringLiteral("Once")}));
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 1);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("srv"));
    EXPECT_EQ(taskFile(), taskFileText({kNightly, kOnce}));

    // The last task: the one before it is selected. A pending edit is dropped unasked.
    typeInto("edIP", QStringLiteral("changed"));
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    main().remove();
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 0);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(taskFile(), taskFileText({kNightly}));

    // The only task: nothing selected, the fields empty, an empty file.
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    main().remove();
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), -1);
    EXPECT_TRUE(find<QLineEdit>("edIP")->text().isEmpty());
    EXPECT_EQ(find<QComboBox>("cbBUTyp")->currentIndex(), -1);
    EXPECT_EQ(taskFile(), "");

    // Nothing selected: Remove asks nothing.
    boxes();
    main().remove();
    EXPECT_TRUE(boxes().empty());
}

TEST_F(EditorTest, HiddenLinesAreNeverOverwrittenAndEntriesStayAligned) {
    const std::string hiddenTail = taskLine({.name = "", .ip = "x", .port = "y"});
    start(taskFileText({kNightly, kMonthly, kHidden, hiddenTail}).c_str());
    EXPECT_EQ(selectorNames().size(), 2);

    // A new task goes right after the saved tasks, before the hidden lines.
    newTask(QStringLiteral("Fresh"));
    fillDaily();
    main().SaveClick();
    const std::string fresh = taskLine({.name = "Fresh", .dbPaths = "/db/user/"});
    EXPECT_EQ(taskFile(), taskFileText({kNightly, kMonthly, fresh, kHidden, hiddenTail}));
    EXPECT_EQ(main().tasks().line(2), fresh);

    // Removing an unsaved new task deletes only its selector entry.
    newTask(QStringLiteral("Unsaved"));
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    main().remove();
    EXPECT_EQ(selectorNames().size(), 3);
    EXPECT_EQ(taskFile(), taskFileText({kNightly, kMonthly, fresh, kHidden, hiddenTail}));

    // A new task whose save failed at the save question keeps an entry without a line; a
    // second new task saved after it takes the next line and its entry moves to match.
    newTask(QStringLiteral("First"));
    find<QLineEdit>("edIP")->clear();
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    newTask(QStringLiteral("Second"));
    EXPECT_EQ(boxes().size(), 3u);  // remask, savtxt, fieldreq
    EXPECT_EQ(selectorNames(), (QStringList{QStringLiteral("Nightly"), QStringLiteral("Monthly"),
                                            QStringLiteral("Fresh"), QStringLiteral("First"),
                                            QStringLiteral("Second")}));
    fillDaily(QStringLiteral("10.0.0.7"));
    main().SaveClick();
    const std::string second =
        taskLine({.name = "Second", .ip = "10.0.0.7", .dbPaths = "/db/user/"});
    EXPECT_EQ(taskFile(), taskFileText({kNightly, kMonthly, fresh, second, kHidden, hiddenTail}));
    EXPECT_EQ(selectorNames(), (QStringList{QStringLiteral("Nightly"), QStringLiteral("Monthly"),
                                            QStringLiteral("Fresh"), QStringLiteral("Second"),
                                            QStringLiteral("First")}));
    EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), 3);

    // Every entry names its line.
    for (int i = 0; i < 4; ++i) {
        pick(i);
        EXPECT_EQ(find<QComboBox>("cbName")->currentText().toStdString(),
                  main()
                      .tasks()
                      .line(static_cast<std::size_t>(i))
                      .substr(0, main().tasks().line(static_cast<std::size_t>(i)).find('\x01')));
    }

    // Picking the entry without a line makes it pending again; it saves to its own line.
    pick(4);
    EXPECT_EQ(main().pendingIndex(), 4);
    fillDaily(QStringLiteral("10.0.0.8"));
    main().SaveClick();
    const std::string first = taskLine({.name = "First", .ip = "10.0.0.8", .dbPaths = "/db/user/"});
    EXPECT_EQ(taskFile(),
              taskFileText({kNightly, kMonthly, fresh, second, first, kHidden, hiddenTail}));
    EXPECT_TRUE(boxes().empty());

    // Removing a saved task removes its line only.
    pick(0);
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    main().remove();
    EXPECT_EQ(taskFile(), taskFileText({kMonthly, fresh, second, first, kHidden, hiddenTail}));
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.6"));
}

TEST_F(EditorTest, SelectorShowsTheTaskFileNamesThroughEveryChange) {
    // A Windows-1251 name, and a line without 0x01 whose entry is the empty text.
    const std::string cp1251 = taskLine({.name = "\xCD\xEE\xF7\xFC"});
    start(taskFileText({kNightly, cp1251, "no separator", kMonthly, kHidden}).c_str());
    const auto answer = [](MessageBox::Answer a) { MessageBox::queueAnswers({a}); };
    const auto saveNew = [&](const char* name) {
        newTask(QString::fromLatin1(name));
        fillDaily();
        main().SaveClick();
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        QStringList unsaved;  // entries of new tasks after the file's names
        int current;
        int pending;
    };
    const std::vector<Step> steps = {
        {"loaded", [] {}, {}, -1, -1},
        {"new task saved", [&] { saveNew("Fresh"); }, {}, 4, -1},
        {"new task not yet saved",
         [&] { newTask(QStringLiteral("Draft")); },
         {QStringLiteral("Draft")},
         5,
         5},
        {"unsaved one dropped at the save question",
         [&] {
             answer(MessageBox::Answer::No);
             newTask(QStringLiteral("Later"));
         },
         {QStringLiteral("Later")},
         5,
         5},
        {"new task saved from behind one whose save failed",
         [&] {
             find<QLineEdit>("edIP")->clear();
             answer(MessageBox::Answer::Yes);
             saveNew("Kept");
         },
         {QStringLiteral("Later")},
         5,
         -1},
        {"Windows-1251 task saved in UTF-8",
         [&] {
             pick(1);
             typeInto("edPort", QStringLiteral("1973"));
             main().SaveClick();
         },
         {QStringLiteral("Later")},
         1,
         -1},
        {"nameless entry refused, not written as a hidden line",
         [&] {
             pick(2);
             fillDaily();
             find<QLineEdit>("meTime")->setText(QStringLiteral("23:30"));
             main().SaveClick();
             const auto shown = boxes();
             ASSERT_FALSE(shown.empty());
             EXPECT_TRUE(shown.back().text.startsWith(QStringLiteral("Fill in every field")));
             answer(MessageBox::Answer::No);
             pick(0);
         },
         {QStringLiteral("Later")},
         0,
         -1},
        {"first removed",
         [&] {
             answer(MessageBox::Answer::Yes);
             main().remove();
         },
         {QStringLiteral("Later")},
         0,
         -1},
        {"unsaved last removed",
         [&] {
             pick(5);
             answer(MessageBox::Answer::Yes);
             main().remove();
         },
         {},
         4,
         -1},
        {"saved last removed",
         [&] {
             answer(MessageBox::Answer::Yes);
             main().remove();
         },
         {},
         3,
         -1},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(selectorNames(), fileTaskNames() + step.unsaved) << step.what;
        EXPECT_EQ(find<QComboBox>("cbName")->currentIndex(), step.current) << step.what;
        EXPECT_EQ(main().pendingIndex(), step.pending) << step.what;
        boxes();
    }
    EXPECT_EQ(fileTaskNames(), (QStringList{QString::fromUtf8("Ночь"), QString(),
                                            QStringLiteral("Monthly"), QStringLiteral("Fresh")}));
    EXPECT_TRUE(taskFile().ends_with(kHidden + "\r\n"));
}

TEST_F(EditorTest, TaskFileThatCannotBeWrittenIsReportedAndTheEditorGoesOn) {
    start("");
    newTask(QStringLiteral("T"));
    fillDaily();
    // A directory in the way of the temporary file makes the atomic save fail.
    std::filesystem::remove(file("task.txt"));
    std::filesystem::create_directory(file("task.txt"));
    main().SaveClick();
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Error writing file task.txt"));
    EXPECT_EQ(main().pendingIndex(), -1);
    EXPECT_EQ(main().tasks().size(), 1u);
}

TEST_F(EditorTest, SelectorListShowsTheNamesWholeWithTheCurrentOneHighlighted) {
    const QString longName =
        QStringLiteral("Weekly full backup of the accounting and payroll databases");
    struct Case {
        int tasks;
        int longAt;
        int current;
    };
    for (const Case& c : {Case{3, 1, 0}, Case{30, 25, 12}}) {
        std::vector<std::string> lines;
        for (int i = 0; i < c.tasks; ++i) {
            lines.push_back(taskLine(
                {.name = i == c.longAt ? longName.toStdString() : "Task" + std::to_string(i)}));
        }
        start(taskFileText(lines).c_str());
        pick(c.current);
        auto* cbName = find<QComboBox>("cbName");
        cbName->showPopup();
        QAbstractItemView* list = cbName->view();
        ASSERT_TRUE(list->isVisible()) << c.tasks;
        EXPECT_GE(list->window()->width(), cbName->width()) << c.tasks;
        // The list draws a name inside margins of the focus frame's width plus one.
        const int margins =
            2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
        EXPECT_GE(list->viewport()->width() - margins,
                  list->fontMetrics().horizontalAdvance(longName))
            << c.tasks;
        EXPECT_EQ(list->viewport()->height() / list->sizeHintForRow(0),
                  std::min(c.tasks, cbName->maxVisibleItems()))
            << c.tasks;
        EXPECT_EQ(list->verticalScrollBar()->isVisible(), c.tasks > cbName->maxVisibleItems())
            << c.tasks;
        EXPECT_EQ(list->currentIndex().row(), c.current) << c.tasks;
        EXPECT_TRUE(list->selectionModel()->isSelected(list->currentIndex())) << c.tasks;
        // Typing a name's beginning goes to it, Enter picks it.
        QTest::keyClicks(list, QStringLiteral("Wee"));
        EXPECT_EQ(list->currentIndex().row(), c.longAt) << c.tasks;
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_FALSE(list->isVisible()) << c.tasks;
        EXPECT_EQ(cbName->currentIndex(), c.longAt) << c.tasks;
        EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.0.0.5")) << c.tasks;
    }

    // A name wider than the screen: the list stays on it.
    start(taskFileText({taskLine({.name = std::string(400, 'W')})}).c_str());
    auto* cbName = find<QComboBox>("cbName");
    cbName->showPopup();
    EXPECT_LE(cbName->view()->window()->frameGeometry().right(),
              cbName->screen()->availableGeometry().right());
    cbName->hidePopup();
}

}  // namespace
}  // namespace tvl::test
