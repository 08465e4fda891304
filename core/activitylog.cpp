#include "activitylog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "fileio.h"
#include "regional.h"

namespace tvl {

std::string visibleControlBytes(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

ActivityLog::ActivityLog(std::string path, const Clock* clock)
    : m_path(std::move(path)), m_clock(clock ? clock : &systemClock()) {}

std::string ActivityLog::stamp() const {
    const LocalDateTime t = m_clock->localNow();
    return formatShortDate(t.date) + " " + formatLongTime(t.hour, t.minute, t.second);
}

bool ActivityLog::append(const std::string& line) {
    // Created when missing: the start line creates the log, and a later line brings back a
    // log that was moved away while the program ran (rotation).
    // Only a regular file: a FIFO would hold the program until someone reads it, and a
    // device would swallow the lines.
    const int fd = openRegularFile(m_path, O_WRONLY | O_APPEND | O_CREAT, 0644, nullptr);
    if (fd < 0) {
        return false;
    }
    const std::string text = line + "\r\n";
    const char* p = text.data();
    std::size_t left = text.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return (::close(fd) == 0) && ok;
}

bool ActivityLog::writeStart(std::string_view stworkText) {
    if (!append(stamp() + " " + std::string(stworkText))) {
        return false;
    }
    m_enabled = true;
    return true;
}

bool ActivityLog::writeEnd(std::string_view endworkText) {
    return !m_enabled || append(stamp() + " " + std::string(endworkText));
}

bool ActivityLog::writeTaskStarted(std::string_view taskName, std::string_view tskstText) {
    return !m_enabled ||
           append(stamp() + " " + visibleControlBytes(taskName) + " " + std::string(tskstText));
}

bool ActivityLog::writeControlError(std::string_view errorName, std::string_view mserver,
                                    std::string_view taskName) {
    if (!m_enabled) {
        return true;
    }
    std::string line =
        stamp() + " " + visibleControlBytes(errorName) + " " + visibleControlBytes(mserver);
    if (!taskName.empty()) {
        line += " " + visibleControlBytes(taskName);
    }
    return append(line);
}

bool ActivityLog::writeJobEnded(std::string_view taskName, std::string_view tskendText,
                                std::string_view outcomeText, std::string_view detail) {
    std::string line = stamp() + " " + visibleControlBytes(taskName) + " " +
                       std::string(tskendText) + " " + std::string(outcomeText);
    if (!detail.empty()) {
        line += " - " + visibleControlBytes(detail);
    }
    return !m_enabled || append(line);
}

bool ActivityLog::writeStartMissed(std::string_view taskName, std::string_view tskmissText,
                                   CivilMinute planned) {
    std::string minute = minuteText(planned);
    minute[10] = ' ';
    return !m_enabled || append(stamp() + " " + visibleControlBytes(taskName) + " " +
                                std::string(tskmissText) + " " + minute);
}

bool ActivityLog::writeEvent(std::string_view text) {
    return !m_enabled || append(stamp() + " " + std::string(text));
}

}  // namespace tvl
