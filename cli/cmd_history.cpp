#include <cstdio>
#include <ostream>
#include <string>

#include "cli.h"
#include "core/activitylog.h"
#include "core/expected.h"
#include "core/history.h"
#include "core/jobjournal.h"
#include "core/schedulerstate.h"
#include "json.h"
#include "server/jobfollower.h"

namespace tvl::cli {

namespace {

constexpr int kDefaultDays = 7;  // today and the six days before it

std::string secondText(const LocalDateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.date.year, t.date.month,
                  t.date.day, t.hour, t.minute, t.second);
    return buf;
}

std::string plannedText(const HistoryRow& row) {
    if (!row.planned) {
        return "-";
    }
    std::string text = minuteText(*row.planned);
    text[10] = ' ';
    return text;
}

void printJson(Context& ctx, const std::vector<HistoryRow>& rows, const CivilDate& from,
               const CivilDate& to) {
    auto moment = [](const LocalDateTime& t) {
        std::string text = secondText(t);
        text[10] = 'T';
        return '"' + text + '"';
    };
    std::string buf =
        "{\"from\":\"" + isoDateText(from) + "\",\"to\":\"" + isoDateText(to) + "\",\"rows\":[";
    bool first = true;
    for (const HistoryRow& row : rows) {
        buf += first ? "{\"planned\":" : ",{\"planned\":";
        first = false;
        buf += row.planned ? jsonMinute(fromCivilMinute(*row.planned)) : "null";
        buf += ",\"task\":" + jsonString(row.taskName);
        buf += std::string(",\"state\":\"") + historyStateWord(row.state) + '"';
        if (!row.job) {
            buf += ",\"job\":null}";
            continue;
        }
        const JobRecord& job = *row.job;
        buf += ",\"job\":{\"started\":" + moment(job.startLocal);
        buf += ",\"ended\":" + (job.finished() ? moment(job.endLocal) : std::string("null"));
        buf += ",\"server\":" + jsonString(job.ip + ":" + job.port);
        buf += ",\"type\":" + jsonString(job.backupType);
        buf += ",\"backupFile\":" + jsonString(job.backupFile);
        buf += ",\"logFile\":" + jsonString(job.logFile);
        buf += ",\"lastLine\":" + jsonString(job.lastLine);
        buf += ",\"reason\":" + jsonString(job.reason) + "}}";
    }
    buf += "]}\n";
    ctx.out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
}

}  // namespace

std::array<std::string, 7> weekdayNames(const Context& ctx) {
    static const char* const kKeys[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    std::array<std::string, 7> names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = ctx.messages.lookup(kKeys[i]);
    }
    return names;
}

int runHistory(Context& ctx, const std::vector<std::string>& args) {
    const Command& self = commandNamed("history");
    const LocalDateTime now = ctx.clock->localNow();
    CivilDate to = now.date;
    CivilDate from = addDays(to, 1 - kDefaultDays);
    bool fromGiven = false;
    std::optional<std::string> name;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--from" || args[i] == "--to") {
            CivilDate& date = args[i] == "--from" ? from : to;
            if (i + 1 >= args.size() || !parseIsoDate(args[i + 1], date)) {
                return usageError(ctx, self, args[i] + " takes a date as YYYY-MM-DD");
            }
            fromGiven = fromGiven || args[i] == "--from";
            ++i;
        } else if (!name && !args[i].empty() && args[i][0] != '-') {
            name = args[i];
        } else {
            return usageError(ctx, self, "unknown argument " + args[i]);
        }
    }
    if (!fromGiven) {
        from = addDays(to, 1 - kDefaultDays);
    }
    to = clampIntervalEnd(from, to);
    if (!loadTaskList(ctx)) {
        return kExitFailure;
    }

    JobJournal journal;
    JobJournal::ReadStats stats;
    // A day on either side covers any time zone's offset and the catch-up after midnight.
    const std::time_t since = static_cast<std::time_t>((daysFromCivil(from) - 2) * 86400);
    const std::vector<JobRecord> jobs = journal.readAll(&stats, since);
    if (!stats.readable) {
        *ctx.err << "tarvelctl history: " << ctx.messages.lookup("freaderr") << ' '
                 << journal.path() << '\n';
        return kExitFailure;
    }
    if (stats.damaged > 0) {
        *ctx.err << "tarvelctl history: " << stats.damaged << " damaged lines of " << journal.path()
                 << " passed over\n";
    }
    ScheduleMark mark;
    const std::optional<CivilMinute> lastChecked = readState(kStateFileName, mark) == StateRead::Ok
                                                       ? std::optional(mark.lastChecked)
                                                       : std::nullopt;
    const ExpectedBackups expected =
        ExpectedBackups::compute(ctx.tasks.lines(), from, to, weekdayNames(ctx));
    const std::vector<HistoryRow> rows =
        backupHistory(expected, jobs, from, to, now, lastChecked, name);
    if (ctx.json) {
        printJson(ctx, rows, from, to);
        return kExitOk;
    }
    std::string buf;
    for (const HistoryRow& row : rows) {
        buf += plannedText(row) + '\t' + row.taskName + '\t' + historyStateWord(row.state);
        if (row.job) {
            buf += '\t' + secondText(row.job->startLocal) + '\t' +
                   (row.job->finished() ? secondText(row.job->endLocal) : std::string("-")) + '\t' +
                   visibleControlBytes(jobEndDetail(*row.job));
        } else {
            buf += "\t-\t-\t";
        }
        buf += '\n';
    }
    ctx.out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
    return kExitOk;
}

}  // namespace tvl::cli
