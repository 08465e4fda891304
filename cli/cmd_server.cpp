#include "cmd_server.h"

#include <memory>
#include <ostream>

#include "core/activitylog.h"
#include "core/charset.h"
#include "core/jobjournal.h"
#include "core/runplan.h"
#include "core/taskline.h"
#include "server/backuprun.h"
#include "server/controlloader.h"
#include "server/dblist.h"
#include "server/jobfollower.h"

namespace tvl::cli {

namespace {

// The tool has no status bar and no boxes: what the desktop program would show goes to
// stderr, one line each, so stdout carries only a command's data.
class StreamReporter final : public Reporter {
public:
    explicit StreamReporter(std::ostream& err) : m_err(err) {}
    void showStatus(const std::string& text) override { m_err << text << '\n'; }
    void showError(const std::string& text) override { m_err << text << '\n'; }
    void showInfo(const std::string& text) override { m_err << text << '\n'; }

private:
    std::ostream& m_err;
};

std::unique_ptr<VismControl> controlOrSay(Context& ctx) {
    std::string why;
    auto control = loadControl(ctx.programDir, &why);
    if (!control) {
        *ctx.err << kClientMissingText << '\n';
        if (!why.empty()) {
            *ctx.err << "tarvelctl: " << why << '\n';
        }
    }
    return control;
}

}  // namespace

int runRun(Context& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError(ctx, commandNamed("run"), "give the name of one task");
    }
    const std::string& name = args[0];
    // Only tasks of the selector can be run: the lines before the first hidden line.
    const std::size_t saved = ctx.tasks.savedCount();
    std::size_t index = saved;
    for (std::size_t i = 0; i < saved; ++i) {
        if (splitTaskLine(ctx.tasks.line(i)).name == name) {
            index = i;
            break;
        }
    }
    if (index == saved) {
        *ctx.err << "tarvelctl run: no task named \"" << name << "\"\n";
        return kExitFailure;
    }
    const RunPlan plan = planStoredLine(ctx.tasks.line(index));
    if (!plan.ok()) {
        *ctx.err << "tarvelctl run: task \"" << name << "\" cannot start: " << plan.refusal << '\n';
        return kExitFailure;
    }
    const auto control = controlOrSay(ctx);
    if (!control) {
        return kExitFailure;
    }

    // A run from the tool is a start of the program for the activity log: the start line
    // first, which switches the log on, and the end line last.
    ActivityLog log(kLogFileName, ctx.clock);
    if (!log.writeStart(ctx.messages.lookup("stwork"))) {
        *ctx.err << ctx.messages.lookup("freaderr") << " tvl.log\n";
    }
    StreamReporter reporter(*ctx.err);
    ControlContext session;
    session.reporter = &reporter;
    session.messages = &ctx.messages;
    session.log = &log;
    session.interactive = false;
    bindErrorHandler(*control, session);

    const RunOutcome outcome = runBackup(*control, plan.inputs, session);
    // The job runs whatever happens to its record; running it again would start a second
    // one, so a journal that cannot be written is told but is no failure of the run.
    JobJournal journal;
    if (!recordJobStart(journal, plan.inputs, outcome, ctx.clock->now())) {
        *ctx.err << "tarvelctl run: " << ctx.messages.lookup("fwriterr") << ' ' << journal.path()
                 << "; the job is not followed\n";
    }
    if (!log.writeEnd(ctx.messages.lookup("endwork"))) {
        ++session.logFailures;
    }
    if (session.logFailures > 0) {
        *ctx.err << "tarvelctl run: " << ctx.messages.lookup("fwriterr") << " tvl.log\n";
    }

    switch (outcome.status) {
        case RunStatus::Started:
            return kExitOk;
        case RunStatus::BadServerTime:
            *ctx.err << "tarvelctl run: " << outcome.problem << '\n';
            return kExitFailure;
        case RunStatus::ControlError:
            break;
    }
    *ctx.err << "tarvelctl run: " << control->errorName() << '\n';
    return kExitFailure;
}

int runDatabases(Context& ctx, const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError(ctx, commandNamed("databases"), "give the server's IP and port");
    }
    const auto control = controlOrSay(ctx);
    if (!control) {
        return kExitFailure;
    }
    StreamReporter reporter(*ctx.err);
    ControlContext session;
    session.reporter = &reporter;
    session.messages = &ctx.messages;
    session.interactive = false;
    bindErrorHandler(*control, session);

    const WalkOutcome outcome = walkDatabases(*control, args[0], args[1], session);
    for (const std::string& entry : outcome.entries) {
        *ctx.out << entry << '\n';
    }
    switch (outcome.status) {
        case WalkStatus::Listed:
            return kExitOk;
        case WalkStatus::MissingAddress:
            return kExitFailure;  // the reporter has said so
        case WalkStatus::ConnectFailed:
        case WalkStatus::PassFailed:
        case WalkStatus::Cancelled:  // the tool never cancels a walk
            break;
    }
    *ctx.err << "tarvelctl databases: "
             << (outcome.problem.empty() ? control->errorName() : outcome.problem) << '\n';
    return kExitFailure;
}

}  // namespace tvl::cli
