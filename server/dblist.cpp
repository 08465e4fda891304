#include "dblist.h"

#include <set>

#include "core/asciicase.h"
#include "core/messagetable.h"

namespace tvl {

WalkOutcome walkDatabases(VismControl& control, std::string_view ip, std::string_view port,
                          ControlContext& ctx) {
    WalkOutcome out;
    if (ip.empty() || port.empty()) {
        if (ctx.reporter != nullptr) {
            ctx.reporter->showError(ctx.messages ? ctx.messages->lookup("ipportreq") : "");
        }
        out.status = WalkStatus::MissingAddress;
        return out;
    }
    const StepCheck check(control, ctx);
    connectServer(control, ip, port);
    if (check.failed()) {
        out.status = WalkStatus::ConnectFailed;
        return out;
    }
    if (ctx.reporter != nullptr) {
        ctx.reporter->showStatus(ctx.messages ? ctx.messages->lookup("Connacc") : "");
    }
    std::set<std::string> seen;
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
            out.status = WalkStatus::PassFailed;
            out.problem = "the server named the database " + r + " twice";
            if (ctx.reporter != nullptr) {
                ctx.reporter->showStatus(out.problem);
                if (ctx.interactive) {
                    ctx.reporter->showError(out.problem);
                }
            }
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
