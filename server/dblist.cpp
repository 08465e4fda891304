#include "dblist.h"

#include <set>

#include "core/activitylog.h"
#include "core/asciicase.h"
#include "core/messagetable.h"

namespace tvl {

WalkOutcome walkDatabases(VismControl& control, std::string_view ip, std::string_view port,
                          ControlContext& ctx, const WalkLimits& limits) {
    WalkOutcome out;
    if (ip.empty() || port.empty()) {
        if (ctx.reporter != nullptr) {
            ctx.reporter->showError(ctx.messages ? ctx.messages->lookup("ipportreq") : "");
        }
        out.status = WalkStatus::MissingAddress;
        return out;
    }
    const Clock& clock = limits.clock != nullptr ? *limits.clock : systemClock();
    const std::time_t start = clock.now();
    const StepCheck check(control, ctx);
    connectServer(control, ip, port);
    if (check.failed()) {
        out.status = WalkStatus::ConnectFailed;
        return out;
    }
    if (ctx.reporter != nullptr) {
        ctx.reporter->showStatus(ctx.messages ? ctx.messages->lookup("Connacc") : "");
    }
    auto stop = [&out, &ctx](std::string problem) {
        out.status = WalkStatus::PassFailed;
        out.problem = std::move(problem);
        if (ctx.reporter != nullptr) {
            ctx.reporter->showStatus(out.problem);
            if (ctx.interactive) {
                ctx.reporter->showError(out.problem);
            }
        }
    };
    std::set<std::string> seen;
    std::size_t bytes = 0;
    std::string v;
    for (;;) {
        if (limits.cancelled != nullptr && limits.cancelled->load()) {
            out.status = WalkStatus::Cancelled;
            break;
        }
        runCodeWithP0(control, kNextDatabaseLine, v);
        const std::string r = control.result();
        if (check.failed()) {
            out.status = WalkStatus::PassFailed;
            break;
        }
        if (r.empty()) {
            break;
        }
        if (!seen.insert(r).second) {
            // A server that names a directory again would be asked the same round for
            // ever.
            stop("the server named the database " + visibleControlBytes(r) + " twice");
            break;
        }
        bytes += r.size();
        if (out.entries.size() == limits.maxEntries) {
            stop("the server named more than " + std::to_string(limits.maxEntries) +
                 " databases; the list was stopped");
            break;
        }
        if (bytes > limits.maxBytes) {
            stop("the server's database names came to more than " +
                 std::to_string(limits.maxBytes) + " bytes; the list was stopped");
            break;
        }
        if (clock.now() - start >= limits.maxSeconds) {
            stop("the server's list of databases did not end within " +
                 std::to_string(limits.maxSeconds) + " seconds; the list was stopped");
            break;
        }
        out.entries.push_back(r);
        v = r;
    }
    disconnectServer(control);
    return out;
}

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// A path that differs from a listed entry only by a closing separator names that entry:
// the program closes only the last path of the field, while the server lists every
// directory closed.
bool namesEntryLoosely(std::string_view entry, std::string_view piece) {
    if (entry.size() == piece.size() + 1 && isSeparator(entry.back())) {
        entry.remove_suffix(1);
    } else if (piece.size() == entry.size() + 1 && isSeparator(piece.back())) {
        piece.remove_suffix(1);
    }
    return equalsIgnoringAsciiCase(entry, piece);
}

// The entry a piece of the paths text names: an equal one first, else one that differs
// only by a closing separator; entries.size() for none.
std::size_t entryNamed(const std::vector<std::string>& entries, std::string_view piece) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (equalsIgnoringAsciiCase(entries[i], piece)) {
            return i;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (namesEntryLoosely(entries[i], piece)) {
            return i;
        }
    }
    return entries.size();
}

template <class F>
void forEachPiece(std::string_view dbPaths, F&& use) {
    std::string_view rest = dbPaths;
    bool more = true;
    while (more) {
        const std::size_t cut = rest.find(';');
        const std::string_view piece = rest.substr(0, cut);
        more = cut != std::string_view::npos;
        if (more) {
            rest.remove_prefix(cut + 1);
        }
        if (!piece.empty()) {
            use(piece);
        }
    }
}

}  // namespace

std::vector<bool> checkMarks(const std::vector<std::string>& entries, std::string_view dbPaths) {
    std::vector<bool> checked(entries.size(), false);
    forEachPiece(dbPaths, [&](std::string_view piece) {
        const std::size_t at = entryNamed(entries, piece);
        if (at < entries.size()) {
            checked[at] = true;
        }
    });
    return checked;
}

std::vector<std::string> unlistedPaths(const std::vector<std::string>& entries,
                                       std::string_view dbPaths) {
    std::vector<std::string> out;
    forEachPiece(dbPaths, [&](std::string_view piece) {
        if (entryNamed(entries, piece) == entries.size()) {
            out.emplace_back(piece);
        }
    });
    return out;
}

PathsRewrite rewritePaths(std::string_view before, const std::vector<std::string>& entries,
                          const std::vector<bool>& checked) {
    PathsRewrite out;
    for (std::size_t i = 0; i < entries.size() && i < checked.size(); ++i) {
        if (checked[i]) {
            out.text += entries[i];
            out.text += ';';
        }
    }
    if (!out.text.empty() && out.text.back() == ';') {
        out.text.pop_back();
    }
    out.changed = out.text != before;
    return out;
}

}  // namespace tvl
