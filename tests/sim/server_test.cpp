#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "sim/backup.h"
#include "simtest.h"

using namespace simtest;
namespace fs = std::filesystem;

using namespace std::chrono_literals;

namespace {

// A server built with the sanitizers runs several times slower; bounds on time widen with it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// True when `text` has the shape of `pattern`, where "9" stands for any digit.
bool shaped(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

class Server : public ::testing::Test {
protected:
    Server() {
        writeFile(dir / "db/user/CACHE.DAT", "user data");
        writeFile(dir / "db/sys/CACHE.DAT", "sys data");
        fs::create_directories(dir / "save");
    }
    std::vector<std::string> args() {
        return {"--data",     (dir / "data").string(),    "--listen",   "127.0.0.1:0",
                "--database", (dir / "db/user").string(), "--database", (dir / "db/sys/").string()};
    }
    TempDir dir;
};

}  // namespace

TEST_F(Server, ABackupRunAndADatabaseListWalkGetTheRepliesTheProgramExpects) {
    auto a = args();
    a.insert(a.end(), {"--trace", (dir / "trace.log").string()});
    SimProcess sim(a);
    EXPECT_EQ(sim.listeningLine(), "listening on 127.0.0.1:" + std::to_string(sim.port()));

    // The walk of the database list and the run go on at once, line by line in turn, on two
    // connections: the walk stays in USER and names %SYS in its reference.
    WireClient walk(sim.port());
    WireClient run(sim.port());
    EXPECT_EQ(walk.greeting(), "VISM 1\n");
    EXPECT_EQ(run.greeting(), "VISM 1\n");
    std::vector<std::string> listed;
    std::array<std::string, 10> p;
    bool walkDone = false;
    auto walkPass = [&] {
        if (walkDone) {
            return;
        }
        Reply r = walk.exec("$o(^|\"%SYS\"|SYS(\"UCI\",P0))", p);
        ASSERT_TRUE(r.ok) << r.payload;
        walkDone = r.payload.empty() || listed.size() > 10;
        if (!r.payload.empty()) {
            listed.push_back(r.payload);
        }
        p[0] = r.payload;
    };
    auto expectEmptyOk = [&](const std::string& line) {
        Reply r = run.exec(line);
        EXPECT_TRUE(r.ok) << line << " -> " << r.code << " " << r.payload;
        EXPECT_EQ(r.payload, "") << line;
        walkPass();
    };
    std::string user = tvl::sim::canonicalDirectory((dir / "db/user").string());
    std::string sys = tvl::sim::canonicalDirectory((dir / "db/sys").string());
    expectEmptyOk("ZN \"%SYS\"");
    expectEmptyOk("k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")");
    // The last directory typed with its closing "/", the first as the user typed it.
    expectEmptyOk("s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"" + (dir / "db/user").string() +
                  "\")=\"\"");
    expectEmptyOk("s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"" + sys + "\")=\"\"");
    EXPECT_TRUE(walkDone);
    EXPECT_EQ(listed, (std::vector<std::string>{sys, user}));
    Reply h = run.exec("$h");
    ASSERT_TRUE(h.ok);
    std::size_t comma = h.payload.find(',');
    ASSERT_NE(comma, std::string::npos) << h.payload;
    EXPECT_TRUE(shaped(h.payload.substr(0, comma), "99999")) << h.payload;
    std::string secs = h.payload.substr(comma + 1);
    EXPECT_TRUE(!secs.empty() && secs.size() <= 5 && shaped(secs, std::string(secs.size(), '9')) &&
                std::stol(secs) < 86400)
        << h.payload;
    Reply d = run.exec("$tr($zd($h,3),\"/\",\"-\")");
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(shaped(d.payload, "9999-99-99")) << d.payload;
    std::string stem = (dir / "save").string() + "/Full_" + d.payload + "_15h05m07s(Nightly)";
    std::array<std::string, 10> jp = {"",  "F", "", stem + ".bcp", "Y", stem + ".log", "NOINPUT",
                                      "Y", "Y", ""};
    Reply j = run.exec("J BACKUP^DBACK(P0,P1,P2,P3,P4,P5,P6,P7,P8,P9)", jp);
    EXPECT_TRUE(j.ok) << j.payload;
    EXPECT_EQ(j.payload, "");

    EXPECT_EQ(waitForLastLine(stem + ".log").rfind("Backup completed successfully", 0), 0u);
    auto members = archiveMembers(stem + ".bcp");
    EXPECT_EQ(members.size(), 2u);
    EXPECT_EQ(members[(dir / "db/user/CACHE.DAT").string().substr(1)], "user data");
    EXPECT_EQ(members[(dir / "db/sys/CACHE.DAT").string().substr(1)], "sys data");

    std::string trace = readFile(dir / "trace.log");
    EXPECT_NE(trace.find("J BACKUP^DBACK(P0,P1,P2,P3,P4,P5,P6,P7,P8,P9) P1=\"F\""),
              std::string::npos);
}

TEST_F(Server, EachConnectionHasItsOwnNamespace) {
    SimProcess sim(args());
    WireClient a(sim.port()), b(sim.port());
    ASSERT_TRUE(a.exec("ZN \"%SYS\"").ok);
    ASSERT_TRUE(a.exec("S ^T=\"in sys\"").ok);
    ASSERT_TRUE(b.exec("S ^T=\"in user\"").ok);
    EXPECT_EQ(a.exec("^T").payload, "in sys");
    EXPECT_EQ(b.exec("^T").payload, "in user");
    // A new connection starts in USER again.
    WireClient c(sim.port());
    EXPECT_EQ(c.exec("^T").payload, "in user");
    Reply e = c.exec("^NOPE");
    EXPECT_EQ(e.code, 9);
    EXPECT_EQ(e.payload, "<UNDEFINED>^NOPE");
    EXPECT_TRUE(c.exec("1").ok);  // the session stays open after an error
}

TEST_F(Server, GlobalsSurviveARestartAndAKill) {
    {
        SimProcess sim(args());
        WireClient c(sim.port());
        ASSERT_TRUE(c.exec("S ^KEEP(1)=\"a\"\"b\",^|\"%SYS\"|KEEP=2").ok);
        EXPECT_EQ(WEXITSTATUS(sim.stop(SIGTERM)), 0);
    }
    {
        SimProcess sim(args());
        WireClient c(sim.port());
        EXPECT_EQ(c.exec("^KEEP(1)_^|\"%SYS\"|KEEP").payload, "a\"b2");
        // Every acknowledged change is on disk, whenever the server dies.
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(c.exec("S ^K(" + std::to_string(i) + ")=" + std::to_string(i)).ok);
        }
        int status = sim.stop(SIGKILL);
        EXPECT_TRUE(WIFSIGNALED(status));
    }
    SimProcess sim(args());
    WireClient c(sim.port());
    EXPECT_EQ(c.exec("$O(^K(\"\"),-1)").payload, "49");
    EXPECT_EQ(c.exec("^K(49)").payload, "49");
    EXPECT_EQ(c.exec("$D(^K(0))").payload, "1");
}

