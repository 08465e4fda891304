#include <cstdio>
#include <ostream>

#include "cli.h"
#include "core/expected.h"
#include "core/schedule.h"
#include "core/taskline.h"
#include "json.h"

namespace tvl::cli {

namespace {

bool parseMinute(const std::string& text, LocalDateTime& out) {
    // YYYY-MM-DDTHH:MM
    if (text.size() != 16 || text[10] != 'T' || text[13] != ':') {
        return false;
    }
    CivilDate d;
    if (!parseIsoDate(text.substr(0, 10), d)) {
        return false;
    }
    for (std::size_t i : {11u, 12u, 14u, 15u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const int h = (text[11] - '0') * 10 + (text[12] - '0');
    const int m = (text[14] - '0') * 10 + (text[15] - '0');
    if (h > 23 || m > 59) {
        return false;
    }
    out = LocalDateTime{d, h, m, 0};
    return true;
}

std::string taskName(const std::string& line) {
    return line.substr(0, line.find(kSepIp));
}

const char* runModeWord(int mode) {
    switch (mode) {
        case kOnce:
            return "Once";
        case kDaily:
            return "Daily";
        case kWeekly:
            return "Weekly";
        case kMonthly:
            return "Monthly";
        default:
            return "?";
    }
}

}  // namespace

int runDue(Context& ctx, const std::vector<std::string>& args) {
    const Command& self = commandNamed("due");
    LocalDateTime t;
    if (args.size() != 1 || !parseMinute(args[0], t)) {
        return usageError(ctx, self, "give one minute as YYYY-MM-DDTHH:MM");
    }
    const std::vector<std::size_t> due = dueTasks(ctx.tasks.lines(), t);
    if (ctx.json) {
        *ctx.out << "{\"minute\":" << jsonMinute(t) << ",\"tasks\":[";
        for (std::size_t k = 0; k < due.size(); ++k) {
            *ctx.out << (k ? "," : "") << "{\"index\":" << due[k]
                     << ",\"name\":" << jsonString(taskName(ctx.tasks.line(due[k]))) << '}';
        }
        *ctx.out << "]}\n";
        return kExitOk;
    }
    for (std::size_t i : due) {
        *ctx.out << i << '\t' << taskName(ctx.tasks.line(i)) << '\n';
    }
    return kExitOk;
}

int runExpected(Context& ctx, const std::vector<std::string>& args) {
    const Command& self = commandNamed("expected");
    std::vector<std::string> dates;
    int column = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--sort") {
            if (i + 1 >= args.size() || args[i + 1].size() != 1 || args[i + 1][0] < '0' ||
                args[i + 1][0] > '5') {
                return usageError(ctx, self, "--sort takes a column from 0 to 5");
            }
            column = args[++i][0] - '0';
        } else {
            dates.push_back(args[i]);
        }
    }
    CivilDate from;
    CivilDate to;
    if (dates.size() != 2 || !parseIsoDate(dates[0], from) || !parseIsoDate(dates[1], to)) {
        return usageError(ctx, self, "give FROM and TO as YYYY-MM-DD");
    }
    std::array<std::string, 7> names;
    const char* keys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    for (std::size_t i = 0; i < 7; ++i) {
        names[i] = ctx.messages.lookup(keys[i]);
    }
    std::vector<ExpectedRow> rows = expectedRows(ctx.tasks.lines(), from, to, names);
    sortRows(rows, column);
    if (ctx.json) {
        static const char* const kFields[] = {"time", "name", "server", "database", "type", "path"};
        *ctx.out << "{\"from\":\"" << isoDateText(from) << "\",\"to\":\""
                 << isoDateText(clampIntervalEnd(from, to)) << "\",\"rows\":[";
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const ExpectedRow& r = rows[k];
            *ctx.out << (k ? "," : "") << "{\"start\":" << jsonMinute(r.start)
                     << ",\"taskIndex\":" << r.taskIndex << ",\"backupType\":" << r.backupType;
            for (std::size_t c = 0; c < r.cells.size(); ++c) {
                *ctx.out << ",\"" << kFields[c] << "\":" << jsonString(r.cells[c]);
            }
            *ctx.out << '}';
        }
        *ctx.out << "]}\n";
        return kExitOk;
    }
    for (const ExpectedRow& r : rows) {
        for (std::size_t c = 0; c < r.cells.size(); ++c) {
            *ctx.out << (c ? "\t" : "") << r.cells[c];
        }
        *ctx.out << '\n';
    }
    return kExitOk;
}

std::vector<NextStartRow> nextStarts(const Context& ctx) {
    LocalDateTime minute = ctx.clock->localNow();
    minute.second = 0;
    std::vector<NextStartRow> rows;
    const std::size_t saved = ctx.tasks.savedCount();
    for (std::size_t i = 0; i < saved; ++i) {
        const std::string& line = ctx.tasks.line(i);
        rows.push_back(
            {i, taskName(line), runModeWord(startRule(line).runMode), nextStart(line, minute)});
    }
    return rows;
}

int runList(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usageError(ctx, commandNamed("list"), "takes no arguments");
    }
    const std::vector<NextStartRow> rows = nextStarts(ctx);
    if (ctx.json) {
        *ctx.out << "{\"tasks\":[";
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const NextStartRow& r = rows[k];
            *ctx.out << (k ? "," : "") << "{\"index\":" << r.index
                     << ",\"name\":" << jsonString(r.name) << ",\"rule\":\"" << r.rule
                     << "\",\"nextStart\":" << (r.next ? jsonMinute(*r.next) : "null") << '}';
        }
        *ctx.out << "]}\n";
        return kExitOk;
    }
    for (const NextStartRow& r : rows) {
        *ctx.out << r.index << '\t' << r.name << '\t' << r.rule << '\t';
        if (r.next) {
            char buf[32];
            std::snprintf(buf, sizeof buf, " %02d:%02d", r.next->hour, r.next->minute);
            *ctx.out << isoDateText(r.next->date) << buf;
        } else {
            *ctx.out << '-';
        }
        *ctx.out << '\n';
    }
    return kExitOk;
}

}  // namespace tvl::cli
