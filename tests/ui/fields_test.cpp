// Start-up and ending of the main window, the time field, field hints, help, and the
// general handler of unexpected errors.

#include <stdexcept>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "core/messagetable.h"
#include "guitest.h"
#include "ui/application.h"
#include "ui/taskeditor.h"
#include "ui/textcodec.h"
#include "util/tasklines.h"

namespace tvl::test {
namespace {

using ui::MessageBox;

using StartTest = GuiTest;
using FieldTest = GuiTest;

TEST_F(StartTest, WritesTheStartLineAndAtExitTheEndLineAndTheLanguage) {
    start("");
    EXPECT_EQ(logFile(), "12/07/2026 09:05:00 Program started\r\n");
    QSignalSpy ended(&main(), &ui::MainWindow::programEnded);
    m_clock.t = 1796634300 + 3600;
    shortcut(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(main().hasEnded());
    EXPECT_TRUE(main().tasks().lines().empty());
    EXPECT_EQ(logFile(),
              "12/07/2026 09:05:00 Program started\r\n12/07/2026 10:05:00 Program finished\r\n");
    QSettings stored(QString::fromStdString(file("tarvel.ini")), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("Sys/FormVersion")).toString(), QStringLiteral("0"));
    EXPECT_EQ(stored.value(QStringLiteral("Sys/crLng_Language")).toString(),
              QStringLiteral("English"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(StartTest, ExitAsksOnceAndSavesOnYesEndingWithoutQuestionAsksNothing) {
    start((taskLine({.name = "A", .ip = "ip"}) + "\r\n").c_str());
    pick(0);
    typeInto("edIP", QStringLiteral("changed"));
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    main().ExitClick();
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_EQ(readFile(file("task.txt")), taskLine({.name = "A", .ip = "changed"}) + "\r\n");
    EXPECT_TRUE(main().hasEnded());

    // Yes with an incomplete task: "fieldreq", and the program ends all the same.
    restart();
    pick(0);
    find<QLineEdit>("edIP")->clear();
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    main().ExitClick();
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].icon, MessageBox::Icon::Error);
    EXPECT_TRUE(main().hasEnded());
    EXPECT_EQ(readFile(file("task.txt")), taskLine({.name = "A", .ip = "changed"}) + "\r\n");

    restart();
    pick(0);
    typeInto("edIP", QStringLiteral("dropped"));
    main().endWithoutQuestion();
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(main().hasEnded());
    EXPECT_EQ(readFile(file("task.txt")), taskLine({.name = "A", .ip = "changed"}) + "\r\n");
}

TEST_F(StartTest, TheCloseBoxDoesNotEndTheProgramAndKeepsTheEdits) {
    start((taskLine({.name = "A", .ip = "ip"}) + "\r\n").c_str());
    pick(0);
    typeInto("edIP", QStringLiteral("kept"));
    main().close();
    EXPECT_FALSE(main().hasEnded());
    EXPECT_TRUE(boxes().empty());
    main().wakeUp();
    EXPECT_TRUE(main().isVisible());
    EXPECT_FALSE(main().isMinimized());
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("kept"));
    EXPECT_EQ(main().pendingIndex(), 0);
}

TEST_F(StartTest, AMissingMessageTableEndsTheProgramAfterTheRestOfCreation) {
    std::filesystem::remove(file("english.dat"));
    start("");
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("TVL"));
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("Error reading file english.dat"));
    EXPECT_TRUE(m_windows.startupFailed);
    // The log's start line is still written, with the text the table could not give.
    EXPECT_EQ(logFile(), "12/07/2026 09:05:00 \r\n");
}

TEST_F(StartTest, ATaskFileWithAnEmptyLineCannotBeRead) {
    start((taskLine({.name = "A", .ip = "ip"}) + "\r\n\r\n").c_str());
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Error reading file Task.txt"));
    EXPECT_TRUE(m_windows.startupFailed);
    EXPECT_TRUE(selectorNames().isEmpty());
}

