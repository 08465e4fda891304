#include "sim/backup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>

#include "sim/interp.h"
#include "simtest.h"

using namespace tvl::sim;
namespace fs = std::filesystem;
using simtest::archiveMembers;
using simtest::readLines;

namespace {

class Backup : public ::testing::Test {
protected:
    Backup() {
        db1 = canonicalDirectory((dir / "db1").string());
        db2 = canonicalDirectory((dir / "db2").string());
        simtest::writeFile(dir / "db1/CACHE.DAT", "data one");
        simtest::writeFile(dir / "db1/sub/deep.dat", "deep");
        simtest::writeFile(dir / "db2/CACHE.DAT", "data two");
        fs::create_directories(dir / "out");
        fs::create_symlink(dir / "db2/CACHE.DAT", dir / "db1/link.dat");
        // Files older than any job, so only what a test changes counts as changed.
        for (const char* f : {"db1/CACHE.DAT", "db1/sub/deep.dat", "db2/CACHE.DAT"}) {
            simtest::ageFile(dir / f, 3600);
        }
        open();
        sys->set({"SYS", "UCI", db1}, "");
        sys->set({"SYS", "UCI", db2}, "");
    }

    void open() {
        jobs.reset();
        sys = std::make_unique<GlobalStore>(dir / "%SYS.globals");
        jobs = std::make_unique<BackupManager>(
            *sys,
            [this](const std::string& text) {
                std::lock_guard lock(diagMutex);
                diagnostics.push_back(text);
            },
            [this] { return clockNs.load(); });
    }
    void restart() {
        jobs->waitAll();
        sys->flush();
        open();
    }

    void listDirectories(const std::vector<std::string>& dirs) {
        sys->kill({"SYS", "BACKUPCHUI", "DIRECTORIES"});
        for (const auto& d : dirs) {
            sys->set({"SYS", "BACKUPCHUI", "DIRECTORIES", d}, "");
        }
    }

    // Runs one job to its end, ten seconds after the one before; returns the archive's path.
    fs::path job(const std::string& type, const std::string& name) {
        clockNs += 10 * kSecond;
        std::array<std::string, 10> p = {"",        type,
                                         "",        (dir / "out" / (name + ".bcp")).string(),
                                         "Y",       (dir / "out" / (name + ".log")).string(),
                                         "NOINPUT", "Y",
                                         "Y",       ""};
        jobs->start(p);
        jobs->waitAll();
        return dir / "out" / (name + ".bcp");
    }
    fs::path logOf(const std::string& name) { return dir / "out" / (name + ".log"); }
    // A Full job with this archive and log, run to its end.
    void fullJob(const fs::path& archive, const fs::path& log) {
        std::array<std::string, 10> p;
        p[1] = "F";
        p[3] = archive.string();
        p[5] = log.string();
        jobs->start(p);
        jobs->waitAll();
    }

    std::string member(const std::string& rel) { return ((dir / rel).string()).substr(1); }

    std::set<std::string> names(const fs::path& archive) {
        std::set<std::string> out;
        for (const auto& [n, content] : archiveMembers(archive)) {
            out.insert(n);
        }
        return out;
    }

    // Changes a file five seconds after the last job started.
    void touch(const std::string& rel, const std::string& content) {
        simtest::writeFile(dir / rel, content);
        std::int64_t t = clockNs + 5 * kSecond;
        timespec times[2] = {{t / kSecond, t % kSecond}, {t / kSecond, t % kSecond}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / rel).c_str(), times, 0), 0);
    }

    static constexpr std::int64_t kSecond = 1000000000;
    // The jobs' clock starts well after the files were written and before the present.
    std::atomic<std::int64_t> clockNs{fileClockNow() - 1000 * kSecond};

    simtest::TempDir dir;
    std::string db1, db2;
    std::unique_ptr<GlobalStore> sys;
    std::unique_ptr<BackupManager> jobs;
    std::mutex diagMutex;
    std::vector<std::string> diagnostics;
};

}  // namespace

