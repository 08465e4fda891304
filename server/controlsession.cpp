#include "controlsession.h"

#include "core/activitylog.h"

namespace tvl {

void visconError(const VismControl& control, ControlContext& ctx) {
    ++ctx.errorsFired;
    const std::string name = control.errorName();
    // The end of a global's data is an answer, not a failure worth a word.
    if (name.find("ENDOFFILE") != std::string::npos) {
        return;
    }
    const bool lineRan = control.error() == kSessionEndedAfterReply;
    if (lineRan) {
        ++ctx.sessionsEnded;
    }
    if (ctx.reporter != nullptr) {
        ctx.reporter->showStatus(controlErrorStatus(name, ctx.task));
        if (ctx.interactive && !lineRan) {
            ctx.reporter->showError(name);
        }
    }
    if (ctx.log != nullptr && ctx.log->enabled()) {
        if (!ctx.log->writeControlError(name, control.mServer(), ctx.task)) {
            ++ctx.logFailures;
        }
    }
}

std::string controlErrorStatus(std::string_view errorName, std::string_view task) {
    if (task.empty()) {
        return std::string(errorName);
    }
    return std::string(task) + ": " + std::string(errorName);
}

void bindErrorHandler(VismControl& control, ControlContext& ctx) {
    control.setOnError([&control, &ctx] { visconError(control, ctx); });
}

}  // namespace tvl
