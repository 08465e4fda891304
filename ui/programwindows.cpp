#include "programwindows.h"

#include <QMenu>

#include "aboutwindow.h"
#include "application.h"
#include "captionreader.h"
#include "dateintervaldialog.h"
#include "newtaskdialog.h"
#include "taskviewer.h"
#include "trayicon.h"
#include "waitwindow.h"

namespace tvl::ui {

std::vector<QWidget*> ProgramWindows::all() const {
    return {main.get(), newTask, about, dateInterval, taskViewer, wait};
}

ProgramWindows createProgramWindows(MainWindowOptions options) {
    ProgramWindows windows;
    windows.main = std::make_unique<MainWindow>(std::move(options));
    windows.startupFailed = !windows.main->FormCreate();
    windows.newTask = new NewTaskDialog(windows.main.get());
    windows.main->setNewTaskDialog(windows.newTask);
    windows.about = new AboutWindow(windows.main.get());
    windows.dateInterval = new DateIntervalDialog(windows.main.get());
    windows.taskViewer = new TaskViewerWindow(windows.main.get());
    windows.wait = new WaitWindow(windows.main.get());
    windows.main->setAboutWindow(windows.about);
    windows.main->setExpectedBackupsWindows(*windows.dateInterval, *windows.wait,
                                            *windows.taskViewer);
    // Every window takes the captions of the language in force; a language without its
    // caption file gets one written from what the windows show.
    TJKCaptionReader& captions = windows.main->captionReader();
    for (QWidget* window : windows.all()) {
        if (window != windows.main.get()) {
            captions.addWindow(window);
        }
    }
    captions.LoadCaptions();
    return windows;
}

void connectTray(TrayIcon& tray, MainWindow& main) {
    // The tray menu's items are the main window's and take its captions.
    main.captionReader().addComponent(&main, tray.menu());
    main.captionReader().ApplyCaptions();
    main.setTrayAvailable(tray.available());
    QObject::connect(&tray, &TrayIcon::availabilityChanged, &main, &MainWindow::setTrayAvailable);
    QObject::connect(&tray, &TrayIcon::toggleRequested, &main,
                     [&main] { guarded([&main] { main.toggleFromTray(); }); });
    QObject::connect(&tray, &TrayIcon::activationRequested, &main,
                     [&main] { guarded([&main] { main.wakeUp(); }); });
    QObject::connect(&tray, &TrayIcon::exitRequested, &main,
                     [&main] { guarded([&main] { main.ExitClick(); }); });
    QObject::connect(&main, &MainWindow::endingStarted, &tray, &TrayIcon::remove);
    QObject::connect(&main, &MainWindow::schedulerNotice, &tray, &TrayIcon::setNotice);
    QObject::connect(&main, &MainWindow::backupWarning, &tray, &TrayIcon::warn);
    QObject::connect(&main, &MainWindow::opened, &tray, &TrayIcon::clearWarning);
}

}  // namespace tvl::ui