TEST_F(Backup, FullTakesEveryRegularFileUnderItsAbsoluteName) {
    // One entry typed without its closing "/": it still names the database.
    listDirectories({db1.substr(0, db1.size() - 1), db2});
    fs::path archive = job("F", "full");
    auto members = archiveMembers(archive);
    EXPECT_EQ(members.size(), 3u);  // the symbolic link is not followed
    EXPECT_EQ(members[member("db1/CACHE.DAT")], "data one");
    EXPECT_EQ(members[member("db1/sub/deep.dat")], "deep");
    EXPECT_EQ(members[member("db2/CACHE.DAT")], "data two");

    auto log = readLines(logOf("full"));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].rfind("Backup started", 0), 0u) << log[0];
    EXPECT_EQ(log[1], "Database " + db1 + ": 2 files, 12 bytes");
    EXPECT_EQ(log[2], "Database " + db2 + ": 1 files, 8 bytes");
    EXPECT_EQ(log[3].rfind("Backup completed successfully", 0), 0u) << log[3];
    // No temporary file is left beside the archive.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir / "out")) {
        ++files;
    }
    EXPECT_EQ(files, 2);
    EXPECT_EQ(sys->get({"SYS", "BACKUPHISTORY", "1", "STATUS"}), "COMPLETED");
}

TEST_F(Backup, CumulativeAndIncrementalFollowTheHistoryAcrossARestart) {
    listDirectories({db1, db2});
    // Without a Full, both take everything.
    EXPECT_EQ(names(job("I", "i0")).size(), 3u);
    EXPECT_EQ(names(job("C", "c0")).size(), 3u);

    job("F", "full");
    touch("db1/CACHE.DAT", "changed once");
    EXPECT_EQ(names(job("I", "i1")), std::set<std::string>{member("db1/CACHE.DAT")});
    EXPECT_EQ(names(job("C", "c1")), std::set<std::string>{member("db1/CACHE.DAT")});
    EXPECT_EQ(archiveMembers(dir / "out/c1.bcp")[member("db1/CACHE.DAT")], "changed once");

    touch("db2/CACHE.DAT", "changed twice");
    // Incremental: since the last backup of any type (c1); Cumulative: since the Full.
    EXPECT_EQ(names(job("I", "i2")), std::set<std::string>{member("db2/CACHE.DAT")});
    EXPECT_EQ(names(job("C", "c2")),
              (std::set<std::string>{member("db1/CACHE.DAT"), member("db2/CACHE.DAT")}));

    restart();
    // Nothing changed since c2: an Incremental writes an archive without members and succeeds.
    fs::path empty = job("I", "i3");
    ASSERT_TRUE(fs::exists(empty));
    EXPECT_TRUE(archiveMembers(empty).empty());
    EXPECT_EQ(readLines(logOf("i3")).back().rfind("Backup completed successfully", 0), 0u);
    touch("db1/sub/deep.dat", "after restart");
    EXPECT_EQ(names(job("I", "i4")), std::set<std::string>{member("db1/sub/deep.dat")});
}

TEST_F(Backup, HistoryIsKeptPerDatabase) {
    // A Full of db1 alone says nothing about db2: a Cumulative of both takes all of db2.
    listDirectories({db1});
    job("F", "full1");
    listDirectories({db1, db2});
    EXPECT_EQ(names(job("C", "c")), std::set<std::string>{member("db2/CACHE.DAT")});
}

TEST_F(Backup, FailedJobsLeaveNoArchiveAndALogThatSaysWhy) {
    struct Case {
        std::string type;
        std::vector<std::string> dirs;
        std::string archiveDir;
        std::string reason;
    };
    fs::create_directories(dir / "notadb");
    const Case cases[] = {
        {"F", {db1, (dir / "notadb").string()}, "out", "is not a database of this server"},
        {"X", {db1}, "out", "unknown backup type \"X\""},
        {"", {db1}, "out", "unknown backup type"},
        {"F", {}, "out", "no directories to back up"},
        {"F", {db1}, "missing", "cannot create archive"},
    };
    int n = 0;
    for (const auto& c : cases) {
        listDirectories(c.dirs);
        std::string name = "bad" + std::to_string(++n);
        std::array<std::string, 10> p;
        p[1] = c.type;
        p[3] = (dir / c.archiveDir / (name + ".bcp")).string();
        p[5] = (dir / "out" / (name + ".log")).string();
        jobs->start(p);
        jobs->waitAll();
        EXPECT_FALSE(fs::exists(p[3])) << name;
        auto log = readLines(p[5]);
        ASSERT_GE(log.size(), 2u) << name;
        EXPECT_EQ(log.front().rfind("Backup started", 0), 0u);
        EXPECT_EQ(log.back().rfind("Backup failed: ", 0), 0u) << log.back();
        EXPECT_NE(log.back().find(c.reason), std::string::npos) << log.back();
        EXPECT_EQ(sys->get({"SYS", "BACKUPHISTORY", std::to_string(n), "STATUS"}), "FAILED");
    }
    // Only the logs are in the output folder: no archive, no partial file.
    for (const auto& e : fs::directory_iterator(dir / "out")) {
        EXPECT_EQ(e.path().extension(), ".log") << e.path();
    }
    // Failed jobs do not count as the base of a later Cumulative.
    listDirectories({db1});
    EXPECT_EQ(names(job("C", "after")).size(), 2u);
}

