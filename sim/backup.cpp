#include "sim/backup.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "sim/interp.h"
#include "sim/mvalue.h"

namespace tvl::sim {

namespace fs = std::filesystem;

namespace {

const std::string kSys = "SYS";
const std::string kHistory = "BACKUPHISTORY";

std::string localTimeText(std::int64_t ns) {
    std::time_t t = static_cast<std::time_t>(ns / 1000000000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string typeName(const std::string& type) {
    if (type == "F") {
        return "Full";
    }
    if (type == "C") {
        return "Cumulative";
    }
    if (type == "I") {
        return "Incremental";
    }
    return "unknown type";
}

// The permission bits new files get under the server's umask (read once: umask can only be
// read by setting it).
mode_t creationMode(mode_t wanted) {
    static const mode_t mask = [] {
        mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return wanted & ~mask;
}

// The job's log; without a log file the lines go to the diagnostics.
//
// The log is a new file of the job's own, created under a temporary name and renamed over
// the log's name at once: whatever a client planted at that name (a symbolic link to a file
// it wants overwritten, a hard link to one) is replaced, never followed or written through.
// A name that exists as anything but a regular file (a folder, a FIFO, a link) is refused.
class JobLog {
public:
    JobLog(const std::string& path, std::function<void(const std::string&)> diagnostics)
        : m_path(path), m_diagnostics(std::move(diagnostics)) {
        if (path.empty()) {
            m_diagnostics("backup job has no log file; its log follows here");
            return;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            m_diagnostics("cannot write backup log " + path +
                          ": the name exists and is not a regular file; its log follows here");
            return;
        }
        std::string tmp = path + ".new-XXXXXX";
        int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (fd < 0) {
            refuse();
            return;
        }
        ::fchmod(fd, creationMode(0644));
        if (::rename(tmp.c_str(), path.c_str()) != 0) {
            refuse();
            ::unlink(tmp.c_str());
            ::close(fd);
            return;
        }
        m_fd = fd;
    }
    ~JobLog() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    JobLog(const JobLog&) = delete;
    JobLog& operator=(const JobLog&) = delete;

    // Each line goes out in one write, so a watcher never reads half of one. Only the last
    // line is synced: the lines before it say nothing once the machine has gone down in the
    // middle of the job, and a sync each would cost more than a small job's whole walk.
    void line(const std::string& text, bool last = false) {
        if (m_fd >= 0) {
            std::string l = text + "\n";
            if (::write(m_fd, l.data(), l.size()) == static_cast<ssize_t>(l.size())) {
                if (last) {
                    ::fsync(m_fd);
                }
                return;
            }
            m_diagnostics("cannot write backup log " + m_path + ": " + std::strerror(errno));
            ::close(m_fd);
            m_fd = -1;
        }
        m_diagnostics("backup log: " + text);
    }
    int fd() const { return m_fd; }

private:
    void refuse() {
        m_diagnostics("cannot write backup log " + m_path + ": " + std::strerror(errno) +
                      "; its log follows here");
    }

    std::string m_path;
    std::function<void(const std::string&)> m_diagnostics;
    int m_fd = -1;
};

struct FileId {
    dev_t dev;
    ino_t ino;
    bool operator==(const FileId&) const = default;
};

class JobFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string sysReason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The name of a user or group id, or "" when it has none.
std::string ownerName(unsigned id, bool user) {
    std::vector<char> buf(16384);
    if (user) {
        passwd pw{}, *found = nullptr;
        if (::getpwuid_r(id, &pw, buf.data(), buf.size(), &found) == 0 && found) {
            return found->pw_name;
        }
    } else {
        group gr{}, *found = nullptr;
        if (::getgrgid_r(id, &gr, buf.data(), buf.size(), &found) == 0 && found) {
            return found->gr_name;
        }
    }
    return "";
}

// Writes the archive through libarchive into an open file.
class ArchiveWriter {
public:
    explicit ArchiveWriter(int fd) : m_archive(archive_write_new()) {
        // Large blocks: the archive goes to disk in few big writes, not one per 10 KiB.
        if (!m_archive || archive_write_set_format_pax_restricted(m_archive) != ARCHIVE_OK ||
            archive_write_set_bytes_per_block(m_archive, kBlock) != ARCHIVE_OK ||
            archive_write_set_bytes_in_last_block(m_archive, 1) != ARCHIVE_OK ||
            archive_write_open_fd(m_archive, fd) != ARCHIVE_OK) {
            throw JobFailed("cannot start the archive: " + error());
        }
    }
    ~ArchiveWriter() {
        if (m_archive) {
            archive_write_free(m_archive);
        }
    }
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Adds one open regular file whose status is `st`; returns the bytes stored.
    std::uint64_t add(int fd, const struct stat& st, const std::string& path,
                      const std::string& member, const std::atomic<bool>& cancel) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, member.c_str());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, st.st_mode & 07777);
        archive_entry_set_size(e, st.st_size);
        archive_entry_set_mtime(e, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        archive_entry_set_uid(e, st.st_uid);
        archive_entry_set_gid(e, st.st_gid);
        // Owner names too, so that a listing of the archive reads like one of the folder.
        if (const std::string& user = cachedName(m_users, st.st_uid, true); !user.empty()) {
            archive_entry_set_uname(e, user.c_str());
        }
        if (const std::string& group = cachedName(m_groups, st.st_gid, false); !group.empty()) {
            archive_entry_set_gname(e, group.c_str());
        }
        int rc = archive_write_header(m_archive, e);
        archive_entry_free(e);
        if (rc < ARCHIVE_WARN) {
            throw JobFailed("cannot write the archive: " + error());
        }
        // The header fixed the size: a file that grows meanwhile is cut there, one that
        // shrinks is padded by the archive library.
        std::uint64_t left = static_cast<std::uint64_t>(st.st_size);
        std::uint64_t stored = 0;
        if (m_buffer.empty()) {
            m_buffer.resize(kBlock);
        }
        while (left > 0) {
            if (cancel) {
                throw JobFailed("the server is shutting down");
            }
            ssize_t n = ::read(fd, m_buffer.data(), std::min<std::uint64_t>(m_buffer.size(), left));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw JobFailed(sysReason("cannot read " + path));
            }
            if (n == 0) {
                break;
            }
            if (archive_write_data(m_archive, m_buffer.data(), static_cast<std::size_t>(n)) != n) {
                throw JobFailed("cannot write the archive: " + error());
            }
            left -= static_cast<std::uint64_t>(n);
            stored += static_cast<std::uint64_t>(n);
        }
        if (archive_write_finish_entry(m_archive) < ARCHIVE_WARN) {
            throw JobFailed("cannot write the archive: " + error());
        }
        return stored;
    }

    void close() {
        if (archive_write_close(m_archive) != ARCHIVE_OK) {
            throw JobFailed("cannot write the archive: " + error());
        }
    }

private:
    std::string error() const {
        const char* s = m_archive ? archive_error_string(m_archive) : nullptr;
        return s ? s : "out of memory";
    }
    static const std::string& cachedName(std::map<unsigned, std::string>& cache, unsigned id,
                                         bool user) {
        auto it = cache.find(id);
        if (it == cache.end()) {
            it = cache.emplace(id, ownerName(id, user)).first;
        }
        return it->second;
    }

    static constexpr int kBlock = 1 << 20;

    archive* m_archive;
    std::vector<char> m_buffer;  // one read buffer for every file of the job
    std::map<unsigned, std::string> m_users;
    std::map<unsigned, std::string> m_groups;
};

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Files are opened without following links and without waiting: a FIFO or device put in
// place of a database file between the listing and the open must not hang the job.
constexpr int kOpenFile = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
constexpr int kOpenDir = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One database's walk: the regular files under it, recursively and in name order, without
// following symbolic links, into the archive. Each file costs one status call (a
// Cumulative or Incremental opens only the files it takes), and no path is resolved twice.
class DatabaseWalk {
public:
    DatabaseWalk(const BackupPlan& plan, ArchiveWriter& archive, JobLog& log,
                 const std::vector<FileId>& own, std::optional<std::int64_t> since,
                 const std::atomic<bool>& cancel)
        : m_plan(plan),
          m_archive(archive),
          m_log(log),
          m_own(own),
          m_since(since),
          m_cancel(cancel) {}

