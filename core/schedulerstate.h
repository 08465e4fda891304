#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "minutewalk.h"

namespace tvl {

inline constexpr const char* kStateFileName = "tvl.state";

// How far the starts of a working folder have gone: every minute up to lastChecked has
// been checked and its due tasks started; in the minute after it, the due tasks before
// task-list index startedBefore have been started too (0: none of them yet).
struct ScheduleMark {
    CivilMinute lastChecked = 0;
    std::size_t startedBefore = 0;
    friend bool operator==(const ScheduleMark&, const ScheduleMark&) = default;
};

// The state file beside the task file: one line, "YYYY-MM-DDTHH:MM" of the last checked
// minute, followed by a blank and startedBefore when a minute is partly done.
std::string stateText(const ScheduleMark& mark);
std::optional<ScheduleMark> parseStateText(const std::string& text);

enum class StateRead { Ok, Missing, Unreadable };
StateRead readState(const std::string& path, ScheduleMark& out);

// Replaces the state file as a whole (replaceFileAtomically), so whoever reads it, even
// after the writer was killed in the middle, finds the old mark or the new one. False when
// it could not be written.
bool writeState(const std::string& path, const ScheduleMark& mark);

}  // namespace tvl
