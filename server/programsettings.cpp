#include "programsettings.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "core/profilefile.h"

namespace tvl {

namespace {

// The value without the double quotes around it, \" and \\ read as one character each, as
// the desktop's settings code reads and writes them.
std::string unquoted(const std::string& value) {
    std::string_view inner(value);
    if (inner.size() >= 2 && inner.front() == '"' && inner.back() == '"') {
        inner = inner.substr(1, inner.size() - 2);
    }
    std::string out;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\\' && i + 1 < inner.size() &&
            (inner[i + 1] == '"' || inner[i + 1] == '\\')) {
            ++i;
        }
        out += inner[i];
    }
    return out;
}

}  // namespace

std::string userSettingsPath() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") + "/Tarvel/tarvel.ini";
}

ProgramSettings readProgramSettings(const std::string& path) {
    const ProfileFile file(path.empty() ? userSettingsPath() : path);
    auto value = [&file](std::string_view section, std::string_view key) {
        return unquoted(file.read(section, key).value_or(std::string()));
    };
    ProgramSettings out;
    if (const auto minutes =
            wholeNumber(value("Scheduler", "catchUpMinutes"), kMaxCatchUpMinutes)) {
        out.catchUpMinutes = static_cast<CivilMinute>(*minutes);
    }
    for (auto [key, pattern] : {std::pair{"successPattern", &out.judge.successPattern},
                                std::pair{"failurePattern", &out.judge.failurePattern}}) {
        std::string text = value("Jobs", key);
        if (!text.empty()) {
            *pattern = std::move(text);
        }
    }
    if (const auto hours = parseBoundHours(value("Jobs", "boundHours"))) {
        out.judge.boundHours = *hours;
    }
    return out;
}

}  // namespace tvl
