// The main window's server work: Run, the database list and the minute timer.

#include <cstdio>
#include <exception>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "application.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "server/controlloader.h"
#include "server/dblist.h"
#include "server/vismcontrol.h"
#include "textcodec.h"

namespace tvl::ui {

namespace {

// Interactive mode is off while the minute timer runs a task and on again afterwards,
// whatever the run did.
class InteractiveOff {
public:
    explicit InteractiveOff(MainWindow& window) : m_window(window) {
        m_window.setInteractive(false);
    }
    ~InteractiveOff() { m_window.setInteractive(true); }
    InteractiveOff(const InteractiveOff&) = delete;
    InteractiveOff& operator=(const InteractiveOff&) = delete;

private:
    MainWindow& m_window;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Reports of the server operations

void MainWindow::showStatus(const std::string& text) {
    setStatusText(fromFileBytes(text));
}

void MainWindow::showError(const std::string& text) {
    // A run of the minute timer never waits for a person.
    if (!m_ctx.interactive) {
        return;
    }
    MessageBox::error(this, fromFileBytes(text));
}

void MainWindow::showInfo(const std::string& text) {
    if (!m_ctx.interactive) {
        return;
    }
    MessageBox::plain(this, fromFileBytes(text));
}

void MainWindow::reportQuietly(const QString& text) {
    setStatusText(text);
    std::fprintf(stderr, "tarvel: %s\n", text.toLocal8Bit().constData());
}

// ---------------------------------------------------------------------------------------
// Run

void MainWindow::RunClick() {
    normPaths();
    if (!checkFields()) {
        return;
    }
    runWith(planRun(editorFields(m_cbName->currentIndex())).inputs, m_interactive);
}

void MainWindow::runWith(const RunInputs& inputs, bool interactive) {
    if (m_control == nullptr) {
        const QString text = QString::fromLatin1(kClientMissingText);
        if (interactive) {
            MessageBox::error(this, text);
        }
        reportQuietly(text);
        return;
    }
    const int logFailures = m_ctx.logFailures;
    runBackup(*m_control, inputs, m_ctx);
    if (m_ctx.logFailures != logFailures) {
        const QString text =
            QStringLiteral("Cannot write to %1").arg(QString::fromLatin1(kLogFileName));
        if (interactive) {
            reportUnexpectedError(text);
        }
        reportQuietly(text);
    }
}

// ---------------------------------------------------------------------------------------
// The database list

void MainWindow::ToggleDBList() {
    const bool shown = !m_clbDB->isHidden();
    for (QWidget* w : {static_cast<QWidget*>(m_lbOut), static_cast<QWidget*>(m_edOut),
                       static_cast<QWidget*>(m_lbBUTyp), static_cast<QWidget*>(m_cbBUTyp)}) {
        w->setVisible(shown);
    }
    m_clbDB->setVisible(!shown);
}

void MainWindow::btDBClick() {
    normPaths();
    if (m_clbDB->isHidden()) {
        openDatabaseList();
    } else {
        writeDatabaseListBack();
    }
}

void MainWindow::openDatabaseList() {
    m_clbDB->clear();
    m_dbEntries.clear();
    if (m_control == nullptr) {
        MessageBox::error(this, QString::fromLatin1(kClientMissingText));
        return;
    }
    const std::string paths = toFileBytes(m_edIn->text());
    WalkOutcome walk = walkDatabases(*m_control, toFileBytes(m_edIP->text()),
                                     toFileBytes(m_edPort->text()), m_ctx);
    // A list cut short by a failed pass would drop, on closing, every directory of the
    // field that the walk did not get to: the list opens only when it is whole.
    if (walk.status != WalkStatus::Listed) {
        return;
    }
    // A box of the walk lets other events run; the list may have been opened meanwhile.
    if (!m_clbDB->isHidden()) {
        return;
    }
    m_dbEntries = std::move(walk.entries);
    const std::vector<bool> marks = checkMarks(m_dbEntries, paths);
    for (std::size_t i = 0; i < m_dbEntries.size(); ++i) {
        auto* item = new QListWidgetItem(fromFileBytes(m_dbEntries[i]), m_clbDB);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(marks[i] ? Qt::Checked : Qt::Unchecked);
    }
    m_btDB->setText(QStringLiteral("<<"));
    ToggleDBList();
}

void MainWindow::writeDatabaseListBack() {
    std::vector<bool> marks;
    for (int i = 0; i < m_clbDB->count(); ++i) {
        QListWidgetItem* item = m_clbDB->item(i);
        marks.push_back(item->checkState() == Qt::Checked);
        item->setCheckState(Qt::Unchecked);
    }
    const PathsRewrite back = rewritePaths(toFileBytes(m_edIn->text()), m_dbEntries, marks);
    // An unchanged text is no edit; a task that earlier edits made pending stays pending,
    // so those edits are still offered for saving.
    if (back.changed) {
        m_edIn->setText(fromFileBytes(back.text));
    }
    m_btDB->setText(QStringLiteral(">>"));
    ToggleDBList();
}

// ---------------------------------------------------------------------------------------
// The minute timer

void MainWindow::armTimer() {
    m_timer1->start(m_scheduler.msToNextMinute());
}

void MainWindow::Timer1Timer() {
    // A tick that comes while a tick is still being handled leaves its minutes to the next.
    if (m_inTick || m_ended) {
        return;
    }
    m_inTick = true;
    struct EndOfTick {
        bool& inTick;
        ~EndOfTick() { inTick = false; }
    } endOfTick{m_inTick};
    const std::vector<ScheduledStart> starts = m_scheduler.tick(m_tasks.lines());
    for (const ScheduledStart& start : starts) {
        if (start.taskIndex >= m_tasks.lines().size()) {
            continue;
        }
        // One task's failure must not cost the tasks after it their backup, and nobody is
        // there to close a box.
        try {
            startScheduled(start.taskIndex);
        } catch (const std::exception& e) {
            setInteractive(true);
            reportQuietly(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            setInteractive(true);
            reportQuietly(QStringLiteral("Unknown error"));
        }
    }
}

bool MainWindow::editorInUse() const {
    return m_pending >= 0 || m_refusedEdits || !m_clbDB->isHidden() ||
           QApplication::activeModalWidget() != nullptr;
}

void MainWindow::startScheduled(std::size_t index) {
    if (editorInUse()) {
        // Unsaved edits, an open database list or an open dialog stay as they are: the
        // backup runs from the task's stored line instead of waiting for an answer.
        runStoredLine(m_tasks.line(index));
        return;
    }
    const int entry = static_cast<int>(index) < m_cbName->count() ? static_cast<int>(index) : -1;
    m_cbName->setCurrentIndex(entry);
    cbNameChange();
    InteractiveOff quiet(*this);
    RunClick();
}

void MainWindow::runStoredLine(const std::string& line) {
    // The same bytes and the same field check as the editor's: a task that cannot start
    // does nothing.
    const RunPlan plan = planStoredLine(line);
    if (!plan.ok()) {
        return;
    }
    InteractiveOff quiet(*this);
    runWith(plan.inputs, false);
}

}  // namespace tvl::ui
