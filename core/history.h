#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "civil.h"
#include "expected.h"
#include "jobjournal.h"
#include "minutewalk.h"

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

}  // namespace tvl