    void run(const std::string& dir) {
        Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.fd < 0) {
            throw JobFailed(sysReason("cannot read " + dir));
        }
        directory(fd.fd, dir, 0);
    }

    std::uint64_t files = 0;
    std::uint64_t bytes = 0;

private:
    struct Entry {
        std::string name;
        unsigned char type;
        bool operator<(const Entry& o) const { return name < o.name; }
    };

    void directory(int dirFd, const std::string& path, int depth) {
        if (depth > 256) {
            throw JobFailed("directories nested too deeply under " + path);
        }
        std::vector<Entry> entries = list(dirFd, path);
        for (const auto& e : entries) {
            if (m_cancel) {
                throw JobFailed("the server is shutting down");
            }
            unsigned char type = e.type;
            struct stat st {};
            bool haveStat = false;
            if (type == DT_UNKNOWN) {
                if (::fstatat(dirFd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue;  // gone since it was listed
                }
                type = IFTODT(st.st_mode);
                haveStat = true;
            }
            std::string full = path + e.name;
            if (type == DT_DIR) {
                Fd sub(::openat(dirFd, e.name.c_str(), kOpenDir));
                if (sub.fd >= 0) {
                    directory(sub.fd, full + "/", depth + 1);
                } else if (errno == ELOOP || errno == ENOTDIR) {
                    skipped(full);
                } else if (errno != ENOENT) {
                    throw JobFailed(sysReason("cannot read " + full));
                }
            } else if (type == DT_REG) {
                file(dirFd, e.name, full, haveStat ? &st : nullptr);
            } else if (type != DT_LNK) {
                skipped(full);
            }
        }
    }

    std::vector<Entry> list(int dirFd, const std::string& path) {
        int dupFd = ::dup(dirFd);
        DIR* d = dupFd >= 0 ? ::fdopendir(dupFd) : nullptr;
        if (!d) {
            if (dupFd >= 0) {
                ::close(dupFd);
            }
            throw JobFailed(sysReason("cannot read " + path));
        }
        std::vector<Entry> entries;
        errno = 0;
        while (dirent* de = ::readdir(d)) {
            if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0) {
                entries.push_back({de->d_name, de->d_type});
            }
            errno = 0;
        }
        int err = errno;
        ::closedir(d);
        if (err != 0) {
            errno = err;
            throw JobFailed(sysReason("cannot read " + path));
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    void file(int dirFd, const std::string& name, const std::string& full,
              const struct stat* known) {
        struct stat st {};
        if (m_since) {
            // Only the files changed since the base are opened.
            if (known) {
                st = *known;
            } else if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                return;  // gone since it was listed
            }
            if (!S_ISREG(st.st_mode)) {
                skipped(full);  // something else took the file's place
                return;
            }
            std::int64_t mtime =
                static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            if (mtime < *m_since || isOwn(st)) {
                return;
            }
        }
        if (m_plan.beforeOpen) {
            m_plan.beforeOpen(full);
        }
        Fd fd(::openat(dirFd, name.c_str(), kOpenFile));
        if (fd.fd < 0) {
            if (errno == ELOOP) {
                skipped(full);  // a symbolic link took the file's place
            } else if (errno != ENOENT) {
                throw JobFailed(sysReason("cannot read " + full));
            }
            return;
        }
        if (::fstat(fd.fd, &st) != 0) {
            throw JobFailed(sysReason("cannot read " + full));
        }
        if (!S_ISREG(st.st_mode)) {
            skipped(full);
            return;
        }
        if (isOwn(st)) {
            return;
        }
        bytes += m_archive.add(fd.fd, st, full, full.substr(1), m_cancel);
        ++files;
    }

    bool isOwn(const struct stat& st) const {
        return std::find(m_own.begin(), m_own.end(), FileId{st.st_dev, st.st_ino}) != m_own.end();
    }
    void skipped(const std::string& full) {
        m_log.line("Skipped " + full + ": not a regular file");
    }

    const BackupPlan& m_plan;
    ArchiveWriter& m_archive;
    JobLog& m_log;
    const std::vector<FileId>& m_own;
    std::optional<std::int64_t> m_since;
    const std::atomic<bool>& m_cancel;
};

std::optional<FileId> fileId(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return FileId{st.st_dev, st.st_ino};
}

// Removes what a job cut off by a stopped server left beside its archive.
void removePartialArchives(const std::string& archive) {
    if (archive.empty()) {
        return;
    }
    fs::path p(archive);
    std::string prefix = p.filename().string() + ".part-";
    std::error_code ec;
    fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            fs::remove(it->path(), ec);
        }
    }
}

}  // namespace

