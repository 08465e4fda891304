#include "jobfollower.h"

#include "controlsession.h"
#include "core/activitylog.h"
#include "core/history.h"
#include "core/messagetable.h"
#include "core/taskline.h"

namespace tvl {

std::optional<int> parseBoundHours(std::string_view text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > kMaxBoundHours) {
        return std::nullopt;
    }
    return n;
}

JobOutcome judgeLogLine(std::string_view line, const JudgeSettings& judge, std::string* reason) {
    const std::size_t failAt =
        judge.failurePattern.empty() ? std::string_view::npos : line.find(judge.failurePattern);
    if (failAt != std::string_view::npos) {
        if (reason != nullptr) {
            std::string_view rest = line.substr(failAt + judge.failurePattern.size());
            while (!rest.empty() && (rest.front() == ':' || rest.front() == ' ')) {
                rest.remove_prefix(1);
            }
            *reason = trimText(rest.empty() ? line : rest);
        }
        return JobOutcome::Failed;
    }
    if (!judge.successPattern.empty() &&
        line.find(judge.successPattern) != std::string_view::npos) {
        return JobOutcome::Completed;
    }
    return JobOutcome::Running;
}

namespace {

// What one visit to a job's server found.
struct LogRead {
    enum class Status {
        Read,         // the log was read to its end
        Unreachable,  // no connection, or it broke off: try again next pass
        CannotOpen,   // the server cannot open the log
    } status = Status::Unreachable;
    std::string lastLine;  // the last non-empty line
    std::string problem;   // the control's error text
};

bool endOfFile(const VismControl& control) {
    return control.errorName().find("ENDOFFILE") != std::string::npos;
}

LogRead readLog(VismControl& control, const JobRecord& job, const std::atomic<bool>* stop) {
    LogRead out;
    connectServer(control, job.ip, job.port);
    if (failed(control)) {
        out.problem = control.errorName();
        return out;
    }
    struct Disconnect {
        VismControl& control;
        ~Disconnect() { disconnectServer(control); }
    } disconnect{control};

    // A broken connection is tried again next pass; the server's own refusal to open or
    // use the file is an answer about the log.
    auto troubled = [&control, &out](LogRead::Status otherwise) {
        out.problem = control.errorName();
        out.status = out.problem.find("<COMMUNICATION>") != std::string::npos ||
                             control.error() == kSessionEndedAfterReply
                         ? LogRead::Status::Unreachable
                         : otherwise;
        return out;
    };
    runCodeWithP0(control, kOpenLogLine, job.logFile);
    if (failed(control)) {
        return troubled(LogRead::Status::CannotOpen);
    }
    const std::string opened = evaluate(control, kOpenedLine);
    if (failed(control)) {
        return troubled(LogRead::Status::Unreachable);
    }
    if (opened != "1") {
        out.status = LogRead::Status::CannotOpen;
        return out;
    }
    runCodeWithP0(control, kUseLogLine, job.logFile);
    if (failed(control)) {
        troubled(LogRead::Status::CannotOpen);
        runCodeWithP0(control, kCloseLogLine, job.logFile);
        return out;
    }
    for (std::size_t n = 0; n < kMaxLogLinesPerPass; ++n) {
        if (stop != nullptr && *stop) {
            break;
        }
        runCode(control, kReadLogLine);
        if (failed(control)) {
            if (endOfFile(control)) {
                out.status = LogRead::Status::Read;
            } else {
                out.problem = control.errorName();
            }
            break;
        }
        std::string line = evaluate(control, kReadValueLine);
        if (failed(control)) {
            out.problem = control.errorName();
            break;
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        if (!trimText(line).empty()) {
            out.lastLine = std::move(line);
        }
    }
    runCodeWithP0(control, kCloseLogLine, job.logFile);
    return out;
}

std::string hoursText(int hours) {
    return std::to_string(hours) + (hours == 1 ? " hour" : " hours");
}

}  // namespace

std::vector<JobRecord> followJobs(VismControl& control, JobJournal& journal,
                                  const JudgeSettings& judge, std::time_t now,
                                  const std::atomic<bool>* stop) {
    // Errors of the follower's reads are no news for the user: the outcome tells.
    ControlContext quiet;
    quiet.interactive = false;
    bindErrorHandler(control, quiet);
    struct Unbind {
        VismControl& control;
        ~Unbind() { control.setOnError({}); }
    } unbind{control};

    std::vector<JobRecord> ended;
    const std::time_t bound = static_cast<std::time_t>(judge.boundHours) * 3600;
    for (JobRecord job : journal.unfinished()) {
        if (stop != nullptr && *stop) {
            break;
        }
        const LogRead read = readLog(control, job, stop);
        const bool pastBound = now - job.started >= bound;
        job.lastLine = read.lastLine;
        switch (read.status) {
            case LogRead::Status::Read: {
                std::string reason;
                job.outcome = judgeLogLine(read.lastLine, judge, &reason);
                if (job.outcome == JobOutcome::Failed) {
                    job.reason = reason;
                } else if (job.outcome == JobOutcome::Running && pastBound) {
                    job.outcome = JobOutcome::Unknown;
                    job.reason =
                        "no end line in the job's log within " + hoursText(judge.boundHours);
                }
                break;
            }
            case LogRead::Status::CannotOpen:
                if (now - job.started >= kLogOpenGraceSeconds || pastBound) {
                    job.outcome = JobOutcome::Unknown;
                    job.reason = "the job's log " + job.logFile + " cannot be opened" +
                                 (read.problem.empty() ? "" : ": " + read.problem);
                }
                break;
            case LogRead::Status::Unreachable:
                if (pastBound) {
                    job.outcome = JobOutcome::Unknown;
                    job.reason = "the server could not be reached for " +
                                 hoursText(judge.boundHours) +
                                 (read.problem.empty() ? "" : ": " + read.problem);
                }
                break;
        }
        if (!job.finished()) {
            continue;
        }
        job.ended = now;
        job.endLocal = localDateTime(now);
        // An end that cannot be recorded now is found again at the next pass.
        if (journal.appendEnd(job)) {
            ended.push_back(std::move(job));
        }
    }
    return ended;
}

bool recordJobStart(JobJournal& journal, const RunInputs& inputs, const RunOutcome& run,
                    std::time_t now, std::optional<CivilMinute> due) {
    if (run.status != RunStatus::Started) {
        return true;
    }
    JobRecord job;
    job.taskName = inputs.taskName;
    job.ip = inputs.ip;
    job.port = inputs.port;
    job.backupType = inputs.backupType;
    job.backupFile = run.backupFile;
    job.logFile = run.logFile;
    job.started = now;
    job.startLocal = localDateTime(now);
    job.dueMinute = due;
    return journal.appendStart(job);
}

std::string jobEndDetail(const JobRecord& job) {
    if (job.outcome != JobOutcome::Unknown || job.reason.empty()) {
        return job.lastLine.empty() ? job.reason : job.lastLine;
    }
    return job.lastLine.empty() ? job.reason : job.reason + "; " + job.lastLine;
}

std::string jobOutcomeText(const MessageTable& messages, JobOutcome outcome) {
    return historyStateText(messages, historyStateOf(outcome));
}

bool writeJobEnded(ActivityLog& log, const MessageTable& messages, const JobRecord& job) {
    return log.writeJobEnded(job.taskName, messages.lookup("tskend"),
                             jobOutcomeText(messages, job.outcome), jobEndDetail(job));
}

std::string startMissedText(const MessageTable& messages, const std::string& taskName,
                            CivilMinute planned) {
    std::string minute = minuteText(planned);
    minute[10] = ' ';
    return taskName + " " + messages.lookup("tskmiss") + " " + minute;
}

bool writeStartMissed(ActivityLog& log, const MessageTable& messages, const std::string& taskName,
                      CivilMinute planned) {
    return log.writeStartMissed(taskName, messages.lookup("tskmiss"), planned);
}

}  // namespace tvl
