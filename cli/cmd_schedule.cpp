#include <cstdio>
#include <ostream>
#include <string>

#include "cli.h"
#include "core/expected.h"
#include "core/minutewalk.h"
#include "core/schedule.h"
#include "core/taskline.h"

namespace tvl::cli {

namespace {

bool parseMinute(const std::string& text, LocalDateTime& out) {
    CivilMinute m = 0;
    if (!parseMinuteText(text, m)) {
        return false;
    }
    out = fromCivilMinute(m);
    return true;
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
    for (std::size_t i : dueTasks(ctx.tasks.lines(), t)) {
        *ctx.out << i << '\t' << lineTaskName(ctx.tasks.line(i)) << '\n';
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
    ExpectedBackups rows = ExpectedBackups::compute(ctx.tasks.lines(), from, to, names);
    rows.sort(column);
    // A year of rows is tens of megabytes: form them into one buffer, written in pieces.
    std::string buf;
    constexpr std::size_t kChunk = 1 << 20;
    buf.reserve(kChunk + 4096);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < kExpectedColumns; ++c) {
            if (c != 0) {
                buf += '\t';
            }
            rows.appendCell(buf, r, c);
        }
        buf += '\n';
        if (buf.size() >= kChunk) {
            ctx.out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
            buf.clear();
        }
    }
    ctx.out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
    return kExitOk;
}

int runList(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usageError(ctx, commandNamed("list"), "takes no arguments");
    }
    printNextStarts(ctx);
    return kExitOk;
}

void printNextStarts(Context& ctx) {
    const LocalDateTime now = ctx.clock->localNow();
    const std::size_t saved = ctx.tasks.savedCount();
    for (std::size_t i = 0; i < saved; ++i) {
        const std::string& line = ctx.tasks.line(i);
        *ctx.out << i << '\t' << lineTaskName(line) << '\t' << runModeWord(startRule(line).runMode)
                 << '\t';
        LocalDateTime minute = now;
        minute.second = 0;
        if (const auto next = nextStart(line, minute)) {
            char buf[32];
            std::snprintf(buf, sizeof buf, " %02d:%02d", next->hour, next->minute);
            *ctx.out << isoDateText(next->date) << buf;
        } else {
            *ctx.out << '-';
        }
        *ctx.out << '\n';
    }
}

}  // namespace tvl::cli
