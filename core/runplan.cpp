#include "runplan.h"

#include <array>
#include <iterator>

#include "charset.h"

namespace tvl {

namespace {

// What each byte is to a task name: a byte a file name cannot hold, a blank, or a visible
// one. Every name of a big task file is looked at, so this is a table and not a switch.
enum NameByte : unsigned char { kForbidden = 0, kBlank = 1, kVisible = 2 };

constexpr std::array<unsigned char, 256> kNameBytes = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned b = 0x21; b < 256; ++b) {
        table[b] = kVisible;
    }
    table[0x20] = kBlank;
    for (unsigned char c : {'/', '\\', ':', '*', '?', '"', '<', '>', '|'}) {
        table[c] = kForbidden;
    }
    return table;
}();

}  // namespace

bool isValidTaskName(std::string_view name) {
    unsigned seen = 0;
    for (char c : name) {
        const unsigned kind = kNameBytes[static_cast<unsigned char>(c)];
        if (kind == kForbidden) {
            return false;
        }
        seen |= kind;
    }
    return (seen & kVisible) != 0;
}

namespace {

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

constexpr const char* kRefusalTexts[] = {
    "no task name",      "the task name holds a character a file name cannot hold",
    "no server IP",      "no port",
    "no database paths", "no save directory",
    "no backup type",    "no run mode",
};

// tidyText leaves a text empty exactly when it holds no byte above 0x20 (the first and the
// last such byte bound what trimming keeps, and they are kept).
bool tidiesToEmpty(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) > 0x20) {
            return false;
        }
    }
    return true;
}

// Every check looks only at ASCII bytes and at whether a byte is above 0x20, neither of which
// reading a line as Windows-1251 changes: a stored line is checked as it stands.
unsigned refusalsOf(const TaskFieldViews& f) {
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
        refusalsOf({fields.name, fields.ip, fields.port, fields.dbPaths, fields.saveDir,
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

bool storedLineCanStart(const TaskFieldViews& fields) {
    return refusalsOf(fields) == 0;
}

}  // namespace tvl
