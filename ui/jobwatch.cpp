#include "jobwatch.h"

#include <atomic>
#include <cstdio>

#include "controlworker.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/messagetable.h"
#include "server/vismcontrol.h"

namespace tvl::ui {

struct JobWatch::Result {
    std::vector<JobRecord> ended;
    std::map<std::string, JobRecord> last;
    std::vector<HistoryRow> missed;
};

JobWatch::JobWatch(ControlFactory factory, const Clock& clock, const MessageTable& messages,
                   ActivityLog& log, JudgeSettings judge, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_messages(messages),
      m_log(log),
      m_judge(std::move(judge)),
      m_journal(std::make_shared<JobJournal>(kJournalFileName)),
      m_digest(std::make_shared<JournalDigest>(kJournalFileName)) {
    m_worker = new ControlWorker(std::move(factory), clock, messages, log, this);
}

JobWatch::~JobWatch() = default;

bool JobWatch::busy() const {
    return m_worker->busy();
}

const JobRecord* JobWatch::lastJob(const std::string& taskName) const {
    const auto it = m_last.find(taskName);
    return it == m_last.end() ? nullptr : &it->second;
}

void JobWatch::pass(bool follow, std::optional<MissedStartWatch::Span> missed,
                    const TaskLines& lines) {
    if (m_worker->busy()) {
        // Once more after the running pass, following when any of the asks did, looking
        // at every minute any of them asked for.
        m_again = m_again.value_or(false) || follow;
        if (missed) {
            m_againMissed = m_againMissed ? joinSpans(*m_againMissed, *missed) : *missed;
            m_againLines = lines;
        }
        return;
    }
    start(follow, missed, lines);
}

void JobWatch::start(bool follow, std::optional<MissedStartWatch::Span> missed,
                     const TaskLines& lines) {
    auto result = std::make_shared<Result>();
    const std::shared_ptr<JobJournal> journal = m_journal;
    const std::shared_ptr<JournalDigest> digest = m_digest;
    const JudgeSettings judge = m_judge;
    const std::time_t now = m_clock.now();
    auto job = [result, journal, digest, judge, now, follow, missed, lines](
                   VismControl& control, ControlContext&, const std::atomic<bool>& cancelled) {
        if (follow) {
            result->ended = followJobs(control, *journal, judge, now, &cancelled);
        }
        if (cancelled) {
            return;
        }
        // Only what was appended since the last pass is read.
        digest->update();
        result->last = digest->lastJobs();
        if (missed) {
            result->missed = missedStarts(*digest, lines, *missed, now);
        }
    };
    std::string why;
    if (!m_worker->start(
            std::move(job), [this, result] { passEnded(*result); }, false, &why)) {
        std::fprintf(stderr, "tarvel: %s\n", why.c_str());
    }
}

void JobWatch::passEnded(const Result& result) {
    m_last = result.last;
    for (const JobRecord& job : result.ended) {
        // The end is journaled already; a log that cannot be written loses only its line.
        if (!writeJobEnded(m_log, m_messages, job)) {
            std::fprintf(stderr, "tarvel: Cannot write to %s\n", kLogFileName);
        }
    }
    for (const HistoryRow& row : result.missed) {
        if (!writeStartMissed(m_log, m_messages, row.taskName, *row.planned)) {
            std::fprintf(stderr, "tarvel: Cannot write to %s\n", kLogFileName);
        }
    }
    emit lastJobsChanged();
    for (const JobRecord& job : result.ended) {
        emit jobEnded(job);
    }
    if (!result.missed.empty()) {
        emit startsMissed(result.missed);
    }
    if (m_again) {
        const bool follow = *m_again;
        std::optional<MissedStartWatch::Span> missed = m_againMissed;
        const TaskLines lines = m_againLines;
        m_again.reset();
        m_againMissed.reset();
        m_againLines = {};
        start(follow, missed, lines);
    }
}

}  // namespace tvl::ui
