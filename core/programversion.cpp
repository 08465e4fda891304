#include "programversion.h"

#include <optional>

#include "versionrecord.h"

namespace tvl {

std::string programVersion() {
    // The running program's own version record, the one the About window shows, so a program
    // file and what it says of itself cannot disagree.
    const std::optional<FileVersion> record = readVersionRecord("/proc/self/exe");
    if (!record) {
        return "unknown";
    }
    std::string text;
    for (std::uint16_t part : *record) {
        text += (text.empty() ? "" : ".") + std::to_string(part);
    }
    return text;
}

std::string versionLine(const std::string& program) {
    return program + " " + programVersion() + "\n";
}

}  // namespace tvl