TEST_F(Server, MalformedFramesGetAProtocolErrorAndTheConnectionCloses) {
    SimProcess sim(args());
    WireClient healthy(sim.port());
    const std::string bad[] = {
        "HELLO\n",
        "EXEC 1 0 0\n",
        "EXEC 2000000 0 0 0 0 0 0 0 0 0 0\n",
        std::string(300, 'A'),
        "EXEC 0 0 0 0 0 0 0 0 0 0 0\r\n",
        // More bytes follow the bad header: the error must still reach the client.
        "HELLO\n" + std::string(1 << 20, 'x'),
    };
    for (const auto& b : bad) {
        WireClient c(sim.port());
        c.sendRaw(b);
        Reply r = c.readReply();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.payload.rfind("<PROTOCOL>", 0), 0u) << r.payload;
        EXPECT_TRUE(c.closedByServer());
    }
    // QUIT closes without a reply.
    WireClient q(sim.port());
    q.sendRaw("QUIT\n");
    EXPECT_TRUE(q.closedByServer());
    EXPECT_EQ(healthy.exec("\"still here\"").payload, "still here");
}

TEST_F(Server, ASlowOrSilentClientBlocksNobody) {
    SimProcess sim(args(), {"CACHESIM_STALL_TIMEOUT_MS=500"});
    WireClient stalled(sim.port());
    std::string f = frame("\"abc\"");
    stalled.sendRaw(f.substr(0, f.size() - 2));  // the frame stops short
    WireClient silent(sim.port(), false);        // never reads, not even the greeting
    for (int i = 0; i < 3; ++i) {
        silent.sendRaw(frame("$h"));
    }
    WireClient other(sim.port());
    EXPECT_EQ(other.exec("\"served\"").payload, "served");
    // Pipelined requests are all answered, in order.
    other.sendRaw(frame("1") + frame("2") + frame("3"));
    EXPECT_EQ(other.readReply().payload, "1");
    EXPECT_EQ(other.readReply().payload, "2");
    EXPECT_EQ(other.readReply().payload, "3");
    // The stalled frame is given up after the stall timeout.
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(stalled.closedByServer());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // A client that vanishes mid-frame is dropped and the server carries on.
    {
        WireClient gone(sim.port());
        gone.sendRaw("EXEC 5 0 0 0 0 0 0 0 0 0 0\nab");
    }
    EXPECT_EQ(other.exec("\"after\"").payload, "after");
}

