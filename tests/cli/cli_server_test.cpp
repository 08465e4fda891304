// The built tarvelctl and libvism.so against a scripted server on a loopback port.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/taskline.h"
#include "fakes/scriptedserver.h"
#include "server/controlloader.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

using namespace tvl;
using test::PeerAction;
using test::ScriptedServer;

namespace {

const std::string kJob = "J BACKUP^DBACK(P0,P1,P2,P3,P4,P5,P6,P7,P8,P9)";
const std::string kDateLine = "$tr($zd($h,3),\"/\",\"-\")";
const std::string kStamp = "12/07/2026 10:15:00 ";

// One request as the protocol writes it, built here by hand from the protocol's rules.
std::string frame(const std::string& code, const std::vector<std::string>& params = {}) {
    std::string header = "EXEC " + std::to_string(code.size());
    std::string payload = code;
    for (std::size_t i = 0; i < 10; ++i) {
        const std::string p = i < params.size() ? params[i] : "";
        header += " " + std::to_string(p.size());
        payload += p;
    }
    return header + "\n" + payload;
}

PeerAction serverAnswer(const wire::Request& r) {
    if (r.code == "$h") {
        return test::ok("67911,54307");
    }
    if (r.code == kDateLine) {
        return test::ok("2026-12-07");
    }
    return test::ok();
}

// The tasks here run on the scripted server at `port`.
std::string serverTask(const std::string& name, const std::string& port,
                       const std::string& paths = "/srv/db/one/;/srv/db/two",
                       const std::string& save = "/backup", char type = '1') {
    return test::taskLine({.name = name,
                           .ip = "127.0.0.1",
                           .port = port,
                           .dbPaths = paths,
                           .saveDir = save,
                           .type = type,
                           .startTime = "03:00"});
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override {
        test::copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/english.dat", dir.file("english.dat"));
    }
    void tasks(const std::vector<std::string>& lines) {
        test::writeFile(dir.file("task.txt"), test::taskFileText(lines));
    }
    test::CommandResult tarvelctl(const std::string& args, const std::string& env = "") {
        return test::runCommand(
            "env LC_ALL=C TZ=UTC TVL_FAKE_NOW=2026-12-07T10:15 "
            "TVL_VISM_CONNECT_TIMEOUT=0.5 TVL_VISM_REPLY_TIMEOUT=0.5 " +
            env + " '" + TVL_BIN_DIR + "/tarvelctl' --dir '" + dir.path() + "' " + args);
    }
    std::string log() const {
        return test::fileExists(dir.file("tvl.log")) ? test::readFile(dir.file("tvl.log")) : "";
    }

    test::TempDir dir;
};

}  // namespace

TEST_F(Tool, RunSendsTheWholeBackupByteForByteAndLogsIt) {
    ScriptedServer server(serverAnswer);
    tasks({serverTask("Other", "1"), serverTask("Nightly", server.portText())});
    const auto r = tarvelctl("run Nightly");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(server.streams().size(), 1u);
    const std::string file = "/backup/Full_2026-12-07_15h05m07s(Nightly)";
    EXPECT_EQ(
        server.streams()[0],
        frame("ZN \"%SYS\"") + frame("k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")") +
            frame("s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/one/\")=\"\"") +
            frame("s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/two/\")=\"\"") + frame("$h") +
            frame(kDateLine) +
            frame(kJob, {"", "F", "", file + ".bcp", "Y", file + ".log", "NOINPUT", "Y", "Y", ""}));
    EXPECT_EQ(log(), kStamp + "Program started\r\n" + kStamp + "Nightly backup job started\r\n" +
                         kStamp + "Program finished\r\n");
    EXPECT_NE(r.err.find("The backup job has been started on the server"), std::string::npos);
}

TEST_F(Tool, RunTidiesTheStoredFieldsAsTheEditorDoes) {
    ScriptedServer server(serverAnswer);
    std::string line = serverTask("T", " " + server.portText(), " /srv/db/one  ", " /backup ");
    line.replace(line.find("127.0.0.1"), 9, " 127.0.0.1 ");
    tasks({line});
    const auto r = tarvelctl("run T");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(server.streams().size(), 1u);
    EXPECT_NE(server.streams()[0].find("\"/srv/db/one/\")"), std::string::npos);
    EXPECT_NE(server.streams()[0].find("/backup/Full_"), std::string::npos);
}

