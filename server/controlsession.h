#pragma once

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
};

// The control's error handler: ignores end-of-file errors, shows the error text in the
// status panel, in an error box while interactive, and appends the control-error line to
// the activity log while it is enabled.
void visconError(const VismControl& control, ControlContext& ctx);

// Makes visconError the control's OnError handler. ctx must outlive the control or the
// next binding; its fields are read each time an error fires.
void bindErrorHandler(VismControl& control, ControlContext& ctx);

}  // namespace tvl
