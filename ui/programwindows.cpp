#include "programwindows.h"

#include "aboutwindow.h"
#include "newtaskdialog.h"
#include "plainwindows.h"

namespace tvl::ui {

ProgramWindows createProgramWindows(MainWindowOptions options) {
    ProgramWindows windows;
    windows.main = std::make_unique<MainWindow>(std::move(options));
    windows.newTask = new NewTaskDialog(windows.main.get());
    windows.main->setNewTaskDialog(windows.newTask);
    windows.about = new AboutWindow(windows.main.get());
    windows.dateInterval = new DateIntervalDialog(windows.main.get());
    windows.taskViewer = new TaskViewerWindow(windows.main.get());
    windows.wait = new WaitWindow(windows.main.get());
    return windows;
}

}  // namespace tvl::ui