TEST_F(StartTest, AMissingTaskFileIsCreatedEmpty) {
    start(nullptr);
    EXPECT_TRUE(std::filesystem::exists(file("task.txt")));
    EXPECT_EQ(readFile(file("task.txt")), "");
    EXPECT_FALSE(m_windows.startupFailed);
}

TEST_F(StartTest, TheStoredLanguageChoosesTheMessageTable) {
    auto storeLanguage = [this](const char* value) {
        QSettings s(QString::fromStdString(file("tarvel.ini")), QSettings::IniFormat);
        s.setValue(QStringLiteral("Sys/crLng_Language"), QString::fromLatin1(value));
    };
    storeLanguage(" russian ");
    start("");
    EXPECT_TRUE(find<QAction>("miRus")->isChecked());
    EXPECT_FALSE(find<QAction>("miEng")->isChecked());
    EXPECT_EQ(main().message("remask").left(7), QString::fromUtf8("Удалить"));
    m_windows = ui::ProgramWindows();
    QSettings stored(QString::fromStdString(file("tarvel.ini")), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("Sys/crLng_Language")).toString(),
              QStringLiteral("Russian"));

    // A language the program has no table for: nothing is loaded and it runs on.
    m_windows = ui::ProgramWindows();
    storeLanguage("Chinese_Simplified");
    restart();
    EXPECT_FALSE(find<QAction>("miRus")->isChecked());
    EXPECT_FALSE(find<QAction>("miEng")->isChecked());
    EXPECT_TRUE(main().message("remask").isEmpty());
    EXPECT_FALSE(m_windows.startupFailed);
    EXPECT_TRUE(boxes().empty());

    // A value that names no language leaves English.
    m_windows = ui::ProgramWindows();
    storeLanguage("Klingon");
    restart();
    EXPECT_TRUE(find<QAction>("miEng")->isChecked());
}

TEST_F(StartTest, AWindows1251TaskFileShowsRight) {
    // "Ночь" and "Сервер" in Windows-1251, one line of UTF-8 after them.
    const std::string cp1251Name = "\xCD\xEE\xF7\xFC";
    const std::string cp1251Ip = "\xD1\xE5\xF0\xE2\xE5\xF0";
    start((taskLine({.name = cp1251Name, .ip = cp1251Ip}) + "\r\n" +
           taskLine({.name = "День", .ip = "ip"}) + "\r\n")
              .c_str());
    EXPECT_EQ(selectorNames(), (QStringList{QString::fromUtf8("Ночь"), QString::fromUtf8("День")}));
    pick(0);
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QString::fromUtf8("Сервер"));
    // The name check folds case across both: "НОЧЬ" is taken.
    newTask(QString::fromUtf8("НОЧЬ"));
    EXPECT_EQ(boxes().size(), 1u);
}

TEST_F(FieldTest, TheTimeFieldTakesRightAlignedTimesAndTypedDigits) {
    start("");
    auto* meTime = find<QLineEdit>("meTime");
    main().setStartTime(QStringLiteral("9:05"));
    EXPECT_EQ(main().startTimeText(), QStringLiteral(" 9:05"));
    main().setStartTime(QStringLiteral("14:30"));
    EXPECT_EQ(main().startTimeText(), QStringLiteral("14:30"));

    const auto typed = [meTime](const QString& keys) {
        meTime->setFocus();
        meTime->home(false);
        QTest::keyClicks(meTime, keys);
        return meTime->displayText();
    };
    EXPECT_EQ(typed(QStringLiteral("0905")), QStringLiteral("09:05"));
    EXPECT_EQ(typed(QStringLiteral(" 905")), QStringLiteral(" 9:05"));
    EXPECT_EQ(typed(QStringLiteral("2599")), QStringLiteral("25:99"));  // no range check
    EXPECT_EQ(meTime->displayText().size(), 5);
    // Letters are not taken.
    EXPECT_EQ(typed(QStringLiteral("ab12")), QStringLiteral("12:99"));
}

