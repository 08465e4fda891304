// Drives the built tarvelctl the way a user does, in a temporary working directory.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "core/jobjournal.h"
#include "core/schedulerlock.h"

#include "util/jobs.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

using tvl::test::CommandResult;
using tvl::test::taskLine;
using tvl::test::TempDir;

namespace {

class Tarvelctl : public ::testing::Test {
protected:
    Tarvelctl() {
        for (const char* f : {"english.dat", "russian.dat"}) {
            tvl::test::copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + f, dir.file(f));
        }
    }
    void writeTasks(const std::vector<std::string>& lines) {
        tvl::test::writeFile(dir.file("task.txt"), tvl::test::taskFileText(lines));
    }
    CommandResult run(const std::string& args, const std::string& env = "") {
        return tvl::test::runCommand(env + " '" TARVELCTL "' --dir '" + dir.path() + "' " + args);
    }
    TempDir dir;
};

}  // namespace

TEST_F(Tarvelctl, DuePrintsWhatTheTimerWouldStartAndPassesOverBrokenLines) {
    writeTasks({taskLine("A", "10:00", "1"), taskLine("Broken", "  :  ", "1"),
                taskLine({.name = "NoPort", .port = "", .startTime = "10:00"}),
                taskLine("B", "10:00", "21111111"), taskLine("", "10:00", "1"),
                taskLine("Hidden", "10:00", "1")});
    const CommandResult r = run("due 2026-12-07T10:00");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0\tA\n3\tB\n");
    EXPECT_EQ(run("due 2026-12-07T10:01").out, "");
}

TEST_F(Tarvelctl, ExpectedPrintsSortedRowsInTheChosenLanguage) {
    writeTasks({taskLine("b", "10:00", "1"), taskLine("a", " 9:05", "21000000")});
    CommandResult r = run("expected 2026-12-07 2026-12-08");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "2026-12-07,  9:05 {Monday}\ta\t10.0.0.5:1972\t/db/\tFull\t/bak/\n"
              "2026-12-07, 10:00 {Monday}\tb\t10.0.0.5:1972\t/db/\tFull\t/bak/\n"
              "2026-12-08, 10:00 {Tuesday}\tb\t10.0.0.5:1972\t/db/\tFull\t/bak/\n");
    r = run("--lang russian expected 2026-12-07 2026-12-08 --sort 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\t')), "2026-12-07,  9:05 {Понедельник}");
    EXPECT_NE(r.out.find("\tb\t"), std::string::npos);
    EXPECT_EQ(run("expected 2026-12-08 2026-12-07").out, "");
}

TEST_F(Tarvelctl, ListShowsEachTasksNextStart) {
    // A hand-edited one-digit minute is read; a line without 0x01 has an empty name.
    writeTasks({taskLine("D", " 9:05", "1"), taskLine("W", "10:00", "2"),
                taskLine("Odd", "10:00", "9"), taskLine("M", "9:7", "1"), "no\x02name\x07",
                taskLine("", "10:00", "1")});
    const CommandResult r = run("list", "TVL_FAKE_NOW=2026-12-07T09:05");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "0\tD\tDaily\t2026-12-08 09:05\n1\tW\tWeekly\t-\n2\tOdd\t?\t-\n"
              "3\tM\tDaily\t2026-12-07 09:07\n4\t\t?\t-\n");
}