TEST_F(Backup, AJobInterruptedByAStopIsNotABaseAfterRestart) {
    listDirectories({db1});
    sys->set({"SYS", "BACKUPHISTORY"}, "1");
    sys->set({"SYS", "BACKUPHISTORY", "1", "TYPE"}, "F");
    sys->set({"SYS", "BACKUPHISTORY", "1", "STARTNS"}, "1");
    sys->set({"SYS", "BACKUPHISTORY", "1", "STATUS"}, "RUNNING");
    sys->set({"SYS", "BACKUPHISTORY", "1", "DIRS", db1}, "");
    sys->set({"SYS", "BACKUPHISTORY", "1", "FILE"}, (dir / "out/cut.bcp").string());
    // What the job had written so far; a file of the user's that merely looks alike stays.
    simtest::writeFile(dir / "out/cut.bcp.part-a1B2c3", "partial");
    simtest::writeFile(dir / "out/cut.bcp.part-mine.txt", "keep");
    restart();
    EXPECT_FALSE(fs::exists(dir / "out/cut.bcp.part-a1B2c3"));
    EXPECT_TRUE(fs::exists(dir / "out/cut.bcp.part-mine.txt"));
    EXPECT_EQ(sys->get({"SYS", "BACKUPHISTORY", "1", "STATUS"}), "FAILED");
    EXPECT_EQ(names(job("C", "c")).size(), 2u);
    EXPECT_EQ(sys->get({"SYS", "BACKUPHISTORY"}), "2");
}

TEST_F(Backup, AnArchiveInsideADatabaseDoesNotBackUpItself) {
    listDirectories({db1});
    fullJob(dir / "db1/self.bcp", dir / "db1/self.log");
    EXPECT_EQ(names(dir / "db1/self.bcp"),
              (std::set<std::string>{member("db1/CACHE.DAT"), member("db1/sub/deep.dat")}));
}

TEST_F(Backup, ConcurrentJobsOnOneDatabaseKeepTheirArchivesWhole) {
    std::string big(3 << 20, 'b');
    touch("db1/big.dat", big);
    listDirectories({db1});
    std::array<std::string, 10> p;
    p[1] = "F";
    for (int i = 0; i < 6; ++i) {
        // Half the jobs even write to the same archive name.
        p[3] = (dir / "out" / (i % 2 ? "same.bcp" : "own" + std::to_string(i) + ".bcp")).string();
        p[5] = (dir / "out" / ("log" + std::to_string(i) + ".log")).string();
        jobs->start(p);
    }
    jobs->waitAll();
    for (const char* name : {"same.bcp", "own0.bcp", "own2.bcp", "own4.bcp"}) {
        auto members = archiveMembers(dir / "out" / name);
        EXPECT_EQ(members.size(), 3u) << name;
        EXPECT_EQ(members[member("db1/big.dat")], big) << name;
    }
}

TEST_F(Backup, AnUnwritableLogGoesToTheDiagnostics) {
    listDirectories({db1});
    fullJob(dir / "out/a.bcp", dir / "no/such/dir/a.log");
    EXPECT_TRUE(fs::exists(dir / "out/a.bcp"));
    std::lock_guard lock(diagMutex);
    ASSERT_FALSE(diagnostics.empty());
    EXPECT_NE(diagnostics.front().find("cannot write backup log"), std::string::npos);
    EXPECT_NE(diagnostics.back().find("Backup completed successfully"), std::string::npos);
}

