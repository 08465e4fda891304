#include "expectedbackupscommand.h"

#include <array>
#include <ctime>
#include <exception>
#include <optional>

#include <QEventLoop>
#include <QWidget>

#include "core/expected.h"
#include "core/history.h"
#include "core/jobjournal.h"
#include "core/schedulerstate.h"
#include "core/taskline.h"
#include "dateintervaldialog.h"
#include "messagebox.h"
#include "taskviewer.h"
#include "textcodec.h"
#include "waitwindow.h"

namespace tvl::ui {

namespace {

// From the moment the main window is hidden: whatever happens, the wait window goes and
// the main window comes back, with the task it showed reloaded.
class RestoreGuard {
public:
    RestoreGuard(ExpectedBackupsHost& host, WaitWindow& wait, int remembered)
        : m_host(host), m_wait(wait), m_remembered(remembered) {}
    RestoreGuard(const RestoreGuard&) = delete;
    RestoreGuard& operator=(const RestoreGuard&) = delete;
    ~RestoreGuard() {
        m_wait.hide();
        try {
            m_host.selectTask(m_remembered);
        } catch (...) {
            // The main window must come back even when its task cannot be shown.
        }
        m_host.hostWindow()->show();
    }

private:
    ExpectedBackupsHost& m_host;
    WaitWindow& m_wait;
    int m_remembered;
};

// The history of the rows' starts: the journal's jobs of the interval and the folder
// scheduler's last checked minute, as the command-line tool reads them.
std::vector<HistoryRow> historyOf(const ExpectedBackups& rows, const CivilDate& from,
                                  const CivilDate& to, const LocalDateTime& now) {
    // A day on either side covers any time zone's offset and the catch-up after midnight.
    const auto since = static_cast<std::time_t>((daysFromCivil(from) - 2) * 86400);
    const std::vector<JobRecord> jobs = JobJournal().readAll(nullptr, since);
    ScheduleMark mark;
    const std::optional<CivilMinute> lastChecked = readState(kStateFileName, mark) == StateRead::Ok
                                                       ? std::optional(mark.lastChecked)
                                                       : std::nullopt;
    return backupHistory(rows, jobs, from, to, now, lastChecked);
}

}  // namespace

ExpectedBackupsCommand::ExpectedBackupsCommand(ExpectedBackupsHost& host,
                                               DateIntervalDialog& dialog, WaitWindow& wait,
                                               TaskViewerWindow& viewer)
    : m_host(host), m_dialog(dialog), m_wait(wait), m_viewer(viewer) {}

void ExpectedBackupsCommand::tbViewClick() {
    try {
        runSteps();
    } catch (const std::exception& e) {
        MessageBox::error(m_host.hostWindow(), QString::fromLocal8Bit(e.what()));
    }
}

void ExpectedBackupsCommand::runSteps() {
    static const char* const kDayKeys[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    std::array<std::string, 7> names;
    for (std::size_t d = 0; d < names.size(); ++d) {
        names[d] = m_host.messageBytes(kDayKeys[d]);
    }
    m_host.normalizeDayField();
    if (m_host.hasPendingTask()) {
        m_host.askSaveQuestion();
    }
    if (m_dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_viewer.setSortColumn(-1);
    const int remembered = m_host.selectedTask();

    std::vector<std::size_t> unreadable;
    {
        QWidget* main = m_host.hostWindow();
        RestoreGuard guard(m_host, m_wait, remembered);
        main->hide();
        m_wait.showOver(main);
        m_viewer.clearRows();
        const TaskLines& lines = m_host.taskLines();
        const CivilDate from = m_dialog.intervalStart();
        const CivilDate to = m_dialog.intervalEnd();
        ExpectedBackups rows = ExpectedBackups::compute(lines, from, to, names);
        unreadable = rows.unreadableTasks();
        const LocalDateTime now = m_host.now();
        const bool past = daysFromCivil(from) < daysFromCivil(now.date);
        std::vector<HistoryRow> history;
        if (past) {
            history = historyOf(rows, from, to, now);
        }
        m_viewer.setRows(std::move(rows), lines);
        if (past) {
            std::array<QString, 6> texts;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                texts[i] = fromFileBytes(
                    historyStateText(m_host.messages(), static_cast<HistoryState>(i)));
            }
            m_viewer.setOutcomes(history, texts);
        }
        m_viewer.sizeColumns();
        m_viewer.setTip(fromFileBytes(m_host.messageBytes("tip")));
        m_viewer.setSortCaption(fromFileBytes(m_host.messageBytes("srtyp")));
        m_viewer.lwTaskColumnClick(0);
        m_wait.hide();
        m_viewer.placeOver(main);
        // Modal like exec(), but shown first, so that the tasks that could not be read
        // are named over the list they are missing from.
        QEventLoop loop;
        QObject::connect(&m_viewer, &QDialog::finished, &loop, &QEventLoop::quit);
        m_viewer.setModal(true);
        m_viewer.show();
        m_viewer.raise();
        m_viewer.activateWindow();
        if (!unreadable.empty()) {
            reportUnreadable(unreadable);
        }
        if (m_viewer.isVisible()) {
            loop.exec(QEventLoop::DialogExec);
        }
    }
}

void ExpectedBackupsCommand::reportUnreadable(const std::vector<std::size_t>& lines) {
    const TaskLines& all = m_host.taskLines();
    QStringList names;
    for (std::size_t i : lines) {
        if (i < all.size()) {
            names << fromFileBytes(splitTaskLine(all[i]).name);
        }
    }
    MessageBox::warning(&m_viewer, fromFileBytes(m_host.messageBytes("unread")) +
                                       QStringLiteral("\n\n") + names.join(QLatin1Char('\n')));
}

}  // namespace tvl::ui
