#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "civil.h"
#include "expected.h"
#include "jobjournal.h"
#include "minutewalk.h"
#include "tasklines.h"

namespace tvl {

class MessageTable;

// What became of a planned start, or of a start the rules did not plan (a run by hand).
enum class HistoryState {
    Completed,
    Failed,
    Unknown,
    Running,
    Missed,   // planned and past, but no job was started: no Tarvel ran, or the start
              // failed before the server took the job
    Planned,  // not yet due, or due so recently that its start may still be under way
};

// "completed", "failed", "unknown", "running", "missed", "planned".
const char* historyStateWord(HistoryState state);
HistoryState historyStateOf(JobOutcome outcome);
// The state as the user reads it, from the message table ("jobok", "jobfail", "jobunkn",
// "jobrun", "jobmiss", "jobplan"); the word above when the key is missing.
std::string historyStateText(const MessageTable& messages, HistoryState state);

struct HistoryRow {
    // The planned start's minute; none for a start the rules did not plan.
    std::optional<CivilMinute> planned;
    // The planned start's row among the expected backups the history was made from.
    std::optional<std::size_t> expectedRow;
    std::string taskName;
    // The job that answered the planned start, or the unplanned start itself.
    std::optional<JobRecord> job;
    HistoryState state = HistoryState::Planned;
};

// A planned start found by no job is still Planned until this many minutes after it
// (several due tasks are started one after the other) unless the folder's scheduler has
// already checked its minute.
inline constexpr CivilMinute kStartLeewayMinutes = 15;

// Every planned start of `expected` (the rows of the expected backups for the interval
// from..to, as the Expected backups command computes them) side by side with the
// journal's jobs, then the jobs started in the interval that answer no planned start;
// ordered by minute (a planned start's, else the job's start), then task name.
//
// A job answers a planned start of its task when the minute timer started it for that
// minute; a job started by hand answers a planned start without one in the catch-up window
// after it (the backup was made). `now` is the current local time, `lastChecked` the
// folder scheduler's last checked minute when known. `onlyTask` keeps the rows of one
// task name.
std::vector<HistoryRow> backupHistory(const ExpectedBackups& expected,
                                      const std::vector<JobRecord>& jobs, const CivilDate& from,
                                      const CivilDate& to, const LocalDateTime& now,
                                      std::optional<CivilMinute> lastChecked = std::nullopt,
                                      const std::optional<std::string>& onlyTask = std::nullopt);

// Planned starts further back than this are not looked at for missed ones: a folder no
// Tarvel checked for longer is known to its owner, and a year of rows would bury the rest.
inline constexpr int kMissedLookBackDays = 31;

// The planned starts of the task list in the minutes after `since` up to `lastChecked`
// that no job answered: the backups that did not happen because no Tarvel ran, or because
// the start failed before the server took the job. The same rows, and the same answer, as
// the history's missed rows. `jobs` must hold every job started after `since`.
std::vector<HistoryRow> missedStarts(const TaskLines& lines, const std::vector<JobRecord>& jobs,
                                     CivilMinute since, CivilMinute lastChecked,
                                     const LocalDateTime& now);

// Which minutes a scheduler looks at for missed starts, so that each planned start is
// flagged once: after each tick, the minutes it has checked since the last look; when it
// takes the folder's lock, also those that went by with no Tarvel checking them, back to
// the mark the last one left. A folder without a mark (no Tarvel has checked a minute of
// it) has missed nothing before now.
class MissedStartWatch {
public:
    struct Span {
        CivilMinute after = 0;  // not included
        CivilMinute upTo = 0;
        // The span reaches back before the lock was taken: starts before the journal's
        // first job are not counted (a journal that holds none: none before `taken`).
        std::optional<CivilMinute> takenAt;
    };
    // The lock was taken at minute `now`; `mark` is the last checked minute found in the
    // state file.
    void taken(std::optional<CivilMinute> mark, CivilMinute now);
    // After a tick that checked up to `lastChecked`: the minutes not looked at yet, none
    // when there are none (or the lock was never taken).
    std::optional<Span> next(CivilMinute lastChecked);

private:
    std::optional<CivilMinute> m_lookedTo;
    std::optional<CivilMinute> m_takenAt;
};

// Two spans asked for one after the other, as one.
MissedStartWatch::Span joinSpans(const MissedStartWatch::Span& a, const MissedStartWatch::Span& b);

// The missed starts of a span, from the jobs of the journal as read now: what the
// desktop program and the service flag. Keeps in the digest only the jobs a later span
// can need.
std::vector<HistoryRow> missedStarts(JournalDigest& digest, const TaskLines& lines,
                                     const MissedStartWatch::Span& span, std::time_t now);

}  // namespace tvl