TEST(CanonicalDirectory, SameDatabaseWithOrWithoutClosingSlash) {
    simtest::TempDir dir;
    fs::create_directories(dir / "db");
    std::string canon = canonicalDirectory((dir / "db").string());
    EXPECT_EQ(canon.back(), '/');
    EXPECT_EQ(canonicalDirectory((dir / "db/").string()), canon);
    EXPECT_EQ(canonicalDirectory((dir / "db/./x/..").string()), canon);
    fs::create_directory_symlink(dir / "db", dir / "alias");
    EXPECT_EQ(canonicalDirectory((dir / "alias").string()), canon);
    EXPECT_EQ(canonicalDirectory("/nonexistent/x//"), "/nonexistent/x/");
    EXPECT_EQ(canonicalDirectory("/"), "/");
}

TEST_F(Backup, WhatIsPlantedAtTheLogsNameIsReplacedOrRefusedNeverWrittenThrough) {
    listDirectories({db1});
    simtest::writeFile(dir / "victim", "victim");
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> plant;
        bool refused;  // the log goes to the diagnostics and the planted thing stays
    };
    const Case cases[] = {
        {"symlink", [&](const fs::path& p) { fs::create_symlink(dir / "victim", p); }, true},
        {"hardlink", [&](const fs::path& p) { fs::create_hard_link(dir / "victim", p); }, false},
        {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, true},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, true},
    };
    for (const auto& c : cases) {
        fs::path log = logOf(c.name);
        c.plant(log);
        auto type = fs::symlink_status(log).type();
        diagnostics.clear();
        EXPECT_TRUE(fs::exists(job("F", c.name))) << c.name;
        EXPECT_EQ(simtest::readFile(dir / "victim"), "victim") << c.name;
        if (c.refused) {
            EXPECT_EQ(fs::symlink_status(log).type(), type) << c.name;
            ASSERT_FALSE(diagnostics.empty()) << c.name;
            EXPECT_NE(diagnostics.front().find("is not a regular file"), std::string::npos)
                << diagnostics.front();
        } else {
            auto lines = readLines(log);
            ASSERT_FALSE(lines.empty()) << c.name;
            EXPECT_EQ(lines.back().rfind("Backup completed successfully", 0), 0u) << c.name;
        }
    }
    // Nothing but logs and archives was left beside them.
    for (const auto& e : fs::directory_iterator(dir / "out")) {
        std::string ext = e.path().extension().string();
        EXPECT_TRUE(ext == ".log" || ext == ".bcp") << e.path();
    }
}

TEST_F(Backup, OnlyRegularFilesGoInAndWhatElseIsMetIsNamedInTheLog) {
    // Whether found in the folder or put in a file's place after the folder was read, a FIFO
    // is neither opened for ever nor archived, in both kinds of walk.
    ASSERT_EQ(::mkfifo((dir / "db1/pipe").c_str(), 0600), 0);
    for (const std::string type : {"F", "I"}) {
        BackupPlan plan;
        plan.type = type;
        plan.archive = (dir / "out" / (type + ".bcp")).string();
        plan.log = (dir / "out" / (type + ".log")).string();
        plan.directories = {db1};
        plan.databases = {db1};
        if (type == "I") {
            plan.since[db1] = 0;
        }
        fs::path swapped = dir / "db1/CACHE.DAT";
        plan.beforeOpen = [&](const std::string& path) {
            if (path == swapped.string()) {
                fs::rename(swapped, dir / "CACHE.DAT.away");
                ASSERT_EQ(::mkfifo(swapped.c_str(), 0600), 0);
            }
        };
        std::atomic<bool> cancel{false};
        BackupOutcome out = runBackup(
            plan, cancel, [](const std::string&) {}, fileClockNow);
        EXPECT_TRUE(out.ok) << type << ": " << out.reason;
        EXPECT_EQ(names(plan.archive), std::set<std::string>{member("db1/sub/deep.dat")}) << type;
        auto log = readLines(plan.log);
        for (const char* f : {"db1/CACHE.DAT", "db1/pipe"}) {
            std::string line = "Skipped " + (dir / f).string() + ": not a regular file";
            EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << type << " " << line;
        }
        fs::remove(swapped);
        fs::rename(dir / "CACHE.DAT.away", swapped);
    }
}
