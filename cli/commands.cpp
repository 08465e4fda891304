#include <ostream>
#include <stdexcept>

#include "cli.h"
#include "cmd_serve.h"
#include "cmd_server.h"

namespace tvl::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {
        {"due", "YYYY-MM-DDTHH:MM", runDue},
        {"expected", "FROM TO [--sort N]", runExpected},
        {"list", "", runList},
        {"history", "[--from DATE] [--to DATE] [NAME]", runHistory},
        {"run", "NAME", runRun},
        {"databases", "IP PORT", runDatabases},
        {"serve",
         "[--settings FILE] [--catch-up MINUTES] [--success TEXT] [--failure TEXT] "
         "[--bound HOURS]",
         runServe},
        {"status", "", runStatus},
    };
    return all;
}

const Command& commandNamed(const std::string& name) {
    for (const Command& c : commands()) {
        if (name == c.name) {
            return c;
        }
    }
    throw std::out_of_range(name);
}

bool loadTaskList(Context& ctx) {
    TaskFileLoad load = loadTasks(kTaskFileName, ctx.taskRead);
    if (!load.ok()) {
        *ctx.err << ctx.messages.lookup("freaderr") << " Task.txt\n";
        return false;
    }
    ctx.tasks = TaskList(std::move(load.lines));
    return true;
}

int usageError(Context& ctx, const Command& command, const std::string& why) {
    *ctx.err << "tarvelctl " << command.name << ": " << why << "\n"
             << "usage: tarvelctl [--dir DIR] [--lang english|russian] " << command.name << ' '
             << command.usage << "\n";
    return kExitUsage;
}

}  // namespace tvl::cli
