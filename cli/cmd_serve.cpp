#include "cmd_serve.h"

#include <signal.h>

#include <cerrno>
#include <ctime>
#include <exception>
#include <memory>
#include <mutex>
#include <ostream>

#include "core/activitylog.h"
#include "core/folderscheduler.h"
#include "core/history.h"
#include "core/jobjournal.h"
#include "core/minutewalk.h"
#include "core/runplan.h"
#include "core/schedulerlock.h"
#include "core/schedulerstate.h"
#include "core/taskfile.h"
#include "core/taskfilewatch.h"
#include "core/taskline.h"
#include "json.h"
#include "server/backuprun.h"
#include "server/controlloader.h"
#include "server/followerthread.h"
#include "server/jobfollower.h"
#include "server/programsettings.h"

namespace tvl::cli {

namespace {

// Every line on stderr carries the log's date and time, so a terminal shows when it
// happened as the journal does.
class ServeReporter final : public Reporter {
public:
    ServeReporter(std::ostream& err, const ActivityLog& stamps) : m_err(err), m_stamps(stamps) {}
    // Task names and server texts may hold control bytes; the journal and a terminal get
    // them visible.
    // The follower's thread says what ended while the main one starts tasks.
    void say(const std::string& text) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_err << m_stamps.stamp() << ' ' << visibleControlBytes(text) << std::endl;
    }
    void showStatus(const std::string& text) override { say(text); }
    void showError(const std::string& text) override { say(text); }
    void showInfo(const std::string& text) override { say(text); }

private:
    std::ostream& m_err;
    const ActivityLog& m_stamps;
    std::mutex m_mutex;
};

// SIGTERM and SIGINT are held back and taken when the service waits for the next minute
// or between two runs, so a run is never cut off in the middle and the end line is
// always written.
class EndSignals {
public:
    EndSignals() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGTERM);
        sigaddset(&m_set, SIGINT);
        sigprocmask(SIG_BLOCK, &m_set, &m_old);
    }
    ~EndSignals() { sigprocmask(SIG_SETMASK, &m_old, nullptr); }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // Waits up to ms milliseconds; true when an end signal came.
    bool wait(long ms) {
        const timespec timeout{ms / 1000, (ms % 1000) * 1000000L};
        {
            const int sig = sigtimedwait(&m_set, nullptr, &timeout);
            if (sig == SIGTERM || sig == SIGINT) {
                return true;
            }
            // A timeout, or another signal: the caller ticks (a tick within a minute
            // already checked checks nothing) and waits again.
            return false;
        }
    }
    bool pending() {
        sigset_t now;
        sigpending(&now);
        return sigismember(&now, SIGTERM) || sigismember(&now, SIGINT) ? wait(0) : false;
    }

private:
    sigset_t m_set;
    sigset_t m_old;
};

// Milliseconds to the start of the next wall-clock minute, a little past it so the clock
// reads the new minute when the wait ends.
long msToNextMinute() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    const long into = local.tm_sec * 1000L + now.tv_nsec / 1000000L;
    return 60000L - into % 60000L + 20;
}

std::string holderText(const MessageTable& messages, const LockHolder& holder) {
    std::string text = messages.lookup("othtvl");
    if (text.empty()) {
        text = "Backups are started by another Tarvel: PID";
    }
    text += ' ';
    text += holder.pid > 0 ? std::to_string(holder.pid) : std::string("?");
    if (holder.kind == "desktop") {
        text += " (desktop program)";
    } else if (holder.kind == "service") {
        text += " (service)";
    }
    return text;
}

// What `serve` is told on its command line.
struct ServeOptions {
    CivilMinute catchUp = kMaxCatchUpMinutes;
    JudgeSettings judge;
};

class Service {
public:
    Service(Context& ctx, VismControl& control, std::unique_ptr<VismControl> followControl,
            const ServeOptions& options, EndSignals& signals)
        : m_ctx(ctx),
          m_control(control),
          m_followControl(std::move(followControl)),
          m_judge(options.judge),
          m_signals(signals),
          m_log(kLogFileName, ctx.clock),
          m_reporter(*ctx.err, m_log),
          m_scheduler(*ctx.clock, SchedulerKind::Service, options.catchUp),
          m_tasks(kTaskFileName) {
        m_session.reporter = &m_reporter;
        m_session.messages = &ctx.messages;
        m_session.log = &m_log;
        m_session.interactive = false;
        bindErrorHandler(m_control, m_session);
        m_tasks.reset(ctx.tasks.lines());
    }

