// The last and next run of the task shown in the editor.

#include <QTest>

#include "fakes/fakecontrol.h"
#include "guitest.h"
#include "ui/runsrow.h"

namespace tvl::test {
namespace {

std::string task(const std::string& name, const std::string& time, const std::string& rule) {
    return name + "\x01" + "10.0.0.5\x02" + "1972\x03/db/\x04/bak/\x05" + "1" + time + "\x06" +
           rule + "\r\n";
}

class RunsRowTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        m_control = &m_fake;
    }
    ui::RunsRow& row() { return main().runsRow(); }
};

TEST_F(RunsRowTest, NextRunIsTheNextStartOfTheStoredLine) {
    // The clock stands at Monday 2026-12-07 09:05.
    struct Case {
        std::string line;
        const char* next;
    };
    const Case cases[] = {
        {task("Soon", " 9:06", "1"), "2026-12-07 09:06, Monday"},
        {task("Now", " 9:05", "1"), "2026-12-08 09:05, Tuesday"},
        {task("Wed", " 8:00", "20010000"), "2026-12-09 08:00, Wednesday"},
        {task("Never", " 8:00", "20000000"), "-"},
    };
    std::string file;
    for (const Case& c : cases) {
        file += c.line;
    }
    for (const char* name : {"English.lng", "Russian.lng"}) {
        copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + name, this->file(name));
    }
    start(file.c_str());
    for (int i = 0; i < 4; ++i) {
        pick(i);
        EXPECT_EQ(row().nextRun(), QString::fromUtf8(cases[i].next)) << i;
    }

    // The minute timer moves it on; an unsaved edit does not.
    pick(0);
    typeInto("meTime", QStringLiteral("10:00"));
    EXPECT_EQ(row().nextRun(), QStringLiteral("2026-12-07 09:06, Monday"));
    m_clock.advanceMinutes(1);
    main().Timer1Timer();
    EXPECT_EQ(row().nextRun(), QStringLiteral("2026-12-08 09:06, Tuesday"));
    main().SaveClick();
    EXPECT_EQ(row().nextRun(), QStringLiteral("2026-12-07 10:00, Monday"));

    main().miRusClick();
    EXPECT_EQ(row().nextRun(), QString::fromUtf8("2026-12-07 10:00, Понедельник"));

    // A new task has no runs yet.
    newTask(QStringLiteral("Fresh"));
    EXPECT_EQ(row().nextRun(), QString());
    EXPECT_EQ(row().lastRun(), QString());
    EXPECT_TRUE(boxes().empty());
}

}  // namespace
}  // namespace tvl::test
