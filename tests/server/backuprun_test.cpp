#include "server/backuprun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/activitylog.h"
#include "core/messagetable.h"
#include "fakes/fakecontrol.h"
#include "util/fakeclock.h"
#include "util/tempdir.h"

using namespace tvl;
using test::FakeControl;
using test::RecordingReporter;
using test::serverAnswer;

namespace {

const char* kJob = "J BACKUP^DBACK(P0,P1,P2,P3,P4,P5,P6,P7,P8,P9)";

class BackupRun : public ::testing::Test, protected test::BoundControl {
protected:
    BackupRun() : BoundControl("connacc=Connected\nbust=Job started\ntskst=task started\n") {}
    void SetUp() override {
        ctx.log = &log;
        ASSERT_TRUE(log.writeStart("start"));
        control.script = serverAnswer;
    }

    std::string logText() const {
        return test::readFile(dir.file("tvl.log"))
            .substr(std::string("12/07/2026 10:15:00 start\r\n").size());
    }

    RunOutcome run(const std::string& format = "%H:%M:%S") {
        return runBackup(control, inputs, ctx, format);
    }

    test::TempDir dir;
    test::FakeClock clock;
    ActivityLog log{dir.file("tvl.log"), &clock};
    RunInputs inputs{"10.0.0.5", "5000", "/srv/db/one/;/srv/db/two/",
                     "/backup/", "Full", "Nightly"};
};

}  // namespace

TEST_F(BackupRun, SendsEveryLineInOrderStartsTheJobAndReportsIt) {
    const RunOutcome out = run();
    EXPECT_EQ(out.status, RunStatus::Started);
    EXPECT_EQ(out.failedStep, "");
    EXPECT_EQ(control.events,
              (std::vector<std::string>{
                  "connect CN_IPTCP:10.0.0.5[5000]:10.0.0.5[5000]",
                  "exec ZN \"%SYS\"",
                  "exec k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")",
                  "exec s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/one/\")=\"\"",
                  "exec s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/two/\")=\"\"",
                  "exec $h",
                  "exec $tr($zd($h,3),\"/\",\"-\")",
                  std::string("exec ") + kJob,
                  "disconnect",
              }));
    EXPECT_EQ(control.sentParams.back(),
              (FakeControl::Params{"", "F", "", "/backup/Full_2026-12-07_15h05m07s(Nightly).bcp",
                                   "Y", "/backup/Full_2026-12-07_15h05m07s(Nightly).log", "NOINPUT",
                                   "Y", "Y", ""}));
    EXPECT_EQ(reporter.seen, (std::vector<std::string>{"status: Connected", "info: Job started",
                                                       "status: Job started"}));
    EXPECT_EQ(logText(), "12/07/2026 10:15:00 Nightly task started\r\n");
}

TEST_F(BackupRun, ScheduledRunShowsNoBoxAndAnIncrementalTypeNamesItsFiles) {
    ctx.interactive = false;
    inputs.backupType = "Incremental";
    inputs.taskName = "Weekly";
    inputs.dbPaths = "/srv/db/one/";
    EXPECT_EQ(run().status, RunStatus::Started);
    const auto& job = control.sentParams.back();
    EXPECT_EQ(job[1], "I");
    EXPECT_EQ(job[3], "/backup/Incremental_2026-12-07_15h05m07s(Weekly).bcp");
    EXPECT_EQ(control.codeLines().size(), 6u);  // one directory line
    EXPECT_EQ(reporter.seen,
              (std::vector<std::string>{"status: Connected", "status: Job started"}));
    EXPECT_EQ(logText(), "12/07/2026 10:15:00 Weekly task started\r\n");
}

TEST_F(BackupRun, DirectoryListSkipsEmptyPiecesAndKeepsQuotesInsideTheLiteral) {
    inputs.dbPaths = ";c:\\db1\\;;c:\\db2\\;";
    run();
    std::vector<std::string> dirs;
    for (const auto& line : control.codeLines()) {
        if (line.rfind("s ^SYS", 0) == 0) {
            dirs.push_back(line);
        }
    }
    EXPECT_EQ(dirs, (std::vector<std::string>{
                        "s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"c:\\db1\\\")=\"\"",
                        "s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"c:\\db2\\\")=\"\""}));

    // A quote in a directory must not end the literal and let the rest run as code.
    EXPECT_EQ(directoryLine("/srv/x\") k ^SYS s a=(\"/"),
              "s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/x\"\") k ^SYS s a=(\"\"/\")=\"\"");
    EXPECT_EQ(quoteLiteral("\"\""), "\"\"\"\"");
    EXPECT_EQ(quoteLiteral("plain/"), "plain/");
}

