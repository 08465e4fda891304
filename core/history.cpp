#include "history.h"

#include <algorithm>
#include <map>

#include "messagetable.h"
#include "schedule.h"

namespace tvl {

const char* historyStateWord(HistoryState state) {
    // A job's state is named by the journal's word for its outcome.
    for (const JobOutcome o : kJobOutcomes) {
        if (historyStateOf(o) == state) {
            return jobOutcomeWord(o);
        }
    }
    return state == HistoryState::Missed ? "missed" : "planned";
}

HistoryState historyStateOf(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Running:
            return HistoryState::Running;
        case JobOutcome::Completed:
            return HistoryState::Completed;
        case JobOutcome::Failed:
            return HistoryState::Failed;
        case JobOutcome::Unknown:
            return HistoryState::Unknown;
    }
    return HistoryState::Unknown;
}

std::string historyStateText(const MessageTable& messages, HistoryState state) {
    static const char* const kKeys[] = {"jobok",  "jobfail", "jobunkn",
                                        "jobrun", "jobmiss", "jobplan"};
    std::string text = messages.lookup(kKeys[static_cast<int>(state)]);
    return text.empty() ? historyStateWord(state) : text;
}

std::vector<HistoryRow> backupHistory(const ExpectedBackups& expected,
                                      const std::vector<JobRecord>& jobs, const CivilDate& from,
                                      const CivilDate& to, const LocalDateTime& now,
                                      std::optional<CivilMinute> lastChecked,
                                      const std::optional<std::string>& onlyTask) {
    const CivilMinute first = daysFromCivil(from) * 1440;
    const CivilMinute last = (daysFromCivil(clampIntervalEnd(from, to)) + 1) * 1440 - 1;
    const CivilMinute nowMinute = civilMinute({now.date, now.hour, now.minute, 0});
    auto wanted = [&onlyTask](const std::string& name) { return !onlyTask || *onlyTask == name; };

    // The jobs of each task that may answer a planned start: started in the interval or in
    // the catch-up window after its end.
    std::map<std::string, std::vector<std::size_t>> byTask;
    std::vector<bool> used(jobs.size(), false);
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const CivilMinute at = civilMinute(jobs[j].startLocal);
        if (wanted(jobs[j].taskName) && at >= first && at <= last + kMaxCatchUpMinutes) {
            byTask[jobs[j].taskName].push_back(j);
        }
    }

    std::vector<HistoryRow> rows;
    for (std::size_t r = 0; r < expected.size(); ++r) {
        const std::string& name = expected.taskText(expected.task(r), 1);
        if (!wanted(name)) {
            continue;
        }
        const int start = parseStartTime(expected.taskText(expected.task(r), 0)).value_or(0);
        HistoryRow row;
        row.planned = daysFromCivil(expected.day(r)) * 1440 + start;
        row.expectedRow = r;
        row.taskName = name;
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const HistoryRow& a, const HistoryRow& b) {
        return *a.planned < *b.planned || (*a.planned == *b.planned && a.taskName < b.taskName);
    });

    // First the starts the minute timer made for exactly that minute, then starts by hand
    // in the window after it.
    for (const bool byHand : {false, true}) {
        for (HistoryRow& row : rows) {
            if (row.job) {
                continue;
            }
            const auto it = byTask.find(row.taskName);
            if (it == byTask.end()) {
                continue;
            }
            for (const std::size_t j : it->second) {
                const JobRecord& job = jobs[j];
                const CivilMinute at = civilMinute(job.startLocal);
                const bool answers = byHand ? !job.dueMinute && at >= *row.planned &&
                                                  at <= *row.planned + kMaxCatchUpMinutes
                                            : job.dueMinute == row.planned;
                if (!used[j] && answers) {
                    used[j] = true;
                    row.job = job;
                    break;
                }
            }
        }
    }
    for (HistoryRow& row : rows) {
        if (row.job) {
            row.state = historyStateOf(row.job->outcome);
            continue;
        }
        const CivilMinute m = *row.planned;
        const bool checked = lastChecked && m <= *lastChecked;
        const bool pending = m >= nowMinute || (!checked && m + kStartLeewayMinutes > nowMinute);
        row.state = pending ? HistoryState::Planned : HistoryState::Missed;
    }

    // Starts no planned start accounts for: runs by hand, tasks renamed or removed since.
    for (const auto& [name, indexes] : byTask) {
        for (const std::size_t j : indexes) {
            const CivilMinute at = civilMinute(jobs[j].startLocal);
            if (used[j] || at > last) {
                continue;
            }
            HistoryRow row;
            row.taskName = name;
            row.job = jobs[j];
            row.state = historyStateOf(jobs[j].outcome);
            rows.push_back(std::move(row));
        }
    }
    auto minuteOf = [](const HistoryRow& r) {
        return r.planned ? *r.planned : civilMinute(r.job->startLocal);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const HistoryRow& a, const HistoryRow& b) {
        const CivilMinute ma = minuteOf(a);
        const CivilMinute mb = minuteOf(b);
        return ma < mb || (ma == mb && a.taskName < b.taskName);
    });
    return rows;
}

