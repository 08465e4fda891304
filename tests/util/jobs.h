#pragma once

#include <optional>
#include <string>

#include "core/jobjournal.h"
#include "core/minutewalk.h"

namespace tvl::test {

// A started job of task `name` as the run would journal it, started at `started` (the tests
// run in UTC, so the local time is the epoch's).
inline JobRecord startedJob(const std::string& name, std::time_t started,
                            std::optional<CivilMinute> due = std::nullopt,
                            const std::string& port = "1972") {
    JobRecord job;
    job.taskName = name;
    job.ip = "127.0.0.1";
    job.port = port;
    job.backupType = "Full";
    job.backupFile = "/bak/Full_x(" + name + ").bcp";
    job.logFile = "/bak/Full_x(" + name + ").log";
    job.started = started;
    job.startLocal = localDateTime(started);
    job.dueMinute = due;
    return job;
}

// The job as ended at `ended`.
inline JobRecord endedJob(JobRecord job, JobOutcome outcome, std::time_t ended,
                          const std::string& lastLine, const std::string& reason = "") {
    job.outcome = outcome;
    job.ended = ended;
    job.endLocal = localDateTime(ended);
    job.lastLine = lastLine;
    job.reason = reason;
    return job;
}

}  // namespace tvl::test
