#include "jobjournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <iterator>

#include "fileio.h"

namespace tvl {

namespace {

constexpr std::string_view kStart = "start";
constexpr std::string_view kEnd = "end";
constexpr std::size_t kStartFields = 12;  // kind .. log file, then the checksum
constexpr std::size_t kEndFields = 8;
// No record comes near this; a longer line is damage, not a record.
constexpr std::size_t kMaxRecordBytes = std::size_t{64} * 1024;
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;

std::uint32_t fnv1a(std::string_view bytes) {
    std::uint32_t h = 2166136261u;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

// A field may hold any byte but the separators: TAB, LF, CR and the backslash itself are
// written as \t, \n, \r and \\.
void appendField(std::string& out, std::string_view text) {
    out += '\t';
    for (const char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
}

std::optional<std::string> unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::string localText(const LocalDateTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.date.year, t.date.month,
                  t.date.day, t.hour, t.minute, t.second);
    return buf;
}

bool readNumber(std::string_view text, long long& out) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    long long n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = n * 10 + (c - '0');
    }
    out = n;
    return true;
}

bool parseLocal(std::string_view text, LocalDateTime& out) {
    if (text.size() != 19 || text[10] != 'T' || text[13] != ':' || text[16] != ':') {
        return false;
    }
    CivilDate date;
    if (!parseIsoDate(std::string(text.substr(0, 10)), date)) {
        return false;
    }
    long long h = 0, m = 0, s = 0;
    if (!readNumber(text.substr(11, 2), h) || !readNumber(text.substr(14, 2), m) ||
        !readNumber(text.substr(17, 2), s) || h > 23 || m > 59 || s > 60) {
        return false;
    }
    out = {date, static_cast<int>(h), static_cast<int>(m), static_cast<int>(s)};
    return true;
}

std::string sealed(std::string body) {
    char sum[16];
    std::snprintf(sum, sizeof sum, "\t%08x\n", static_cast<unsigned>(fnv1a(body)));
    body += sum;
    return body;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', from);
        out.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (tab == std::string_view::npos) {
            return out;
        }
        from = tab + 1;
    }
}

// One parsed line: a start (a whole record) or an end (the end fields and the id).
struct Parsed {
    bool start = false;
    JobRecord job;
};

// A line without its LF; none when it is not a record of this journal.
std::optional<Parsed> parseLine(std::string_view line) {
    const std::size_t lastTab = line.rfind('\t');
    if (lastTab == std::string_view::npos || line.size() - lastTab != 9) {
        return std::nullopt;
    }
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(fnv1a(line.substr(0, lastTab))));
    if (line.substr(lastTab + 1) != std::string_view(sum, 8)) {
        return std::nullopt;
    }
    const std::vector<std::string_view> raw = splitTabs(line);
    std::vector<std::string> f;
    for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
        auto text = unescape(raw[i]);
        if (!text) {
            return std::nullopt;
        }
        f.push_back(std::move(*text));
    }
    Parsed p;
    JobRecord& job = p.job;
    long long epoch = 0;
    if (f.size() + 1 >= kStartFields && f[0] == kStart) {
        p.start = true;
        job.id = f[1];
        if (!readNumber(f[2], epoch) || !parseLocal(f[3], job.startLocal)) {
            return std::nullopt;
        }
        job.started = static_cast<std::time_t>(epoch);
        if (f[4] != "-") {
            CivilMinute due = 0;
            if (!parseMinuteText(f[4], due)) {
                return std::nullopt;
            }
            job.dueMinute = due;
        }
        job.taskName = f[5];
        job.ip = f[6];
        job.port = f[7];
        job.backupType = f[8];
        job.backupFile = f[9];
        job.logFile = f[10];
        return p;
    }
    if (f.size() + 1 >= kEndFields && f[0] == kEnd) {
        job.id = f[1];
        const auto outcome = jobOutcomeFromWord(f[4]);
        if (!readNumber(f[2], epoch) || !parseLocal(f[3], job.endLocal) || !outcome ||
            *outcome == JobOutcome::Running) {
            return std::nullopt;
        }
        job.ended = static_cast<std::time_t>(epoch);
        job.outcome = *outcome;
        job.lastLine = f[5];
        job.reason = f[6];
        return p;
    }
    return std::nullopt;
}

void foldEnd(JobRecord& into, const JobRecord& end) {
    into.outcome = end.outcome;
    into.ended = end.ended;
    into.endLocal = end.endLocal;
    into.lastLine = end.lastLine;
    into.reason = end.reason;
}