TEST_F(Tarvelctl, MissingTaskFileIsCreatedEmpty) {
    const CommandResult r = run("list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(tvl::test::fileExists(dir.file("task.txt")));
}

TEST_F(Tarvelctl, FailuresAndUsageErrors) {
    writeTasks({taskLine("A", "10:00", "1"), ""});
    CommandResult r = run("list");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error reading file Task.txt\n");
    // A mistyped command line is told so before the task file is read.
    for (const char* bad : {"due", "list extra", "expected 2026-12-07", "history --from"}) {
        EXPECT_EQ(run(bad).status, 2) << bad;
    }

    std::remove(dir.file("english.dat").c_str());
    r = run("list");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error reading file english.dat\n");
    std::remove(dir.file("russian.dat").c_str());
    r = run("--lang russian list");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Ошибка чтения файла russian.dat\n");
}

TEST_F(Tarvelctl, UsageErrorsExitWithTwo) {
    CommandResult r;
    for (const char* bad : {"",
                            "nosuch",
                            "due",
                            "due 2026-12-07 10:00",
                            "due 2026-12-07T24:00",
                            "expected 2026-12-07",
                            "expected 2026-12-07 2026-13-01",
                            "expected 2026-12-07 2026-12-08 --sort 6",
                            "list extra",
                            "--lang german list",
                            "--json run A",
                            "run A --json",
                            "serve --catch-up 181",
                            "serve --catch-up",
                            "serve --catch-up -1",
                            "serve now",
                            "status extra",
                            "serve --bound 0",
                            "serve --bound 745",
                            "serve --success",
                            "serve --failure ''",
                            "history --from",
                            "history --to 2026-02-30",
                            "history A B",
                            "history --since 2026-12-01"}) {
        r = run(bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << bad;
    }
}

TEST_F(Tarvelctl, JsonIsOneUtf8DocumentForScripts) {
    // A plain name, and one in Windows-1251 ("Архив") from Windows.
    writeTasks({taskLine("Say 'hi'", "10:00", "1"),
                taskLine("\xC0\xF0\xF5\xE8\xE2", " 9:05", "21000000")});
    const std::string env = "TVL_FAKE_NOW=2026-12-07T09:05";
    struct Case {
        const char* args;
        const char* out;
    };
    const Case cases[] = {
        {"--json due 2026-12-07T10:00",
         R"({"minute":"2026-12-07T10:00","tasks":[{"index":0,"name":"Say 'hi'"}]})"},
        {"due 2026-12-07T10:01 --json", R"({"minute":"2026-12-07T10:01","tasks":[]})"},
        {"list --json",
         R"({"tasks":[{"index":0,"name":"Say 'hi'","rule":"Daily","nextStart":"2026-12-07T10:00"},)"
         R"({"index":1,"name":"Архив","rule":"Weekly","nextStart":"2026-12-14T09:05"}]})"},
        {"expected 2026-12-07 2026-12-07 --sort 1 --json",
         R"({"from":"2026-12-07","to":"2026-12-07","rows":[)"
         R"({"start":"2026-12-07T10:00","taskIndex":0,"backupType":1,"time":"2026-12-07, 10:00 {Monday}",)"
         R"("name":"Say 'hi'","server":"10.0.0.5:1972","database":"/db/","type":"Full","path":"/bak/"},)"
         R"({"start":"2026-12-07T09:05","taskIndex":1,"backupType":1,"time":"2026-12-07,  9:05 {Monday}",)"
         R"("name":"Архив","server":"10.0.0.5:1972","database":"/db/","type":"Full","path":"/bak/"}]})"},
    };
    for (const Case& c : cases) {
        const CommandResult r = run(c.args, env);
        EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, std::string(c.out) + "\n") << c.args;
    }
}

TEST(Programs, AnswerVersionAndHelpWithoutStarting) {
    std::vector<std::pair<std::string, std::string>> programs = {{"tarvelctl", TARVELCTL},
                                                                 {"cachesim", CACHESIM}};
#ifdef TARVEL
    programs.emplace_back("tarvel", TARVEL);
#endif
    for (const auto& [name, path] : programs) {
        CommandResult r = tvl::test::runCommand("'" + path + "' --version");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, name + " " TVL_PROJECT_VERSION "\n");
        r = tvl::test::runCommand("'" + path + "' --help");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out.rfind("usage: " + name + " ", 0), 0u) << name << ": " << r.out;
        EXPECT_NE(r.out.find("--version"), std::string::npos) << name;
        EXPECT_EQ(r.err, "") << name;
    }
}

TEST_F(Tarvelctl, ServeWaitsWhileAnotherTarvelStartsTheBackupsAndStatusSaysWho) {
    writeTasks({taskLine("A", "10:00", "1")});
    tvl::SchedulerLock desktop(tvl::SchedulerKind::Desktop, dir.file("tvl.lock"));
    ASSERT_EQ(desktop.tryTake(), tvl::SchedulerLock::Result::Held);
    const std::string pid = std::to_string(::getpid());

    CommandResult r = run("status", "TVL_FAKE_NOW=2026-12-07T09:05");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scheduler: desktop program, PID " + pid +
                         "\nlast checked: none\n0\tA\tDaily\t2026-12-07 10:00\n");
    r = run("status --json", "TVL_FAKE_NOW=2026-12-07T09:05");
    EXPECT_EQ(r.out, R"({"scheduler":{"kind":"desktop","pid":)" + pid +
                         R"(},"lastChecked":null,"stateFile":"missing","tasks":[)"
                         R"({"index":0,"name":"A","rule":"Daily","nextStart":"2026-12-07T10:00"}]})"
                         "\n");

    // serve in the background until it has said once that it waits, then SIGTERM.
    r = tvl::test::runCommand("'" TARVELCTL "' --dir '" + dir.path() + "' serve 2>'" +
                              dir.file("err") + "' & p=$!; for i in $(seq 100); do grep -q PID '" +
                              dir.file("tvl.log") +
                              "' 2>/dev/null && break; sleep 0.1; done; kill -TERM $p; wait $p");
    EXPECT_EQ(r.status, 0) << tvl::test::readFile(dir.file("err"));
    const std::string waits =
        "Backups are started by another Tarvel: PID " + pid + " (desktop program)";
    const std::string log = tvl::test::readFile(dir.file("tvl.log"));
    EXPECT_LT(log.find("Program started"), log.find(waits)) << log;
    EXPECT_LT(log.find(waits), log.find("Program finished")) << log;
    EXPECT_EQ(log.find(waits), log.rfind(waits)) << "said once";
    EXPECT_NE(tvl::test::readFile(dir.file("err")).find(waits), std::string::npos);
    EXPECT_FALSE(tvl::test::fileExists(dir.file("tvl.state"))) << "the waiting one keeps none";

    // A folder whose lock cannot be taken at all: serve cannot start.
    desktop.release();
    std::filesystem::remove(dir.file("tvl.lock"));
    std::filesystem::create_directory(dir.file("tvl.lock"));
    r = run("serve");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tvl.lock"), std::string::npos) << r.err;
}