TEST_F(FieldTest, AnIncompleteTypedTimeKeepsTheFocusUntilEscape) {
    start("");
    auto* meTime = find<QLineEdit>("meTime");
    meTime->setFocus();
    ASSERT_TRUE(meTime->hasFocus());
    meTime->end(false);
    QTest::keyClick(meTime, Qt::Key_Backspace);
    ASSERT_FALSE(meTime->hasAcceptableInput());
    find<QLineEdit>("edIP")->setFocus();
    QTRY_VERIFY(meTime->hasFocus());
    // The field says why it keeps the focus.
    QTRY_COMPARE(main().fieldHint(), QString::fromLatin1(ui::kInvalidTimeText));
    QTest::keyClick(meTime, Qt::Key_Escape);
    EXPECT_EQ(main().startTimeText(), QStringLiteral(" 9:05"));
    find<QLineEdit>("edIP")->setFocus();
    QTest::qWait(20);
    EXPECT_TRUE(find<QLineEdit>("edIP")->hasFocus());
}

TEST_F(FieldTest, HintsShowInPanelZeroAndClearOnTypingAndOnFlags) {
    start((taskLine({.name = "A", .ip = "ip"}) + "\r\n").c_str());
    main().setStatusText(QStringLiteral("run status"));
    find<QLineEdit>("edIP")->setFocus();
    EXPECT_EQ(main().fieldHint(), QStringLiteral("Address of the database server"));
    shortcut(Qt::Key_Tab);
    EXPECT_TRUE(find<QLineEdit>("edPort")->hasFocus());
    EXPECT_EQ(main().fieldHint(), QStringLiteral("Server port, 1972 by default"));
    QTest::keyClick(find<QLineEdit>("edPort"), Qt::Key_5);
    EXPECT_TRUE(main().fieldHint().isEmpty());

    const std::pair<const char*, const char*> hints[] = {
        {"cbName", "choosetsk"}, {"edIn", "db"},       {"edOut", "output"},
        {"cbBUTyp", "butyp"},    {"rgRun2", "period"}, {"meTime", "runtime"}};
    for (const auto& [name, key] : hints) {
        find<QWidget>(name)->setFocus();
        EXPECT_EQ(main().fieldHint(), main().message(key)) << name;
        EXPECT_FALSE(main().fieldHint().isEmpty()) << name;
    }
    // The weekday box after the time field leaves no hint; the day field neither.
    find<QCheckBox>("cbMon")->setFocus();
    EXPECT_TRUE(main().fieldHint().isEmpty());
    find<QWidget>("meTime")->setFocus();
    find<QSpinBox>("seDay")->setFocus();
    EXPECT_TRUE(main().fieldHint().isEmpty());
    // Panel 1 is never touched by hints.
    EXPECT_EQ(main().statusText(), QStringLiteral("run status"));
    // Showing a task empties it.
    pick(0);
    EXPECT_TRUE(main().statusText().isEmpty());
}

TEST_F(FieldTest, EveryHintOfEitherLanguageShowsWholeInPanelZeroAndAsTheFieldsTooltip) {
    start("");
    auto* panel = find<QLabel>("sbDesc0");
    QStringList hints{QString::fromLatin1(ui::kInvalidTimeText)};
    for (const char* table : {kEnglishTable, kRussianTable}) {
        MessageTable messages;
        ASSERT_TRUE(messages.load(table));
        for (const char* key : main().editor().hintKeys()) {
            hints << ui::fromFileBytes(messages.lookup(key));
        }
    }
    for (const QString& hint : hints) {
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(hint), panel->contentsRect().width())
            << hint.toStdString();
    }
    const std::pair<const char*, const char*> tips[] = {
        {"edIP", "ip"}, {"edOut", "output"}, {"rgRun", "period"}, {"btDB", "dblst"}};
    for (const auto& [name, key] : tips) {
        EXPECT_EQ(find<QWidget>(name)->toolTip(), main().message(key)) << name;
    }
}

