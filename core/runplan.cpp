#include "runplan.h"

#include "charset.h"

namespace tvl {

bool isValidTaskName(std::string_view name) {
    bool visible = false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20) {
            return false;
        }
        switch (c) {
            case '/':
            case '\\':
            case ':':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>':
            case '|':
                return false;
            default:
                break;
        }
        visible = visible || b > 0x20;
    }
    return visible;
}

RunPlan planRun(const TaskFields& fields) {
    RunPlan plan;
    RunInputs& in = plan.inputs;
    in.ip = tidyText(fields.ip);
    in.port = tidyText(fields.port);
    // The closing separator goes on after tidying: on a field of blanks it would make a
    // path of its own.
    in.dbPaths = addPathEnd(tidyText(fields.dbPaths));
    in.saveDir = addPathEnd(tidyText(fields.saveDir));
    in.backupType = std::string(backupTypeText(fields.backupType));
    in.taskName = fields.name;

    auto refuse = [&plan](std::string_view why) {
        plan.refusal.append(plan.refusal.empty() ? "" : ", ").append(why);
    };
    if (trimText(fields.name).empty()) {
        refuse("no task name");
    } else if (!isValidTaskName(fields.name)) {
        refuse("the task name holds a character a file name cannot hold");
    }
    if (in.ip.empty()) {
        refuse("no server IP");
    }
    if (in.port.empty()) {
        refuse("no port");
    }
    if (in.dbPaths.empty()) {
        refuse("no database paths");
    }
    if (in.saveDir.empty()) {
        refuse("no save directory");
    }
    if (fields.backupType < 0 || fields.backupType > 2) {
        refuse("no backup type");
    }
    if (fields.runMode < kOnce || fields.runMode > kMonthly) {
        refuse("no run mode");
    }
    return plan;
}

RunPlan planStoredLine(std::string_view line) {
    return planRun(splitTaskLine(fileTextToUtf8(line)));
}

}  // namespace tvl
