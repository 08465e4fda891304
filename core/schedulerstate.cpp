#include "schedulerstate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "fileio.h"

namespace tvl {

std::string stateText(const ScheduleMark& mark) {
    std::string text = minuteText(mark.lastChecked);
    if (mark.startedBefore > 0) {
        text += " " + std::to_string(mark.startedBefore);
    }
    return text + "\n";
}

std::optional<ScheduleMark> parseStateText(const std::string& text) {
    std::string line = text;
    if (line.empty() || line.back() != '\n') {
        return std::nullopt;  // a whole file always ends with its line break
    }
    line.pop_back();
    ScheduleMark mark;
    if (!parseMinuteText(line.substr(0, 16), mark.lastChecked)) {
        return std::nullopt;
    }
    if (line.size() == 16) {
        return mark;
    }
    const std::string count = line.substr(16);
    if (count.size() < 2 || count.size() > 7 || count[0] != ' ') {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < count.size(); ++i) {
        if (count[i] < '0' || count[i] > '9') {
            return std::nullopt;
        }
        mark.startedBefore = mark.startedBefore * 10 + static_cast<std::size_t>(count[i] - '0');
    }
    return mark;
}

StateRead readState(const std::string& path, ScheduleMark& out) {
    std::string text;
    FileProblem why = FileProblem::None;
    if (!readRegularFile(path, text, kMaxTextFileBytes, &why)) {
        return why == FileProblem::CannotOpen && errno == ENOENT ? StateRead::Missing
                                                                 : StateRead::Unreadable;
    }
    const auto mark = parseStateText(text);
    if (!mark) {
        return StateRead::Unreadable;
    }
    out = *mark;
    return StateRead::Ok;
}

bool replaceFile(const std::string& path, const std::string& bytes) {
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
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
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool writeState(const std::string& path, const ScheduleMark& mark) {
    return replaceFile(path, stateText(mark));
}

}  // namespace tvl
