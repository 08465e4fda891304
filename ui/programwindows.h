#pragma once

#include <memory>

#include "mainwindow.h"

namespace tvl::ui {

class NewTaskDialog;
class AboutWindow;
class DateIntervalDialog;
class TaskViewerWindow;
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
};

// Creates the windows hidden, the main window first (its creation loads the language, the
// message table, the task list and writes the log's start line), then the others in order.
ProgramWindows createProgramWindows(MainWindowOptions options = {});

}  // namespace tvl::ui
