#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "fileio.h"
#include "tasklines.h"

namespace tvl {

inline constexpr const char* kTaskFileName = "task.txt";

// Cuts a file's text into lines: a line ends at CR, LF or CR LF; a last line without a
// break counts; a NUL byte ends the text.
std::vector<std::string> splitTextLines(std::string_view text);
// The number of lines splitTextLines gives, without building them.
std::size_t countTextLines(std::string_view text);

// The selector's names: each line's task name (lineTaskName), up to the first line that
// begins with 0x01. No value when an empty line comes before that line.
// The names are views into the lines.
bool selectorNames(const TaskLines& lines, std::vector<std::string_view>& names);

// Number of lines before the first line that begins with 0x01.
std::size_t savedTaskCount(const TaskLines& lines);

struct TaskFileLoad {
    enum class Status { Ok, CannotRead, CannotCreate, EmptyLine };
    Status status = Status::Ok;
    // CannotRead: why. Anything but a regular file, and a file over kMaxTextFileBytes or
    // kMaxTextFileLines, counts as a file that cannot be read.
    FileProblem problem = FileProblem::None;
    TaskLines lines;
    bool ok() const { return status == Status::Ok; }
};

// How a task file is read.
struct TaskFileRead {
    // Where each line's separators are, kept for a reader of every line's fields.
    bool separators = false;
};

// Reads the task file, or creates it empty when it is missing.
TaskFileLoad loadTasks(const std::string& path, const TaskFileRead& how = {});
// Reads the task file; a missing one cannot be read.
TaskFileLoad readTasks(const std::string& path, const TaskFileRead& how = {});

// Writes every line followed by CR LF, replacing the file as a whole
// (replaceFileAtomically): the old file is whole when this answers false.
bool saveTasks(const std::string& path, const TaskLines& lines, const SaveSeams* seams = nullptr);

// The task list: the file's lines in file order. Entries of the selector before the first
// hidden line name their lines; a selector entry at or past savedCount() is a new task
// that owns no line yet.
class TaskList {
public:
    TaskList() = default;
    explicit TaskList(TaskLines lines) : m_lines(std::move(lines)) {}

    const TaskLines& lines() const { return m_lines; }
    std::size_t size() const { return m_lines.size(); }
    std::size_t savedCount() const { return m_lines.savedCount(); }
    std::string_view line(std::size_t i) const { return m_lines.at(i); }
    bool ownsLine(std::size_t entry) const { return entry < savedCount(); }

    // Stores the line of selector entry `entry`: replaces its line when it owns one, else
    // inserts it right after the saved tasks (before any hidden line, which is never
    // overwritten). Returns the index the entry's line now has; the selector entry must
    // move there to keep entry i naming line i.
    std::size_t store(std::size_t entry, std::string line);
    // Deletes the line of selector entry `entry` when it owns one; true when deleted.
    bool remove(std::size_t entry);
    void clear() { m_lines.clear(); }

private:
    TaskLines m_lines;
};

}  // namespace tvl
