#include "tasklines.h"

#include <gtest/gtest.h>

#include "core/taskline.h"

namespace tvl::test {

std::string taskLine(const TaskDraft& draft) {
    // buildTaskLine writes only digits at the type and run-mode places; the bytes the test
    // asked for go in afterwards, where the separators that buildTaskLine placed say.
    const std::optional<std::string> built = buildTaskLine({.name = draft.name,
                                                            .ip = draft.ip,
                                                            .port = draft.port,
                                                            .dbPaths = draft.dbPaths,
                                                            .saveDir = draft.saveDir,
                                                            .backupType = 0,
                                                            .startTime = draft.startTime,
                                                            .runMode = 0,
                                                            .tail = {}});
    if (!built) {
        ADD_FAILURE() << "a field holds a control byte; write such a line out in full";
        return {};
    }
    std::string line = *built;
    line[line.find(kSepType) + 1] = draft.type;
    return line.substr(0, line.find(kSepRunMode) + 1) + draft.rule;
}

std::string taskLine(const std::string& name, const std::string& startTime, const std::string& rule,
                     char type) {
    return taskLine({.name = name, .type = type, .startTime = startTime, .rule = rule});
}

std::string taskFileText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

const char* TaskLineGenerator::pick(const std::vector<const char*>& choices) {
    return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(m_rng)];
}

std::string TaskLineGenerator::line() {
    // Each field is followed by the separator that ends it, unless it goes missing.
    const std::vector<std::vector<const char*>> fields = {
        {"Nightly", "B", " C ", "\xd0\xbd\xd0\xbe\xd1\x87\xd1\x8c", "\xed\xee\xf7\xfc", "", "  ",
         "X\x06y", "a/b", "x)\\..\\y", "a:b", "bell\x07", "q?"},
        {"127.0.0.1", " 127.0.0.1 ", "\t10.0.0.1\x07", "  ", "", "10.0\x1f.0.1"},
        {"1972", " 1972", "", " \t",
         "19\x0b"
         "72"},
        {"/db/a;/db/b", "/db/a/", " /db/a \t", "  ", "", "c:\\db", "rel/",
         "/db/\x1e"
         "x",
         "\xcf\xf3\xf2\xfc"},
        {"/bak", "/bak/", "  ", "", "bak/", "d:\\bak",
         " /b\x08"
         "ak "},
        {"0", "1", "2", "3", "9", "x", ""},
        {" 9:05", "9:5", "09:05", "  :  ", "24:00", "9:05 ", "23:59", ""},
        {"1", "012/07/2026", "012/08/2026", "07.12.2026", "0", "21111111", "20000001",
         "3111111111111"
         "7",
         "31111111111118", "7", "x", ""},
    };
    static constexpr char kSeparators[] = {'\x01', '\x02', '\x03', '\x04', '\x05', 0, '\x06'};
    std::string out;
    std::bernoulli_distribution dropSeparator(0.03);
    for (std::size_t k = 0; k < fields.size(); ++k) {
        out += pick(fields[k]);
        if (k < 7 && kSeparators[k] != 0 && !dropSeparator(m_rng)) {
            out += kSeparators[k];
        }
    }
    return out;
}

std::string TaskLineGenerator::ruleLine(const std::vector<std::string>& onceDates) {
    auto below = [this](int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); };
    auto flags = [&](int count) {
        std::string out;
        for (int k = 0; k < count; ++k) {
            out += below(3) == 0 ? '1' : "0x"[below(2)];
        }
        return out.substr(0, static_cast<std::size_t>(count - (below(8) == 0 ? below(count) : 0)));
    };
    std::string time = std::to_string(below(24)) + ":" + std::to_string(below(60));
    if (below(20) == 0) {
        time = pick({"24:00", "9:60", "", "  :  ", " 7:05", "07:5"});
    }
    std::string rule;
    switch (below(5)) {
        case 0:
            rule = "0" + (onceDates.empty() || below(6) == 0
                              ? std::string(pick({"", "x", "1/2/2025", "2025-01-02", "31/12/2024"}))
                              : onceDates[static_cast<std::size_t>(
                                    below(static_cast<int>(onceDates.size())))]);
            break;
        case 1:
            rule = std::string("1") + (below(4) == 0 ? "junk" : "");
            break;
        case 2:
            rule = "2" + flags(7);
            break;
        case 3:
            rule = "3" + flags(12) +
                   (below(4) == 0 ? std::string(pick({"", "0", "05", "32", "157", "3x", "x"}))
                                  : std::to_string(below(2) ? 28 + below(4) : 1 + below(31)));
            break;
        default:
            rule = pick({"", "4", "x"});
    }
    return "Rule\x01"
           "10.0.0.1\x02"
           "1972\x03/db/\x04/bak/\x05" +
           std::to_string(below(3)) + time + "\x06" + rule;
}

std::vector<std::string> TaskLineGenerator::lines(std::size_t count) {
    std::vector<std::string> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(line());
    }
    return out;
}

}  // namespace tvl::test
