#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

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

// The texts of a row that are kept with sixteen readable bytes from their start.
constexpr std::size_t kPadded = 16;

// Each word in sixteen bytes of its own, so a row copies it as one piece (putPadded).
constexpr char kRunModeText[][kPadded] = {"Once", "Daily", "Weekly", "Monthly", "?"};
constexpr std::string_view kRunModeWords[] = {kRunModeText[0], kRunModeText[1], kRunModeText[2],
                                              kRunModeText[3], kRunModeText[4]};

std::string_view runModeWord(int mode) {
    return kRunModeWords[mode >= kOnce && mode <= kMonthly ? mode : 4];
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
// the current minute. Its name, its fields for the may-it-start check and its start rule
// come from the separators found when the file was cut into lines.
template <class Row>
void forEachNextStart(const Context& ctx, Row&& row) {
    LocalDateTime minute = ctx.clock->localNow();
    minute.second = 0;
    NextStartFinder(minute).forEachSaved(ctx.tasks.lines(),
                                         [&row](std::size_t i, std::string_view name, int runMode,
                                                const std::optional<LocalDateTime>& next) {
                                             row(i, name, runModeWord(runMode), next);
                                         });
}

// A million rows are formed into one buffer that goes out in large pieces; a row is
// written into room asked for beforehand, not appended a character at a time.
class RowBuffer {
public:
    explicit RowBuffer(std::ostream& out) : m_out(out), m_text(kChunk) {}
    ~RowBuffer() { flush(); }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    // Room for a row of at most `bytes` bytes; rowDone(end) says where the row ended.
    char* room(std::size_t bytes) {
        if (m_used + bytes > m_text.size()) {
            flush();
            if (bytes > m_text.size()) {
                m_text.resize(bytes);
            }
        }
        return m_text.data() + m_used;
    }
    void rowDone(const char* end) { m_used = static_cast<std::size_t>(end - m_text.data()); }
    void flush() {
        m_out.write(m_text.data(), static_cast<std::streamsize>(m_used));
        m_used = 0;
    }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 16;
    std::ostream& m_out;
    std::vector<char> m_text;
    std::size_t m_used = 0;
};

void appendNumber(std::string& out, std::size_t n) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, n).ptr;
    out.append(buf, end);
}

// "00" to "99" one after the other: a row's hour and minute are copied, not divided.
constexpr std::array<char, 200> kTwoDigits = [] {
    std::array<char, 200> digits{};
    for (std::size_t n = 0; n < 100; ++n) {
        digits[2 * n] = static_cast<char>('0' + n / 10);
        digits[2 * n + 1] = static_cast<char>('0' + n % 10);
    }
    return digits;
}();

// n is 0..99.
char* putTwoDigits(char* out, int n) {
    std::memcpy(out, &kTwoDigits[2 * static_cast<std::size_t>(n)], 2);
    return out + 2;
}

void appendTwoDigits(std::string& out, int n) {
    char two[2];
    out.append(two, putTwoDigits(two, n));
}

