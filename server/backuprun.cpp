#include "backuprun.h"

#include <utility>

#include "core/activitylog.h"
#include "core/messagetable.h"
#include "core/regional.h"

namespace tvl {

std::string quoteLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out;
}

std::string directoryLine(std::string_view dir) {
    return "s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"" + quoteLiteral(dir) + "\")=\"\"";
}

long secondsOfDay(std::string_view clockAnswer) {
    const std::size_t comma = clockAnswer.find(',');
    if (comma == std::string_view::npos) {
        return -1;
    }
    const std::string_view digits = clockAnswer.substr(comma + 1);
    if (digits.empty() || digits.size() > 5) {
        return -1;
    }
    long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        n = n * 10 + (c - '0');
    }
    return n < 86400 ? n : -1;
}

namespace {

std::string twoDigits(long n) {
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

std::string plainStamp(long hour, long minute, long second) {
    return std::to_string(hour) + "h" + twoDigits(minute) + "m" + twoDigits(second) + "s";
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// hh"h"mm"m"ss"s" with a one- or two-digit hour: the only shape a stamp may have in a
// file name.
bool isStamp(std::string_view t) {
    const std::size_t h = t.find('h');
    if (h == std::string_view::npos || h == 0 || h > 2 || t.size() != h + 7) {
        return false;
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        const bool digit = isDigit(t[i]);
        const bool letterPlace = i == h || i == h + 3 || i == h + 6;
        if (digit == letterPlace) {
            return false;
        }
    }
    return t[h + 3] == 'm' && t[h + 6] == 's';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string timeStampText(long seconds, const std::string& timeFormat) {
    const long hour = seconds / 3600;
    const long minute = seconds / 60 % 60;
    const long second = seconds % 60;
    std::string fallback = plainStamp(hour, minute, second);

    std::string t = formatLongTime(static_cast<int>(hour), static_cast<int>(minute),
                                   static_cast<int>(second), timeFormat);
    const char sep = t.find(':') != std::string::npos ? ':' : ',';
    const std::size_t first = t.find(sep);
    const std::size_t next = first == std::string::npos ? first : t.find(sep, first + 1);
    if (next == std::string::npos) {
        return fallback;
    }
    t[first] = 'h';
    t[next] = 'm';

    // A 12-hour time ends in a blank and a marker, AM or PM: its hour is moved to 24
    // hours (12 PM stays 12, 12 AM is 0) and the marker gives way to "s".
    const std::size_t n = t.size();
    const bool twelveHour = n >= 4 && t[n - 3] == ' ' && upper(t[n - 1]) == 'M' &&
                            (upper(t[n - 2]) == 'A' || upper(t[n - 2]) == 'P');
    if (twelveHour) {
        std::size_t digitsStart = first;
        while (digitsStart > 0 && isDigit(t[digitsStart - 1])) {
            --digitsStart;
        }
        const std::size_t digitCount = first - digitsStart;
        if (digitCount == 0 || digitCount > 2) {
            return fallback;
        }
        const int shown = std::stoi(t.substr(digitsStart, digitCount));
        int hour24 = -1;
        if (upper(t[n - 2]) == 'P') {
            hour24 = shown == 12 ? 12 : shown + 12;
        } else if (shown == 12) {
            hour24 = 0;
        }
        t[n - 3] = 's';
        t.resize(n - 2);
        if (hour24 >= 0) {
            t.replace(digitsStart, digitCount, std::to_string(hour24));
        }
    } else {
        t += 's';
    }
    // Any other shape (a marker of another kind, text around the time) would put blanks or
    // stray bytes into the server's file names.
    return isStamp(t) ? t : fallback;
}

std::string backupFileName(const RunInputs& inputs, std::string_view date, std::string_view stamp,
                           std::string_view extension) {
    std::string name = inputs.saveDir;
    name.append(inputs.backupType).append("_").append(date).append("_").append(stamp);
    name.append("(").append(inputs.taskName).append(")").append(extension);
    return name;
}

RunOutcome runBackup(VismControl& control, const RunInputs& inputs, ControlContext& ctx) {
    return runBackup(control, inputs, ctx, longTimeFormat());
}

namespace {

// The job line and its parameters, sent when the control disconnects: the backup type's
// letter, the archive and log names, and the answers the job would otherwise ask for.
void setJobLine(VismControl& control, const RunInputs& in, const std::string& archive,
                const std::string& jobLog) {
    control.setCode(kJobLine);
    control.setP(0, "");
    control.setP(1, in.backupType.substr(0, 1));
    control.setP(2, "");
    control.setP(3, archive);
    control.setP(4, "Y");
    control.setP(5, jobLog);
    control.setP(6, "NOINPUT");
    control.setP(7, "Y");
    control.setP(8, "Y");
    control.setP(9, "");
    control.setExecFlag(1);
}

// Each non-empty piece between ";" is one directory; empty pieces (";;", a leading ";") are
// passed over. False as soon as the control fails on one.
bool addDirectories(VismControl& control, std::string_view dbPaths, const StepCheck& check) {
    std::string_view rest = dbPaths;
    while (!rest.empty()) {
        const std::size_t cut = rest.find(';');
        const std::string_view dir = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (dir.empty()) {
            continue;
        }
        runCode(control, directoryLine(dir));
        if (check.failed()) {
            return false;
        }
    }
    return true;
}

}  // namespace

RunOutcome runBackup(VismControl& control, const RunInputs& inputsNow, ControlContext& ctx,
                     const std::string& timeFormatNow) {
    // Taken once: see the header.
    const RunInputs in = inputsNow;
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): the snapshot is the point
    const std::string timeFormat = timeFormatNow;
    const bool interactive = ctx.interactive;
    Reporter* const reporter = ctx.reporter;
    ActivityLog* const log = ctx.log;
    std::string connacc, bust, tskst;
    if (ctx.messages != nullptr) {
        connacc = ctx.messages->lookup("connacc");
        bust = ctx.messages->lookup("bust");
        tskst = ctx.messages->lookup("tskst");
    }

    // The run's errors name its task; a run started from a box of this one names its own
    // and gives this one's back when it ends.
    struct TaskNamed {
        ControlContext& ctx;
        std::string before;
        ~TaskNamed() { ctx.task = std::move(before); }
    } named{ctx, std::exchange(ctx.task, in.taskName)};

    RunOutcome out;
    auto stop = [&out](const char* step) {
        out.status = RunStatus::ControlError;
        out.failedStep = step;
        return out;
    };

    const StepCheck check(control, ctx);
    connectServer(control, in.ip, in.port);
    if (check.failed()) {
        return stop("connect");
    }
    if (reporter != nullptr) {
        reporter->showStatus(connacc);
    }
    runCode(control, kNamespaceLine);
    if (check.failed()) {
        return stop("namespace");
    }
    runCode(control, kClearListLine);
    if (check.failed()) {
        return stop("clear list");
    }
    if (!addDirectories(control, in.dbPaths, check)) {
        return stop("directory");
    }
    const std::string clock = evaluate(control, kClockLine);
    if (check.failed()) {
        return stop("clock");
    }
    const long seconds = secondsOfDay(clock);
    if (seconds < 0) {
        // Not a failure of the control, so no handler has told anyone: the run does.
        out.status = RunStatus::BadServerTime;
        out.failedStep = "clock";
        out.problem =
            "The server's time \"" + clock + "\" has no time of day; no backup job was started";
        if (reporter != nullptr) {
            reporter->showStatus(out.problem);
            if (interactive) {
                reporter->showError(out.problem);
            }
        }
        return out;
    }
    const std::string date = evaluate(control, kDateLine);
    if (check.failed()) {
        return stop("date");
    }

    const std::string stamp = timeStampText(seconds, timeFormat);
    const std::string archive = backupFileName(in, date, stamp, ".bcp");
    const std::string jobLog = backupFileName(in, date, stamp, ".log");
    setJobLine(control, in, archive, jobLog);
    disconnectServer(control);
    // Disconnecting keeps Error, so a job that failed to start shows here.
    if (check.failed()) {
        return stop("job");
    }

    if (reporter != nullptr) {
        if (interactive) {
            reporter->showInfo(bust);
        }
        reporter->showStatus(bust);
    }
    out.status = RunStatus::Started;
    out.backupFile = archive;
    out.logFile = jobLog;
    if (log != nullptr && log->enabled() && !log->writeTaskStarted(in.taskName, tskst)) {
        ++ctx.logFailures;
    }
    return out;
}

}  // namespace tvl
