#include "taskfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "taskline.h"

namespace tvl {

namespace {

std::string_view beforeNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace

std::size_t countTextLines(std::string_view text) {
    text = beforeNul(text);
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            ++count;
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        }
    }
    const char last = text.empty() ? '\n' : text.back();
    return count + (last != '\r' && last != '\n' ? 1 : 0);
}

std::vector<std::string> splitTextLines(std::string_view text) {
    text = beforeNul(text);
    std::vector<std::string> lines;
    // Sized once: a list that doubles its way up would hold twice the lines for a moment.
    lines.reserve(countTextLines(text));
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

bool selectorNames(const TaskLines& lines, std::vector<std::string_view>& names) {
    names.clear();
    names.reserve(lines.savedCount());
    for (const std::string_view line : lines) {
        if (line.empty()) {
            return false;  // an empty line has no first byte to walk by
        }
        if (line.front() == kSepIp) {
            break;
        }
        names.emplace_back(lineTaskName(line));
    }
    return true;
}

std::size_t savedTaskCount(const TaskLines& lines) {
    return lines.savedCount();
}

TaskFileLoad loadTasks(const std::string& path) {
    TaskFileLoad result;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            result.status = TaskFileLoad::Status::CannotCreate;
            return result;
        }
        ::close(fd);
        return result;
    }
    return readTasks(path);
}

TaskFileLoad readTasks(const std::string& path) {
    TaskFileLoad result;
    std::unique_ptr<char[]> text;
    std::size_t size = 0;
    if (!readRegularFile(path, text, size, kMaxTextFileBytes, &result.problem)) {
        result.status = TaskFileLoad::Status::CannotRead;
        return result;
    }
    // The lines stay views into the text as it was read.
    const std::string_view view(text.get(), size);
    if (!result.lines.assign(std::shared_ptr<const char[]>(std::move(text)), view,
                             kMaxTextFileLines)) {
        result.status = TaskFileLoad::Status::CannotRead;
        result.problem = FileProblem::TooLarge;
        return result;
    }
    if (!selectorNames(result.lines, result.names)) {
        result.status = TaskFileLoad::Status::EmptyLine;
        result.lines.clear();
        result.names.clear();
    }
    return result;
}

namespace {

// The file a save must replace: a symbolic link is followed, so the link stays a link.
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        std::string buf(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size());
        if (n <= 0) {
            return target;
        }
        buf.resize(static_cast<std::size_t>(n));
        if (buf.front() == '/') {
            target = buf;
        } else {
            const std::size_t slash = target.rfind('/');
            target =
                (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + buf;
        }
    }
    return target;
}

std::string directoryOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : file.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

constexpr std::string_view kTempMarker = ".tmp.";
constexpr std::string_view kTempLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempSuffixLength = 8;

// A name of its own beside the file, created new: O_EXCL and O_NOFOLLOW make sure the
// text never goes into a file, a link or a hard link that someone put there first.
int createTemporary(const std::string& target, std::string& tmp) {
    std::random_device seed;
    std::mt19937_64 pick((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = target + std::string(kTempMarker);
        for (std::size_t i = 0; i < kTempSuffixLength; ++i) {
            tmp += kTempLetters[pick() % kTempLetters.size()];
        }
        const int fd =
            ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool isTemporaryName(std::string_view name, std::string_view base) {
    if (name.substr(0, base.size()) != base) {
        return false;
    }
    name.remove_prefix(base.size());
    // ".tmp" alone is the fixed name that earlier versions of the program used.
    if (name == ".tmp") {
        return true;
    }
    if (name.substr(0, kTempMarker.size()) != kTempMarker ||
        name.size() != kTempMarker.size() + kTempSuffixLength) {
        return false;
    }
    name.remove_prefix(kTempMarker.size());
    return name.find_first_not_of(kTempLetters) == std::string_view::npos;
}

// A save cut short by a crash leaves its temporary file behind. Only what this program
// could have left there goes: a regular file of this user with no other name. A link, a
// hard link to someone's file, a directory or another user's file stays as it is.
void removeLeftovers(const std::string& target) {
    const std::string dir = directoryOf(target);
    const std::string base = baseNameOf(target);
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        if (!isTemporaryName(e->d_name, base)) {
            continue;
        }
        const std::string name = (dir == "." ? std::string() : dir) + e->d_name;
        struct stat st {};
        if (::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
            st.st_uid == ::geteuid()) {
            ::unlink(name.c_str());
        }
    }
    ::closedir(d);
}

bool writeAll(int fd, const std::string& text, const SaveSeams* seams) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n =
            (seams && seams->write) ? seams->write(fd, p, left) : ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool saveTasks(const std::string& path, const TaskLines& lines, const SaveSeams* seams) {
    std::size_t size = 0;
    for (const std::string_view line : lines) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }

    const std::string target = resolveTarget(path);
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    removeLeftovers(target);

    std::string tmp;
    const int fd = createTemporary(target, tmp);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, text, seams);
    if (ok && replacing) {
        // The new file takes the owner and group of the one it replaces where the process
        // may give them (only root may give a file away); the bits come after, since a
        // change of owner clears the set-id bits.
        const bool given = ::fchown(fd, st.st_uid, st.st_gid) == 0 ||
                           ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
        static_cast<void>(given);  // else the file stays this user's, as a new one would
    }
    ok = ok && ::fchmod(fd, replacing ? st.st_mode & 07777 : 0644) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        const int rc = (seams && seams->rename) ? seams->rename(tmp.c_str(), target.c_str())
                                                : ::rename(tmp.c_str(), target.c_str());
        ok = rc == 0;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // The rename itself must reach the disk, or a crash could bring the old file back.
    const std::string dir = directoryOf(target);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::size_t TaskList::store(std::size_t entry, std::string line) {
    const std::size_t saved = savedCount();
    if (entry < saved) {
        m_lines.set(entry, std::move(line));
        return entry;
    }
    m_lines.insert(saved, std::move(line));
    return saved;
}

bool TaskList::remove(std::size_t entry) {
    if (entry >= savedCount()) {
        return false;
    }
    m_lines.erase(entry);
    return true;
}

}  // namespace tvl