// A name, a rule word or a date is a few bytes: copied in two overlapping pieces of a
// fixed size, not by a call for each.
[[gnu::always_inline]] inline char* putText(char* out, std::string_view text) {
    const char* from = text.data();
    const std::size_t n = text.size();
    if (n >= 8 && n <= 16) {
        std::memcpy(out, from, 8);
        std::memcpy(out + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(out, from, 4);
        std::memcpy(out + n - 4, from + n - 4, 4);
    } else if (n > 16) {
        std::memcpy(out, from, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) {  // none for an empty view, which may have no bytes
            out[i] = from[i];
        }
    }
    return out + n;
}

// A text kept with kPadded readable bytes from its start: a short one is copied as one
// piece of that size (a row's room has more than that to spare beyond its end).
[[gnu::always_inline]] inline char* putPadded(char* out, std::string_view text) {
    if (text.size() > kPadded) {
        return putText(out, text);
    }
    std::memcpy(out, text.data(), kPadded);
    return out + text.size();
}

// The rows are numbered by their task's index, one up from the row before: the number's
// text is counted up instead of formatted anew for each row.
class RowNumbers {
public:
    std::string_view of(std::size_t n) {
        if (n != m_next || m_begin == kEnd) {
            char digits[kEnd];
            const auto size = static_cast<std::size_t>(
                std::to_chars(digits, digits + sizeof digits, n).ptr - digits);
            m_begin = kEnd - size;
            std::memcpy(m_text + m_begin, digits, size);
        } else {
            std::size_t k = kEnd;
            while (k > m_begin && m_text[k - 1] == '9') {
                m_text[--k] = '0';
            }
            if (k == m_begin) {
                m_text[--m_begin] = '1';
            } else {
                ++m_text[k - 1];
            }
        }
        m_next = n + 1;
        return {m_text + m_begin, kEnd - m_begin};
    }

private:
    static constexpr std::size_t kEnd = 24;  // the digits end here; padding follows
    char m_text[kEnd + kPadded] = {};
    std::size_t m_begin = kEnd;  // the number's first digit; all of it: none yet
    std::size_t m_next = 0;
};

// The date of a start as isoDateText writes it, without a formatted print for each row;
// the starts fall on the days of the coming year, so each date's text is kept. Each text
// has kPadded readable bytes from its start.
class DateTexts {
public:
    std::string_view of(const CivilDate& date) {
        if (date.year < 0 || date.year > 9999) {
            const std::string text = isoDateText(date);
            const std::size_t size = std::min(text.size(), sizeof m_odd);
            std::memcpy(m_odd, text.data(), size);
            return {m_odd, size};
        }
        // Two dates a year apart share a slot; the slot says whose text it holds.
        Slot& slot = m_slots[static_cast<std::size_t>(date.month * 32 + date.day) % kSlots];
        if (!(slot.date == date)) {
            slot.date = date;
            char* p = putTwoDigits(slot.text, date.year / 100);
            p = putTwoDigits(p, date.year % 100);
            *p++ = '-';
            p = putTwoDigits(p, date.month);
            *p++ = '-';
            putTwoDigits(p, date.day);
        }
        return {slot.text, kDateSize};
    }

private:
    static constexpr std::size_t kDateSize = 10;
    struct Slot {
        CivilDate date{0, 0, 0};
        char text[kPadded] = {};  // the date's text, then padding
    };
    static constexpr std::size_t kSlots = std::size_t{13} * 32;
    std::array<Slot, kSlots> m_slots;
    char m_odd[2 * kPadded] = {};  // a date of a year that is not four digits
};

}  // namespace

int runList(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) {
        return usageError(ctx, commandNamed("list"), "takes no arguments");
    }
    ctx.taskRead.separators = true;
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
    RowNumbers numbers;
    DateTexts dates;
    forEachNextStart(ctx, [&](std::size_t index, std::string_view name, std::string_view rule,
                              const std::optional<LocalDateTime>& next) {
        // The index, three tabs, the rule word, a date of at most seventeen bytes, the time
        // and the end of the line, beside the name: 54 bytes at most, and a piece copied in
        // sixteen bytes (putPadded) ends within the room too.
        char* p = buf.room(name.size() + 64);
        p = putPadded(p, numbers.of(index));
        *p++ = '\t';
        p = putText(p, name);
        *p++ = '\t';
        p = putPadded(p, rule);
        *p++ = '\t';
        if (next) {
            p = putPadded(p, dates.of(next->date));
            *p++ = ' ';
            p = putTwoDigits(p, next->hour);
            *p++ = ':';
            p = putTwoDigits(p, next->minute);
        } else {
            *p++ = '-';
        }
        *p++ = '\n';
        buf.rowDone(p);
    });
}

std::string nextStartsJson(const Context& ctx) {
    std::string out = "\"tasks\":[";
    DateTexts dates;
    bool first = true;
    forEachNextStart(ctx, [&](std::size_t index, std::string_view name, std::string_view rule,
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
