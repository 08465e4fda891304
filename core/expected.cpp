#include "expected.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "regional.h"
#include "runplan.h"
#include "schedule.h"
#include "taskfile.h"
#include "taskline.h"

namespace tvl {

CivilDate clampIntervalEnd(const CivilDate& from, const CivilDate& to) {
    const std::int64_t limit = daysFromCivil(from) + kMaxIntervalDays;
    return daysFromCivil(to) > limit ? civilFromDays(limit) : to;
}

namespace {

std::string dayHeadText(const CivilDate& d) {
    std::string s = std::to_string(d.year);
    const auto two = [&s](int v) {
        s += static_cast<char>('0' + v / 10);
        s += static_cast<char>('0' + v % 10);
    };
    s += '-';
    two(d.month);
    s += '-';
    two(d.day);
    s += ", ";
    return s;
}

// Positions 0..n-1 ordered by the texts (bytes, unsigned, a prefix first), equal texts in
// position order.
std::vector<std::uint32_t> orderByText(std::size_t n,
                                       const std::function<const std::string&(std::size_t)>& text) {
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&text](std::uint32_t a, std::uint32_t b) { return text(a) < text(b); });
    return order;
}

// Sorts the keys by their bits above the lowest `skip`, least significant 11 bits first, in
// as many passes as the largest key needs; stable, so the low bits keep their order. Buffers are
// left uninitialised: a year of rows is megabytes and every element is written before it is read.
void radixSort(std::unique_ptr<std::uint64_t[]>& keys, std::size_t size, unsigned skip) {
    constexpr unsigned kBits = 11;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    const std::uint64_t maxKey = *std::max_element(keys.get(), keys.get() + size);
    const unsigned passes =
        (static_cast<unsigned>(std::bit_width(maxKey)) -
         std::min(skip, static_cast<unsigned>(std::bit_width(maxKey))) + kBits - 1) /
        kBits;
    auto out = std::make_unique_for_overwrite<std::uint64_t[]>(size);
    std::vector<std::size_t> count(kBuckets);
    for (unsigned p = 0; p < passes; ++p) {
        const unsigned shift = skip + p * kBits;
        std::fill(count.begin(), count.end(), 0);
        for (std::size_t i = 0; i < size; ++i) {
            ++count[(keys[i] >> shift) & (kBuckets - 1)];
        }
        std::size_t sum = 0;
        for (std::size_t& c : count) {
            sum += std::exchange(c, sum);
        }
        for (std::size_t i = 0; i < size; ++i) {
            out[count[(keys[i] >> shift) & (kBuckets - 1)]++] = keys[i];
        }
        keys.swap(out);
    }
}

}  // namespace

ExpectedBackups ExpectedBackups::compute(const TaskLines& lines, const CivilDate& from,
                                         const CivilDate& to,
                                         const std::array<std::string, 7>& weekdayNames) {
    ExpectedBackups out;
    out.m_names = weekdayNames;
    const std::int64_t first = daysFromCivil(from);
    const std::int64_t last = daysFromCivil(clampIntervalEnd(from, to));
    if (last < first) {
        return out;
    }
    const std::size_t dayCount = static_cast<std::size_t>(last - first + 1);
    out.m_days.resize(dayCount);
    out.m_dayHeads.resize(dayCount);
    for (std::size_t k = 0; k < dayCount; ++k) {
        out.m_days[k] = civilFromDays(first + static_cast<std::int64_t>(k));
        out.m_dayHeads[k] = dayHeadText(out.m_days[k]);
    }
    const std::vector<CivilDate>& days = out.m_days;
    std::vector<std::string> dayTexts;  // short date texts, made only when a Once task needs them

    std::vector<std::uint32_t> hits;
    const std::size_t saved = savedTaskCount(lines);
    if (saved > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("too many tasks for the expected backups");
    }
    // Room for every task on every day, up to a bound: pages never written cost nothing,
    // while growing a vector of a year of rows copies it again and again.
    out.m_rows.reserve(std::min<std::size_t>(saved * dayCount, std::size_t{1} << 22));
    for (std::size_t i = 0; i < saved; ++i) {
        const std::string_view line = lines[i];
        const TaskFields f = splitTaskLine(line);
        if (f.backupType < 0 || f.runMode < 0 || (f.runMode == kOnce && !parseShortDate(f.tail))) {
            out.m_unreadable.push_back(i);
        }
        if (!storedLineCanStart(line)) {
            continue;
        }
        // Time and rule as the due test reads them, even from an odd hand-edited line.
        const StartRule rule = startRule(line);
        const std::optional<int> start = parseStartTime(rule.startTime);
        if (!start || rule.runMode < 0 || rule.runMode > 3) {
            continue;
        }
        if (rule.runMode == kOnce && dayTexts.empty()) {
            dayTexts.reserve(dayCount);
            for (const CivilDate& d : days) {
                dayTexts.push_back(formatShortDate(d));
            }
        }

        // The rows come from the same due test the minute timer applies, so the preview
        // cannot show a backup that will not start nor leave out one that will.
        hits.clear();
        auto addIfDue = [&](std::size_t k) {
            const LocalDateTime t{days[k], *start / 60, *start % 60, 0};
            const std::string_view today =
                rule.runMode == kOnce ? std::string_view(dayTexts[k]) : std::string_view();
            if (dueTest(line, t, today) == Due::Due) {
                hits.push_back(static_cast<std::uint32_t>(k));
            }
        };

        if (rule.runMode == kWeekly) {
            // Grouped by weekday: each of the first seven days, then every seventh day after.
            for (std::size_t k0 = 0; k0 < std::min<std::size_t>(7, dayCount); ++k0) {
                if (!tailFlag(rule.tail, isoWeekday(days[k0]))) {
                    continue;
                }
                for (std::size_t k = k0; k < dayCount; k += 7) {
                    addIfDue(k);
                }
            }
        } else {
            for (std::size_t k = 0; k < dayCount; ++k) {
                addIfDue(k);
            }
        }
        if (hits.empty()) {
            continue;
        }

        const auto slot = static_cast<std::uint32_t>(out.m_tasks.size());
        Task& task = out.m_tasks.emplace_back();
        task.index = i;
        task.backupType = f.backupType;
        task.texts = {std::string(rule.startTime),
                      f.name,
                      f.ip + ":" + f.port,
                      f.dbPaths,
                      std::string(backupTypeText(f.backupType)),
                      f.saveDir};
        for (std::uint32_t k : hits) {
            out.m_rows.push_back(Row{slot, k});
        }
    }
    return out;
}

