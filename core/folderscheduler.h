#pragma once

#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "scheduler.h"
#include "schedulerlock.h"
#include "schedulerstate.h"

namespace tvl {

// The minute timer of a working folder that several programs share (the desktop program,
// the service, a second copy of either): only the holder of the folder's scheduler lock
// starts tasks, and it keeps its mark in the state file after every start and every tick,
// so whoever takes the lock over next, after an orderly end or a kill, continues from
// there and neither repeats nor skips a minute.
class FolderScheduler {
public:
    // dir is the working folder ("" for the current one). catchUpMinutes bounds how many
    // minutes missed while no scheduler ran are caught up when the lock is taken.
    FolderScheduler(const Clock& clock, SchedulerKind kind, CivilMinute catchUpMinutes,
                    const std::string& dir = "");

    enum class Turn {
        Holding,  // this scheduler starts the tasks
        Taken,    // this scheduler has just taken the lock and continues from the mark
        Waiting,  // another holds the lock: other() says who
        Failed,   // the lock file cannot be used: error() says why
    };
    // Takes the lock when it is free; call at every tick before tick().
    Turn take();
    bool holding() const { return m_lock.held(); }
    const LockHolder& other() const { return m_other; }
    const std::string& error() const { return m_error; }
    // How the state file was found when the lock was taken.
    StateRead stateOnTake() const { return m_stateOnTake; }
    // The last checked minute the state file held when the lock was taken: the minutes
    // after it went by with no Tarvel checking them. None when the file held none.
    std::optional<CivilMinute> markOnTake() const { return m_markOnTake; }

    // The starts of this tick (none unless holding). Hand each one over and call started()
    // after it, then finish() at the end of the tick.
    std::vector<ScheduledStart> tick(const TaskLines& lines);
    // These write the state file; false when it could not be written.
    bool started(const ScheduledStart& start);
    bool finish();

    // Gives the lock up; the next take() may take it again.
    void release() { m_lock.release(); }
    CivilMinute lastChecked() const { return m_minutes.lastChecked(); }
    int msToNextMinute() const { return m_minutes.msToNextMinute(); }
    const std::string& statePath() const { return m_statePath; }

private:
    const Clock& m_clock;
    CivilMinute m_catchUp;
    std::string m_statePath;
    SchedulerLock m_lock;
    MinuteScheduler m_minutes;
    LockHolder m_other;
    std::string m_error;
    StateRead m_stateOnTake = StateRead::Missing;
    std::optional<CivilMinute> m_markOnTake;
};

}  // namespace tvl
