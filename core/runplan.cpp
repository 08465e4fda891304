#include "runplan.h"

#include <array>
#include <iterator>

#include "charset.h"

namespace tvl {

namespace {

// What each byte is to a task name, one bit each: a byte a file name cannot hold, or a
// visible one (a blank is neither). Every name of a big task file is looked at, so this is
// a table, and a name's bits are gathered without a branch for each byte.
enum NameByte : unsigned char { kBlank = 0, kVisible = 1, kForbidden = 2 };

constexpr std::array<unsigned char, 256> kNameBytes = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned b = 0; b < 0x20; ++b) {
        table[b] = kForbidden;
    }
    for (unsigned b = 0x21; b < 256; ++b) {
        table[b] = kVisible;
    }
    for (unsigned char c : {'/', '\\', ':', '*', '?', '"', '<', '>', '|'}) {
        table[c] = kForbidden;
    }
    return table;
}();

}  // namespace

bool isValidTaskName(std::string_view name) {
    unsigned seen = 0;
    for (const char c : name) {
        seen |= kNameBytes[static_cast<unsigned char>(c)];
    }
    return seen == kVisible;
}

namespace {

constexpr const char* kRefusalTexts[] = {
    "no task name",      "the task name holds a character a file name cannot hold",
    "no server IP",      "no port",
    "no database paths", "no save directory",
    "no backup type",    "no run mode",
};

}  // namespace

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

    const unsigned why =
        runchecks::refusalsOf({fields.name, fields.ip, fields.port, fields.dbPaths, fields.saveDir,
                               fields.backupType, fields.startTime, fields.runMode, fields.tail});
    for (unsigned k = 0; k < std::size(kRefusalTexts); ++k) {
        if ((why & (1u << k)) != 0) {
            plan.refusal.append(plan.refusal.empty() ? "" : ", ").append(kRefusalTexts[k]);
        }
    }
    return plan;
}

RunPlan planStoredLine(std::string_view line) {
    return planRun(splitTaskLine(fileTextToUtf8(line)));
}

bool storedLineCanStart(std::string_view line) {
    return storedLineCanStart(splitTaskLineViews(line));
}

}  // namespace tvl
