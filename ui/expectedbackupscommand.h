#pragma once

#include <string>
#include <vector>

#include <QString>

#include "core/civil.h"
#include "core/tasklines.h"

class QWidget;

namespace tvl {
class MessageTable;
}

namespace tvl::ui {

class DateIntervalDialog;
class TaskViewerWindow;
class WaitWindow;

// What the Expected backups command needs of the main window and its task editor.
class ExpectedBackupsHost {
public:
    virtual ~ExpectedBackupsHost() = default;
    // The main window: hidden while the list is made and shown, the windows centre on it.
    virtual QWidget* hostWindow() = 0;
    // A message-table text as the file's bytes; empty for a missing key.
    virtual std::string messageBytes(const char* key) const = 0;
    virtual const MessageTable& messages() const = 0;
    // The day-of-month field brought into range without making the task pending.
    virtual void normalizeDayField() = 0;
    virtual bool hasPendingTask() const = 0;
    // The save question; its answer does not stop the command.
    virtual void askSaveQuestion() = 0;
    // The selector's entry, -1 for none.
    virtual int selectedTask() const = 0;
    // Selects the entry and loads its task from the task list; -1 clears the editor.
    virtual void selectTask(int entry) = 0;
    virtual const TaskLines& taskLines() const = 0;
    // The local time of the program's clock: an interval that reaches before today shows
    // what became of its starts.
    virtual LocalDateTime now() const = 0;
};

// Expected backups: asks for a date interval, lists every backup the start rules will start
// in it in the Task Viewer, sorted by time, and afterwards gives the editor back the task
// it showed. For an interval that reaches into the past, the Outcome column says what
// became of each start, as `tarvelctl history` does. Whatever fails on the way, the main window is
// shown again and the wait window hidden.
class ExpectedBackupsCommand {
public:
    ExpectedBackupsCommand(ExpectedBackupsHost& host, DateIntervalDialog& dialog, WaitWindow& wait,
                           TaskViewerWindow& viewer);

    void tbViewClick();

private:
    void runSteps();
    void reportUnreadable(const std::vector<std::size_t>& lines);

    ExpectedBackupsHost& m_host;
    DateIntervalDialog& m_dialog;
    WaitWindow& m_wait;
    TaskViewerWindow& m_viewer;
};

}  // namespace tvl::ui