TEST_F(BackupRun, AFailedStepEndsTheRunThereReportedOnlyByTheErrorHandler) {
    struct Step {
        std::string code;  // the failing line; "connect" fails the connection
        std::string name;
        std::size_t linesSent;
    };
    const std::vector<Step> steps = {
        {"connect", "connect", 0},
        {"ZN \"%SYS\"", "namespace", 1},
        {"k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")", "clear list", 2},
        {"s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/one/\")=\"\"", "directory", 3},
        {"s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/two/\")=\"\"", "directory", 4},
        {"$h", "clock", 5},
        {"$tr($zd($h,3),\"/\",\"-\")", "date", 6},
        {kJob, "job", 7},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.code);
        FakeControl fresh;
        fresh.script = [&step](const std::string& code, const FakeControl::Params& p) {
            return code == step.code ? FakeControl::Answer{7, "<FAIL>" + step.name, ""}
                                     : serverAnswer(code, p);
        };
        fresh.connectScript = [&step](const std::string&) {
            return step.code == "connect" ? FakeControl::Answer{1000, "<COMMUNICATION> refused", ""}
                                          : FakeControl::Answer{};
        };
        bindErrorHandler(fresh, ctx);
        reporter.seen.clear();
        const std::string logBefore = logText();

        const RunOutcome out = runBackup(fresh, inputs, ctx, "%H:%M:%S");
        EXPECT_EQ(out.status, RunStatus::ControlError);
        EXPECT_EQ(out.failedStep, step.name);
        EXPECT_EQ(fresh.codeLines().size(), step.linesSent);
        // Only the job's failure comes after the disconnect; every other one leaves the
        // connection as it is.
        EXPECT_EQ(fresh.events.back() == "disconnect", step.name == "job");
        const std::string name =
            step.code == "connect" ? "<COMMUNICATION> refused" : "<FAIL>" + step.name;
        std::vector<std::string> expected;
        if (step.code != "connect") {
            expected.push_back("status: Connected");
        }
        // The status panel and the log line name the task; the box of the user's own run
        // needs not.
        expected.push_back("status: Nightly: " + name);
        expected.push_back("error: " + name);
        EXPECT_EQ(reporter.seen, expected);
        // The error fires inside the failing write, while the connection text is set.
        EXPECT_EQ(logText(), logBefore + "12/07/2026 10:15:00 " + name +
                                 " CN_IPTCP:10.0.0.5[5000]:10.0.0.5[5000] Nightly\r\n");
    }
}

TEST_F(BackupRun, EndOfFileErrorsAreNotReportedButStillEndTheRun) {
    control.script = [](const std::string& code, const FakeControl::Params& p) {
        return code == "$h" ? FakeControl::Answer{9, "<ENDOFFILE>", ""} : serverAnswer(code, p);
    };
    EXPECT_EQ(run().failedStep, "clock");
    EXPECT_EQ(reporter.seen, std::vector<std::string>{"status: Connected"});
    EXPECT_EQ(logText(), "");
}

TEST_F(BackupRun, ClockAnswerWithoutSecondsStopsBeforeTheJobAndSaysSo) {
    for (const std::string clockText :
         {"67911", "67911,", "67911,abc", "67911,86400", "67911,-5"}) {
        FakeControl fresh;
        fresh.script = [&clockText](const std::string& code, const FakeControl::Params& p) {
            return code == "$h" ? FakeControl::Answer{0, "", clockText} : serverAnswer(code, p);
        };
        reporter.seen.clear();
        const RunOutcome out = runBackup(fresh, inputs, ctx, "%H:%M:%S");
        EXPECT_EQ(out.status, RunStatus::BadServerTime) << clockText;
        EXPECT_EQ(fresh.codeLines().back(), "$h");
        const std::string text =
            "The server's time \"" + clockText + "\" has no time of day; no backup job was started";
        EXPECT_EQ(out.problem, text);
        EXPECT_EQ(reporter.seen, (std::vector<std::string>{"status: Connected", "status: " + text,
                                                           "error: " + text}));
    }
    EXPECT_EQ(secondsOfDay("67911,0"), 0);
    EXPECT_EQ(secondsOfDay("67911,86399"), 86399);
    EXPECT_EQ(secondsOfDay("1,2,3"), -1);
}

