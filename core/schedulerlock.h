#pragma once

#include <string>

namespace tvl {

inline constexpr const char* kLockFileName = "tvl.lock";

// Who starts backups in a working folder: the desktop program or the service.
enum class SchedulerKind { Desktop, Service };

const char* schedulerKindWord(SchedulerKind kind);

// The holder of a folder's scheduler lock, as others can read it.
struct LockHolder {
    bool held = false;
    long pid = 0;      // 0 when the holder has not written it (yet)
    std::string kind;  // "desktop" or "service"; empty when unknown
};

// Only one program at a time may start the backups of a task file: the one that holds an
// advisory lock (flock) on the lock file beside it. The lock lasts as long as the file
// stays open, so a holder that ends in any way, killed included, frees it at once, and it
// works between users and sessions. The holder writes its process id and kind into the
// file, so the others can say who starts the backups.
class SchedulerLock {
public:
    enum class Result { Held, Busy, Failed };

    explicit SchedulerLock(SchedulerKind kind, std::string path = kLockFileName);
    ~SchedulerLock();
    SchedulerLock(const SchedulerLock&) = delete;
    SchedulerLock& operator=(const SchedulerLock&) = delete;

    // Takes the lock when nobody holds it; Held when this object holds it now (taken
    // before or just now), Busy when another holds it, Failed (with the reason in *why)
    // when the lock file cannot be opened.
    Result tryTake(std::string* why = nullptr);
    bool held() const { return m_fd >= 0; }
    void release();
    const std::string& path() const { return m_path; }

private:
    SchedulerKind m_kind;
    std::string m_path;
    int m_fd = -1;
};

// Reads who holds the lock of this lock file now; held is false when nobody does.
LockHolder readLockHolder(const std::string& path = kLockFileName);

}  // namespace tvl
