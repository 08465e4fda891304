#pragma once

#include <string>
#include <string_view>

#include "reporter.h"
#include "vismcontrol.h"

namespace tvl {

class ActivityLog;
class MessageTable;

// The program around the control: where reports go, the message texts, the activity log,
// and whether message boxes may be shown. The desktop program keeps one for its one
// control and switches `interactive` off while the minute timer runs a task.
struct ControlContext {
    Reporter* reporter = nullptr;
    const MessageTable* messages = nullptr;
    // Lines are written only while the log is enabled; null means no log.
    ActivityLog* log = nullptr;
    bool interactive = true;
    // Activity-log lines that could not be written; the caller decides how to tell.
    int logFailures = 0;
    // Errors the control has fired through the bound handler, end-of-file ones included.
    unsigned errorsFired = 0;
    // Of those, the sessions that ended after their line had run (kSessionEndedAfterReply).
    unsigned sessionsEnded = 0;
    // The task whose run is going on, empty outside a run. A control error names it: the
    // minute timer may run one task while the editor shows another.
    std::string task;
};

// The status text of a control error: the task's name, ": " and the error's name; the
// error's name alone outside a run.
std::string controlErrorStatus(std::string_view errorName, std::string_view task);

// Tells whether any write to the control since the check was made has failed. Reading
// Error alone is not enough: a box of the error handler lets other events run, and a run
// started meanwhile on the same control can leave Error at 0, and the connection open to
// its own server, before the failed write returns. A session that ended after its line
// had run is no failure of that line: the server took it (a backup job started so must
// count as started, or a retry starts a second one), and the next line finds the
// connection gone.
class StepCheck {
public:
    StepCheck(const VismControl& control, const ControlContext& ctx)
        : m_control(control), m_ctx(ctx), m_failures(ctx.errorsFired - ctx.sessionsEnded) {}
    bool failed() const {
        const std::int32_t error = m_control.error();
        return (error != 0 && error != kSessionEndedAfterReply) ||
               m_ctx.errorsFired - m_ctx.sessionsEnded != m_failures;
    }

private:
    const VismControl& m_control;
    const ControlContext& m_ctx;
    unsigned m_failures;
};

// The control's error handler: ignores end-of-file errors, shows the error text in the
// status panel (naming the task of the run), in an error box while interactive, and
// appends the control-error line (the task's name its last piece) to the activity log
// while it is enabled. A session that ended after its line had run gets
// no box: the line was done, and the operation goes on or tells its own outcome.
void visconError(const VismControl& control, ControlContext& ctx);

// Makes visconError the control's OnError handler. ctx must outlive the control or the
// next binding; its fields are read each time an error fires.
void bindErrorHandler(VismControl& control, ControlContext& ctx);

}  // namespace tvl