TEST_F(FieldTest, TheDayFieldTakesTwoDigitsAndBringsThemToTheNearerBoundOnLeaving) {
    start("");
    auto* seDay = find<QSpinBox>("seDay");
    find<QWidget>("rgRun3")->setFocus();
    QTest::keyClick(find<QWidget>("rgRun3"), Qt::Key_Space);
    ASSERT_TRUE(seDay->isVisible());
    const std::pair<const char*, int> typed[] = {{"31", 28}, {"29", 28}, {"0", 1}, {"7", 7}};
    for (const auto& [keys, day] : typed) {
        seDay->setFocus();
        seDay->selectAll();
        QTest::keyClicks(seDay, QString::fromLatin1(keys));
        find<QLineEdit>("meTime")->setFocus();
        EXPECT_EQ(seDay->value(), day) << keys;
        EXPECT_EQ(seDay->text(), QString::number(day)) << keys;
    }
}

TEST_F(FieldTest, AltLettersOpenTheMenusFirstAndReachEveryRunMode) {
    start("");
    // Each run mode by its letter, whichever mode's groups are shown.
    const std::pair<Qt::Key, const char*> modes[] = {{Qt::Key_W, "rgRun2"}, {Qt::Key_M, "rgRun3"},
                                                     {Qt::Key_O, "rgRun0"}, {Qt::Key_W, "rgRun2"},
                                                     {Qt::Key_M, "rgRun3"}, {Qt::Key_D, "rgRun1"}};
    for (const auto& [key, radio] : modes) {
        shortcut(key, Qt::AltModifier);
        QTRY_VERIFY2(find<QAbstractButton>(radio)->isChecked(), radio);
    }
    // The weekday and month boxes keep a letter of their own where one is free.
    EXPECT_EQ(find<QCheckBox>("cbFri")->text(), QStringLiteral("Fr&iday"));
    EXPECT_EQ(find<QCheckBox>("cbOct")->text(), QStringLiteral("O&ctober"));

    shortcut(Qt::Key_W, Qt::AltModifier);
    QTRY_VERIFY(find<QCheckBox>("cbFri")->isVisible());
    shortcut(Qt::Key_F, Qt::AltModifier);
    auto* fileMenu = find<QMenu>("miFile");
    QTRY_VERIFY(fileMenu->isVisible());
    EXPECT_FALSE(find<QCheckBox>("cbFri")->hasFocus());
    fileMenu->close();
}

TEST_F(FieldTest, ToolbarIconsLookDisabledExactlyWhenTheirCommandIsDisabled) {
    start("");
    for (QToolButton* button : find<QToolBar>("ToolBar1")->findChildren<QToolButton*>()) {
        if (!button->objectName().startsWith(QStringLiteral("tb"))) {
            continue;  // the toolbar's own overflow button
        }
        ASSERT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
        const bool enabled = button->isEnabled();
        const QImage shown = button->grab().toImage();
        button->setEnabled(!enabled);
        EXPECT_NE(button->grab().toImage(), shown) << button->objectName().toStdString();
        button->setEnabled(enabled);
    }
    EXPECT_TRUE(find<QToolButton>("tbView")->isEnabled());
    EXPECT_TRUE(find<QToolButton>("tbNew")->isEnabled());
}

TEST_F(FieldTest, F1OpensTheHelpPageOfTheLanguageInForce) {
    UrlCatcher catcher(QStringLiteral("file"));
    start("");
    shortcut(Qt::Key_F1);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toLocalFile(), QString::fromStdString(file("English.htm")));
    EXPECT_TRUE(boxes().empty());  // a missing page is not reported
}

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            throw std::runtime_error("disk on fire");
        }
        return QObject::event(e);
    }
};

TEST_F(FieldTest, AnErrorEscapingAHandlerIsShownAndTheProgramGoesOn) {
    Thrower thrower;
    QEvent event(QEvent::User);
    QApplication::sendEvent(&thrower, &event);
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("disk on fire"));

    ui::guarded([] { throw std::out_of_range("no such line"); });
    shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("no such line"));
}

