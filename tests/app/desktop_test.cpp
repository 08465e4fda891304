// The built program on an X display with a real window manager (openbox) and a tray
// (trayer), driven with xdotool as a user drives it. Skipped where those programs are not
// installed.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>

#include "util/programfolders.h"
#include "util/tempdir.h"

namespace tvl::test {
namespace {

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(100);
    }
    return true;
}

class DesktopTest : public ::testing::Test, protected ProgramFolders {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "import"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        for (int n = 90; n < 140 && m_display.isEmpty(); ++n) {
            if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
                !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
                m_display = QStringLiteral(":%1").arg(n);
            }
        }
        ASSERT_FALSE(m_display.isEmpty());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("DISPLAY"), m_display);
        m_env = environment(m_env, QStringLiteral("xcb"));

        start("Xvfb",
              {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
               QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ASSERT_TRUE(
            waitFor([this] { return x("xwininfo -root").find("Width") != std::string::npos; }));
        start("openbox", {QStringLiteral("--sm-disable")});
        ASSERT_TRUE(waitFor([this] {
            return x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
        }));
        start("trayer",
              {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
               QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
               QStringLiteral("--height"), QStringLiteral("24")});
        ASSERT_TRUE(waitFor([this] { return !ids("xdotool search --classname trayer").empty(); }));

        auto program = std::make_unique<QProcess>();
        launch(*program, m_env);
        ASSERT_TRUE(program->waitForStarted(5000));
        m_processes.push_back(std::move(program));
        ASSERT_TRUE(waitFor([this] {
            const auto found = ids("xdotool search --name '^Tarvel Utility$'");
            m_window = found.empty() ? std::string() : found.front();
            return !m_window.empty() && mapState() == "IsViewable";
        }));
    }

    void TearDown() override {
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000)) {
                (*it)->kill();
                (*it)->waitForFinished(5000);
            }
        }
    }

    void start(const char* program, const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(QString::fromLatin1(program), arguments);
        ASSERT_TRUE(process->waitForStarted(5000)) << program;
        m_processes.push_back(std::move(process));
    }

    // A command line run on the test's display.
    std::string x(const std::string& command) const {
        return runCommand("DISPLAY=" + m_display.toStdString() + " " + command).out;
    }

    std::vector<std::string> ids(const std::string& command) const {
        std::vector<std::string> out;
        std::string rest = x(command + " 2>/dev/null");
        for (std::size_t at = rest.find('\n'); at != std::string::npos; at = rest.find('\n')) {
            if (at > 0) {
                out.push_back(rest.substr(0, at));
            }
            rest.erase(0, at + 1);
        }
        return out;
    }

    std::string mapState() const {
        const std::string info = x("xwininfo -id " + m_window);
        const auto at = info.find("Map State: ");
        return at == std::string::npos ? std::string()
                                       : info.substr(at + 11, info.find('\n', at) - at - 11);
    }

    bool onTaskbar() const {
        const std::string list = x("xprop -root _NET_CLIENT_LIST");
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(m_window));
        return list.find(hex) != std::string::npos;
    }

    // The share of the window's pixels that are black, as a window nobody paints is here.
    double blackShare() const {
        const std::string file = work.file("window.png");
        x("import -window " + m_window + " " + file);
        const QImage image(QString::fromStdString(file));
        if (image.isNull()) {
            return 1.0;
        }
        long black = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int col = 0; col < image.width(); ++col) {
                black += qGray(image.pixel(col, y)) < 16 ? 1 : 0;
            }
        }
        return static_cast<double>(black) / (image.width() * image.height());
    }

    QString m_display;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::string m_window;
};

TEST_F(DesktopTest, TheMinimiseBoxPutsTheWindowInTheTrayAndOpenBringsItBackPainted) {
    ASSERT_TRUE(waitFor([this] { return blackShare() < 0.5; }));
    EXPECT_TRUE(onTaskbar());

    x("xdotool windowminimize " + m_window);
    EXPECT_TRUE(waitFor([this] { return mapState() == "IsUnMapped"; }));
    // Still in the tray a moment later: nothing maps it again behind the program's back.
    QTest::qWait(1500);
    EXPECT_EQ(mapState(), "IsUnMapped");
    EXPECT_FALSE(onTaskbar());

    // A double-click on the tray icon, in trayer's panel, runs Open.
    const std::vector<std::string> trays = ids("xdotool search --classname panel");
    ASSERT_FALSE(trays.empty());
    x("xdotool mousemove --window " + trays.front() + " 12 12 click --repeat 2 --delay 80 1");
    EXPECT_TRUE(waitFor([this] { return mapState() == "IsViewable"; }));
    EXPECT_TRUE(waitFor([this] { return blackShare() < 0.5; }, 5000));
    EXPECT_TRUE(onTaskbar());
}

}  // namespace
}  // namespace tvl::test
