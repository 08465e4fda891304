#include "taskbook.h"

#include <algorithm>

#include <QComboBox>
#include <QDialog>
#include <QStringList>

#include "core/messagetable.h"
#include "core/regional.h"
#include "core/schedule.h"
#include "messagebox.h"
#include "newtaskdialog.h"
#include "taskeditor.h"
#include "tasknamemodel.h"
#include "taskselector.h"
#include "textcodec.h"

namespace tvl::ui {

TaskBook::TaskBook(TaskEditor& editor, const MessageTable& messages, const Clock& clock,
                   QWidget* boxParent)
    : QObject(boxParent),
      m_editor(editor),
      m_messages(messages),
      m_clock(clock),
      m_boxParent(boxParent),
      m_names(new TaskNameModel(m_tasks, this)) {
    m_editor.selector()->setNames(m_names);
}

QString TaskBook::message(const char* key) const {
    return fromFileBytes(m_messages.lookup(key));
}

bool TaskBook::load(const char* fileName) {
    TaskFileLoad load = loadTasks(fileName);
    QComboBox* selector = m_editor.selector();
    if (!load.ok()) {
        m_tasks = TaskList();
        m_names->reload();
        MessageBox::error(m_boxParent, message("freaderr") + QStringLiteral(" Task.txt"));
        return false;
    }
    m_tasks = TaskList(std::move(load.lines));
    m_names->reload();
    selector->setCurrentIndex(-1);
    m_selection.clearPending();
    return true;
}

void TaskBook::close() {
    m_closed = true;
    m_tasks.clear();
    m_names->reload();
}

void TaskBook::markPending() {
    m_selection.setPending(m_editor.currentEntry());
}

void TaskBook::writeTaskFile() {
    // Once the program has ended the task list is gone; a handler that comes back from a box
    // after that must not write it over the file.
    if (m_closed) {
        return;
    }
    if (!saveTasks(kTaskFileName, m_tasks.lines())) {
        MessageBox::error(m_boxParent, message("fwriterr") + QStringLiteral(" task.txt"));
    }
    emit tasksWritten();
}

// ---------------------------------------------------------------------------------------
// Showing a task

void TaskBook::cbNameChange() {
    if (m_editor.currentEntry() < 0) {
        const LocalDateTime now = m_clock.localNow();
        m_editor.clearFields(QString::fromStdString(currentTimeText(now.hour, now.minute)));
        m_selection.clearPending();
        m_selection.setRefusedEdits(false);
        return;
    }
    if (!savprm()) {
        return;
    }
    const int entry = m_editor.currentEntry();
    if (entry < 0) {
        return;
    }
    if (!m_tasks.ownsLine(static_cast<std::size_t>(entry))) {
        // A new task whose save failed at the save question: it has no line yet, so the
        // editor keeps what it shows and the task is pending again, ready to be saved.
        m_editor.closeDatabaseList();
        emit taskShown();
        m_selection.setPending(entry);
        return;
    }
    showTaskLine(std::string(m_tasks.line(static_cast<std::size_t>(entry))));
    m_selection.clearPending();
    m_selection.setRefusedEdits(false);
}

void TaskBook::showTaskLine(const std::string& line) {
    const QString failure = m_editor.showLine(line);
    if (!failure.isEmpty()) {
        emit conversionError(failure);
        return;
    }
    emit taskShown();
}

void TaskBook::show(std::size_t index) {
    QComboBox* selector = m_editor.selector();
    const int entry = static_cast<int>(index) < selector->count() ? static_cast<int>(index) : -1;
    selector->setCurrentIndex(entry);
    cbNameChange();
}

// ---------------------------------------------------------------------------------------
// Selector bookkeeping

void TaskBook::moveSelectorEntry(int from, int to) {
    if (from == to) {
        m_names->stored(from, to);
        return;
    }
    QComboBox* selector = m_editor.selector();
    const int current = m_selection.moveEntry(from, to, selector->currentIndex());
    m_names->stored(from, to);
    selector->setCurrentIndex(current);
}

void TaskBook::removeSelectorEntry(int entry) {
    QComboBox* selector = m_editor.selector();
    const int current = m_selection.removeEntry(entry, selector->currentIndex());
    m_names->removeEntry(entry);
    selector->setCurrentIndex(current);
}

// ---------------------------------------------------------------------------------------
// Commands

void TaskBook::NewClick() {
    savprm();
    if (m_newDlg == nullptr) {
        return;
    }
    QComboBox* selector = m_editor.selector();
    m_newDlg->prepare([this](const QString& name) { return m_names->findName(name) >= 0; },
                      message("tskname"));
    if (m_newDlg->exec() != QDialog::Accepted) {
        return;
    }
    m_names->appendNew(m_newDlg->name());
    selector->setCurrentIndex(selector->count() - 1);
    m_selection.setPending(selector->currentIndex());
}

TaskBook::SaveOutcome TaskBook::saveTask() {
    m_editor.normPaths();
    if (!m_selection.hasPending()) {
        return SaveOutcome::NothingPending;
    }
    const int pending = m_selection.pending();
    // A start time that the minute timer could never read would make a task that never
    // runs; it is refused like an empty field.
    const bool complete = m_editor.checkFields() && m_editor.startTimeReadable();
    const std::string line = complete ? m_editor.buildLine(pending) : std::string();
    if (line.empty()) {
        m_editor.selector()->setCurrentIndex(pending);
        MessageBox::error(m_boxParent, message("fieldreq"));
        return SaveOutcome::Refused;
    }

    const auto at = static_cast<int>(m_tasks.store(static_cast<std::size_t>(pending), line));
    moveSelectorEntry(pending, at);
    m_selection.clearPending();
    m_selection.setRefusedEdits(false);
    writeTaskFile();
    return SaveOutcome::Saved;
}

bool TaskBook::savprm() {
    if (!m_selection.hasPending()) {
        return true;
    }
    const int pending = m_selection.pending();
    // The question names the task whose edits are at stake, not the one just picked.
    const QString text = message("savtxt") + QLatin1Char(' ') +
                         m_editor.selector()->itemText(pending) + QLatin1Char('?');
    if (MessageBox::question(m_boxParent, text)) {
        m_selection.remember(m_editor.currentEntry());
        const SaveOutcome outcome = saveTask();
        const int remembered = m_selection.takeRemembered();
        m_selection.clearPending();
        if (outcome == SaveOutcome::Refused) {
            // The edits stay on screen though nothing is pending; the minute timer must not
            // load another task over them.
            m_selection.setRefusedEdits(true);
            return false;
        }
        m_editor.selector()->setCurrentIndex(remembered);
        return true;
    }
    // No: the edits are dropped, and a new task that was never saved goes with them.
    if (!m_tasks.ownsLine(static_cast<std::size_t>(pending))) {
        removeSelectorEntry(pending);
    }
    m_selection.clearPending();
    return true;
}

void TaskBook::remove() {
    const int entry = m_editor.currentEntry();
    if (entry < 0) {
        return;
    }
    if (!MessageBox::question(m_boxParent, message("remask"))) {
        return;
    }
    m_tasks.remove(static_cast<std::size_t>(entry));
    QComboBox* selector = m_editor.selector();
    m_names->removeEntry(entry);
    selector->setCurrentIndex(std::min(entry, selector->count() - 1));
    m_selection.clearPending();
    // Written before the next task is shown: showing it may open a box, and the removal must
    // be on disk whatever happens while the box is open.
    writeTaskFile();
    cbNameChange();
}

}  // namespace tvl::ui
