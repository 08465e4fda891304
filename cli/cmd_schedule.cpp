#include <charconv>
#include <cstdio>
#include <ostream>
#include <string>

#include "cli.h"
#include "core/expected.h"
#include "core/minutewalk.h"
#include "core/schedule.h"
#include "core/taskline.h"
#include "json.h"

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

// The rows as one JSON document: the six cells as the plain output has them, and the
// row's minute, task and backup type for scripts that should not read the cells.
void printExpectedJson(Context& ctx, const ExpectedBackups& rows, const CivilDate& from,
                       const CivilDate& to) {
    static const char* const kFields[kExpectedColumns] = {"time",     "name", "server",
                                                          "database", "type", "path"};
    std::string buf = "{\"from\":\"" + isoDateText(from) + "\",\"to\":\"" +
                      isoDateText(clampIntervalEnd(from, to)) + "\",\"rows\":[";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int start = parseStartTime(rows.taskText(rows.task(r), 0)).value_or(0);
        buf += r ? ",{\"start\":" : "{\"start\":";
        buf += jsonMinute(LocalDateTime{rows.day(r), start / 60, start % 60, 0});
        buf += ",\"taskIndex\":" + std::to_string(rows.taskIndex(r));
        buf += ",\"backupType\":" + std::to_string(rows.backupType(r));
        for (int c = 0; c < kExpectedColumns; ++c) {
            buf += std::string(",\"") + kFields[c] + "\":" + jsonString(rows.cell(r, c));
        }
        buf += '}';
        if (buf.size() >= (1u << 20)) {
            ctx.out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
            buf.clear();
        }
    }
    buf += "]}\n";
    ctx.out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
}

}  // namespace

int runDue(Context& ctx, const std::vector<std::string>& args) {
    const Command& self = commandNamed("due");
    LocalDateTime t;
    if (args.size() != 1 || !parseMinute(args[0], t)) {
        return usageError(ctx, self, "give one minute as YYYY-MM-DDTHH:MM");
    }
    if (!loadTaskList(ctx)) {
        return kExitFailure;
    }
    const std::vector<std::size_t> due = dueTasks(ctx.tasks.lines(), t);
    if (ctx.json) {
        *ctx.out << "{\"minute\":" << jsonMinute(t) << ",\"tasks\":[";
        for (std::size_t k = 0; k < due.size(); ++k) {
            *ctx.out << (k ? "," : "") << "{\"index\":" << due[k]
                     << ",\"name\":" << jsonString(lineTaskName(ctx.tasks.line(due[k]))) << '}';
        }
        *ctx.out << "]}\n";
        return kExitOk;
    }
    for (std::size_t i : due) {
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
    if (!loadTaskList(ctx)) {
        return kExitFailure;
    }
    ExpectedBackups rows = ExpectedBackups::compute(ctx.tasks.lines(), from, to, weekdayNames(ctx));
    rows.sort(column);
    if (ctx.json) {
        printExpectedJson(ctx, rows, from, to);
        return kExitOk;
    }
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

namespace {

// Calls row(index, name, rule word, next start) for each saved task, its next start after
// the current minute.
template <class Row>
void forEachNextStart(const Context& ctx, Row&& row) {
    LocalDateTime minute = ctx.clock->localNow();
    minute.second = 0;
    NextStartFinder nextStart(minute);
    const TaskLines& lines = ctx.tasks.lines();
    const std::size_t saved = lines.savedCount();
    for (std::size_t i = 0; i < saved; ++i) {
        const std::string_view line = lines[i];
        const StartRule rule = startRule(line);
        const int start = lines.startMinute(i);
        row(i, lineTaskName(line), runModeWord(rule.runMode),
            nextStart(line, rule, start < 0 ? std::nullopt : std::optional<int>(start)));
    }
}

// A million rows are formed into one buffer that goes out in large pieces.
class RowBuffer {
public:
    explicit RowBuffer(std::ostream& out) : m_out(out) { m_text.reserve(kChunk + 4096); }
    ~RowBuffer() { flush(); }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    std::string& text() { return m_text; }
    void rowDone() {
        if (m_text.size() >= kChunk) {
            flush();
        }
    }
    void flush() {
        m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
        m_text.clear();
    }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::ostream& m_out;
    std::string m_text;
};

void appendNumber(std::string& out, std::size_t n) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, n).ptr;
    out.append(buf, end);
}

void appendTwoDigits(std::string& out, int n) {
    out += static_cast<char>('0' + n / 10);
    out += static_cast<char>('0' + n % 10);
}

// The date of a start as isoDateText writes it, without a formatted print for each row;
// most tasks start today or tomorrow, so the text of the last date is kept.
class DateTexts {
public:
    std::string_view of(const CivilDate& date) {
        if (m_text.empty() || !(date == m_date)) {
            m_date = date;
            if (date.year < 0 || date.year > 9999) {
                m_text = isoDateText(date);
            } else {
                m_text.clear();
                appendTwoDigits(m_text, date.year / 100);
                appendTwoDigits(m_text, date.year % 100);
                m_text += '-';
                appendTwoDigits(m_text, date.month);
                m_text += '-';
                appendTwoDigits(m_text, date.day);
            }
        }
        return m_text;
    }

private:
    CivilDate m_date;
    std::string m_text;
};

}  // namespace

int runList(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usageError(ctx, commandNamed("list"), "takes no arguments");
    }
    if (!loadTaskList(ctx)) {
        return kExitFailure;
    }
    if (ctx.json) {
        *ctx.out << '{' << nextStartsJson(ctx) << "}\n";
        return kExitOk;
    }
    printNextStarts(ctx);
    return kExitOk;
}

void printNextStarts(Context& ctx) {
    RowBuffer buf(*ctx.out);
    std::string& out = buf.text();
    DateTexts dates;
    forEachNextStart(ctx, [&](std::size_t index, std::string_view name, const char* rule,
                              const std::optional<LocalDateTime>& next) {
        appendNumber(out, index);
        out += '\t';
        out += name;
        out += '\t';
        out += rule;
        out += '\t';
        if (next) {
            out += dates.of(next->date);
            out += ' ';
            appendTwoDigits(out, next->hour);
            out += ':';
            appendTwoDigits(out, next->minute);
        } else {
            out += '-';
        }
        out += '\n';
        buf.rowDone();
    });
}

std::string nextStartsJson(const Context& ctx) {
    std::string out = "\"tasks\":[";
    DateTexts dates;
    bool first = true;
    forEachNextStart(ctx, [&](std::size_t index, std::string_view name, const char* rule,
                              const std::optional<LocalDateTime>& next) {
        out += first ? "{\"index\":" : ",{\"index\":";
        first = false;
        appendNumber(out, index);
        out += ",\"name\":";
        appendJsonString(out, name);
        out += ",\"rule\":\"";
        out += rule;
        out += "\",\"nextStart\":";
        if (next) {
            out += '"';
            out += dates.of(next->date);
            out += 'T';
            appendTwoDigits(out, next->hour);
            out += ':';
            appendTwoDigits(out, next->minute);
            out += '"';
        } else {
            out += "null";
        }
        out += '}';
    });
    return out + ']';
}

}  // namespace tvl::cli