void ExpectedBackups::appendCell(std::string& out, std::size_t row, int column) const {
    const Row& r = m_rows[row];
    const Task& t = m_tasks[r.task];
    if (column != 0) {
        out += t.texts[static_cast<std::size_t>(column)];
        return;
    }
    out += m_dayHeads[r.day];
    out += t.texts[0];
    out += " {";
    out += m_names[static_cast<std::size_t>(isoWeekday(m_days[r.day]) - 1)];
    out += '}';
}

std::string ExpectedBackups::cell(std::size_t row, int column) const {
    std::string s;
    appendCell(s, row, column);
    return s;
}

int ExpectedBackups::backupType(std::size_t row) const {
    return m_tasks[m_rows[row].task].backupType;
}

std::size_t ExpectedBackups::taskIndex(std::size_t row) const {
    return m_tasks[m_rows[row].task].index;
}

CivilDate ExpectedBackups::day(std::size_t row) const {
    return m_days[m_rows[row].day];
}

const std::string& ExpectedBackups::taskText(std::size_t task, int column) const {
    return m_tasks[task].texts[static_cast<std::size_t>(column)];
}

void ExpectedBackups::sort(int column) {
    if (column < 0 || column >= kExpectedColumns || m_rows.size() < 2) {
        return;
    }
    const std::size_t n = m_tasks.size();
    const std::size_t dayCount = m_days.size();

    // Two Time cells of one day differ first in the start-time text: a readable start time
    // is blanks, one or two digits, ":" and two digits, so of two different ones neither
    // begins the other and the weekday name after it never decides. Equal Time cells go by
    // task-list order, so one rank per task orders the tasks within every day.
    std::vector<std::uint64_t> timeRank(n);
    {
        const auto order = orderByText(
            n, [this](std::size_t t) -> const std::string& { return m_tasks[t].texts[0]; });
        for (std::size_t p = 0; p < n; ++p) {
            timeRank[order[p]] = p;
        }
    }
    // Days in the order of their date texts (a year of four digits orders them by date;
    // the texts decide for any other).
    std::vector<std::uint64_t> dayRank(dayCount);
    {
        const auto order = orderByText(
            dayCount, [this](std::size_t k) -> const std::string& { return m_dayHeads[k]; });
        for (std::size_t p = 0; p < dayCount; ++p) {
            dayRank[order[p]] = p;
        }
    }
    // A task's other cells are the same on every day: rank the tasks once, equal texts
    // sharing a rank.
    std::vector<std::uint64_t> columnRank(n, 0);
    if (column != 0) {
        const auto c = static_cast<std::size_t>(column);
        const auto order = orderByText(
            n, [this, c](std::size_t t) -> const std::string& { return m_tasks[t].texts[c]; });
        std::uint64_t rank = 0;
        for (std::size_t p = 0; p < n; ++p) {
            if (p > 0 && m_tasks[order[p - 1]].texts[c] != m_tasks[order[p]].texts[c]) {
                ++rank;
            }
            columnRank[order[p]] = rank;
        }
    }

    // One key per row: column rank, then day, then the task's place within a day, with the
    // row's position in the low bits so that sorting the keys alone carries the rows.
    const std::size_t size = m_rows.size();
    const unsigned rowBits = static_cast<unsigned>(std::bit_width(size - 1));
    const std::uint64_t maxKey = std::numeric_limits<std::uint64_t>::max() >> rowBits;
    if (dayCount <= maxKey / n && n <= maxKey / (dayCount * n)) {
        auto keys = std::make_unique_for_overwrite<std::uint64_t[]>(size);
        for (std::size_t i = 0; i < size; ++i) {
            const Row& r = m_rows[i];
            const std::uint64_t key =
                (columnRank[r.task] * dayCount + dayRank[r.day]) * n + timeRank[r.task];
            keys[i] = key << rowBits | i;
        }
        radixSort(keys, size, rowBits);
        std::vector<Row> sorted;
        sorted.reserve(size);
        const std::uint64_t rowMask = (std::uint64_t{1} << rowBits) - 1;
        for (std::size_t i = 0; i < size; ++i) {
            sorted.push_back(m_rows[keys[i] & rowMask]);
        }
        m_rows.swap(sorted);
        return;
    }
    // More tasks than one 64-bit key can place: compare the three ranks instead.
    std::sort(m_rows.begin(), m_rows.end(), [&](const Row& a, const Row& b) {
        return std::tie(columnRank[a.task], dayRank[a.day], timeRank[a.task]) <
               std::tie(columnRank[b.task], dayRank[b.day], timeRank[b.task]);
    });
}

}  // namespace tvl
