#include "taskfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

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

TaskFileLoad loadTasks(const std::string& path, const TaskFileRead& how) {
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
    return readTasks(path, how);
}

TaskFileLoad readTasks(const std::string& path, const TaskFileRead& how) {
    TaskFileLoad result;
    std::shared_ptr<const void> block;
    std::string_view view;
    // The lines stay views into the text as it was read.
    if (!readRegularFile(path, block, view, kMaxTextFileBytes, &result.problem)) {
        result.status = TaskFileLoad::Status::CannotRead;
        return result;
    }
    if (!result.lines.assign(std::move(block), view, kMaxTextFileLines, how.separators)) {
        result.status = TaskFileLoad::Status::CannotRead;
        result.problem = FileProblem::TooLarge;
        return result;
    }
    // An empty line has no first byte to walk the selector by.
    if (result.lines.hasEmptySavedLine()) {
        result.status = TaskFileLoad::Status::EmptyLine;
        result.lines.clear();
    }
    return result;
}

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
    return replaceFileAtomically(path, text, 0644, seams);
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
