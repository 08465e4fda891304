#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "civil.h"
#include "minutewalk.h"

namespace tvl {

inline constexpr const char* kJournalFileName = "jobs.jnl";

// How a backup job the program started has ended, as far as the program knows.
enum class JobOutcome {
    Running,    // started; its log has not said yet how it ended
    Completed,  // the log's last line says the backup completed
    Failed,     // the log's last line says the backup failed
    Unknown,    // the log could not be read, or said nothing of an end within the bound
};

// "running", "completed", "failed", "unknown": the words the journal and the command-line
// tool use.
const char* jobOutcomeWord(JobOutcome outcome);
std::optional<JobOutcome> jobOutcomeFromWord(std::string_view word);

// One backup job: what the run sent when it started it, and how it ended. Texts are bytes
// as the task file and the server have them.
struct JobRecord {
    std::string id;  // unique in the journal; given by appendStart
    std::string taskName;
    std::string ip;
    std::string port;
    std::string backupType;  // "Cumulative", "Full" or "Incremental"
    std::string backupFile;  // as sent to the server, the job's archive
    std::string logFile;     // as sent to the server, the job's own log
    std::time_t started = 0;
    LocalDateTime startLocal;
    // The minute the minute timer found the task due in; none for a run started by hand.
    std::optional<CivilMinute> dueMinute;

    JobOutcome outcome = JobOutcome::Running;
    std::time_t ended = 0;  // only when the outcome is not Running
    LocalDateTime endLocal;
    std::string lastLine;  // the log's last line as it stands; empty when never read
    std::string reason;    // Failed: from the log; Unknown: why the end is not known

    bool finished() const { return outcome != JobOutcome::Running; }
    friend bool operator==(const JobRecord&, const JobRecord&) = default;
};

// The job journal beside the task file: one text line per event, a job's start and later
// its end, each appended in one write and flushed to disk before the call returns. A line
// carries its own checksum, so a record torn by a kill or a crash in the middle of an
// append is recognised and passed over, and the next append starts on a line of its own.
// Several programs may append to one journal at once.
class JobJournal {
public:
    explicit JobJournal(std::string path = kJournalFileName);
    const std::string& path() const { return m_path; }

    // Appends the start of a job; gives the record its id when it has none. False when the
    // record could not be written whole.
    bool appendStart(JobRecord& job);
    // Appends the end of a job: its id, ended, endLocal, outcome, lastLine and reason.
    bool appendEnd(const JobRecord& job);

    struct ReadStats {
        std::size_t records = 0;  // complete records read
        std::size_t damaged = 0;  // lines that are no record (torn, altered)
        bool tornTail = false;    // the file ends inside a record
        bool readable = true;     // false: the journal exists but cannot be read
    };
    // Every job whose start record is in the journal, start and end folded into one record,
    // in the order they were started. A missing journal holds no jobs. startedSince leaves
    // out the jobs started before that moment.
    std::vector<JobRecord> readAll(ReadStats* stats = nullptr, std::time_t startedSince = 0) const;
    // The jobs that have no end record yet, in start order. Reads only what was appended
    // since the last call on this object; a journal replaced meanwhile is read anew.
    std::vector<JobRecord> unfinished();

private:
    std::string m_path;
    // What unfinished() has read so far.
    std::uint64_t m_readTo = 0;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::vector<std::string> m_openOrder;
    std::map<std::string, JobRecord> m_open;
};

// What a program that shows the jobs keeps of the journal between minutes: the last job of
// every task and the jobs started since a moment. Each update reads only what was appended
// since the one before (the journal is only ever appended to); a torn last record is read
// again by the next update, once its writer has finished it, and a journal replaced or
// cut short is read anew. A year-old journal costs one full read, at the first update.
class JournalDigest {
public:
    explicit JournalDigest(std::string path = kJournalFileName);
    const std::string& path() const { return m_path; }

    // False when the journal exists but cannot be read; what was read before stays.
    bool update();
    // The last job started of each task, by task name.
    const std::map<std::string, JobRecord>& lastJobs() const { return m_last; }
    // The jobs started at or after keepSince(), in start order; none until it is called.
    const std::vector<JobRecord>& recentJobs() const { return m_recent; }
    // Drops the kept jobs started before `since`; later updates keep none older. A moment
    // before the one given last has the next update read the journal anew.
    void keepSince(std::time_t since);
    // When the journal's first job was started; none while it holds none.
    std::optional<std::time_t> began() const { return m_began; }

private:
    void restart();

    std::string m_path;
    std::uint64_t m_readTo = 0;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::time_t m_keepSince = std::numeric_limits<std::time_t>::max();
    std::optional<std::time_t> m_began;
    std::map<std::string, JobRecord> m_last;
    std::vector<JobRecord> m_recent;
    // The task of each job whose end has not been read yet, to fold the end in.
    std::map<std::string, std::string> m_openTask;
};

// The record lines, for the tests and the documentation's examples.
std::string journalStartLine(const JobRecord& job);
std::string journalEndLine(const JobRecord& job);

}  // namespace tvl