TEST_F(BackupRun, WhatHappensDuringItsBoxCannotChangeWhatTheRunLogs) {
    // While the "started" box is open the program goes on: a tick selects another task,
    // switches the language and runs that task in its turn.
    RunInputs& shown = inputs;
    MessageTable other;
    other.setText("connacc=Verbunden\nbust=Gestartet\ntskst=gestartet\n");
    bool nested = false;
    reporter.onBox = [&] {
        if (nested) {
            return;
        }
        nested = true;
        shown.taskName = "Hourly";
        shown.saveDir = "/elsewhere/";
        ctx.messages = &other;
        ctx.interactive = false;
        runBackup(control, shown, ctx, "%H:%M:%S");
        ctx.interactive = true;
    };
    EXPECT_EQ(run().status, RunStatus::Started);
    EXPECT_EQ(logText(),
              "12/07/2026 10:15:00 Hourly gestartet\r\n"
              "12/07/2026 10:15:00 Nightly task started\r\n");
    EXPECT_EQ(reporter.seen.back(), "status: Job started");
}

TEST_F(BackupRun, ARunStartedWhileAnErrorBoxIsOpenDoesNotHideTheFailure) {
    // The first run fails at the namespace line; while its error box is open a tick runs
    // another task on the same control, which succeeds (Error 0 again) or fails early and
    // leaves the control connected to its own server. Either way the first run must stop
    // and send nothing more.
    for (const bool nestedFails : {false, true}) {
        SCOPED_TRACE(nestedFails);
        FakeControl shared;
        bindErrorHandler(shared, ctx);
        RunInputs other = inputs;
        other.ip = "10.9.9.9";
        other.taskName = "Other";
        shared.script = [&](const std::string& code, const FakeControl::Params& p) {
            const bool toOther = shared.mServer().find("10.9.9.9") != std::string::npos;
            if (!toOther && code == "ZN \"%SYS\"") {
                return FakeControl::Answer{8, "<NAMESPACE>", ""};
            }
            if (toOther && nestedFails && code.rfind("k ", 0) == 0) {
                return FakeControl::Answer{8, "<PROTECT>", ""};
            }
            return serverAnswer(code, p);
        };
        bool nested = false;
        reporter.onBox = [&] {
            if (!nested) {
                nested = true;
                ctx.interactive = false;
                runBackup(shared, other, ctx, "%H:%M:%S");
                ctx.interactive = true;
            }
        };
        const RunOutcome out = runBackup(shared, inputs, ctx, "%H:%M:%S");
        reporter.onBox = nullptr;
        EXPECT_EQ(out.status, RunStatus::ControlError);
        EXPECT_EQ(out.failedStep, "namespace");
        // The nested run's events end the list: the first run added none after them.
        const std::string last = shared.events.back();
        EXPECT_EQ(last, nestedFails ? "exec k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")" : "disconnect");
        EXPECT_EQ(std::count(shared.events.begin(), shared.events.end(), "exec ZN \"%SYS\""), 2);
        // Each failure names its own task, and the name goes with the run that set it.
        const auto seen = [this](const char* text) {
            return std::count(reporter.seen.begin(), reporter.seen.end(), text);
        };
        EXPECT_EQ(seen("status: Other: <PROTECT>"), nestedFails ? 1 : 0);
        EXPECT_EQ(seen("status: Nightly: <NAMESPACE>"), 1);
        EXPECT_EQ(ctx.task, "");
        reporter.seen.clear();
    }
}

TEST_F(BackupRun, ALogThatCannotBeWrittenIsToldToTheCaller) {
    test::TempDir other;
    ActivityLog broken(other.file("tvl.log"), &clock);
    ASSERT_TRUE(broken.writeStart("start"));
    std::filesystem::remove(other.file("tvl.log"));
    std::filesystem::create_directory(other.file("tvl.log"));  // a folder where the log was
    ctx.log = &broken;
    const RunOutcome out = run();
    EXPECT_EQ(out.status, RunStatus::Started);
    EXPECT_EQ(ctx.logFailures, 1);
}

