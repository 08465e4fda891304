// The whole road of a backup on one machine: the command-line tool runs a task against a
// running cachesim through the control library, and the job leaves its log and archive.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/jobjournal.h"
#include "server/backuprun.h"
#include "server/controlloader.h"
#include "server/jobfollower.h"
#include "sim/backup.h"
#include "simtest.h"
#include "util/jobs.h"
#include "util/tasklines.h"

using namespace simtest;
namespace fs = std::filesystem;

namespace {

// Runs tarvelctl in `dir`; returns its exit status, its stdout in `out`.
int tarvelctl(const fs::path& dir, const std::string& args, std::string& out) {
    auto r = tvl::test::runCommand(std::string(TARVELCTL_PATH) + " --dir '" + dir.string() + "' " +
                                   args);
    out = r.out + r.err;
    return r.status;
}

// The one file of the folder whose name ends so. The server makes a job's files after it
// has answered the job line, so they are waited for a while.
fs::path onlyFileEndingWith(const fs::path& dir, const std::string& suffix) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        fs::path found;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string n = it->path().filename().string();
            if (n.size() >= suffix.size() &&
                n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0) {
                EXPECT_TRUE(found.empty()) << "two files end with " << suffix;
                found = it->path();
            }
        }
        if (!found.empty() || std::chrono::steady_clock::now() >= deadline) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

TEST(EndToEnd, TarvelctlRunStartsABackupOnCachesim) {
    TempDir dir;
    writeFile(dir / "db/user/CACHE.DAT", "user data");
    writeFile(dir / "db/user/more/extra.dat", "extra");
    writeFile(dir / "db/test/CACHE.DAT", "test data");
    fs::create_directories(dir / "save/full");
    fs::create_directories(dir / "work");
    fs::copy_file(fs::path(TVL_SOURCE_DATA_DIR) / "sample/english.dat", dir / "work/english.dat");
    SimProcess sim({"--data", (dir / "data").string(), "--listen", "127.0.0.1:0", "--database",
                    (dir / "db/user").string(), "--database", (dir / "db/test").string()});

    std::string user = (dir / "db/user").string();
    std::string test = (dir / "db/test").string();
    writeFile(dir / "work/task.txt",
              tvl::test::taskFileText({tvl::test::taskLine({.name = "Nightly",
                                                            .ip = "127.0.0.1",
                                                            .port = std::to_string(sim.port()),
                                                            .dbPaths = user + ";" + test,
                                                            .saveDir = (dir / "save/full").string(),
                                                            .startTime = "23:30"})}));

    std::string out;
    ASSERT_EQ(tarvelctl(dir / "work", "run Nightly", out), 0) << out;
    fs::path log = onlyFileEndingWith(dir / "save/full", "(Nightly).log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.filename().string().rfind("Full_", 0), 0u) << log;
    EXPECT_EQ(waitForLastLine(log).rfind("Backup completed successfully", 0), 0u) << readFile(log);
    fs::path archive = onlyFileEndingWith(dir / "save/full", "(Nightly).bcp");
    ASSERT_FALSE(archive.empty());
    auto members = archiveMembers(archive);
    EXPECT_EQ(members.size(), 3u);
    EXPECT_EQ(members[(dir / "db/user/CACHE.DAT").string().substr(1)], "user data");
    EXPECT_EQ(members[(dir / "db/user/more/extra.dat").string().substr(1)], "extra");
    EXPECT_EQ(members[(dir / "db/test/CACHE.DAT").string().substr(1)], "test data");

    // The database list the tool fetches is the server's, in the server's order.
    ASSERT_EQ(tarvelctl(dir / "work", "databases 127.0.0.1 " + std::to_string(sim.port()), out), 0)
        << out;
    EXPECT_NE(out.find(tvl::sim::canonicalDirectory(test) + "\n" +
                       tvl::sim::canonicalDirectory(user) + "\n"),
              std::string::npos)
        << out;
}

// The follower reads the jobs' own logs on cachesim through the control library.
TEST(EndToEnd, TheFollowerTellsHowEachJobOnCachesimEnded) {
    TempDir dir;
    writeFile(dir / "db/user/CACHE.DAT", "user data");
    fs::create_directories(dir / "save");
    std::vector<std::string> args = {"--data",     (dir / "data").string(),
                                     "--listen",   "127.0.0.1:0",
                                     "--database", (dir / "db/user").string()};
    auto sim = std::make_unique<SimProcess>(args);
    const std::string port = std::to_string(sim->port());
    const auto control = tvl::loadControl(TVL_BIN_DIR);
    ASSERT_TRUE(control);
    tvl::ControlContext quiet;
    quiet.interactive = false;
    tvl::bindErrorHandler(*control, quiet);
    tvl::JobJournal journal((dir / "jobs.jnl").string());

    const std::time_t start = std::time(nullptr);
    auto runJob = [&](const std::string& name, const std::string& db) {
        const tvl::RunInputs in{"127.0.0.1", port, db, (dir / "save").string() + "/", "Full", name};
        const tvl::RunOutcome out = tvl::runBackup(*control, in, quiet);
        EXPECT_EQ(out.status, tvl::RunStatus::Started) << control->errorName();
        EXPECT_TRUE(tvl::recordJobStart(journal, in, out, start));
        return out.logFile;
    };
    const std::string good = runJob("Good", (dir / "db/user").string() + "/");
    const std::string bad = runJob("Bad", (dir / "db/none").string() + "/");
    tvl::JobRecord noLog = tvl::test::startedJob("NoLog", start, std::nullopt, port);
    noLog.logFile = (dir / "save/never.log").string();
    ASSERT_TRUE(journal.appendStart(noLog));
    ASSERT_EQ(waitForLastLine(good).rfind("Backup completed successfully", 0), 0u);
    ASSERT_EQ(waitForLastLine(bad).rfind("Backup failed", 0), 0u);

    auto outcomes = [&](std::time_t now) {
        std::string text;
        for (const tvl::JobRecord& j : tvl::followJobs(*control, journal, {}, now)) {
            text += j.taskName + " " + tvl::jobOutcomeWord(j.outcome) + ": " +
                    tvl::jobEndDetail(j) + "\n";
        }
        return text;
    };
    std::string first = outcomes(start + 60);
    EXPECT_NE(first.find("Good completed: Backup completed successfully"), std::string::npos)
        << first;
    EXPECT_NE(first.find("Bad failed: Backup failed: directory " + (dir / "db/none").string() +
                         "/ is not a database of this server\n"),
              std::string::npos)
        << first;
    EXPECT_EQ(first.find("NoLog"), std::string::npos) << "within the grace time";

    // Past the grace time, but the server is away: tried again, and once it is back the
    // log that is not there counts.
    sim->stop(SIGTERM);
    EXPECT_EQ(outcomes(start + std::time_t{6} * 60), "");
    args[3] = "127.0.0.1:" + port;
    sim = std::make_unique<SimProcess>(args);
    EXPECT_EQ(outcomes(start + std::time_t{7} * 60),
              "NoLog unknown: the job's log " + noLog.logFile + " cannot be opened\n");
}
