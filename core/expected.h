#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "civil.h"
#include "tasklines.h"

namespace tvl {

inline constexpr int kMaxIntervalDays = 365;  // the end is clamped to start + 365 days

// Time, Name, Server IP:Port, Database, Type, Path.
inline constexpr int kExpectedColumns = 6;

// The end of an interval as the Date Interval dialog leaves it.
CivilDate clampIntervalEnd(const CivilDate& from, const CivilDate& to);

// Every backup the minute timer will start on the days of an interval. A year of a
// thousand daily tasks is 366,000 rows, so a row is only the task and the day; its cell
// texts are formed when they are shown or printed.
class ExpectedBackups {
public:
    ExpectedBackups() = default;

    // The rows for the days from..to (both included, the end clamped), in the order the
    // rules expand them. A row for a task on a day exists exactly when the due test of
    // the task at that day and its start time answers due and the task passes the run's
    // field check. weekdayNames are Monday first.
    static ExpectedBackups compute(const TaskLines& lines, const CivilDate& from,
                                   const CivilDate& to,
                                   const std::array<std::string, 7>& weekdayNames);

    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }

    // The cell text, as bytes of the task line (the Time cell is
    // "YYYY-MM-DD, <start time> {<weekday name>}").
    std::string cell(std::size_t row, int column) const;
    void appendCell(std::string& out, std::size_t row, int column) const;
    // 0 Cumulative, 1 Full, 2 Incremental: picks the row's image.
    int backupType(std::size_t row) const;
    // The task's line in the task list.
    std::size_t taskIndex(std::size_t row) const;
    CivilDate day(std::size_t row) const;
    // "YYYY-MM-DD, ", the start of the row's Time cell.
    const std::string& dayHead(std::size_t row) const { return m_dayHeads[m_rows[row].day]; }
    // The row's task among taskCount().
    std::size_t task(std::size_t row) const { return m_rows[row].task; }

    // The tasks that have rows, each once, for what needs every distinct text of a column
    // (column widths) without walking the rows. Column 0 is the task's start-time text.
    std::size_t taskCount() const { return m_tasks.size(); }
    const std::string& taskText(std::size_t task, int column) const;
    std::size_t taskLine(std::size_t task) const { return m_tasks[task].index; }
    const std::array<std::string, 7>& weekdayNames() const { return m_names; }
    // Task-list lines the task editor cannot load whole (a backup type or run mode that is
    // not a digit, a Once date that does not read in the short date format), so the user
    // can be told which. Their rows are still those of the due test.
    const std::vector<std::size_t>& unreadableTasks() const { return m_unreadable; }

    // Ascending by the bytes of the column (unsigned, a prefix first), ties by the Time
    // cell, then by task-list order. Column 0 compares the Time cells only. Any other
    // column leaves the order as it is.
    void sort(int column);

private:
    struct Task {
        std::size_t index = 0;
        int backupType = 0;
        // The start-time text, then Name, Server IP:Port, Database, Type, Path.
        std::array<std::string, kExpectedColumns> texts;
    };
    struct Row {
        std::uint32_t task;  // into m_tasks
        std::uint32_t day;   // days after the interval's first day
    };

    std::vector<std::uint64_t> sortKeys(int column) const;

    std::vector<Task> m_tasks;
    std::vector<Row> m_rows;
    std::vector<CivilDate> m_days;
    std::vector<std::string> m_dayHeads;  // "YYYY-MM-DD, " of each day
    std::array<std::string, 7> m_names;
    std::vector<std::size_t> m_unreadable;
};

}  // namespace tvl
