#include "folderscheduler.h"

namespace tvl {

namespace {

std::string inDir(const std::string& dir, const char* name) {
    return dir.empty() ? std::string(name) : dir + "/" + name;
}

}  // namespace

FolderScheduler::FolderScheduler(const Clock& clock, SchedulerKind kind, CivilMinute catchUpMinutes,
                                 const std::string& dir)
    : m_clock(clock),
      m_catchUp(catchUpMinutes),
      m_statePath(inDir(dir, kStateFileName)),
      m_lock(kind, inDir(dir, kLockFileName)),
      m_minutes(clock) {}

FolderScheduler::Turn FolderScheduler::take() {
    if (m_lock.held()) {
        return Turn::Holding;
    }
    switch (m_lock.tryTake(&m_error)) {
        case SchedulerLock::Result::Busy:
            m_other = readLockHolder(m_lock.path());
            return Turn::Waiting;
        case SchedulerLock::Result::Failed:
            return Turn::Failed;
        case SchedulerLock::Result::Held:
            break;
    }
    m_error.clear();
    m_other = LockHolder{};
    ScheduleMark mark;
    m_stateOnTake = readState(m_statePath, mark);
    m_markOnTake.reset();
    if (m_stateOnTake == StateRead::Ok) {
        m_markOnTake = mark.lastChecked;
        m_minutes.resume(mark, m_catchUp);
    } else {
        // Nothing to continue from: the first minute checked is the one after this one.
        m_minutes.resume({civilMinute(m_clock.localNow()), 0}, m_catchUp);
        writeState(m_statePath, m_minutes.mark());
    }
    return Turn::Taken;
}

std::vector<ScheduledStart> FolderScheduler::tick(const TaskLines& lines) {
    if (!m_lock.held()) {
        return {};
    }
    return m_minutes.tick(lines);
}

bool FolderScheduler::started(const ScheduledStart& start) {
    return m_lock.held() && writeState(m_statePath, MinuteScheduler::markAfter(start));
}

bool FolderScheduler::finish() {
    return m_lock.held() && writeState(m_statePath, m_minutes.mark());
}

}  // namespace tvl
