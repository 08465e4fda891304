#include "dblist.h"

#include <set>

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
            stop("the server named the database " + r + " twice");
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

std::vector<bool> checkMarks(const std::vector<std::string>& entries, std::string_view dbPaths) {
    std::vector<bool> checked(entries.size(), false);
    std::string_view rest = dbPaths;
    bool more = true;
    while (more) {
        const std::size_t cut = rest.find(';');
        const std::string_view piece = rest.substr(0, cut);
        more = cut != std::string_view::npos;
        if (more) {
            rest.remove_prefix(cut + 1);
        }
        for (std::size_t i = 0; i < entries.size() && !piece.empty(); ++i) {
            if (equalsIgnoringAsciiCase(entries[i], piece)) {
                checked[i] = true;
                break;
            }
        }
    }
    return checked;
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
