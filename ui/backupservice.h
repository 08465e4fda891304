#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/folderscheduler.h"
#include "core/history.h"
#include "core/jobjournal.h"
#include "server/backuprun.h"
#include "server/controlsession.h"
#include "server/dblist.h"
#include "server/reporter.h"

class QTimer;
class QWidget;

namespace tvl {
class MessageTable;
class VismControl;
}  // namespace tvl

namespace tvl::ui {

class ControlWorker;

// The program's work on the servers: the control and its context, the activity log, the
// minute timer and its scheduler. It runs backups, reads a server's database list and
// reports what the server operations say: the status text as statusChanged(), boxes only
// while interactive.
//
// The minute timer starts tasks only while it holds the working folder's scheduler lock:
// a service or another Tarvel on the same folder may hold it instead, and then this one
// says who (schedulerNotice) and tries again at every minute. Whoever holds the lock
// continues from the folder's last checked minute.
class BackupService : public QObject, public Reporter {
    Q_OBJECT
public:
    // `control` must outlive the service; null loads the control library from the
    // program's folder. Boxes are shown over `boxParent`.
    // catchUpMinutes bounds how many minutes missed while no Tarvel ran are made up when
    // the lock is taken.
    BackupService(const Clock& clock, const MessageTable& messages, VismControl* control,
                  int catchUpMinutes, QWidget* boxParent);
    ~BackupService() override;

    ActivityLog& activityLog() { return m_log; }
    // Whether boxes may be shown: off while the minute timer runs a task.
    bool interactive() const { return m_ctx.interactive; }
    void setInteractive(bool on) { m_ctx.interactive = on; }

    // Runs a backup with these inputs; a failure is only reported, never asked about,
    // unless `interactive`.
    void run(const RunInputs& inputs, bool interactive);
    // Runs a task from its stored line, without boxes; a task that cannot start does
    // nothing.
    void runStoredLine(const std::string& line);
    // Reads the server's databases off the window thread; `done` gets the outcome on the
    // window thread once the walk has ended and what it reported has been shown. False,
    // with nothing started, while a walk runs or when no control can be had (said so).
    bool walkDatabases(const std::string& ip, const std::string& port,
                       std::function<void(const WalkOutcome&)> done);
    bool walking() const;
    // The bounds of every later walk.
    void setWalkLimits(const WalkLimits& limits) { m_walkLimits = limits; }
    // Makes the control instances of work done off the window thread; by default they
    // come from the control library beside the program. Only before the first walk.
    void setWorkerControlFactory(std::function<std::unique_ptr<VismControl>()> factory);

    // Starts the minute timer; each timeout emits minuteDue() and sets up the next one.
    void armTimer();
    // A tick as soon as the event loop runs: the lock is tried, and the minutes missed
    // since the last checked one are made up, without waiting for the next minute.
    void tickSoon();
    // The program ends: the lock goes, so another Tarvel can take over, and no tick
    // takes it again.
    void stopScheduling();
    bool startsTasks() const { return m_scheduler.holding(); }
    // The minutes checked since the last call (and, after taking the lock, those no Tarvel
    // checked) to look at for planned starts that got no job; none when there are none.
    std::optional<MissedStartWatch::Span> takeMissedSpan();
    bool inTick() const { return m_inTick; }
    // A tick: each task of `lines` due in the minutes since the last tick goes to `start`,
    // in order. A tick that comes while one is being handled leaves its minutes to the next.
    void tick(const TaskLines& lines, const std::function<void(std::size_t)>& start);
    // Asked at each tick whether this program may start tasks now; while it says no, the
    // minutes pass without starts. No gate: always.
    void setStartGate(std::function<bool()> mayStartTasks) { m_gate = std::move(mayStartTasks); }

    // Status text and the standard error stream, never a box.
    void reportQuietly(const QString& text);

    void showStatus(const std::string& text) override;
    void showError(const std::string& text) override;
    void showInfo(const std::string& text) override;

signals:
    void minuteDue();
    void statusChanged(const QString& text);
    // A walk of the database list began (true) or ended (false).
    void walkingChanged(bool walking);
    // "Backups are started by another Tarvel: PID ..." at every minute while another one
    // holds the lock; empty once this one holds it.
    void schedulerNotice(const QString& text);

private:
    void startEach(const TaskLines& lines, const std::vector<ScheduledStart>& starts,
                   const std::function<void(std::size_t)>& start);
    // Takes the lock when free; false while this program may not start tasks.
    bool takeTurn();
    void stateWritten(bool ok);
    ControlWorker& worker();

    QWidget* m_boxParent;
    const Clock& m_clock;
    ActivityLog m_log;
    // Every job a run starts is journaled, with the minute the timer found it due in
    // while the timer starts it.
    JobJournal m_journal;
    std::optional<CivilMinute> m_due;
    // The context lives before and after the control: the control's error handler uses it.
    ControlContext m_ctx;
    std::unique_ptr<VismControl> m_ownControl;
    VismControl* m_control = nullptr;
    const MessageTable& m_messages;
    FolderScheduler m_scheduler;
    MissedStartWatch m_missed;
    std::optional<MissedStartWatch::Span> m_missedSpan;
    QTimer* m_timer1 = nullptr;
    bool m_inTick = false;
    bool m_stopped = false;
    bool m_noticeShown = false;
    bool m_stateOk = true;
    std::string m_lockProblem;
    std::function<bool()> m_gate;
    WalkLimits m_walkLimits;
    std::function<std::unique_ptr<VismControl>()> m_workerFactory;
    ControlWorker* m_worker = nullptr;
};

// Interactive mode is off while the minute timer runs a task and on again afterwards,
// whatever the run did.
class InteractiveOff {
public:
    explicit InteractiveOff(BackupService& service) : m_service(service) {
        m_service.setInteractive(false);
    }
    ~InteractiveOff() { m_service.setInteractive(true); }
    InteractiveOff(const InteractiveOff&) = delete;
    InteractiveOff& operator=(const InteractiveOff&) = delete;

private:
    BackupService& m_service;
};

}  // namespace tvl::ui