    int run() {
        const FolderScheduler::Turn first = m_scheduler.take();
        if (first == FolderScheduler::Turn::Failed) {
            *m_ctx.err << "tarvelctl serve: " << m_scheduler.error() << '\n';
            return kExitFailure;
        }
        if (!m_log.writeStart(m_ctx.messages.lookup("stwork"))) {
            m_reporter.say(m_ctx.messages.lookup("freaderr") + " tvl.log");
        } else {
            m_reporter.say(m_ctx.messages.lookup("stwork"));
        }
        if (m_followControl) {
            m_follower = std::make_unique<FollowerThread>(
                [this](const std::atomic<bool>& stop) { follow(stop); });
        }
        FolderScheduler::Turn turn = first;
        for (;;) {
            tick(turn);
            if (m_signals.wait(msToNextMinute()) || m_stopped) {
                break;
            }
            turn = m_scheduler.take();
        }
        // A pass under way ends between two reads; the lock goes only after it, so no
        // other scheduler follows the same jobs meanwhile.
        m_follower.reset();
        m_scheduler.release();
        if (!m_log.writeEnd(m_ctx.messages.lookup("endwork"))) {
            ++m_session.logFailures;
        }
        m_reporter.say(m_ctx.messages.lookup("endwork"));
        return kExitOk;
    }

private:
    void tick(FolderScheduler::Turn turn) {
        switch (turn) {
            case FolderScheduler::Turn::Failed:
                sayOnce(m_lockProblem, m_scheduler.error());
                return;
            case FolderScheduler::Turn::Waiting:
                m_lockProblem.clear();
                if (!m_waiting) {
                    m_waiting = true;
                    const std::string text = holderText(m_ctx.messages, m_scheduler.other());
                    m_reporter.say(text);
                    m_log.writeEvent(text);
                }
                return;
            case FolderScheduler::Turn::Taken:
                m_missed.taken(m_scheduler.markOnTake(), civilMinute(m_ctx.clock->localNow()));
                m_waiting = false;
                m_lockProblem.clear();
                if (m_scheduler.stateOnTake() == StateRead::Unreadable) {
                    m_reporter.say(std::string(kStateFileName) +
                                   " cannot be read; checking starts at the next minute");
                }
                m_reporter.say(
                    "Backups of this folder are started here; the last checked minute "
                    "is " +
                    minuteText(m_scheduler.lastChecked()));
                break;
            case FolderScheduler::Turn::Holding:
                break;
        }
        reload();
        const auto starts = m_scheduler.tick(m_tasks.lines());
        for (const ScheduledStart& start : starts) {
            if (m_signals.pending()) {
                m_stopped = true;  // the mark tells the next scheduler what is left
                return;
            }
            startTask(std::string(m_tasks.lines().at(start.taskIndex)), civilMinute(start.minute));
            stateWritten(m_scheduler.started(start));
        }
        stateWritten(m_scheduler.finish());
        flagMissed();
        // After the starts of the minute, and on a thread of its own, so it never delays
        // one; only here, where this service holds the folder's lock.
        if (m_follower) {
            m_follower->requestPass();
        }
    }

    // The planned starts of the minutes just checked (and, after taking the lock, of those
    // no Tarvel checked) that got no backup job: each told once, on stderr and in the log.
    void flagMissed() {
        const auto span = m_missed.next(m_scheduler.lastChecked());
        if (!span) {
            return;
        }
        try {
            for (const HistoryRow& row :
                 missedStarts(m_digest, m_tasks.lines(), *span, m_ctx.clock->now())) {
                m_reporter.say(startMissedText(m_ctx.messages, row.taskName, *row.planned));
                if (!writeStartMissed(m_log, m_ctx.messages, row.taskName, *row.planned)) {
                    m_reporter.say(m_ctx.messages.lookup("fwriterr") + " tvl.log");
                }
            }
        } catch (const std::exception& e) {
            m_reporter.say(std::string("Looking for missed backups: ") + e.what());
        }
    }