TEST_F(Tool, RunStopsAtTheFailingStepWithTheServersErrorName) {
    const std::vector<std::string> lines = {
        "ZN \"%SYS\"",
        "k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")",
        "s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/one/\")=\"\"",
        "$h",
        kDateLine,
        kJob};
    for (std::size_t k = 0; k < lines.size(); ++k) {
        SCOPED_TRACE(lines[k]);
        ScriptedServer server([&](const wire::Request& r) {
            return r.code == lines[k] ? test::err(42, "<FAILED>step" + std::to_string(k))
                                      : serverAnswer(r);
        });
        tasks({serverTask("T", server.portText(), "/srv/db/one/")});
        std::filesystem::remove(dir.file("tvl.log"));
        const auto r = tarvelctl("run T");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("tarvelctl run: <FAILED>step" + std::to_string(k)), std::string::npos)
            << r.err;
        EXPECT_EQ(server.codeLines(),
                  std::vector<std::string>(lines.begin(), lines.begin() + k + 1));
        const std::string mserver =
            "CN_IPTCP:127.0.0.1[" + server.portText() + "]:127.0.0.1[" + server.portText() + "]";
        EXPECT_EQ(log(), kStamp + "Program started\r\n" + kStamp + "<FAILED>step" +
                             std::to_string(k) + " " + mserver + " T\r\n" + kStamp +
                             "Program finished\r\n");
        EXPECT_NE(r.err.find("T: <FAILED>step" + std::to_string(k) + "\n"), std::string::npos)
            << r.err;
    }
}

TEST_F(Tool, RunFailsCleanlyWhenTheServerIsAwaySilentOrCutsItsReply) {
    tasks({serverTask("Refused", std::to_string(test::closedPort()))});
    auto r = tarvelctl("run Refused");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("]: connection refused"), std::string::npos) << r.err;

    ScriptedServer silent([](const wire::Request& req) {
        return req.code == "$h" ? test::keepSilent() : test::ok();
    });
    tasks({serverTask("Silent", silent.portText())});
    const auto start = std::chrono::steady_clock::now();
    r = tarvelctl("run Silent");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("]: no reply in time"), std::string::npos) << r.err;

    ScriptedServer cut([](const wire::Request& req) {
        return req.code == kJob ? test::sendAndClose("OK 5\nab") : serverAnswer(req);
    });
    tasks({serverTask("Cut", cut.portText())});
    r = tarvelctl("run Cut");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("reply cut off after 2 of 5 payload bytes"), std::string::npos) << r.err;
    EXPECT_EQ(log().find("backup job started"), std::string::npos);
}

TEST_F(Tool, RunRefusesWithoutConnectingWhenTheTaskCannotStart) {
    ScriptedServer server(serverAnswer);
    const std::string port = server.portText();
    std::string blankIp = serverTask("BlankIp", port);
    blankIp.replace(blankIp.find("127.0.0.1"), 9, "  ");
    tasks({serverTask("NoPort", ""), serverTask("NoType", port, "/a/", "/b/", '7'),
           serverTask("nightly", port), serverTask("BlankSave", port, "/a/", "  "),
           serverTask("BlankPaths", port, "   ", "/b/"), blankIp, serverTask("a:b", port),
           std::string("\x01hidden"), serverTask("Hidden", port)});
    // The reason names the field; a field of blanks is an empty one.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"NoPort", "no port"},
        {"NoType", "no backup type"},
        {"BlankSave", "no save directory"},
        {"BlankPaths", "no database paths"},
        {"BlankIp", "no server IP"},
        {"a:b", "the task name holds a character a file name cannot hold"},
        {"Nightly", "no task named"},
        {"Hidden", "no task named"},
        {"Missing", "no task named"}};
    for (const auto& [name, why] : refused) {
        const auto r = tarvelctl("run " + name);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find(why), std::string::npos) << name << ": " << r.err;
    }
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(log(), "");
}