TEST(ErrorHandler, ReportsByModeAndLogsWithTheConnectionText) {
    test::TempDir dir;
    test::FakeClock clock;
    ActivityLog log(dir.file("tvl.log"), &clock);
    RecordingReporter reporter;
    ControlContext ctx;
    ctx.reporter = &reporter;
    ctx.log = &log;
    FakeControl control;
    control.connectScript = [](const std::string&) {
        return FakeControl::Answer{1000, "<COMMUNICATION> h[1]: connection refused", ""};
    };
    bindErrorHandler(control, ctx);

    // Before the log's start line nothing is logged.
    connectServer(control, "h", "1");
    EXPECT_FALSE(test::fileExists(dir.file("tvl.log")));
    EXPECT_EQ(reporter.seen,
              (std::vector<std::string>{"status: <COMMUNICATION> h[1]: connection refused",
                                        "error: <COMMUNICATION> h[1]: connection refused"}));

    ASSERT_TRUE(log.writeStart("start"));
    ctx.interactive = false;
    reporter.seen.clear();
    connectServer(control, "h", "1");
    EXPECT_EQ(reporter.seen,
              std::vector<std::string>{"status: <COMMUNICATION> h[1]: connection refused"});
    EXPECT_EQ(
        test::readFile(dir.file("tvl.log")),
        "12/07/2026 10:15:00 start\r\n"
        "12/07/2026 10:15:00 <COMMUNICATION> h[1]: connection refused CN_IPTCP:h[1]:h[1]\r\n");
}

TEST(TimeStamp, FromTheSecondsCountInTheLongTimeFormat) {
    const long t150507 = 15 * 3600 + 5 * 60 + 7;
    const long t090507 = 9 * 3600 + 5 * 60 + 7;
    EXPECT_EQ(timeStampText(t150507, "%H:%M:%S"), "15h05m07s");
    EXPECT_EQ(timeStampText(t090507, "%-H:%M:%S"), "9h05m07s");
    EXPECT_EQ(timeStampText(t090507, "%H:%M:%S"), "09h05m07s");
    EXPECT_EQ(timeStampText(t150507, "%-I:%M:%S %p"), "15h05m07s");
    EXPECT_EQ(timeStampText(t150507, "%I:%M:%S %p"), "15h05m07s");
    EXPECT_EQ(timeStampText(t090507, "%-I:%M:%S %p"), "9h05m07s");
    EXPECT_EQ(timeStampText(t150507, "%H,%M,%S"), "15h05m07s");
    EXPECT_EQ(timeStampText(0, "%H:%M:%S"), "00h00m00s");
    EXPECT_EQ(timeStampText(86399, "%H:%M:%S"), "23h59m59s");
}

TEST(TimeStamp, NoonAndMidnightOfATwelveHourClock) {
    EXPECT_EQ(timeStampText(12 * 3600 + 1, "%I:%M:%S %p"), "12h00m01s");  // 12 PM stays 12
    EXPECT_EQ(timeStampText(1, "%I:%M:%S %p"), "0h00m01s");               // 12 AM is 0
    EXPECT_EQ(timeStampText(std::time_t{23} * 3600, "%I:%M:%S %p"), "23h00m00s");
}

TEST(TimeStamp, FormatsThatGiveNoStampFallBackToOneBuiltFromTheSeconds) {
    const long t = 15 * 3600 + 5 * 60 + 7;
    EXPECT_EQ(timeStampText(t, "%H:%M"), "15h05m07s");     // one separator
    EXPECT_EQ(timeStampText(t, "%H.%M.%S"), "15h05m07s");  // none
    EXPECT_EQ(timeStampText(5 * 60 + 7, "%H%M%S"), "0h05m07s");
    EXPECT_EQ(timeStampText(t, "at %H:%M:%S o'clock"), "15h05m07s");
    EXPECT_EQ(timeStampText(t, " %l:%M:%S %p"), "15h05m07s");  // space-padded hour
    EXPECT_EQ(timeStampText(t, "%H:%M:%S %Z"), "15h05m07s");
}

TEST_F(BackupRun, JobTakenBeforeTheSessionEndedCountsAsStartedWithALogLineOfItsOwn) {
    const std::string ended = "<COMMUNICATION> 10.0.0.5[5000]: unexpected bytes after the reply";
    control.script = [&](const std::string& code, const FakeControl::Params& p) {
        return code == kJob ? FakeControl::Answer{kSessionEndedAfterReply, ended, ""}
                            : serverAnswer(code, p);
    };
    const RunOutcome out = run();
    EXPECT_EQ(out.status, RunStatus::Started);
    // No error box: the server took the job, and a box would let the user think otherwise.
    EXPECT_EQ(reporter.seen,
              (std::vector<std::string>{"status: Connected", "status: Nightly: " + ended,
                                        "info: Job started", "status: Job started"}));
    EXPECT_EQ(logText(), "12/07/2026 10:15:00 " + ended +
                             " CN_IPTCP:10.0.0.5[5000]:10.0.0.5[5000] Nightly\r\n"
                             "12/07/2026 10:15:00 Nightly task started\r\n");
}