    // One pass of the follower; runs on its thread.
    void follow(const std::atomic<bool>& stop) {
        try {
            const std::vector<JobRecord> ended =
                followJobs(*m_followControl, m_followJournal, m_judge, m_ctx.clock->now(), &stop);
            for (const JobRecord& job : ended) {
                m_reporter.say(job.taskName + " " + m_ctx.messages.lookup("tskend") + " " +
                               jobOutcomeText(m_ctx.messages, job.outcome) + " - " +
                               jobEndDetail(job));
                if (!writeJobEnded(m_log, m_ctx.messages, job)) {
                    m_reporter.say(m_ctx.messages.lookup("fwriterr") + " tvl.log");
                }
            }
        } catch (const std::exception& e) {
            m_reporter.say(std::string("Following the backup jobs: ") + e.what());
        }
    }

    void reload() {
        switch (m_tasks.check()) {
            case TaskFileWatch::Change::None:
                return;
            case TaskFileWatch::Change::Reloaded:
                m_reporter.say("task.txt read again: " + std::to_string(m_tasks.lines().size()) +
                               " lines");
                return;
            case TaskFileWatch::Change::Unreadable: {
                const std::string text = m_ctx.messages.lookup("freaderr") + " task.txt";
                m_reporter.say(text + "; the tasks read before stay");
                m_log.writeEvent(text);
                return;
            }
            case TaskFileWatch::Change::ReadableAgain: {
                std::string text = m_ctx.messages.lookup("freadok");
                text = (text.empty() ? std::string("File can be read again") : text) + " task.txt";
                m_reporter.say(text);
                m_log.writeEvent(text);
                return;
            }
        }
    }

    // The one place where the service hands a due task to the backup run: from its stored
    // line, with no one to answer a box.
    void startTask(const std::string& line, CivilMinute due) {
        const RunPlan plan = planStoredLine(line);
        if (!plan.ok()) {
            m_reporter.say(std::string(lineTaskName(line)) + " cannot start: " + plan.refusal);
            return;
        }
        const RunInputs& inputs = plan.inputs;
        try {
            const RunOutcome outcome = runBackup(m_control, inputs, m_session);
            if (outcome.status == RunStatus::Started) {
                m_reporter.say(inputs.taskName + " " + m_ctx.messages.lookup("tskst"));
            }
            if (!recordJobStart(m_journal, inputs, outcome, m_ctx.clock->now(), due)) {
                const std::string text = m_ctx.messages.lookup("fwriterr") + " " + m_journal.path();
                m_reporter.say(text + "; " + inputs.taskName + " is not followed");
                m_log.writeEvent(text);
            }
        } catch (const std::exception& e) {
            m_reporter.say(inputs.taskName + ": " + e.what());
        }
    }

    void stateWritten(bool ok) {
        if (ok == m_stateOk) {
            return;
        }
        m_stateOk = ok;
        m_reporter.say(ok ? std::string(kStateFileName) + " written again"
                          : m_ctx.messages.lookup("fwriterr") + " " + kStateFileName);
    }

    void sayOnce(std::string& last, const std::string& text) {
        if (last != text) {
            last = text;
            m_reporter.say(text);
        }
    }

    Context& m_ctx;
    VismControl& m_control;
    std::unique_ptr<VismControl> m_followControl;
    JudgeSettings m_judge;
    EndSignals& m_signals;
    ActivityLog m_log;
    ServeReporter m_reporter;
    ControlContext m_session;
    FolderScheduler m_scheduler;
    TaskFileWatch m_tasks;
    // Starts are appended by the main thread, ends by the follower's, each through its own.
    JobJournal m_journal;
    JobJournal m_followJournal;
    // The jobs the missed starts are looked up in, read where the last look stopped.
    JournalDigest m_digest;
    MissedStartWatch m_missed;
    std::unique_ptr<FollowerThread> m_follower;
    bool m_waiting = false;
    bool m_stopped = false;
    bool m_stateOk = true;
    std::string m_lockProblem;
};

bool parseCatchUp(const std::string& text, CivilMinute& out) {
    if (text.empty() || text.size() > 3) {
        return false;
    }
    CivilMinute value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value > kMaxCatchUpMinutes) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

