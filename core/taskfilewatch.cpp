#include "taskfilewatch.h"

#include <sys/stat.h>

#include "taskfile.h"

namespace tvl {

bool TaskFileWatch::Identity::operator==(const Identity& o) const {
    return present == o.present && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

TaskFileWatch::TaskFileWatch(std::string path) : m_path(std::move(path)) {}

void TaskFileWatch::reset(TaskLines lines) {
    m_lines = std::move(lines);
    m_seen = look();
    m_failing = false;
}

TaskFileWatch::Identity TaskFileWatch::look() const {
    Identity id;
    struct stat st {};
    if (::stat(m_path.c_str(), &st) == 0) {
        id.present = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtime = st.st_mtim;
        id.ctime = st.st_ctim;  // a change of permissions changes only this
    }
    return id;
}

TaskFileWatch::Change TaskFileWatch::check() {
    const Identity now = look();
    if (now == m_seen && !m_failing) {
        return Change::None;
    }
    m_seen = now;
    // Unlike a start, a reload never creates the file: a task file that went missing is
    // a file that cannot be read, and the backups it named go on.
    TaskFileLoad load = readTasks(m_path);
    if (!load.ok()) {
        const bool wasFailing = m_failing;
        m_failing = true;
        return wasFailing ? Change::None : Change::Unreadable;
    }
    m_lines = std::move(load.lines);
    const bool wasFailing = m_failing;
    m_failing = false;
    return wasFailing ? Change::ReadableAgain : Change::Reloaded;
}

}  // namespace tvl
