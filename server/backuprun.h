#pragma once

#include <string>
#include <string_view>

#include "controlsession.h"
#include "core/runplan.h"

namespace tvl {

enum class RunStatus {
    Started,        // the server took the backup job
    ControlError,   // a step failed; the error handler has reported it
    BadServerTime,  // the server's clock answer holds no time of day; the run has
                    // reported it like the error handler would
};

struct RunOutcome {
    RunStatus status = RunStatus::ControlError;
    // The step that failed: "connect", "namespace", "clear list", "directory", "clock",
    // "date", "job". Empty when the job was started.
    std::string failedStep;
    // BadServerTime: the text the run reported.
    std::string problem;
    // Started: the archive and the job's log as sent to the server.
    std::string backupFile;
    std::string logFile;
};

// Runs one backup: connects, switches to the system namespace, replaces the server's list
// of directories to back up, reads the server's date and time, starts the backup job and
// disconnects, then reports the start and logs it. Any failed step ends the run there,
// silently: the control's error handler has reported it. A log line that could not be
// written, the task-started one or the handler's, is counted in ctx.logFailures, the one
// place a caller learns of it.
//
// Everything the run uses (the inputs, interactive mode, the message texts, the time
// format) is taken once, when it starts: a box of the run may let other events run, and
// they must not change what this run sends, shows or logs.
RunOutcome runBackup(VismControl& control, const RunInputs& inputs, ControlContext& ctx);
RunOutcome runBackup(VismControl& control, const RunInputs& inputs, ControlContext& ctx,
                     const std::string& timeFormat);

// Code lines of the run, byte for byte.
inline constexpr std::string_view kNamespaceLine = "ZN \"%SYS\"";
inline constexpr std::string_view kClearListLine = "k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")";
inline constexpr std::string_view kClockLine = "$h";
inline constexpr std::string_view kDateLine = "$tr($zd($h,3),\"/\",\"-\")";
inline constexpr std::string_view kJobLine = "J BACKUP^DBACK(P0,P1,P2,P3,P4,P5,P6,P7,P8,P9)";

// The line that adds directory `dir` to the server's list. Every double quote of the
// directory is doubled, so any directory text stays one string literal and cannot end it
// and run code of its own.
std::string directoryLine(std::string_view dir);

// A text as the contents of a string literal of server code: double quotes doubled.
std::string quoteLiteral(std::string_view text);

// The seconds after midnight in the answer to the clock line ("67911,54307" gives 54307);
// -1 when the text after the first "," is not a whole number of a day's seconds.
long secondsOfDay(std::string_view clockAnswer);

// The time stamp of the backup file names: the time of day `seconds` after midnight,
// written in the long time format and turned into hours "h", minutes "m", seconds "s"
// (15h05m07s). A 12-hour time is moved to 24 hours: 3:05:07 PM gives 15h05m07s, 12 PM
// stays 12 and 12 AM becomes 0. A format that does not come out as such a stamp (fewer
// than two separators, other text around the time) gives the hour, "h", two-digit
// minutes, "m", two-digit seconds, "s" instead.
std::string timeStampText(long seconds, const std::string& timeFormat);

// Backup file and log names: save directory, type, "_", date, "_", stamp, "(", task, ")"
// and ".bcp" or ".log".
std::string backupFileName(const RunInputs& inputs, std::string_view date, std::string_view stamp,
                           std::string_view extension);

}  // namespace tvl
