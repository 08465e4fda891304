#include "taskline.h"

#include "linemarks.h"

namespace tvl {

namespace {

constexpr auto npos = std::string_view::npos;

bool isDigitValue(int v) {
    return v >= 0 && v <= 9;
}

}  // namespace

LineSeparators findSeparators(std::string_view line) {
    LineSeparators at;
    const char* const begin = line.data();
    forEachMark(begin, begin + line.size(), [&](const char* p) {
        const auto sep = static_cast<unsigned char>(*p);
        if (sep < kSepIp || sep > kSepRunMode) {
            return true;
        }
        const auto pos = static_cast<std::size_t>(p - begin);
        std::size_t& firstOfSep = at.first[sep - kSepIp];
        if (firstOfSep == npos) {
            firstOfSep = pos;
        }
        const std::size_t type = at.first[kSepType - kSepIp];
        if (sep == kSepRunMode && at.ruleMode == npos && type != npos && pos >= type + 2) {
            at.ruleMode = pos;
        }
        return true;
    });
    return at;
}

TaskLineReading readTaskLine(std::string_view line) {
    return readTaskLine(line, findSeparators(line));
}

TaskFieldViews splitTaskLineViews(std::string_view line) {
    return readTaskLine(line).fields;
}

TaskFields splitTaskLine(std::string_view line) {
    const TaskFieldViews v = splitTaskLineViews(line);
    return {
        std::string(v.name),    std::string(v.ip), std::string(v.port),      std::string(v.dbPaths),
        std::string(v.saveDir), v.backupType,      std::string(v.startTime), v.runMode,
        std::string(v.tail)};
}

StartRule startRule(std::string_view line) {
    return readTaskLine(line).rule;
}

std::string_view lineTaskName(std::string_view line) {
    const std::size_t s1 = line.find(kSepIp);
    return s1 == npos ? std::string_view() : line.substr(0, s1);
}

bool hasControlBytes(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> buildTaskLine(const TaskFields& f) {
    for (const std::string* s :
         {&f.name, &f.ip, &f.port, &f.dbPaths, &f.saveDir, &f.startTime, &f.tail}) {
        if (hasControlBytes(*s)) {
            return std::nullopt;
        }
    }
    if (!isDigitValue(f.backupType) || !isDigitValue(f.runMode)) {
        return std::nullopt;
    }
    std::string line;
    line.reserve(f.name.size() + f.ip.size() + f.port.size() + f.dbPaths.size() + f.saveDir.size() +
                 f.startTime.size() + f.tail.size() + 8);
    line += f.name;
    line += kSepIp;
    line += f.ip;
    line += kSepPort;
    line += f.port;
    line += kSepPaths;
    line += f.dbPaths;
    line += kSepSaveDir;
    line += f.saveDir;
    line += kSepType;
    line += static_cast<char>('0' + f.backupType);
    line += f.startTime;
    line += kSepRunMode;
    line += static_cast<char>('0' + f.runMode);
    line += f.tail;
    return line;
}

std::string weekdayTail(const std::array<bool, 7>& mondayFirst) {
    std::string s;
    for (bool b : mondayFirst) {
        s += b ? '1' : '0';
    }
    return s;
}

std::string monthTail(const std::array<bool, 12>& januaryFirst, std::string_view dayText) {
    std::string s;
    for (bool b : januaryFirst) {
        s += b ? '1' : '0';
    }
    s += dayText;
    return s;
}

std::string_view monthDayText(std::string_view tail) {
    return tail.size() > 12 ? tail.substr(12) : std::string_view{};
}

bool isHiddenLine(std::string_view line) {
    return !line.empty() && line.front() == kSepIp;
}

std::string_view backupTypeText(int digit) {
    switch (digit) {
        case 0:
            return "Cumulative";
        case 1:
            return "Full";
        case 2:
            return "Incremental";
        default:
            return {};
    }
}

std::string addPathEnd(std::string_view path) {
    std::string s(path);
    if (s.empty()) {
        return s;
    }
    if (s.back() != '/' && s.back() != '\\') {
        s += s.front() == '/' ? '/' : '\\';
    }
    return s;
}

std::string trimText(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20) {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20) {
        --e;
    }
    return std::string(text.substr(b, e - b));
}

std::string tidyText(std::string_view text) {
    std::string out;
    for (char c : trimText(text)) {
        if (static_cast<unsigned char>(c) >= 0x20) {
            out += c;
        }
    }
    return out;
}

}  // namespace tvl