// File times come from the kernel's coarse clock; taking the job's start from the same
// clock means a file changed right after the start is never dated before it.
std::int64_t fileClockNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::string canonicalDirectory(const std::string& path) {
    if (path.empty()) {
        return "";
    }
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) {
        p = fs::path(path);
    }
    fs::path canon = fs::weakly_canonical(p, ec);
    if (ec) {
        canon = p.lexically_normal();
    }
    std::string s = canon.string();
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    if (s != "/") {
        s += '/';
    }
    return s;
}

BackupOutcome runBackup(const BackupPlan& plan, const std::atomic<bool>& cancel,
                        const std::function<void(const std::string&)>& diagnostics,
                        const std::function<std::int64_t()>& clock) {
    JobLog log(plan.log, diagnostics);
    log.line("Backup started " + localTimeText(plan.startNs) + ": " + typeName(plan.type) +
             " backup to " + plan.archive);
    BackupOutcome out;
    std::string tmp;
    int fd = -1;
    try {
        if (plan.type != "F" && plan.type != "C" && plan.type != "I") {
            throw JobFailed("unknown backup type \"" + plan.type + "\" (F, C or I expected)");
        }
        if (plan.archive.empty()) {
            throw JobFailed("no archive file named");
        }
        if (plan.directories.empty()) {
            throw JobFailed("no directories to back up");
        }
        std::vector<std::string> dirs;
        for (const auto& d : plan.directories) {
            std::string canon = canonicalDirectory(d);
            if (!plan.databases.count(canon)) {
                throw JobFailed("directory " + d + " is not a database of this server");
            }
            if (std::find(dirs.begin(), dirs.end(), canon) == dirs.end()) {
                dirs.push_back(canon);
            }
        }

        tmp = plan.archive + ".part-XXXXXX";
        fd = ::mkstemp(tmp.data());
        if (fd < 0) {
            tmp.clear();
            throw JobFailed(sysReason("cannot create archive " + plan.archive));
        }
        // Neither the archive being written nor the log may go into the archive, should
        // they lie inside a database.
        std::vector<FileId> own;
        if (auto id = fileId(fd)) {
            own.push_back(*id);
        }
        if (auto id = fileId(log.fd())) {
            own.push_back(*id);
        }

        ArchiveWriter archive(fd);
        for (const auto& dir : dirs) {
            auto since = plan.since.find(dir);
            DatabaseWalk walk(plan, archive, log, own,
                              since == plan.since.end()
                                  ? std::nullopt
                                  : std::optional<std::int64_t>(since->second),
                              cancel);
            walk.run(dir);
            log.line("Database " + dir + ": " + std::to_string(walk.files) + " files, " +
                     std::to_string(walk.bytes) + " bytes");
            out.files += walk.files;
            out.bytes += walk.bytes;
        }
        archive.close();
        if (::fsync(fd) != 0) {
            throw JobFailed(sysReason("cannot write archive " + plan.archive));
        }
        ::close(fd);
        fd = -1;
        if (::rename(tmp.c_str(), plan.archive.c_str()) != 0) {
            throw JobFailed(sysReason("cannot create archive " + plan.archive));
        }
        tmp.clear();
        fs::path parent = fs::path(plan.archive).parent_path();
        int dfd = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
        out.ok = true;
    } catch (const JobFailed& e) {
        out.ok = false;
        out.reason = e.what();
    } catch (const std::exception& e) {
        out.ok = false;
        out.reason = std::string("internal error: ") + e.what();
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (!tmp.empty()) {
        ::unlink(tmp.c_str());
    }
    if (out.ok) {
        log.line("Backup completed successfully " + localTimeText(clock()) + ": " +
                     std::to_string(out.files) + " files, " + std::to_string(out.bytes) + " bytes",
                 true);
    } else {
        log.line("Backup failed: " + out.reason, true);
    }
    return out;
}

// ---------------------------------------------------------------------------------------

BackupManager::BackupManager(GlobalStore& sys, std::function<void(const std::string&)> diagnostics,
                             std::function<std::int64_t()> clock)
    : m_sys(sys),
      m_diagnostics(std::move(diagnostics)),
      m_clock(clock ? std::move(clock) : fileClockNow) {
    // A job that was running when the server last stopped never finished.
    bool changed = false;
    for (const auto& id : m_sys.children({kSys, kHistory})) {
        if (m_sys.get({kSys, kHistory, id, "STATUS"}) == "RUNNING") {
            removePartialArchives(m_sys.get({kSys, kHistory, id, "FILE"}).value_or(""));
            m_sys.set({kSys, kHistory, id, "STATUS"}, "FAILED");
            m_sys.set({kSys, kHistory, id, "REASON"}, "the server stopped while the job ran");
            changed = true;
        }
    }
    if (changed) {
        m_sys.flush();
    }
}

BackupManager::~BackupManager() {
    cancel();
    waitAll();
}

std::optional<std::int64_t> BackupManager::sinceFor(const GlobalStore& sys, const std::string& type,
                                                    const std::string& canonicalDir) {
    if (type != "C" && type != "I") {
        return std::nullopt;
    }
    std::optional<std::int64_t> lastFull, lastAny;
    for (const auto& id : sys.children({kSys, kHistory})) {
        if (sys.get({kSys, kHistory, id, "STATUS"}) != "COMPLETED" ||
            !sys.get({kSys, kHistory, id, "DIRS", canonicalDir})) {
            continue;
        }
        std::string startText = sys.get({kSys, kHistory, id, "STARTNS"}).value_or("");
        if (!isCanonicalNumber(startText) || startText.size() > 18 + 1 || startText[0] == '-' ||
            startText.find('.') != std::string::npos ||
            (startText.size() == 19 && startText > "9223372036854775807")) {
            continue;
        }
        std::int64_t start = std::stoll(startText);
        std::string t = sys.get({kSys, kHistory, id, "TYPE"}).value_or("");
        if (t == "F") {
            lastFull = std::max(lastFull.value_or(start), start);
        }
        lastAny = std::max(lastAny.value_or(start), start);
    }
    // Without a Full to build on, every file goes in.
    if (!lastFull) {
        return std::nullopt;
    }
    return type == "C" ? lastFull : lastAny;
}

void BackupManager::start(const std::array<std::string, 10>& params) {
    std::lock_guard lock(m_mutex);
    reap(false);
    if (m_jobs.size() >= kMaxRunningJobs) {
        throw MError(err::kResource, "<RESOURCE>too many backup jobs running");
    }
    BackupPlan plan;
    plan.type = params[1];
    plan.archive = params[3];
    plan.log = params[5];
    plan.startNs = m_clock();
    const NodeKey listKey = {kSys, "BACKUPCHUI", "DIRECTORIES"};
    plan.directories = m_sys.children(listKey);
    for (const auto& db : m_sys.children({kSys, "UCI"})) {
        plan.databases.insert(canonicalDirectory(db));
    }
    for (const auto& d : plan.directories) {
        std::string canon = canonicalDirectory(d);
        if (auto since = sinceFor(m_sys, plan.type, canon)) {
            plan.since[canon] = *since;
        }
    }

    UndoLog undo;
    std::string last = m_sys.get({kSys, kHistory}).value_or("0");
    std::string id = numericValue(last);
    id = std::to_string(id.size() > 15 ? 1 : std::stoll(id.substr(0, id.find('.'))) + 1);
    plan.historyId = id;
    m_sys.set({kSys, kHistory}, id, &undo);
    m_sys.set({kSys, kHistory, id, "TYPE"}, plan.type, &undo);
    m_sys.set({kSys, kHistory, id, "FILE"}, plan.archive, &undo);
    m_sys.set({kSys, kHistory, id, "LOG"}, plan.log, &undo);
    m_sys.set({kSys, kHistory, id, "START"}, localTimeText(plan.startNs), &undo);
    m_sys.set({kSys, kHistory, id, "STARTNS"}, std::to_string(plan.startNs), &undo);
    m_sys.set({kSys, kHistory, id, "STATUS"}, "RUNNING", &undo);
    for (const auto& d : plan.directories) {
        m_sys.set({kSys, kHistory, id, "DIRS", canonicalDirectory(d)}, "", &undo);
    }
    try {
        m_sys.flush();
    } catch (const StoreError& e) {
        // The job is refused: its record must not stay behind to be written later.
        undo.rollback();
        throw MError(err::kDiskHard, std::string("<DISKHARD>") + e.what());
    }

    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread t([this, plan, done] {
            BackupOutcome outcome = runBackup(plan, m_cancel, m_diagnostics, m_clock);
            finish(plan.historyId, outcome);
            *done = true;
        });
        m_jobs.push_back(Job{std::move(t), done});
    } catch (const std::system_error& e) {
        // The job never ran: the history must not keep it as running.
        BackupOutcome outcome;
        outcome.reason = std::string("the job could not start: ") + e.what();
        finish(plan.historyId, outcome);
        throw MError(err::kResource, "<RESOURCE>" + outcome.reason);
    }
}

void BackupManager::finish(const std::string& id, const BackupOutcome& outcome) {
    m_sys.set({kSys, kHistory, id, "END"}, localTimeText(m_clock()));
    m_sys.set({kSys, kHistory, id, "STATUS"}, outcome.ok ? "COMPLETED" : "FAILED");
    if (!outcome.ok) {
        m_sys.set({kSys, kHistory, id, "REASON"}, outcome.reason);
    }
    try {
        m_sys.flush();
    } catch (const StoreError& e) {
        m_diagnostics(std::string("cannot record the end of backup job ") + id + ": " + e.what());
    }
}

void BackupManager::reap(bool all) {
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (all || *it->done) {
            it->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void BackupManager::waitAll() {
    std::lock_guard lock(m_mutex);
    reap(true);
}

bool BackupManager::waitAll(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::lock_guard lock(m_mutex);
    while (true) {
        reap(false);
        if (m_jobs.empty()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace tvl::sim