TEST_F(Tool, RunWithoutTheControlSaysTheClientIsMissing) {
    tasks({serverTask("T", "1972")});
    const auto r = tarvelctl("run T", "TVL_VISM_LIBRARY=/nonexistent/libvism.so");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), kClientMissingText);
    EXPECT_EQ(log(), "");
}

TEST_F(Tool, DatabasesListsTheServersDirectories) {
    const std::vector<std::string> dirs = {"/srv/db/a/", "/srv/db/b/", "/srv/db/user/"};
    ScriptedServer server([&dirs](const wire::Request& r) {
        for (const auto& d : dirs) {
            if (r.params[0] < d) {
                return test::ok(d);
            }
        }
        return test::ok("");
    });
    tasks({});
    const auto r = tarvelctl("databases 127.0.0.1 " + server.portText());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/srv/db/a/\n/srv/db/b/\n/srv/db/user/\n");
    EXPECT_EQ(server.codeLines(), std::vector<std::string>(4, "$o(^|\"%SYS\"|SYS(\"UCI\",P0))"));
}

TEST_F(Tool, DatabasesPrintsWhatItGotBeforeAFailedPass) {
    int n = 0;
    ScriptedServer server([&n](const wire::Request&) {
        return ++n < 3 ? test::ok("/d" + std::to_string(n) + "/") : test::err(3, "<PROTECT>");
    });
    tasks({});
    const auto r = tarvelctl("databases 127.0.0.1 " + server.portText());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "/d1/\n/d2/\n");
    EXPECT_NE(r.err.find("<PROTECT>"), std::string::npos);
    EXPECT_EQ(n, 3);

    const auto refused = tarvelctl("databases 127.0.0.1 " + std::to_string(test::closedPort()));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("connection refused"), std::string::npos);

    EXPECT_EQ(tarvelctl("databases 127.0.0.1").status, 2);
}

TEST_F(Tool, SpecialFilesInTheWorkingDirectoryAreRefusedWithoutWaiting) {
    const std::string refused = std::to_string(test::closedPort());
    for (const auto& [file, text] : std::vector<std::pair<std::string, std::string>>{
             {"task.txt", "Error reading file Task.txt"},
             {"english.dat", "Error reading file english.dat"},
             {"tvl.log", "Error reading file tvl.log"}}) {
        for (const auto kind : {test::SpecialFile::Fifo, test::SpecialFile::DevZero}) {
            SCOPED_TRACE(file + " as " + test::specialFileName(kind));
            SetUp();
            tasks({serverTask("T", refused)});
            test::plantSpecialFile(kind, dir.file(file));
            // Bounded: a tool that waits on the FIFO or reads /dev/zero is killed.
            const auto r = tarvelctl("run T", "timeout -s KILL 20");
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
            std::filesystem::remove(dir.file(file));
        }
    }
}

TEST_F(Tool, StrayByteAfterAnOkEndsTheSessionButNotTheJobItAnswered) {
    struct Case {
        std::string line;  // answered OK and then one byte more
        int status;
        bool started;
    };
    const std::vector<Case> cases = {
        {kJob, 0, true},
        // The line ran, but the next one finds the connection closed: no job was started.
        {"ZN \"%SYS\"", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ScriptedServer server([&c](const wire::Request& r) {
            return r.code == c.line ? test::sendAndClose(wire::encodeOk("") + "X")
                                    : serverAnswer(r);
        });
        tasks({serverTask("Nightly", server.portText())});
        std::filesystem::remove(dir.file("tvl.log"));
        const auto r = tarvelctl("run Nightly");
        EXPECT_EQ(r.status, c.status) << r.err;
        const std::string mserver =
            "CN_IPTCP:127.0.0.1[" + server.portText() + "]:127.0.0.1[" + server.portText() + "]";
        const std::string ended = kStamp + "<COMMUNICATION> 127.0.0.1[" + server.portText() +
                                  "]: unexpected bytes after the reply; the line ran, the "
                                  "connection was closed " +
                                  mserver + " Nightly\r\n";
        EXPECT_EQ(log(), kStamp + "Program started\r\n" + ended +
                             (c.started ? kStamp + "Nightly backup job started\r\n"
                                        : kStamp + "<COMMUNICATION> not connected " + mserver +
                                              " Nightly\r\n") +
                             kStamp + "Program finished\r\n");
    }
}
