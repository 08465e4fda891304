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
};

JobWatch::JobWatch(ControlFactory factory, const Clock& clock, const MessageTable& messages,
                   ActivityLog& log, JudgeSettings judge, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_messages(messages),
      m_log(log),
      m_judge(std::move(judge)),
      m_journal(std::make_shared<JobJournal>(kJournalFileName)) {
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

void JobWatch::pass(bool follow) {
    if (m_worker->busy()) {
        // Once more after the running pass, following when any of the asks did.
        m_again = m_again.value_or(false) || follow;
        return;
    }
    start(follow);
}

void JobWatch::start(bool follow) {
    auto result = std::make_shared<Result>();
    const std::shared_ptr<JobJournal> journal = m_journal;
    const JudgeSettings judge = m_judge;
    const std::time_t now = m_clock.now();
    auto job = [result, journal, judge, now, follow](VismControl& control, ControlContext&,
                                                     const std::atomic<bool>& cancelled) {
        if (follow) {
            result->ended = followJobs(control, *journal, judge, now, &cancelled);
        }
        if (cancelled) {
            return;
        }
        // Jobs come in start order: the last one of a task wins.
        for (JobRecord& j : JobJournal(journal->path()).readAll()) {
            std::string name = j.taskName;
            result->last.insert_or_assign(std::move(name), std::move(j));
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
    emit lastJobsChanged();
    for (const JobRecord& job : result.ended) {
        emit jobEnded(job);
    }
    if (m_again) {
        const bool follow = *m_again;
        m_again.reset();
        start(follow);
    }
}

}  // namespace tvl::ui
