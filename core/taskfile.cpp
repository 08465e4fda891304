#include "taskfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "fileio.h"
#include "taskline.h"

namespace tvl {

std::vector<std::string> splitTextLines(std::string_view text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::vector<std::string> lines;
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

bool selectorNames(const std::vector<std::string>& lines, std::vector<std::string>& names) {
    names.clear();
    for (const std::string& line : lines) {
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

std::size_t savedTaskCount(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isHiddenLine(lines[i])) {
            return i;
        }
    }
    return lines.size();
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
    std::string text;
    if (!readWholeFile(path, text)) {
        result.status = TaskFileLoad::Status::CannotRead;
        return result;
    }
    result.lines = splitTextLines(text);
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

bool saveTasks(const std::string& path, const std::vector<std::string>& lines,
               const SaveSeams* seams) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }

    const std::string target = resolveTarget(path);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    }

    // A fixed name beside the file: a save never leaves stray copies behind.
    const std::string tmp = target + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, text, seams) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
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
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
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
        m_lines[entry] = std::move(line);
        return entry;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(saved), std::move(line));
    return saved;
}

bool TaskList::remove(std::size_t entry) {
    if (entry >= savedCount()) {
        return false;
    }
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(entry));
    return true;
}

}  // namespace tvl
