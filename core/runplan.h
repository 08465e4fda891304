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

// A task name ends up inside the backup's file names on the server: it may not be blank
// nor hold "/", "\", ':', '*', '?', '"', '<', '>', '|' or a byte 0x00..0x1F.
bool isValidTaskName(std::string_view name);

// The checks of planRun on the fields of a stored line. Inline: the next start of every
// line of a big task file asks them, and most of a line's fields are not looked at then.
namespace runchecks {

// Why a task cannot start, one bit a reason, in the order the refusal names them.
enum Refusal : unsigned {
    kNoName = 1u << 0,
    kBadName = 1u << 1,
    kNoIp = 1u << 2,
    kNoPort = 1u << 3,
    kNoPaths = 1u << 4,
    kNoSaveDir = 1u << 5,
    kNoType = 1u << 6,
    kNoMode = 1u << 7,
};

// tidyText leaves a text empty exactly when it holds no byte above 0x20 (the first and the
// last such byte bound what trimming keeps, and they are kept).
inline bool tidiesToEmpty(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) > 0x20) {
            return false;
        }
    }
    return true;
}

// Every check looks only at ASCII bytes and at whether a byte is above 0x20, neither of which
// reading a line as Windows-1251 changes: a stored line is checked as it stands.
inline unsigned refusalsOf(const TaskFieldViews& f) {
    unsigned why = 0;
    if (tidiesToEmpty(f.name)) {
        why |= kNoName;
    } else if (!isValidTaskName(f.name)) {
        why |= kBadName;
    }
    why |= tidiesToEmpty(f.ip) ? kNoIp : 0u;
    why |= tidiesToEmpty(f.port) ? kNoPort : 0u;
    why |= tidiesToEmpty(f.dbPaths) ? kNoPaths : 0u;
    why |= tidiesToEmpty(f.saveDir) ? kNoSaveDir : 0u;
    why |= f.backupType < 0 || f.backupType > 2 ? kNoType : 0u;
    why |= f.runMode < kOnce || f.runMode > kMonthly ? kNoMode : 0u;
    return why;
}

}  // namespace runchecks

// planStoredLine(line).ok(), without building the run's inputs: the answer for every line of
// a big task file.
bool storedLineCanStart(std::string_view line);
// The same for the fields of a stored line as splitTaskLineViews or readTaskLine gives them.
inline bool storedLineCanStart(const TaskFieldViews& fields) {
    return runchecks::refusalsOf(fields) == 0;
}

}  // namespace tvl
