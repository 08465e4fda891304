#pragma once

#include <string>
#include <string_view>

#include "clock.h"
#include "minutewalk.h"

namespace tvl {

inline constexpr const char* kLogFileName = "tvl.log";

// A text that came from a task line or a server, with its control bytes (0x00 to 0x1f and
// 0x7f) written as \x and two hex digits: an ESC, a BEL or a line break in a task name or
// an error text must not reach a terminal raw or forge a line of its own.
std::string visibleControlBytes(std::string_view text);

// The append-only activity log. Each line opens the file, writes one line ended by CR LF
// and closes it; nothing is held open between events. The log must be a regular file. The start
// line decides whether the log is used at all: only after it was written are later lines written.
class ActivityLog {
public:
    explicit ActivityLog(std::string path = kLogFileName, const Clock* clock = nullptr);

    bool enabled() const { return m_enabled; }
    // The clock that stamps the lines; null means the system clock. A copy of the log that
    // writes from another thread takes a clock that thread may read.
    void setClock(const Clock* clock) { m_clock = clock != nullptr ? clock : &systemClock(); }

    // date, time, text. Creates the file when missing; on success switches the log on.
    bool writeStart(std::string_view stworkText);
    // The later lines write only while the log is on; they answer true when nothing had to
    // be written. A file removed while the program runs (rotation) is created again.
    bool writeEnd(std::string_view endworkText);
    bool writeTaskStarted(std::string_view taskName, std::string_view tskstText);
    // date, time, error name, connection text and, when the error came during a task's
    // run, the task's name as the last piece.
    bool writeControlError(std::string_view errorName, std::string_view mserver,
                           std::string_view taskName = {});
    // date, time, task name, text of "tskend", the outcome, " - " and the detail (the
    // job's log's last line); the server's text is written with its control bytes visible.
    bool writeJobEnded(std::string_view taskName, std::string_view tskendText,
                       std::string_view outcomeText, std::string_view detail);
    // date, time, task name, text of "tskmiss", the planned minute (YYYY-MM-DD HH:MM): a
    // planned start for which no backup job was started.
    bool writeStartMissed(std::string_view taskName, std::string_view tskmissText,
                          CivilMinute planned);
    // date, time, text: what a scheduler without a window has to say (it waits for another
    // one, the task file cannot be read).
    bool writeEvent(std::string_view text);

    // "date time" of this moment in the short date and long time formats.
    std::string stamp() const;
    const std::string& path() const { return m_path; }

private:
    bool append(const std::string& line);

    std::string m_path;
    const Clock* m_clock;
    bool m_enabled = false;
};

}  // namespace tvl
