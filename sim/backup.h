#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/globalstore.h"

namespace tvl::sim {

// A directory in the form the server compares databases in: absolute, symbolic links
// resolved where the path exists, and ending with "/". "/srv/db/user" and "/srv/db/user/"
// give the same text.
std::string canonicalDirectory(const std::string& path);

// Everything one backup job needs, fixed when the job starts.
struct BackupPlan {
    std::string historyId;
    std::string type;                      // P1: "F", "C" or "I"
    std::string archive;                   // P3
    std::string log;                       // P5
    std::vector<std::string> directories;  // the directory list, as listed
    std::set<std::string> databases;       // the server's databases, canonical
    // Per canonical directory: files modified at or after this moment (ns since the epoch)
    // go into the archive; no entry means every file.
    std::map<std::string, std::int64_t> since;
    std::int64_t startNs = 0;
    // Called with each file's path just before it is opened: lets a test swap the file for
    // something else at the worst moment.
    std::function<void(const std::string&)> beforeOpen;
};

struct BackupOutcome {
    bool ok = false;
    std::string reason;  // why it failed
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

// Runs one job to its end: writes the log and, on success, the archive (through a temporary
// file renamed into place, so a failed or cancelled job leaves no archive of its own).
// `diagnostics` receives what cannot go to the job's log.
BackupOutcome runBackup(const BackupPlan& plan, const std::atomic<bool>& cancel,
                        const std::function<void(const std::string&)>& diagnostics,
                        const std::function<std::int64_t()>& clock);

// The real-time clock at the resolution the kernel dates file changes with, in ns.
std::int64_t fileClockNow();

// Starts BACKUP^DBACK jobs in the background and keeps their history in ^SYS("BACKUPHISTORY")
// of the system namespace: ^SYS("BACKUPHISTORY") holds the last job number, and each job's
// node holds "TYPE", "FILE", "LOG", "START", "STARTNS", "END", "STATUS" (RUNNING, COMPLETED or
// FAILED), "REASON" and ("DIRS",directory).
class BackupManager {
public:
    // `clock` gives the moment a job starts and ends, in ns since the epoch; by default the
    // clock the kernel dates file changes with.
    BackupManager(GlobalStore& sys, std::function<void(const std::string&)> diagnostics,
                  std::function<std::int64_t()> clock = {});
    ~BackupManager();

    BackupManager(const BackupManager&) = delete;
    BackupManager& operator=(const BackupManager&) = delete;

    // Reads the directory list and the database list, records the job and starts it.
    // Throws MError when too many jobs already run.
    void start(const std::array<std::string, 10>& params);

    // Waits until every job has ended (tests, and shutdown after cancel()).
    void waitAll();
    // The same for at most `limit`; false when a job is still running then (one blocked in a
    // call that no cancel reaches).
    bool waitAll(std::chrono::milliseconds limit);
    // Asks every running job to stop; they fail with a reason that says so.
    void cancel() { m_cancel = true; }

    // The moments a new job of `type` on `canonicalDir` would take files from, read from the
    // history; nothing when it takes every file.
    static std::optional<std::int64_t> sinceFor(const GlobalStore& sys, const std::string& type,
                                                const std::string& canonicalDir);

    static constexpr std::size_t kMaxRunningJobs = 16;

private:
    void reap(bool all);
    void finish(const std::string& id, const BackupOutcome& outcome);

    struct Job {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    GlobalStore& m_sys;
    std::function<void(const std::string&)> m_diagnostics;
    std::function<std::int64_t()> m_clock;
    std::atomic<bool> m_cancel{false};
    std::mutex m_mutex;
    std::vector<Job> m_jobs;
};

}  // namespace tvl::sim
