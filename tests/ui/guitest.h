#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <QComboBox>
#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

#include "core/clock.h"
#include "server/dblist.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/programwindows.h"
#include "util/fakeclock.h"
#include "util/tempdir.h"

namespace tvl::test {

// Takes the place of the desktop's handler of a URL scheme while it lives, and keeps the
// URLs the program asked the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QString& scheme);
    ~UrlCatcher() override;
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }

private:
    QString m_scheme;
};

// A started program in a working directory of its own: the message table is there, the
// task file is what the test wrote, the clock stands still at 2026-12-07 09:05 UTC.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes task.txt (unless null) and creates the windows.
    void start(const char* taskFile = "");
    void restart();

    ui::MainWindow& main() { return *m_windows.main; }
    template <class W>
    W* find(const char* name) {
        W* w = m_windows.main->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // The user picks entry i of the task selector.
    void pick(int index);
    // Runs act on the next modal dialog while the command that opens it runs.
    void onNextDialog(std::function<void(QWidget*)> act);
    // New with this name typed and OK pressed.
    void newTask(const QString& name);
    // Types into a field as the user does (the field's old text replaced).
    void typeInto(const char* field, const QString& text);
    // Fills every field of a complete Daily task.
    void fillDaily(const QString& ip = QStringLiteral("10.0.0.5"));

    // A key pressed with the main window active, as a shortcut.
    void shortcut(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void activate();

    std::string taskFile() const { return readFile(m_dir->file("task.txt")); }
    std::string logFile() const { return readFile(m_dir->file("tvl.log")); }
    std::string file(const char* name) const { return m_dir->file(name); }
    std::vector<ui::MessageBox::Shown> boxes() { return ui::MessageBox::takeShown(); }
    QStringList selectorNames();
    // The names the task file gives the selector: each line's text before its first 0x01
    // (none: the empty text), up to the first hidden line, read in the line's character set.
    QStringList fileTaskNames() const;
    // The database list's entries, a checked one followed by " [x]".
    QStringList entries();
    // A click on the database list button, and the wait for the walk it starts.
    void press();

    std::unique_ptr<TempDir> m_dir;
    QString m_oldDir;
    FakeClock m_clock;
    // The control the windows use; null lets them load the built control library.
    VismControl* m_control = nullptr;
    // What makes the control of the work off the window thread, and the walk's bounds;
    // null: the built control library, the usual bounds.
    std::function<std::unique_ptr<VismControl>()> m_workerControl;
    std::shared_ptr<const WalkLimits> m_walkLimits;
    // What makes the control that follows the started jobs; null: one that reaches no
    // server while m_control is a fake, else as m_workerControl.
    std::function<std::unique_ptr<VismControl>()> m_followerControl;
    ui::ProgramWindows m_windows;
};

}  // namespace tvl::test
