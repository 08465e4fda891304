#pragma once

#include <atomic>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backuprun.h"
#include "core/jobjournal.h"
#include "core/minutewalk.h"
#include "vismcontrol.h"

namespace tvl {

class ActivityLog;
class MessageTable;

// How a job's log line is judged, and how long a job may go without an end line. The
// patterns are plain texts a line contains (letter case counts), so a real server's
// wording can be set without a new build.
inline constexpr const char* kDefaultSuccessPattern = "Backup completed successfully";
inline constexpr const char* kDefaultFailurePattern = "Backup failed";
inline constexpr int kDefaultBoundHours = 24;
inline constexpr int kMaxBoundHours = 24 * 31;

struct JudgeSettings {
    std::string successPattern = kDefaultSuccessPattern;
    std::string failurePattern = kDefaultFailurePattern;
    int boundHours = kDefaultBoundHours;  // 1 .. kMaxBoundHours
};

// A whole number of hours from 1 to kMaxBoundHours; none for anything else.
std::optional<int> parseBoundHours(std::string_view text);

// Running when the line says neither. A line that holds both patterns counts as failed:
// a failure must never pass for a success. Failed gives the reason: the line's text after
// the failure pattern, or the whole line when nothing follows it.
JobOutcome judgeLogLine(std::string_view line, const JudgeSettings& judge,
                        std::string* reason = nullptr);

// A job's log is looked for this long after its start before "cannot be opened" counts:
// the server creates it only once the job runs.
inline constexpr std::time_t kLogOpenGraceSeconds = 5 * 60;
// Lines read from one log in one pass; a longer log is judged by the next passes' reads
// until the bound.
inline constexpr std::size_t kMaxLogLinesPerPass = 100000;

// Code lines the follower sends; P0 holds the log's file name as the run sent it.
inline constexpr std::string_view kOpenLogLine = "O P0:(\"R\"):5";
inline constexpr std::string_view kOpenedLine = "$T";
inline constexpr std::string_view kUseLogLine = "U P0";
inline constexpr std::string_view kReadLogLine = "R %TVLLINE";
inline constexpr std::string_view kReadValueLine = "%TVLLINE";
inline constexpr std::string_view kCloseLogLine = "C P0";

// One pass of the follower over the journal's unfinished jobs. For each, it connects to
// the job's server through `control`, reads the job's log with the sequential-file
// commands (open with a timeout, use, read until the end-of-file error, close) and judges
// its last non-empty line. A job whose log ends in a success or failure line, whose log
// cannot be opened after the grace time, or that has reached the bound without an end
// line gets its end record in the journal. A server that cannot be reached is tried again
// at the next pass, quietly, until the bound.
//
// The control is the follower's own: the pass binds its own quiet error handler to it (no
// status, no box, no control-error line: every outcome is told once, by the caller, from
// the jobs returned). `stop`, when given, ends the pass between two jobs.
//
// Returns the jobs that ended in this pass, with their end fields set; the caller writes
// the "tskend" line (writeJobEnded) and warns of a failed or unknown one.
//
// Who calls it: only the holder of the folder's scheduler lock, once a minute after the
// starts of that minute, so a desktop program and a service on one folder never record or
// log one end twice. The desktop program runs it off its window thread, on a control
// instance of its own (loadControl), with a JobJournal kept between passes (it reads only
// what was appended since), and hands the returned jobs to the window thread for the log
// line, the tray and the last-run line; FollowerThread below does the threading.
std::vector<JobRecord> followJobs(VismControl& control, JobJournal& journal,
                                  const JudgeSettings& judge, std::time_t now,
                                  const std::atomic<bool>* stop = nullptr);

// Journals a job the run has started; nothing to do (true) when the run did not start
// one. `due` is the minute the minute timer found the task due in, none for a run by
// hand. False when the journal could not be written: the job is then not followed, and
// the caller says so.
bool recordJobStart(JobJournal& journal, const RunInputs& inputs, const RunOutcome& run,
                    std::time_t now, std::optional<CivilMinute> due = std::nullopt);

// The text after the outcome in the "tskend" line and in the history: the log's last line
// as it stands; for an unknown end the reason first.
std::string jobEndDetail(const JobRecord& job);
// The outcome's word from the message table ("jobok", "jobfail", "jobunkn", "jobrun"),
// the English word when the key is missing.
std::string jobOutcomeText(const MessageTable& messages, JobOutcome outcome);
// Appends the line "date time task <tskend> <outcome> - <detail>" while the log is enabled.
bool writeJobEnded(ActivityLog& log, const MessageTable& messages, const JobRecord& job);

// "task <tskmiss> YYYY-MM-DD HH:MM": a planned start (a row of missedStarts) that got no
// backup job, as the service's stderr and the tray's message say it.
std::string startMissedText(const MessageTable& messages, const std::string& taskName,
                            CivilMinute planned);
// Appends the line "date time task <tskmiss> YYYY-MM-DD HH:MM" while the log is enabled.
bool writeStartMissed(ActivityLog& log, const MessageTable& messages, const std::string& taskName,
                      CivilMinute planned);

}  // namespace tvl