TEST_F(Tarvelctl, HistoryShowsAWeekOfPlannedStartsBesideTheirJobs) {
    writeTasks({taskLine("D", " 9:00", "1"), taskLine("W", "10:00", "21000000")});
    // The tests run in UTC: a minute's epoch is its civil minute times 60.
    auto at = [](const char* minute) {
        tvl::CivilMinute m = 0;
        EXPECT_TRUE(tvl::parseMinuteText(minute, m));
        return static_cast<std::time_t>(m * 60);
    };
    tvl::JobJournal journal(dir.file("jobs.jnl"));
    auto add = [&](const char* name, const char* started, std::optional<const char*> due,
                   std::optional<tvl::JobOutcome> outcome, const char* last = "") {
        tvl::JobRecord job = tvl::test::startedJob(
            name, at(started), due ? std::optional(at(*due) / 60) : std::nullopt);
        ASSERT_TRUE(journal.appendStart(job));
        if (outcome) {
            ASSERT_TRUE(journal.appendEnd(
                tvl::test::endedJob(job, *outcome, job.started + 120, last, "why")));
        }
    };
    using O = tvl::JobOutcome;
    add("D", "2026-12-07T09:00", "2026-12-07T09:00", O::Completed, "Backup completed");
    add("W", "2026-12-07T10:00", "2026-12-07T10:00", O::Failed, "Backup failed: x");
    add("D", "2026-12-08T09:00", "2026-12-08T09:00", O::Unknown);
    add("D", "2026-12-10T09:30", std::nullopt, O::Completed, "by hand");
    add("D", "2026-12-13T09:00", "2026-12-13T09:00", std::nullopt);
    const std::string env = "TVL_FAKE_NOW=2026-12-13T12:00";
    CommandResult r = run("history --from 2026-12-07 --to 2026-12-13", env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "2026-12-07 09:00\tD\tcompleted\t2026-12-07 09:00:00\t2026-12-07 09:02:00\t"
              "Backup completed\n"
              "2026-12-07 10:00\tW\tfailed\t2026-12-07 10:00:00\t2026-12-07 10:02:00\t"
              "Backup failed: x\n"
              "2026-12-08 09:00\tD\tunknown\t2026-12-08 09:00:00\t2026-12-08 09:02:00\twhy\n"
              "2026-12-09 09:00\tD\tmissed\t-\t-\t\n"
              "2026-12-10 09:00\tD\tcompleted\t2026-12-10 09:30:00\t2026-12-10 09:32:00\t"
              "by hand\n"
              "2026-12-11 09:00\tD\tmissed\t-\t-\t\n"
              "2026-12-12 09:00\tD\tmissed\t-\t-\t\n"
              "2026-12-13 09:00\tD\trunning\t2026-12-13 09:00:00\t-\t\n");

    // The planned rows are the expected backups of the same days, row for row.
    const CommandResult e = run("expected 2026-12-07 2026-12-13");
    std::string planned;
    for (std::size_t at = 0; at < e.out.size(); at = e.out.find('\n', at) + 1) {
        // "2026-12-07,  9:00 {Monday}\tD\t..." gives "2026-12-07 09:00\tD".
        const std::string time = e.out.substr(at + 12, 5);
        planned += e.out.substr(at, 10) + " " + (time[0] == ' ' ? "0" + time.substr(1) : time) +
                   "\t" + e.out.substr(at + e.out.substr(at).find('\t') + 1, 1) + "\n";
    }
    std::string history;
    for (std::size_t at = 0; at < r.out.size(); at = r.out.find('\n', at) + 1) {
        history += r.out.substr(at, 18) + "\n";
    }
    EXPECT_EQ(history, planned);

    r = run("--json history --from 2026-12-13 W", env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, R"({"from":"2026-12-13","to":"2026-12-13","rows":[]})"
                     "\n");
    r = run("history --from 2026-12-07 --to 2026-12-07 W --json", env);
    EXPECT_EQ(r.out,
              R"({"from":"2026-12-07","to":"2026-12-07","rows":[{"planned":"2026-12-07T10:00",)"
              R"("task":"W","state":"failed","job":{"started":"2026-12-07T10:00:00",)"
              R"("ended":"2026-12-07T10:02:00","server":"127.0.0.1:1972","type":"Full",)"
              R"("backupFile":"/bak/Full_x(W).bcp","logFile":"/bak/Full_x(W).log",)"
              R"("lastLine":"Backup failed: x","reason":"why"}}]})"
              "\n");
    // By default the last seven days, today included.
    r = run("history D", env);
    EXPECT_EQ(r.out.substr(0, 16), "2026-12-07 09:00");
}
