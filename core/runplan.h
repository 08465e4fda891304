#pragma once

#include <string>
#include <string_view>

#include "taskline.h"

namespace tvl {

// What a backup run sends, as the task editor shows it when the run starts.
struct RunInputs {
    std::string ip;
    std::string port;
    std::string dbPaths;     // directories separated by ";"
    std::string saveDir;     // ends with its path separator
    std::string backupType;  // "Cumulative", "Full" or "Incremental"
    std::string taskName;
    friend bool operator==(const RunInputs&, const RunInputs&) = default;
};

// Whether a task can start, and with what. Every road to a run (the Run command, the
// minute timer through the editor or from the stored line, the command-line tool) and
// every answer to "would it start" (the due list, the preview, the next start) comes
// through planRun, so they cannot disagree.
struct RunPlan {
    RunInputs inputs;     // the run's inputs exactly as the run sends them; only when ok()
    std::string refusal;  // empty when the task can start; else why not, naming the fields
    bool ok() const { return refusal.empty(); }
};

// Tidies server IP, port, database paths and save directory (tidyText), gives the paths
// and the save directory their closing separator after tidying, then checks: a task name
// that is not blank and holds no character a file name cannot hold, server IP, port,
// database paths and save directory not empty, backup type 0..2, run mode 0..3. The task
// name is sent as it stands: it becomes part of the backup's file names.
RunPlan planRun(const TaskFields& fields);

// The same for a stored task line, read as the editor reads it (a line that is not
// UTF-8 is Windows-1251), so the stored line and the editor send the same bytes.
RunPlan planStoredLine(std::string_view line);

// planStoredLine(line).ok(), without building the run's inputs: the answer for every line of
// a big task file.
bool storedLineCanStart(std::string_view line);
// The same for the fields of a stored line as splitTaskLineViews or readTaskLine gives them.
bool storedLineCanStart(const TaskFieldViews& fields);

// A task name ends up inside the backup's file names on the server: it may not be blank
// nor hold "/", "\", ':', '*', '?', '"', '<', '>', '|' or a byte 0x00..0x1F.
bool isValidTaskName(std::string_view name);

}  // namespace tvl