std::vector<HistoryRow> missedStarts(const TaskLines& lines, const std::vector<JobRecord>& jobs,
                                     CivilMinute since, CivilMinute lastChecked,
                                     const LocalDateTime& now) {
    const CivilMinute nowMinute = civilMinute({now.date, now.hour, now.minute, 0});
    since = std::max(since, nowMinute - CivilMinute{kMissedLookBackDays} * 1440);
    if (lastChecked <= since) {
        return {};
    }
    const CivilDate from = fromCivilMinute(since + 1).date;
    const CivilDate to = fromCivilMinute(lastChecked).date;
    // Only the rows' task and minute are read: the weekday names of the Time cell are not.
    const ExpectedBackups expected = ExpectedBackups::compute(lines, from, to, {});
    // A minute the scheduler has checked is past for its starts, whatever the clock says.
    const LocalDateTime after = fromCivilMinute(std::max(nowMinute, lastChecked + 1));
    std::vector<HistoryRow> rows = backupHistory(expected, jobs, from, to, after, lastChecked);
    std::erase_if(rows, [since, lastChecked](const HistoryRow& row) {
        return row.state != HistoryState::Missed || !row.planned || *row.planned <= since ||
               *row.planned > lastChecked;
    });
    return rows;
}

void MissedStartWatch::taken(std::optional<CivilMinute> mark, CivilMinute now) {
    const CivilMinute from = mark ? std::min(*mark, now) : now;
    // A minute looked at already, by this program before another took the lock from it,
    // is not looked at again.
    m_lookedTo = m_lookedTo ? std::max(*m_lookedTo, from) : from;
    m_takenAt = now;
}

std::optional<MissedStartWatch::Span> MissedStartWatch::next(CivilMinute lastChecked) {
    if (!m_lookedTo || lastChecked <= *m_lookedTo) {
        return std::nullopt;
    }
    const Span span{*m_lookedTo, lastChecked, m_takenAt};
    m_lookedTo = lastChecked;
    m_takenAt.reset();
    return span;
}

MissedStartWatch::Span joinSpans(const MissedStartWatch::Span& a, const MissedStartWatch::Span& b) {
    MissedStartWatch::Span out{std::min(a.after, b.after), std::max(a.upTo, b.upTo), a.takenAt};
    if (b.takenAt) {
        out.takenAt = out.takenAt ? std::min(*out.takenAt, *b.takenAt) : *b.takenAt;
    }
    return out;
}

std::vector<HistoryRow> missedStarts(JournalDigest& digest, const TaskLines& lines,
                                     const MissedStartWatch::Span& span, std::time_t now) {
    const LocalDateTime local = localDateTime(now);
    const CivilMinute nowMinute = civilMinute(local);
    // The jobs of the span's first day on: those started before it answer none of its
    // planned starts. A day more covers a change of the clock.
    auto keepFrom = [&](CivilMinute minute) {
        const CivilMinute from =
            std::max(minute, nowMinute - CivilMinute{kMissedLookBackDays} * 1440);
        digest.keepSince(now - (nowMinute - from + CivilMinute{2} * 1440) * 60);
    };
    keepFrom(span.after);
    digest.update();
    CivilMinute after = span.after;
    if (span.takenAt) {
        // Before the journal's first job nothing was journaled: no row there is known missed.
        const CivilMinute began =
            digest.began() ? civilMinute(localDateTime(*digest.began())) : *span.takenAt;
        after = std::max(after, std::min(began, *span.takenAt));
    }
    std::vector<HistoryRow> rows =
        missedStarts(lines, digest.recentJobs(), after, span.upTo, local);
    keepFrom(span.upTo);  // where the next span begins
    return rows;
}

}  // namespace tvl