TEST_F(Server, StopsCleanlyOnSignalsAndRefusesBadStarts) {
    for (int sig : {SIGTERM, SIGINT}) {
        SimProcess sim(args());
        WireClient c(sim.port());
        ASSERT_TRUE(c.exec("1").ok);
        int status = sim.stop(sig);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    std::string err;
    EXPECT_EQ(runToEnd({"--listen", "127.0.0.1:0"}, err), 2);
    EXPECT_NE(err.find("--data"), std::string::npos);
    EXPECT_EQ(runToEnd({"--data", (dir / "d2").string(), "--bogus"}, err), 2);
    EXPECT_EQ(runToEnd({"--data", (dir / "d2").string(), "--listen", "nohost"}, err), 2);
    EXPECT_EQ(runToEnd({"--data", (dir / "d2").string(), "--listen", "127.0.0.1:0", "--database",
                        (dir / "missing").string()},
                       err),
              1);
    EXPECT_NE(err.find("is not a directory"), std::string::npos) << err;
    // A second server on the same data would overwrite the first one's globals.
    SimProcess first(args());
    EXPECT_EQ(runToEnd(args(), err), 1);
    EXPECT_NE(err.find("in use"), std::string::npos) << err;
    // A damaged globals file stops the start instead of starting empty.
    writeFile(dir / "d3/USER.globals", "garbage");
    EXPECT_EQ(runToEnd({"--data", (dir / "d3").string(), "--listen", "127.0.0.1:0"}, err), 1);
    EXPECT_NE(err.find("damaged"), std::string::npos) << err;
}

TEST_F(Server, NoClientCanLockTheOthersOut) {
    SimProcess sim(args());
    // Every slot is taken by a client that sent half a frame and nothing since.
    std::vector<std::unique_ptr<WireClient>> slow;
    for (int i = 0; i < 128; ++i) {
        slow.push_back(std::make_unique<WireClient>(sim.port()));
        slow.back()->sendRaw("EXEC 5 0 0 0 0 0 0 0 0 0 0\nab");
    }
    // One more client builds a value of a megabyte and sends a line of thousands of
    // operations on it, which would take the server many seconds to work through.
    WireClient heavy(sim.port());
    ASSERT_TRUE(heavy.exec("S X=\"abcdefgh\"").ok);
    for (int i = 0; i < 17; ++i) {
        ASSERT_TRUE(heavy.exec("S X=X_X").ok);
    }
    std::string line = "$TR(X,X)";
    for (int i = 0; i < 5000; ++i) {
        line += "_$TR(X,X)";
    }
    heavy.sendRaw(frame(line));
    // Yet another client is still served, and soon.
    auto start = std::chrono::steady_clock::now();
    WireClient normal(sim.port());
    EXPECT_EQ(normal.exec("\"served\"").payload, "served");
    EXPECT_LT(std::chrono::steady_clock::now() - start, kSanitized ? 3s : 1s);
    Reply r = heavy.readReply();
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.payload, "<STORE>");
    // The two slots were taken from the clients idle longest.
    EXPECT_TRUE(slow[0]->closedByServer());
    EXPECT_TRUE(slow[1]->closedByServer());
    EXPECT_EQ(heavy.exec("1").payload, "1");
}

