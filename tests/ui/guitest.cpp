#include "guitest.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/taskfile.h"
#include "fakes/fakecontrol.h"
#include "ui/newtaskdialog.h"
#include "ui/textcodec.h"

namespace tvl::test {

UrlCatcher::UrlCatcher(const QString& scheme) : m_scheme(scheme) {
    QDesktopServices::setUrlHandler(m_scheme, this, "open");
}

UrlCatcher::~UrlCatcher() {
    QDesktopServices::unsetUrlHandler(m_scheme);
}

void GuiTest::SetUp() {
    m_dir = std::make_unique<TempDir>();
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(m_dir->path()));
    copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/english.dat", m_dir->file("english.dat"));
    copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/russian.dat", m_dir->file("russian.dat"));
    m_clock.t = 1796634300;  // 2026-12-07 09:05:00 UTC
    ui::MessageBox::setTestMode(true);
}

void GuiTest::TearDown() {
    m_windows = ui::ProgramWindows();
    ui::MessageBox::clear();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void GuiTest::start(const char* taskFile) {
    if (taskFile != nullptr) {
        writeFile(m_dir->file("task.txt"), taskFile);
    }
    restart();
}

void GuiTest::restart() {
    m_windows = ui::ProgramWindows();
    ui::MainWindowOptions options;
    options.settingsFile = QString::fromStdString(m_dir->file("tarvel.ini"));
    options.autostartFile = QString::fromStdString(m_dir->file("autostart/tarvel.desktop"));
    options.clock = &m_clock;
    options.control = m_control;
    options.workerControl = m_workerControl;
    options.followerControl = m_followerControl;
    if (!options.followerControl && dynamic_cast<FakeControl*>(m_control) != nullptr) {
        // The window's server is a fake: following the jobs it started reaches no real
        // server either.
        options.followerControl = [] {
            auto control = std::make_unique<FakeControl>();
            control->connectScript = [](const std::string&) {
                return FakeControl::Answer{1000, "<COMMUNICATION> no server in this test", ""};
            };
            return control;
        };
    }
    options.walkLimits = m_walkLimits;
    options.languageFolder = QString::fromStdString(m_dir->path());
    m_windows = ui::createProgramWindows(options);
    m_windows.main->show();
    QApplication::setActiveWindow(m_windows.main.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_windows.main.get()));
    activate();
}

void GuiTest::pick(int index) {
    auto* cbName = find<QComboBox>("cbName");
    cbName->setCurrentIndex(index);
    emit cbName->activated(index);
}

void GuiTest::onNextDialog(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(m_windows.main.get());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

void GuiTest::newTask(const QString& name) {
    onNextDialog([name](QWidget* dialog) {
        auto* edNew = dialog->findChild<QLineEdit*>(QStringLiteral("edNew"));
        // Key clicks know only printable ASCII; other text comes in as if pasted.
        const bool printable = std::all_of(name.begin(), name.end(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x7f;
        });
        if (printable) {
            QTest::keyClicks(edNew, name);
        } else {
            edNew->insert(name);
        }
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("bbOk")), Qt::LeftButton);
        // A refused name leaves the dialog open: the test would hang, so close it.
        if (dialog->isVisible()) {
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("bbCancel")),
                              Qt::LeftButton);
        }
    });
    main().NewClick();
    activate();
}

void GuiTest::typeInto(const char* field, const QString& text) {
    auto* edit = find<QLineEdit>(field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void GuiTest::fillDaily(const QString& ip) {
    typeInto("edIP", ip);
    typeInto("edPort", QStringLiteral("1972"));
    typeInto("edIn", QStringLiteral("/db/user"));
    typeInto("edOut", QStringLiteral("/bak"));
    find<QComboBox>("cbBUTyp")->setCurrentIndex(1);
    QTest::mouseClick(find<QWidget>("rgRun1"), Qt::LeftButton);
}

void GuiTest::shortcut(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    activate();
    // Through the window, as the platform delivers keys, so shortcuts are looked up.
    QTest::keyClick(m_windows.main->windowHandle(), key, modifiers);
}

void GuiTest::activate() {
    // A closed dialog hands the activation back later than the tests go on; focus events
    // come only to the active window.
    QApplication::setActiveWindow(m_windows.main.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_windows.main.get()));
}

QStringList GuiTest::selectorNames() {
    QStringList names;
    auto* cbName = find<QComboBox>("cbName");
    for (int i = 0; i < cbName->count(); ++i) {
        names << cbName->itemText(i);
    }
    return names;
}

QStringList GuiTest::fileTaskNames() const {
    QStringList names;
    for (const std::string& line : splitTextLines(taskFile())) {
        if (!line.empty() && line.front() == '\x01') {
            break;
        }
        const std::size_t end = line.find('\x01');
        const std::string name = end == std::string::npos ? std::string() : line.substr(0, end);
        names << ui::fromFileBytes(name, ui::isValidUtf8(line));
    }
    return names;
}

QStringList GuiTest::entries() {
    QStringList out;
    auto* list = find<QListWidget>("clbDB");
    for (int i = 0; i < list->count(); ++i) {
        out << list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked
                                            ? QStringLiteral(" [x]")
                                            : QString());
    }
    return out;
}

void GuiTest::press() {
    auto* btDB = find<QPushButton>("btDB");
    QTest::mouseClick(btDB, Qt::LeftButton);
    QTRY_VERIFY(btDB->isEnabled());
}

}  // namespace tvl::test
