#include "schedulerlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace tvl {

namespace {

int openLockFile(const std::string& path, bool& writable) {
    // Readable and writable by every user who may start backups of this folder; the umask
    // has the last word.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    writable = fd >= 0;
    if (fd < 0 && errno == EACCES) {
        // Another user's lock file: a lock through a read-only descriptor still excludes.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    return fd;
}

bool lockNow(int fd, int how) {
    for (;;) {
        if (::flock(fd, how | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

const char* schedulerKindWord(SchedulerKind kind) {
    return kind == SchedulerKind::Desktop ? "desktop" : "service";
}

SchedulerLock::SchedulerLock(SchedulerKind kind, std::string path)
    : m_kind(kind), m_path(std::move(path)) {}

SchedulerLock::~SchedulerLock() {
    release();
}

SchedulerLock::Result SchedulerLock::tryTake(std::string* why) {
    if (m_fd >= 0) {
        return Result::Held;
    }
    bool writable = false;
    const int fd = openLockFile(m_path, writable);
    if (fd < 0) {
        if (why != nullptr) {
            *why = "cannot open " + m_path + ": " + std::strerror(errno);
        }
        return Result::Failed;
    }
    if (!lockNow(fd, LOCK_EX)) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return Result::Busy;
        }
        if (why != nullptr) {
            *why = "cannot lock " + m_path + ": " + std::strerror(error);
        }
        return Result::Failed;
    }
    m_fd = fd;
    if (writable) {
        // Written over the old text and then cut to its length, so a reader sees the old
        // holder or the new one, never an empty file in between.
        const std::string text =
            std::to_string(static_cast<long>(::getpid())) + " " + schedulerKindWord(m_kind) + "\n";
        if (::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
            (void)::ftruncate(fd, static_cast<off_t>(text.size()));
        }
    }
    return Result::Held;
}

void SchedulerLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the only descriptor ends the lock
        m_fd = -1;
    }
}

LockHolder readLockHolder(const std::string& path) {
    LockHolder holder;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return holder;  // no lock file: nobody has ever held it
    }
    if (lockNow(fd, LOCK_SH)) {
        ::close(fd);  // free: the text is the last holder's, who has gone
        return holder;
    }
    holder.held = errno == EWOULDBLOCK;
    char buf[64] = {};
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    ::close(fd);
    if (n > 0) {
        std::istringstream in(std::string(buf, static_cast<std::size_t>(n)));
        long pid = 0;
        std::string kind;
        if (in >> pid >> kind && pid > 0 && (kind == "desktop" || kind == "service")) {
            holder.pid = pid;
            holder.kind = kind;
        }
    }
    return holder;
}

}  // namespace tvl
