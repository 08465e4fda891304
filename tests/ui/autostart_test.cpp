#include "ui/autostart.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>

#include "guitest.h"

using namespace tvl;
using tvl::ui::MessageBox;

namespace {

class AutostartMenu : public test::GuiTest {
protected:
    QAction* item() { return find<QAction>("miAutostart"); }
    std::string entry() { return file("autostart/tarvel.desktop"); }
};

}  // namespace

TEST_F(AutostartMenu, WritesAndRemovesTheLoginEntryAndShowsItsState) {
    start();
    ASSERT_TRUE(item()->isCheckable());
    EXPECT_FALSE(item()->isChecked());

    item()->trigger();
    EXPECT_TRUE(item()->isChecked());
    const std::string text = test::readFile(entry());
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    EXPECT_NE(text.find("\nExec=\"" + program + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nPath=" + QDir::currentPath().toStdString() + "\n"), std::string::npos)
        << text;

    restart();
    EXPECT_TRUE(item()->isChecked());
    item()->trigger();
    EXPECT_FALSE(item()->isChecked());
    EXPECT_FALSE(test::fileExists(entry()));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(AutostartMenu, AnEntryThatCannotBeWrittenIsReportedAndLeftUnchecked) {
    start();
    test::writeFile(file("autostart"), "a file where the folder should be");
    item()->trigger();
    EXPECT_FALSE(item()->isChecked());
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Error);
}

TEST(AutostartEntry, QuotesTheProgramAndEscapesTheFolder) {
    const std::string text = ui::Autostart::entryText(QStringLiteral("/opt/my apps/t$a\"r`v\\el"),
                                                      QStringLiteral("/home/u/back\\slash"))
                                 .toStdString();
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/t\\\\$a\\\\\"r\\\\`v\\\\\\\\el\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nPath=/home/u/back\\\\slash\n"), std::string::npos) << text;
}
