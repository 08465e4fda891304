#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "core/history.h"
#include "core/jobjournal.h"
#include "core/tasklines.h"
#include "server/jobfollower.h"

namespace tvl {
class ActivityLog;
class Clock;
class MessageTable;
class VismControl;
}  // namespace tvl

namespace tvl::ui {

class ControlWorker;

// How the backup jobs the program started have ended, learnt off the window thread.
//
// Once a minute, after the minute's due starts, a pass runs on a worker with a control
// instance of its own: while this program holds the folder's scheduler lock it follows the
// unfinished jobs (reads their logs on the servers, journals their ends) and looks for the
// planned starts of the minutes it checked that got no job; in any case it reads what was
// appended to the journal since the last pass for the last job of every task, so the
// window shows what another Tarvel or the service following the folder has learnt. A
// start is never delayed by a pass and a pass never opens a box. A pass asked for while
// one runs is run once after it. Back on the window thread each ended job gets its
// "tskend" line in the activity log and goes to the window (jobEnded), each missed start
// its "tskmiss" line (startsMissed).
class JobWatch : public QObject {
    Q_OBJECT
public:
    using ControlFactory = std::function<std::unique_ptr<VismControl>()>;

    // `clock`, `messages` and `log` must outlive this object.
    JobWatch(ControlFactory factory, const Clock& clock, const MessageTable& messages,
             ActivityLog& log, JudgeSettings judge, QObject* parent = nullptr);
    ~JobWatch() override;

    // A pass: `follow` while this program starts the folder's backups, else only the
    // journal is read. `missed`: the minutes to look at for missed starts of `lines` (the
    // task list the minute timer checked them with).
    void pass(bool follow, std::optional<MissedStartWatch::Span> missed = std::nullopt,
              const TaskLines& lines = {});
    bool busy() const;

    // The last job of a task by its name (bytes as in the task file); none when the
    // journal has none.
    const JobRecord* lastJob(const std::string& taskName) const;

signals:
    // A job's end was journaled by this program.
    void jobEnded(const tvl::JobRecord& job);
    // The last jobs have been read again.
    void lastJobsChanged();
    // Planned starts that got no backup job, each told once; their lines are in the log.
    void startsMissed(const std::vector<tvl::HistoryRow>& rows);

private:
    struct Result;
    void start(bool follow, std::optional<MissedStartWatch::Span> missed, const TaskLines& lines);
    void passEnded(const Result& result);

    const Clock& m_clock;
    const MessageTable& m_messages;
    ActivityLog& m_log;
    JudgeSettings m_judge;
    ControlWorker* m_worker = nullptr;
    // Used by one pass at a time, on the worker's thread.
    std::shared_ptr<JobJournal> m_journal;
    std::shared_ptr<JournalDigest> m_digest;
    std::map<std::string, JobRecord> m_last;
    // What the pass after the running one is to do.
    std::optional<bool> m_again;
    std::optional<MissedStartWatch::Span> m_againMissed;
    TaskLines m_againLines;
};

}  // namespace tvl::ui