// Calls each(line) for every complete line of the file from `offset` on, and leaves
// offset after the last complete line. False when the file cannot be read.
template <typename Each>
bool readLines(int fd, std::uint64_t& offset, JobJournal::ReadStats& stats, Each each) {
    std::string pending;
    bool skipping = false;  // inside a line longer than any record
    char buf[kReadChunk];
    std::uint64_t at = offset;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        std::string_view chunk(buf, static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
        for (;;) {
            const std::size_t lf = chunk.find('\n');
            if (lf == std::string_view::npos) {
                if (!skipping) {
                    pending.append(chunk);
                    if (pending.size() > kMaxRecordBytes) {
                        skipping = true;
                        pending.clear();
                    }
                }
                break;
            }
            if (skipping) {
                ++stats.damaged;
                skipping = false;
            } else {
                pending.append(chunk.substr(0, lf));
                if (!pending.empty()) {
                    if (auto parsed = parseLine(pending)) {
                        ++stats.records;
                        each(*parsed);
                    } else {
                        ++stats.damaged;
                    }
                }
            }
            pending.clear();
            chunk.remove_prefix(lf + 1);
            offset = at - chunk.size();
        }
    }
    stats.tornTail = skipping || !pending.empty();
    return true;
}

std::string newJobId(std::time_t now) {
    static std::atomic<unsigned> counter{0};
    return std::to_string(static_cast<long long>(now)) + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(++counter);
}

}  // namespace

const char* jobOutcomeWord(JobOutcome outcome) {
    static constexpr const char* kWords[] = {"running", "completed", "failed", "unknown"};
    static_assert(std::size(kWords) == std::size(kJobOutcomes));
    const auto i = static_cast<std::size_t>(outcome);
    return i < std::size(kWords) ? kWords[i] : "unknown";
}

std::optional<JobOutcome> jobOutcomeFromWord(std::string_view word) {
    for (const JobOutcome o : kJobOutcomes) {
        if (word == jobOutcomeWord(o)) {
            return o;
        }
    }
    return std::nullopt;
}

std::string journalStartLine(const JobRecord& job) {
    std::string body(kStart);
    appendField(body, job.id);
    appendField(body, std::to_string(static_cast<long long>(job.started)));
    appendField(body, localText(job.startLocal));
    appendField(body, job.dueMinute ? minuteText(*job.dueMinute) : "-");
    for (const std::string* text :
         {&job.taskName, &job.ip, &job.port, &job.backupType, &job.backupFile, &job.logFile}) {
        appendField(body, *text);
    }
    return sealed(std::move(body));
}

std::string journalEndLine(const JobRecord& job) {
    std::string body(kEnd);
    appendField(body, job.id);
    appendField(body, std::to_string(static_cast<long long>(job.ended)));
    appendField(body, localText(job.endLocal));
    appendField(body, jobOutcomeWord(job.outcome));
    appendField(body, job.lastLine);
    appendField(body, job.reason);
    return sealed(std::move(body));
}

JobJournal::JobJournal(std::string path) : m_path(std::move(path)) {}

namespace {

bool appendRecord(const std::string& path, const std::string& line) {
    const int fd = openRegularFile(path, O_RDWR | O_APPEND | O_CREAT, 0644, nullptr);
    if (fd < 0) {
        return false;
    }
    // A record torn by a kill in the middle of an append would swallow this one: it starts
    // on a line of its own.
    std::string bytes;
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n') {
        bytes = "\n";
    }
    bytes += line;
    const bool ok = writeAllBytes(fd, bytes) && ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

}  // namespace

bool JobJournal::appendStart(JobRecord& job) {
    if (job.id.empty()) {
        job.id = newJobId(job.started);
    }
    return appendRecord(m_path, journalStartLine(job));
}

bool JobJournal::appendEnd(const JobRecord& job) {
    if (job.id.empty() || !job.finished()) {
        return false;
    }
    return appendRecord(m_path, journalEndLine(job));
}

std::vector<JobRecord> JobJournal::readAll(ReadStats* stats, std::time_t startedSince) const {
    ReadStats local;
    ReadStats& s = stats != nullptr ? *stats : local;
    s = {};
    std::vector<JobRecord> jobs;
    FileProblem why = FileProblem::None;
    const int fd = openRegularFile(m_path, O_RDONLY, 0, &why);
    if (fd < 0) {
        s.readable = ::access(m_path.c_str(), F_OK) != 0;
        return jobs;
    }
    std::map<std::string, std::size_t> byId;
    std::uint64_t offset = 0;
    s.readable = readLines(fd, offset, s, [&](Parsed& p) {
        if (p.start) {
            if (p.job.started >= startedSince && !byId.count(p.job.id)) {
                byId.emplace(p.job.id, jobs.size());
                jobs.push_back(std::move(p.job));
            }
            return;
        }
        const auto it = byId.find(p.job.id);
        if (it != byId.end() && !jobs[it->second].finished()) {
            foldEnd(jobs[it->second], p.job);
        }
    });
    ::close(fd);
    return jobs;
}

