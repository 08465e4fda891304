#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "controlsession.h"
#include "core/clock.h"

namespace tvl {

// The server's next database directory after P0, naming the system namespace itself, so
// no namespace switch is needed.
inline constexpr std::string_view kNextDatabaseLine = "$o(^|\"%SYS\"|SYS(\"UCI\",P0))";

enum class WalkStatus {
    Listed,          // the whole list was read
    MissingAddress,  // server IP or port empty: "ipportreq" shown, nothing sent
    ConnectFailed,   // reported by the error handler; no entries
    PassFailed,      // a pass failed (reported by the error handler), the server named a
                     // directory twice, or the list went past a limit of WalkLimits; the
                     // entries before it are kept
    Cancelled,       // the caller asked the walk to stop (the program ends); nothing said
};

// Each answer of the server may come in time while the list never ends: a server that
// keeps naming new directories would hold the walk, and the desktop program with it, for
// ever. Whichever limit comes first ends the walk with an error.
struct WalkLimits {
    std::size_t maxEntries = 100'000;
    std::time_t maxSeconds = 60;
    // Of directory text, all entries together.
    std::size_t maxBytes = std::size_t{64} * 1024 * 1024;
    const Clock* clock = nullptr;  // the system clock when null
    // Set by another thread to end the walk before its next pass; null: never.
    const std::atomic<bool>* cancelled = nullptr;
};

struct WalkOutcome {
    WalkStatus status = WalkStatus::Listed;
    std::vector<std::string> entries;  // in the server's order
    std::string problem;               // a repeated directory, when that stopped the walk
};

// Reads the server's list of database directories: connects, asks for one directory after
// another until the answer is empty, disconnects. Stops at the first failed pass instead
// of asking again, at a directory it has already seen, which would make it ask for ever,
// and at the limits; the connection is closed in each case. A stop of the walk's own is
// told like the error handler tells a failure: status panel, and an error box while
// interactive.
WalkOutcome walkDatabases(VismControl& control, std::string_view ip, std::string_view port,
                          ControlContext& ctx, const WalkLimits& limits = {});

// The check marks of a freshly read list for a database paths text: each piece between ";"
// checks the first entry equal to it, ASCII letter case ignored, else the first that differs
// from it only by a closing separator ("/" or "\"). Pieces that name no entry, empty ones
// included, are passed over.
std::vector<bool> checkMarks(const std::vector<std::string>& entries, std::string_view dbPaths);

// The pieces of the database paths text that name no entry of the list: closing the list
// leaves them out of the task.
std::vector<std::string> unlistedPaths(const std::vector<std::string>& entries,
                                       std::string_view dbPaths);

struct PathsRewrite {
    std::string text;      // the checked entries in list order, separated by ";"
    bool changed = false;  // false: the rewrite is not an edit of the task
};

// The database paths text that closing the list writes back.
PathsRewrite rewritePaths(std::string_view before, const std::vector<std::string>& entries,
                          const std::vector<bool>& checked);

}  // namespace tvl
