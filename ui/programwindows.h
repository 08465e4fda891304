#pragma once

#include <memory>
#include <vector>

#include "mainwindow.h"

class QWidget;

namespace tvl::ui {

class NewTaskDialog;
class AboutWindow;
class DateIntervalDialog;
class TaskViewerWindow;
class TrayIcon;
class WaitWindow;

// Every window of the program, created once at start-up and kept until the end. The main
// window owns the others.
struct ProgramWindows {
    std::unique_ptr<MainWindow> main;
    NewTaskDialog* newTask = nullptr;
    AboutWindow* about = nullptr;
    DateIntervalDialog* dateInterval = nullptr;
    TaskViewerWindow* taskViewer = nullptr;
    WaitWindow* wait = nullptr;
    // A message table or task file needed at start-up could not be read: the program ends
    // instead of running.
    bool startupFailed = false;

    // The windows in the order they were created (fmMain, fmNewDlg, fmAboutDlg, fmQueDlg,
    // fmRepDlg, fmWait), for what applies to all of them, such as captions.
    std::vector<QWidget*> all() const;
};

// Creates the windows hidden, the main window first (its creation loads the language, the
// message table, the task list and writes the log's start line), then the others in order.
ProgramWindows createProgramWindows(MainWindowOptions options = {});

// The tray icon's requests go to the main window, and the window tells whether a tray is
// there to go into; the icon goes when the program begins to end.
void connectTray(TrayIcon& tray, MainWindow& main);

}  // namespace tvl::ui
