#pragma once

#include <cstddef>
#include <string>

#include <QObject>
#include <QString>

#include "core/clock.h"
#include "core/selectormodel.h"
#include "core/taskfile.h"

class QWidget;

namespace tvl {
class MessageTable;
}

namespace tvl::ui {

class NewTaskDialog;
class TaskEditor;
class TaskNameModel;

// The task list as the editor's selector shows it: which task is shown, which one has
// unsaved edits, and the commands on tasks (show, New, Save, the save question, Remove)
// with the task file written after each change.
class TaskBook : public QObject {
    Q_OBJECT
public:
    enum class SaveOutcome { NothingPending, Refused, Saved };

    TaskBook(TaskEditor& editor, const MessageTable& messages, const Clock& clock,
             QWidget* boxParent);

    void setNewTaskDialog(NewTaskDialog* dialog) { m_newDlg = dialog; }
    // Reads the task file into the selector; false (and a box) when it cannot be read.
    bool load(const char* fileName);
    // The end of the program: the list is freed and never written again.
    void close();

    const TaskList& tasks() const { return m_tasks; }
    const SelectorModel& selection() const { return m_selection; }
    // The shown task has unsaved edits.
    void markPending();

    // Shows the task selected in the selector, after the save question.
    void cbNameChange();
    // Selects entry `index` and shows it, as a pick by the user does.
    void show(std::size_t index);
    void NewClick();
    SaveOutcome saveTask();
    // The save question; false when the pending task could not be saved.
    bool savprm();
    void remove();

signals:
    // A stored line could not be shown whole; the text says why.
    void conversionError(const QString& text);
    // A task was shown: the last server operation's status no longer applies.
    void taskShown();

private:
    QString message(const char* key) const;
    void showTaskLine(const std::string& line);
    void writeTaskFile();
    // Entry `from` was stored as line `to`; the selector and the indices held beside it
    // follow the entry.
    void moveSelectorEntry(int from, int to);
    void removeSelectorEntry(int entry);

    TaskEditor& m_editor;
    const MessageTable& m_messages;
    const Clock& m_clock;
    QWidget* m_boxParent;
    NewTaskDialog* m_newDlg = nullptr;
    TaskList m_tasks;
    TaskNameModel* m_names;
    SelectorModel m_selection;
    bool m_closed = false;
};

}  // namespace tvl::ui