int runServe(Context& ctx, const std::vector<std::string>& args) {
    const Command& self = commandNamed("serve");
    // The desktop program's settings file, so both judge the jobs' logs by one wording;
    // options given here override it.
    std::string settingsPath;
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--settings") {
            settingsPath = args[i + 1];
        }
    }
    const ProgramSettings settings = readProgramSettings(settingsPath);
    ServeOptions options{settings.catchUpMinutes, settings.judge};
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            return usageError(ctx, self, name + " takes a value");
        }
        const std::string& value = args[i + 1];
        if (name == "--settings") {
            if (value.empty()) {
                return usageError(ctx, self, "--settings takes the settings file's path");
            }
        } else if (name == "--catch-up") {
            if (!parseCatchUp(value, options.catchUp)) {
                return usageError(ctx, self, "--catch-up takes the minutes from 0 to 180");
            }
        } else if (name == "--success" || name == "--failure") {
            if (value.empty()) {
                return usageError(ctx, self, name + " takes a text a job's log line holds");
            }
            (name == "--success" ? options.judge.successPattern : options.judge.failurePattern) =
                value;
        } else if (name == "--bound") {
            const auto hours = parseBoundHours(value);
            if (!hours) {
                return usageError(
                    ctx, self,
                    "--bound takes the hours from 1 to " + std::to_string(kMaxBoundHours));
            }
            options.judge.boundHours = *hours;
        } else {
            return usageError(ctx, self, "unknown option " + name);
        }
    }
    // Held back from here on, also in anything the control library may start.
    EndSignals signals;
    std::string why;
    const auto control = loadControl(ctx.programDir, &why);
    if (!control) {
        *ctx.err << kClientMissingText << '\n';
        if (!why.empty()) {
            *ctx.err << "tarvelctl serve: " << why << '\n';
        }
        return kExitFailure;
    }
    // The follower reads the jobs' logs on a control of its own, so a slow server it reads
    // from never holds up a start.
    auto followControl = loadControl(ctx.programDir, &why);
    if (!followControl) {
        *ctx.err << "tarvelctl serve: the backup jobs are not followed: " << why << '\n';
    }
    Service service(ctx, *control, std::move(followControl), options, signals);
    return service.run();
}

int runStatus(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usageError(ctx, commandNamed("status"), "takes no arguments");
    }
    const LockHolder holder = readLockHolder();
    ScheduleMark mark;
    const StateRead state = readState(kStateFileName, mark);
    if (ctx.json) {
        std::string out = "{\"scheduler\":";
        if (!holder.held) {
            out += "null";
        } else {
            out += "{\"kind\":" + jsonString(holder.kind.empty() ? "unknown" : holder.kind) +
                   ",\"pid\":" + (holder.pid > 0 ? std::to_string(holder.pid) : "null") + '}';
        }
        out += ",\"lastChecked\":";
        out += state == StateRead::Ok ? jsonMinute(fromCivilMinute(mark.lastChecked)) : "null";
        out += ",\"stateFile\":\"";
        out += state == StateRead::Ok        ? "ok"
               : state == StateRead::Missing ? "missing"
                                             : "unreadable";
        out += "\"," + nextStartsJson(ctx) + "}\n";
        *ctx.out << out;
        return kExitOk;
    }
    *ctx.out << "scheduler: ";
    if (!holder.held) {
        *ctx.out << "none";
    } else {
        *ctx.out << (holder.kind == "desktop"   ? "desktop program"
                     : holder.kind == "service" ? "service"
                                                : "unknown");
        *ctx.out << ", PID " << (holder.pid > 0 ? std::to_string(holder.pid) : "?");
    }
    *ctx.out << '\n';
    switch (state) {
        case StateRead::Ok:
            *ctx.out << "last checked: " << minuteText(mark.lastChecked) << '\n';
            break;
        case StateRead::Missing:
            *ctx.out << "last checked: none\n";
            break;
        case StateRead::Unreadable:
            *ctx.out << "last checked: unreadable " << kStateFileName << '\n';
            break;
    }
    printNextStarts(ctx);
    return kExitOk;
}

}  // namespace tvl::cli
