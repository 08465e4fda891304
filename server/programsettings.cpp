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

std::optional<long> wholeNumber(const std::string& text, long max) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    long n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    return n <= max ? std::optional(n) : std::nullopt;
}

}  // namespace

std::string userSettingsPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/Tarvel/tarvel.ini";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/Tarvel/tarvel.ini";
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
