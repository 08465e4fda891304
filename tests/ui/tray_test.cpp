// The tray icon, minimising and the close box, with and without a tray on the desktop.

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "fakes/fakecontrol.h"
#include "guitest.h"
#include "ui/trayicon.h"

namespace tvl::test {
namespace {

using ui::MessageBox;
using ui::TrayIcon;

const char* const kDaily =
    "Nightly\x01"
    "127.0.0.1\x02"
    "1972\x03"
    "/db/\x04"
    "/bak/\x05"
    "1 9:06\x06"
    "1\r\n";

class TrayTest : public GuiTest {
protected:
    TrayTest() { useFakeServer(); }
    void TearDown() override {
        m_tray.reset();
        GuiTest::TearDown();
    }
    void startWith(TrayIcon::Availability availability) {
        start(kDaily);
        m_tray = std::make_unique<TrayIcon>(availability);
        ui::connectTray(*m_tray, main());
    }
    bool shown() { return main().isVisible() && !main().isMinimized(); }
    void click(QSystemTrayIcon::ActivationReason reason) { m_tray->activated(reason); }
    QAction* menuItem(const char* name) {
        return m_tray->menu()->findChild<QAction*>(QString::fromLatin1(name));
    }

    std::unique_ptr<TrayIcon> m_tray;
};

TEST_F(TrayTest, TheWindowGoesIntoTheTrayAndComesBackWithItsEditsWhileTheTimerGoesOn) {
    startWith(TrayIcon::Availability::Available);
    EXPECT_TRUE(m_tray->isShown());
    EXPECT_EQ(m_tray->icon()->toolTip(), QStringLiteral("Tarvel Utility"));
    ASSERT_NE(menuItem("miOpen"), nullptr);
    EXPECT_EQ(m_tray->menu()->defaultAction(), menuItem("miOpen"));
    EXPECT_TRUE(menuItem("miOpen")->font().bold());
    EXPECT_EQ(m_tray->menu()->actions(),
              (QList<QAction*>{menuItem("miOpen"), menuItem("miClose")}));

    pick(0);
    typeInto("edIP", QStringLiteral("10.1.1.1"));
    main().close();
    EXPECT_FALSE(main().isVisible());
    EXPECT_FALSE(main().hasEnded());
    EXPECT_TRUE(boxes().empty());

    // The minute timer goes on while the window is in the tray, without any box.
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_NE(logFile().find("Nightly backup job started"), std::string::npos);
    EXPECT_TRUE(boxes().empty());

    click(QSystemTrayIcon::Context);
    EXPECT_FALSE(main().isVisible());
    click(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(shown());
    EXPECT_EQ(find<QLineEdit>("edIP")->text(), QStringLiteral("10.1.1.1"));
    EXPECT_EQ(main().pendingIndex(), 0);
    click(QSystemTrayIcon::Context);
    EXPECT_TRUE(shown());
    click(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(main().isVisible());
    click(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(shown());
    click(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(shown());

    // The minimise box goes into the tray as well.
    main().setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!main().isVisible());
    menuItem("miOpen")->trigger();
    EXPECT_TRUE(shown());
}

TEST_F(TrayTest, CloseInTheTrayMenuAsksOnceRemovesTheIconAndEnds) {
    startWith(TrayIcon::Availability::Available);
    pick(0);
    typeInto("edPort", QStringLiteral("5000"));
    MessageBox::queueAnswers({MessageBox::Answer::Yes});
    menuItem("miClose")->trigger();
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_FALSE(m_tray->isShown());
    EXPECT_TRUE(main().hasEnded());
    EXPECT_NE(taskFile().find("\x02"
                              "5000\x03"),
              std::string::npos);
    EXPECT_NE(logFile().find("Program finished"), std::string::npos);
}

TEST_F(TrayTest, WithoutATrayTheWindowStaysOnTheTaskbar) {
    startWith(TrayIcon::Availability::Missing);
    EXPECT_FALSE(m_tray->isShown());
    main().close();
    EXPECT_TRUE(main().isVisible());
    EXPECT_TRUE(main().isMinimized());
    main().setWindowState(Qt::WindowMinimized);
    QTest::qWait(20);
    EXPECT_TRUE(main().isVisible());
    main().wakeUp();
    EXPECT_TRUE(shown());
}

}  // namespace
}  // namespace tvl::test
