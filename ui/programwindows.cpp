#include "programwindows.h"

#include "application.h"
#include "newtaskdialog.h"
#include "plainwindows.h"
#include "trayicon.h"

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
    return windows;
}

void connectTray(TrayIcon& tray, MainWindow& main) {
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
}

}  // namespace tvl::ui