// Captions are translated later by walking the controls' names, so everything that shows a
// caption, a hint or items must have one, and no two of a window may share it.
TEST_F(StartTest, EveryControlWithACaptionHintOrItemsIsNamed) {
    start("");
    QList<QWidget*> windows{&main()};
    for (QWidget* w : main().findChildren<QWidget*>()) {
        // Menus and drop-down lists are popups, not windows of the program.
        if (w->isWindow() && (w->windowType() & Qt::Popup) != Qt::Popup) {
            windows << w;
        }
    }
    QStringList windowNames;
    for (QWidget* window : windows) {
        windowNames << window->objectName();
    }
    windowNames.sort();
    EXPECT_EQ(windowNames, (QStringList{QStringLiteral("fmAboutDlg"), QStringLiteral("fmMain"),
                                        QStringLiteral("fmNewDlg"), QStringLiteral("fmQueDlg"),
                                        QStringLiteral("fmRepDlg"), QStringLiteral("fmWait")}));

    const auto isQtInternal = [](QObject* o) {
        for (; o != nullptr; o = o->parent()) {
            // The calendar's own month and year buttons are part of the calendar.
            if (o->objectName().startsWith(QStringLiteral("qt_")) ||
                o->objectName() == QStringLiteral("mcCal")) {
                return true;
            }
        }
        return false;
    };
    QStringList seen;
    auto inADialog = [this](const QObject* o) {
        for (; o != nullptr && o != &main(); o = o->parent()) {
            if (qobject_cast<const QDialog*>(o) != nullptr) {
                return true;  // the dialogs are windows of their own
            }
        }
        return false;
    };
    for (QObject* o : main().findChildren<QObject*>()) {
        if (isQtInternal(o->parent()) || inADialog(o)) {
            continue;
        }
        QString caption;
        if (auto* button = qobject_cast<QAbstractButton*>(o)) {
            caption = button->text() + button->toolTip();
        } else if (auto* label = qobject_cast<QLabel*>(o)) {
            caption = label->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(o)) {
            caption = group->title();
        } else if (auto* combo = qobject_cast<QComboBox*>(o)) {
            caption = combo->count() > 0 ? combo->itemText(0) : QStringLiteral("items");
        } else if (auto* action = qobject_cast<QAction*>(o)) {
            if (action->menu() != nullptr || action->isSeparator()) {
                continue;  // a submenu is named by its menu, a separator has no caption
            }
            caption = action->text();
        } else if (auto* menu = qobject_cast<QMenu*>(o)) {
            caption = menu->title();
        }
        if (caption.isEmpty()) {
            continue;
        }
        EXPECT_FALSE(o->objectName().isEmpty())
            << o->metaObject()->className() << " " << caption.toStdString();
        // Captions are kept per window: two dialogs may each have their bbOk.
        QString window;
        for (QObject* p = o->parent(); p != nullptr; p = p->parent()) {
            if (auto* w = qobject_cast<QWidget*>(p); w != nullptr && w->isWindow()) {
                window = w->objectName();
                break;
            }
        }
        const QString key = window + QLatin1Char('.') + o->objectName();
        EXPECT_FALSE(seen.contains(key)) << key.toStdString();
        seen << key;
    }
    for (const char* name :
         {"cbName",  "edIP",   "edPort", "edIn",   "btDB",     "clbDB",      "edOut",
          "cbBUTyp", "rgRun",  "meTime", "gbDay",  "gbMonth",  "gbMonthDay", "seDay",
          "mcCal",   "sbDesc", "tbNew",  "tbSave", "tbRemove", "tbRun",      "tbView",
          "tbAbout", "miRun",  "miEng",  "miRus",  "miHlp"}) {
        EXPECT_NE(main().findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    }
}

}  // namespace
}  // namespace tvl::test

#include "fields_test.moc"