namespace {

// Where a reader that stopped at `readTo` of the journal file it knows by device and inode
// goes on in the open journal `fd`: where it stopped, or at the start of a journal that
// was replaced or shortened since (the file it knows becomes this one); nowhere when the
// file cannot be looked at.
enum class ReadFrom { LastPlace, Start, Nowhere };

ReadFrom readFrom(int fd, dev_t& dev, ino_t& ino, std::uint64_t readTo) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return ReadFrom::Nowhere;
    }
    if (st.st_dev == dev && st.st_ino == ino && static_cast<std::uint64_t>(st.st_size) >= readTo) {
        return ReadFrom::LastPlace;
    }
    dev = st.st_dev;
    ino = st.st_ino;
    return ReadFrom::Start;
}

}  // namespace

std::vector<JobRecord> JobJournal::unfinished() {
    const int fd = openRegularFile(m_path, O_RDONLY, 0, nullptr);
    if (fd < 0) {
        return {};
    }
    const ReadFrom from = readFrom(fd, m_dev, m_ino, m_readTo);
    if (from == ReadFrom::Nowhere) {
        ::close(fd);
        return {};
    }
    if (from == ReadFrom::Start) {
        m_readTo = 0;
        m_open.clear();
        m_openOrder.clear();
    }
    ReadStats stats;
    readLines(fd, m_readTo, stats, [&](Parsed& p) {
        if (p.start) {
            if (!m_open.count(p.job.id)) {
                m_openOrder.push_back(p.job.id);
                m_open.emplace(p.job.id, std::move(p.job));
            }
        } else {
            m_open.erase(p.job.id);
        }
    });
    ::close(fd);
    std::vector<JobRecord> out;
    std::vector<std::string> still;
    for (const std::string& id : m_openOrder) {
        const auto it = m_open.find(id);
        if (it != m_open.end()) {
            still.push_back(id);
            out.push_back(it->second);
        }
    }
    m_openOrder = std::move(still);
    return out;
}

JournalDigest::JournalDigest(std::string path) : m_path(std::move(path)) {}

void JournalDigest::restart() {
    m_readTo = 0;
    m_began.reset();
    m_last.clear();
    m_recent.clear();
    m_openTask.clear();
}

void JournalDigest::keepSince(std::time_t since) {
    if (since == m_keepSince) {
        return;
    }
    if (since < m_keepSince) {
        // The jobs before the old moment were not kept: they are read again.
        m_keepSince = since;
        m_dev = 0;
        m_ino = 0;
        return;
    }
    m_keepSince = since;
    std::erase_if(m_recent, [since](const JobRecord& job) { return job.started < since; });
}

bool JournalDigest::update() {
    FileProblem why = FileProblem::None;
    const int fd = openRegularFile(m_path, O_RDONLY, 0, &why);
    if (fd < 0) {
        if (::access(m_path.c_str(), F_OK) != 0) {
            restart();  // no journal: no jobs
            return true;
        }
        return false;
    }
    const ReadFrom from = readFrom(fd, m_dev, m_ino, m_readTo);
    if (from == ReadFrom::Nowhere) {
        ::close(fd);
        return false;
    }
    if (from == ReadFrom::Start) {
        restart();
    }
    JobJournal::ReadStats stats;
    const bool ok = readLines(fd, m_readTo, stats, [&](Parsed& p) {
        if (p.start) {
            if (m_openTask.count(p.job.id) ||
                (m_last.count(p.job.taskName) && m_last[p.job.taskName].id == p.job.id)) {
                return;  // a second start of one job changes nothing
            }
            if (!m_began || p.job.started < *m_began) {
                m_began = p.job.started;
            }
            m_openTask.emplace(p.job.id, p.job.taskName);
            if (p.job.started >= m_keepSince) {
                m_recent.push_back(p.job);
            }
            std::string name = p.job.taskName;
            m_last.insert_or_assign(std::move(name), std::move(p.job));
            return;
        }
        const auto open = m_openTask.find(p.job.id);
        if (open == m_openTask.end()) {
            return;  // an end without its start, or a second end
        }
        const auto last = m_last.find(open->second);
        if (last != m_last.end() && last->second.id == p.job.id) {
            foldEnd(last->second, p.job);
        }
        // A job that ends is mostly one of the last started.
        for (auto it = m_recent.rbegin(); it != m_recent.rend(); ++it) {
            if (it->id == p.job.id) {
                foldEnd(*it, p.job);
                break;
            }
        }
        m_openTask.erase(open);
    });
    ::close(fd);
    return ok;
}

}  // namespace tvl