TEST_F(Server, AFrameMustArriveWholeInTimeAndIdleConnectionsAreClosed) {
    SimProcess sim(args(), {"CACHESIM_STALL_TIMEOUT_MS=400", "CACHESIM_IDLE_TIMEOUT_MS=400"});
    WireClient trickle(sim.port()), idle(sim.port()), busy(sim.port());
    trickle.sendRaw("EXEC 50 0 0 0 0 0 0 0 0 0 0\n");
    // A byte every 100 ms: a timer that each byte restarted would never run out.
    std::atomic<bool> stop{false};
    std::thread dribble([&] {
        for (int i = 0; i < 40 && !stop; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            trickle.sendRaw("x");
        }
    });
    // A client that sends a request every 100 ms is never idle.
    for (int i = 0; i < 15; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(busy.exec("1").payload, "1") << i;
    }
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(trickle.closedByServer());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    stop = true;
    dribble.join();
    EXPECT_TRUE(idle.closedByServer());
    EXPECT_EQ(busy.exec("2").payload, "2");
}

TEST_F(Server, AChangeTheDiskRefusedIsUndoneBeforeTheReply) {
    fs::path data = dir / "data";
    {
        SimProcess sim(args());
        WireClient c(sim.port());
        ASSERT_TRUE(c.exec("S ^A=1").ok);
        // The namespace's file cannot be replaced: a folder stands at its name.
        fs::remove(data / "USER.globals");
        fs::create_directory(data / "USER.globals");
        Reply r = c.exec("S ^A=2,^B=3");
        EXPECT_EQ(r.code, 20);
        EXPECT_EQ(r.payload.rfind("<DISKHARD>", 0), 0u) << r.payload;
        // Nothing of the refused change is seen, and reading goes on working.
        EXPECT_EQ(c.exec("^A_\"/\"_$D(^B)").payload, "1/0");
        // A change to the other namespace alone is written as usual.
        EXPECT_TRUE(c.exec("S ^|\"%SYS\"|Z=1").ok);
        // A backup job the disk refused leaves no record behind either.
        fs::remove(data / "%SYS.globals");
        fs::create_directory(data / "%SYS.globals");
        ASSERT_TRUE(c.exec("ZN \"%SYS\"").ok);
        std::array<std::string, 10> jp;
        jp[1] = "F";
        jp[3] = (dir / "save/a.bcp").string();
        jp[5] = (dir / "save/a.log").string();
        EXPECT_EQ(c.exec("J BACKUP^DBACK(P0,P1,P2,P3,P4,P5)", jp).code, 20);
        EXPECT_EQ(c.exec("$D(^SYS(\"BACKUPHISTORY\"))").payload, "0");
        // Once there is room again, the next change is written, without the refused ones.
        fs::remove(data / "USER.globals");
        fs::remove(data / "%SYS.globals");
        ASSERT_TRUE(c.exec("S ^|\"USER\"|C=4").ok);
        EXPECT_EQ(WEXITSTATUS(sim.stop(SIGTERM)), 0);
    }
    SimProcess sim(args());
    WireClient c(sim.port());
    EXPECT_EQ(c.exec("^A_\"/\"_$D(^B)_\"/\"_^C_$D(^|\"%SYS\"|SYS(\"BACKUPHISTORY\"))_^|\"%SYS\"|Z")
                  .payload,
              "1/0/401");
}

TEST_F(Server, SigtermEndsTheServerWhateverAJobMeetsInsteadOfFiles) {
    SimProcess sim(args());
    // A FIFO at the log's name, and one among the database's files: neither has a writer
    // or a reader, so opening either the usual way would wait for ever.
    ASSERT_EQ(::mkfifo((dir / "save/job.log").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "db/user/pipe").c_str(), 0600), 0);
    WireClient c(sim.port());
    ASSERT_TRUE(c.exec("ZN \"%SYS\"").ok);
    ASSERT_TRUE(
        c.exec("S ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"" + (dir / "db/user").string() + "\")=\"\"")
            .ok);
    std::array<std::string, 10> jp;
    jp[1] = "F";
    jp[3] = (dir / "save/job.bcp").string();
    jp[5] = (dir / "save/job.log").string();
    ASSERT_TRUE(c.exec("J BACKUP^DBACK(P0,P1,P2,P3,P4,P5)", jp).ok);
    std::string status;
    for (int i = 0; i < 500 && status != "COMPLETED"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        status = c.exec("$G(^SYS(\"BACKUPHISTORY\",1,\"STATUS\"))").payload;
    }
    EXPECT_EQ(status, "COMPLETED");
    if (fs::exists(dir / "save/job.bcp")) {
        EXPECT_EQ(archiveMembers(dir / "save/job.bcp").size(), 1u);
    }
    int ended = sim.stopWithin(SIGTERM, std::chrono::seconds(10));
    EXPECT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 0) << ended;
}
