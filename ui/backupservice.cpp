#include "backupservice.h"

#include <cstdio>
#include <exception>

#include <QTimer>
#include <QWidget>

#include "application.h"
#include "controlworker.h"
#include "core/messagetable.h"
#include "core/runplan.h"
#include "core/taskline.h"
#include "messagebox.h"
#include "server/controlloader.h"
#include "server/jobfollower.h"
#include "server/vismcontrol.h"
#include "textcodec.h"

namespace tvl::ui {

BackupService::BackupService(const Clock& clock, const MessageTable& messages, VismControl* control,
                             int catchUpMinutes, QWidget* boxParent)
    : QObject(boxParent),
      m_boxParent(boxParent),
      m_clock(clock),
      m_log(kLogFileName, &clock),
      m_control(control),
      m_messages(messages),
      m_scheduler(clock, SchedulerKind::Desktop, catchUpMinutes) {
    m_ctx.reporter = this;
    m_ctx.messages = &messages;
    m_ctx.log = &m_log;
    if (m_control == nullptr) {
        std::string why;
        m_ownControl = loadControl(programDirectory(), &why);
        m_control = m_ownControl.get();
        if (m_control == nullptr && !why.empty()) {
            std::fprintf(stderr, "tarvel: %s\n", why.c_str());
        }
    }
    if (m_control != nullptr) {
        bindErrorHandler(*m_control, m_ctx);
    }

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setTimerType(Qt::PreciseTimer);
    connect(m_timer1, &QTimer::timeout, this, [this] {
        // The next tick is set up whatever this one does: a timer that stops would miss
        // every backup from then on.
        struct Rearm {
            BackupService* service;
            ~Rearm() { service->armTimer(); }
        } rearm{this};
        emit minuteDue();
    });
}

BackupService::~BackupService() {
    // A walk still running is asked to stop, before the log and texts it copied from go.
    delete m_worker;
    m_worker = nullptr;
    // A control handed in by the caller outlives this service and its context.
    if (m_control != nullptr) {
        m_control->setOnError({});
    }
}

// ---------------------------------------------------------------------------------------
// Reports of the server operations

void BackupService::showStatus(const std::string& text) {
    emit statusChanged(fromFileBytes(text));
}

void BackupService::showError(const std::string& text) {
    // A run of the minute timer never waits for a person.
    if (!m_ctx.interactive) {
        return;
    }
    MessageBox::error(m_boxParent, fromFileBytes(text));
}

void BackupService::showInfo(const std::string& text) {
    if (!m_ctx.interactive) {
        return;
    }
    MessageBox::plain(m_boxParent, fromFileBytes(text));
}

void BackupService::reportQuietly(const QString& text) {
    emit statusChanged(text);
    std::fprintf(stderr, "tarvel: %s\n", text.toLocal8Bit().constData());
}

// ---------------------------------------------------------------------------------------
// Runs and the database list

void BackupService::run(const RunInputs& inputs, bool interactive) {
    if (m_control == nullptr) {
        const QString text = QString::fromLatin1(kClientMissingText);
        if (interactive) {
            MessageBox::error(m_boxParent, text);
        }
        reportQuietly(text);
        return;
    }
    const int logFailures = m_ctx.logFailures;
    const RunOutcome outcome = runBackup(*m_control, inputs, m_ctx);
    if (!recordJobStart(m_journal, inputs, outcome, m_clock.now(), m_due)) {
        reportQuietly(QStringLiteral("Cannot write to %1; the job is not followed")
                          .arg(QString::fromLocal8Bit(m_journal.path().c_str())));
    }
    if (m_ctx.logFailures != logFailures) {
        const QString text =
            QStringLiteral("Cannot write to %1").arg(QString::fromLatin1(kLogFileName));
        if (interactive) {
            reportUnexpectedError(text);
        }
        reportQuietly(text);
    }
}

void BackupService::runStoredLine(const std::string& line) {
    // The same bytes and the same field check as the editor's: a task that cannot start
    // does nothing.
    const RunPlan plan = planStoredLine(line);
    if (!plan.ok()) {
        return;
    }
    InteractiveOff quiet(*this);
    run(plan.inputs, false);
}

void BackupService::setWorkerControlFactory(std::function<std::unique_ptr<VismControl>()> factory) {
    m_workerFactory = std::move(factory);
}

ControlWorker& BackupService::worker() {
    if (m_worker == nullptr) {
        ControlWorker::Factory factory = m_workerFactory;
        if (!factory) {
            factory = [] { return loadControl(programDirectory()); };
        }
        m_worker = new ControlWorker(std::move(factory), m_clock, m_messages, m_log, this);
        connect(m_worker, &ControlWorker::statusReported, this, &BackupService::showStatus);
        // The walk asks for a box only when it began interactive; the answer is not waited
        // for, so the box is shown whatever the window does now.
        connect(m_worker, &ControlWorker::errorReported, this, [this](const std::string& text) {
            MessageBox::error(m_boxParent, fromFileBytes(text));
        });
        connect(m_worker, &ControlWorker::infoReported, this, [this](const std::string& text) {
            MessageBox::plain(m_boxParent, fromFileBytes(text));
        });
        connect(m_worker, &ControlWorker::busyChanged, this, &BackupService::walkingChanged);
    }
    return *m_worker;
}

bool BackupService::walking() const {
    return m_worker != nullptr && m_worker->busy();
}

bool BackupService::walkDatabases(const std::string& ip, const std::string& port,
                                  std::function<void(const WalkOutcome&)> done) {
    if (walking()) {
        return false;
    }
    auto outcome = std::make_shared<WalkOutcome>();
    WalkLimits limits = m_walkLimits;
    auto job = [ip, port, limits, outcome](VismControl& control, ControlContext& ctx,
                                           const std::atomic<bool>& cancelled) mutable {
        // The walk's time limit counts by the system's time: the program's clock is not
        // read from this thread.
        limits.clock = nullptr;
        limits.cancelled = &cancelled;
        *outcome = tvl::walkDatabases(control, ip, port, ctx, limits);
    };
    std::string why;
    if (!worker().start(
            std::move(job), [outcome, done = std::move(done)] { done(*outcome); },
            m_ctx.interactive, &why)) {
        MessageBox::error(m_boxParent, QString::fromLatin1(kClientMissingText));
        reportQuietly(QString::fromLocal8Bit(why.c_str()));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// The minute timer

void BackupService::armTimer() {
    m_timer1->start(m_scheduler.msToNextMinute());
}

void BackupService::tick(const TaskLines& lines, const std::function<void(std::size_t)>& start) {
    if (m_inTick) {
        return;
    }
    m_inTick = true;
    struct EndOfTick {
        bool& inTick;
        ~EndOfTick() { inTick = false; }
    } endOfTick{m_inTick};
    if (!takeTurn()) {
        return;
    }
    const std::vector<ScheduledStart> starts = m_scheduler.tick(lines);
    if (!m_gate || m_gate()) {
        startEach(lines, starts, start);
    }
    stateWritten(m_scheduler.finish());
    if (const auto span = m_missed.next(m_scheduler.lastChecked())) {
        m_missedSpan = m_missedSpan ? joinSpans(*m_missedSpan, *span) : *span;
    }
}

std::optional<MissedStartWatch::Span> BackupService::takeMissedSpan() {
    std::optional<MissedStartWatch::Span> span;
    span.swap(m_missedSpan);
    return span;
}

void BackupService::tickSoon() {
    QTimer::singleShot(0, this, [this] { emit minuteDue(); });
}

void BackupService::stopScheduling() {
    m_stopped = true;
    m_scheduler.release();
}

bool BackupService::takeTurn() {
    if (m_stopped) {
        return false;
    }
    switch (m_scheduler.take()) {
        case FolderScheduler::Turn::Holding:
            return true;
        case FolderScheduler::Turn::Taken:
            m_missed.taken(m_scheduler.markOnTake(), civilMinute(m_clock.localNow()));
            m_lockProblem.clear();
            if (m_noticeShown) {
                m_noticeShown = false;
                emit schedulerNotice(QString());
            }
            return true;
        case FolderScheduler::Turn::Waiting: {
            const LockHolder& other = m_scheduler.other();
            std::string text = m_messages.lookup("othtvl");
            if (text.empty()) {
                text = "Backups are started by another Tarvel: PID";
            }
            text += " " + (other.pid > 0 ? std::to_string(other.pid) : std::string("?"));
            m_noticeShown = true;
            emit schedulerNotice(fromFileBytes(text));
            return false;
        }
        case FolderScheduler::Turn::Failed:
            if (m_lockProblem != m_scheduler.error()) {
                m_lockProblem = m_scheduler.error();
                reportQuietly(QString::fromLocal8Bit(m_lockProblem.c_str()));
            }
            return false;
    }
    return false;
}

void BackupService::stateWritten(bool ok) {
    if (ok == m_stateOk) {
        return;
    }
    m_stateOk = ok;
    if (!ok) {
        reportQuietly(
            QStringLiteral("Cannot write to %1").arg(QString::fromLatin1(kStateFileName)));
    }
}

void BackupService::startEach(const TaskLines& lines, const std::vector<ScheduledStart>& starts,
                              const std::function<void(std::size_t)>& start) {
    for (const ScheduledStart& due : starts) {
        // A start may change the task list (a box lets other events run).
        if (due.taskIndex >= lines.size()) {
            continue;
        }
        // One task's failure must not cost the tasks after it their backup, and nobody is
        // there to close a box.
        m_due = civilMinute(due.minute);
        struct ByHandAgain {
            std::optional<CivilMinute>& due;
            ~ByHandAgain() { due.reset(); }
        } byHandAgain{m_due};
        try {
            start(due.taskIndex);
        } catch (const std::exception& e) {
            setInteractive(true);
            reportQuietly(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            setInteractive(true);
            reportQuietly(QStringLiteral("Unknown error"));
        }
        stateWritten(m_scheduler.started(due));
    }
}

}  // namespace tvl::ui
