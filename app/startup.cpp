#include "startup.h"

#include <clocale>
#include <cstdio>
#include <string>

#include <QGuiApplication>
#include <QScreen>

#include "instanceguard.h"
#include "server/controlloader.h"
#include "terminationsignals.h"
#include "ui/application.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/programwindows.h"
#include "ui/trayicon.h"

namespace tvl::app {

namespace {

void centreOnDesktop(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

}  // namespace

int runProgram(int argc, char** argv) {
    // Dates and times in the log and in Once tasks follow the user's regional formats.
    std::setlocale(LC_ALL, "");

    // The application object comes first here: the checks below may need a box.
    ui::Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvel"));
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // 1. One instance only. A second start wakes the first and ends showing nothing.
    InstanceGuard guard;
    switch (guard.check()) {
        case InstanceGuard::Result::First:
            break;
        case InstanceGuard::Result::Second:
            guard.wakeFirst();
            return 0;
        case InstanceGuard::Result::LockFailed:
            ui::MessageBox::plain(nullptr, InstanceGuard::lockFailedText(),
                                  QCoreApplication::applicationName());
            return 1;
        case InstanceGuard::Result::ListenFailed:
            ui::MessageBox::plain(nullptr, InstanceGuard::listenFailedText(),
                                  QCoreApplication::applicationName());
            return 1;
    }

    // 2. Without the control the program cannot do its work: it says so and ends before
    // any window exists and before the log is touched.
    std::string why;
    if (!controlLibraryAvailable(QCoreApplication::applicationDirPath().toStdString(), &why)) {
        if (!why.empty()) {
            std::fprintf(stderr, "tarvel: %s\n", why.c_str());
        }
        ui::MessageBox::error(nullptr, QString::fromLatin1(kClientMissingText));
        return 0;
    }

    // From here SIGTERM and SIGINT wait in a pipe until the event loop ends the program
    // through its close, so a signal during the creation still gets the log's end line.
    TerminationSignals termination;

    // 3. The windows, hidden, the main window first; its creation restores the language,
    // loads the message table and the task list and writes the log's start line.
    ui::ProgramWindows windows = ui::createProgramWindows();
    ui::MainWindow& main = *windows.main;

    // 4. The captions of the language in force are applied to every window here once the
    // caption files are read.

    // A message table or task file that could not be read ends the program now.
    if (windows.startupFailed) {
        main.endWithoutQuestion();
        return 1;
    }

    // The tray icon, once the main window is there to go into it; without a tray on the
    // desktop the window minimises onto the taskbar instead.
    ui::TrayIcon tray;
    ui::connectTray(tray, main);

    QObject::connect(&guard, &InstanceGuard::wakeUpRequested, &main, &ui::MainWindow::wakeUp);
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &main,
                     &ui::MainWindow::endWithoutQuestion);
    QObject::connect(&main, &ui::MainWindow::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // 5. The event loop, with the main window shown in the middle of the desktop.
    centreOnDesktop(main);
    main.show();
    return app.exec();
}

}  // namespace tvl::app
