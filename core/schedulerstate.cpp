#include "schedulerstate.h"

#include <sys/stat.h>

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
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
        return StateRead::Missing;
    }
    std::string text;
    if (!readRegularFile(path, text, 64)) {
        return StateRead::Unreadable;
    }
    const auto mark = parseStateText(text);
    if (!mark) {
        return StateRead::Unreadable;
    }
    out = *mark;
    return StateRead::Ok;
}

bool writeState(const std::string& path, const ScheduleMark& mark) {
    return replaceFileAtomically(path, stateText(mark));
}

}  // namespace tvl
