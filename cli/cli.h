#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/messagetable.h"
#include "core/taskfile.h"

namespace tvl::cli {

// What every command gets: the working directory's message table and task list, already
// loaded, and the streams to write to.
struct Context {
    std::string language = "english";  // "english" or "russian"
    std::string programDir;            // where tarvelctl itself lies
    bool json = false;                 // --json: one JSON document instead of lines
    MessageTable messages;
    TaskFileRead taskRead;  // how loadTaskList reads the task file
    TaskList tasks;
    const Clock* clock = nullptr;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* usage;  // the arguments after the command's name
    int (*run)(Context& ctx, const std::vector<std::string>& args);
};

// Every command of the tool, in the order the usage text lists them.
const std::vector<Command>& commands();

int runDue(Context& ctx, const std::vector<std::string>& args);
int runExpected(Context& ctx, const std::vector<std::string>& args);
int runList(Context& ctx, const std::vector<std::string>& args);
int runHistory(Context& ctx, const std::vector<std::string>& args);
// The weekday names of the message table, Monday first.
std::array<std::string, 7> weekdayNames(const Context& ctx);
// The saved tasks, one line each: index, name, start rule, next start (as `list` prints).
void printNextStarts(Context& ctx);

// The same as the JSON member "tasks":[...] that `list --json` prints.
std::string nextStartsJson(const Context& ctx);

// Reads the working directory's task file into ctx.tasks (creating it empty when missing);
// reports on stderr and answers false when it cannot be read. Commands that check their
// arguments first call it themselves, so a mistyped command line costs no read of a big file.
bool loadTaskList(Context& ctx);

// Reports a usage error of one command on stderr; returns kExitUsage.
int usageError(Context& ctx, const Command& command, const std::string& why);
const Command& commandNamed(const std::string& name);

}  // namespace tvl::cli
