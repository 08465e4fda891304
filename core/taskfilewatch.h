#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

#include <ctime>

#include "tasklines.h"

namespace tvl {

// Reads the task file again when it has changed, for a scheduler that runs beside the
// editor: a save of the desktop program (a new file renamed over the old one), an edit in
// place, a change of its permissions. A file that cannot be read keeps the last good list.
class TaskFileWatch {
public:
    enum class Change {
        None,           // nothing new: the list stays
        Reloaded,       // the file was read again; the list is its new content
        Unreadable,     // the file can no longer be read; the list stays the last good one
        ReadableAgain,  // it can be read again and the list is its content
    };

    explicit TaskFileWatch(std::string path);
    // Takes the list the caller has already read from the file, and the file's identity
    // as it is now.
    void reset(TaskLines lines);

    // Looks at the file's size, times and inode and reads it again when any changed (or
    // while it cannot be read). Unreadable and ReadableAgain are answered once per change
    // of state, never at every look.
    Change check();
    const TaskLines& lines() const { return m_lines; }
    bool readable() const { return !m_failing; }

private:
    struct Identity {
        bool present = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        timespec mtime{};
        timespec ctime{};
        bool operator==(const Identity& o) const;
    };
    Identity look() const;

    std::string m_path;
    TaskLines m_lines;
    Identity m_seen;
    bool m_failing = false;
};

}  // namespace tvl
