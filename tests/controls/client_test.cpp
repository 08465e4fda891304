#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "controls/vismclient.h"
#include "fakes/scriptedserver.h"

using namespace tvl;
using namespace std::string_literals;
using tvl::test::PeerAction;
using tvl::test::ScriptedServer;

namespace {

// Short waits, so a peer that keeps silent costs a fraction of a second.
class SocketControl : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TVL_VISM_CONNECT_TIMEOUT", "0.5", 1);
        ::setenv("TVL_VISM_REPLY_TIMEOUT", "0.5", 1);
        control = makeSocketControl();
        control->setOnError([this] {
            // The handler runs inside the failing write, with Error already set.
            seen.push_back(std::to_string(control->error()) + " " + control->errorName());
        });
    }
    void TearDown() override {
        ::unsetenv("TVL_VISM_CONNECT_TIMEOUT");
        ::unsetenv("TVL_VISM_REPLY_TIMEOUT");
    }

    void connect(const ScriptedServer& server) {
        connectServer(*control, "127.0.0.1", server.portText());
    }
    std::string label(const ScriptedServer& server) const {
        return "127.0.0.1[" + server.portText() + "]";
    }

    std::unique_ptr<VismControl> control;
    std::vector<std::string> seen;
};

ScriptedServer::Script answering(std::string payload) {
    return [payload = std::move(payload)](const wire::Request&) { return test::ok(payload); };
}

}  // namespace

TEST_F(SocketControl, RunsLinesAndCarriesCodeAndValuesByteForByte) {
    ScriptedServer server([](const wire::Request& r) {
        return r.code == "$h" ? test::ok("67911,54307") : test::ok();
    });
    connect(server);
    ASSERT_EQ(control->error(), 0) << control->errorName();
    EXPECT_EQ(control->mServer(),
              "CN_IPTCP:127.0.0.1[" + server.portText() + "]:127.0.0.1[" + server.portText() + "]");

    runCode(*control, "ZN \"%SYS\"");
    EXPECT_EQ(control->error(), 0);
    EXPECT_EQ(evaluate(*control, "$h"), "67911,54307");
    control->setP(3, std::string("a\0b\n", 4));
    control->setP(9, "nine");
    runCode(*control, "J X");
    EXPECT_EQ(control->execFlag(), 1);
    control->setExecFlag(0);  // only 1 runs the line
    disconnectServer(*control);
    EXPECT_EQ(control->mServer(), "");

    ASSERT_EQ(server.streams().size(), 1u);
    EXPECT_EQ(server.streams()[0],
              "EXEC 9 0 0 0 0 0 0 0 0 0 0\nZN \"%SYS\""
              "EXEC 2 0 0 0 0 0 0 0 0 0 0\n$h"
              "EXEC 3 0 0 0 4 0 0 0 0 0 4\nJ Xa\0b\nnine"s);
    EXPECT_TRUE(seen.empty());
}

TEST_F(SocketControl, ServerErrorSetsErrorFiresOnErrorAndKeepsTheSession) {
    int n = 0;
    ScriptedServer server([&n](const wire::Request&) {
        return ++n == 2 ? test::err(8, "<UNDEFINED>^SYS(\"UCI\")")
                        : test::ok("v" + std::to_string(n));
    });
    connect(server);
    EXPECT_EQ(evaluate(*control, "a"), "v1");
    evaluate(*control, "b");
    EXPECT_EQ(control->error(), 8);
    EXPECT_EQ(control->errorName(), "<UNDEFINED>^SYS(\"UCI\")");
    EXPECT_EQ(control->result(), "v1");  // an error leaves the last value
    ASSERT_EQ(seen, std::vector<std::string>{"8 <UNDEFINED>^SYS(\"UCI\")"});

    // Disconnecting keeps the failure visible.
    disconnectServer(*control);
    EXPECT_EQ(control->error(), 8);
    EXPECT_EQ(control->errorName(), "<UNDEFINED>^SYS(\"UCI\")");
    EXPECT_EQ(control->result(), "v1");

    // A new connection succeeds and clears the error; the session goes on.
    connect(server);
    EXPECT_EQ(control->error(), 0);
    EXPECT_EQ(control->errorName(), "");
    EXPECT_EQ(evaluate(*control, "c"), "v3");
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(SocketControl, WritingMServerAgainReplacesTheConnection) {
    ScriptedServer server(answering("x"));
    connect(server);
    connect(server);
    evaluate(*control, "1");
    disconnectServer(*control);
    const auto streams = server.streams();
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0], "");
    EXPECT_EQ(streams[1], "EXEC 1 0 0 0 0 0 0 0 0 0 0\n1");
}

TEST_F(SocketControl, HostNamesAreLookedUpAndEachAddressTried) {
    // "localhost" may name ::1 first, where nothing listens; 127.0.0.1 then answers.
    ScriptedServer server(answering("named"));
    connectServer(*control, "localhost", server.portText());
    ASSERT_EQ(control->error(), 0) << control->errorName();
    EXPECT_EQ(evaluate(*control, "x"), "named");
}

TEST_F(SocketControl, ConnectionFailuresAreControlErrorsNamingTheAddress) {
    const std::string port = std::to_string(test::closedPort());
    connectServer(*control, "127.0.0.1", port);
    EXPECT_EQ(control->error(), kCommunicationError);
    EXPECT_EQ(control->errorName(), "<COMMUNICATION> 127.0.0.1[" + port + "]: connection refused");
    ASSERT_EQ(seen.size(), 1u);

    // A line without a connection fails the same way instead of hanging or crashing.
    runCode(*control, "$h");
    EXPECT_EQ(control->errorName(), "<COMMUNICATION> not connected");
    EXPECT_EQ(seen.size(), 2u);

    for (const std::string bad :
         {"CN_IPTCP:127.0.0.1[1972]", "127.0.0.1[1972]:127.0.0.1[1972]", "CN_IPTCP:[1972]:[1972]",
          "CN_IPTCP:h[]:h[]", "CN_IPTCP:h[70000]:h[70000]", "CN_IPTCP:h[19a]:h[19a]",
          "CN_IPTCP:h[1]:h[1]x"}) {
        control->setMServer(bad);
        EXPECT_EQ(control->error(), kCommunicationError) << bad;
        EXPECT_NE(control->errorName().find("not a connection text"), std::string::npos) << bad;
    }

    connectServer(*control, "no-such-host.invalid", "1972");
    EXPECT_EQ(control->error(), kCommunicationError);
    EXPECT_EQ(control->errorName().rfind("<COMMUNICATION> no-such-host.invalid[1972]: ", 0), 0u);
}

TEST_F(SocketControl, GreetingMustBeExactAndInTime) {
    for (const std::string greeting : {"VISM 2\n", "VISM 1\r\n", "HELLO\n", "VISM 1"}) {
        ScriptedServer server(answering(""), greeting);
        const auto start = std::chrono::steady_clock::now();
        connect(server);
        EXPECT_EQ(control->error(), kCommunicationError) << greeting;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        // The failed connection is closed.
        runCode(*control, "1");
        EXPECT_EQ(control->errorName(), "<COMMUNICATION> not connected");
    }
    ScriptedServer silent(answering(""), "");
    connect(silent);
    EXPECT_EQ(control->errorName(), "<COMMUNICATION> " + label(silent) + ": no greeting in time");
}

TEST_F(SocketControl, SilentPeerTimesOutAndTheConnectionIsClosed) {
    ScriptedServer server([](const wire::Request&) { return test::keepSilent(); });
    connect(server);
    ASSERT_EQ(control->error(), 0);
    const auto start = std::chrono::steady_clock::now();
    runCode(*control, "h");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(control->errorName(), "<COMMUNICATION> " + label(server) + ": no reply in time");
    EXPECT_GE(took, std::chrono::milliseconds(450));
    EXPECT_LT(took, std::chrono::seconds(3));
    runCode(*control, "h");
    EXPECT_EQ(control->errorName(), "<COMMUNICATION> not connected");
}

TEST_F(SocketControl, CutOffMalformedOrSurplusRepliesAreCommunicationErrors) {
    struct Case {
        std::string reply;
        std::string text;
        std::int32_t error = kCommunicationError;
    };
    const std::vector<Case> cases = {
        {"", "connection closed"},
        {"OK 5", "reply cut off in its header"},
        {"OK 5\nab", "reply cut off after 2 of 5 payload bytes"},
        {"OK five\nab", "malformed reply header"},
        {"ERR 0 1\nx", "malformed reply header"},
        {"OK 2000000\n", "reply payload over the limit"},
        {"ERR 8 1\naOK 0\n", "unexpected bytes after the reply"},
        // The line ran: its value stands, and the session ends with an error of its own.
        {"OK 1\naOK 0\n",
         "unexpected bytes after the reply; the line ran, the connection was closed",
         kSessionEndedAfterReply},
    };
    for (const Case& c : cases) {
        ScriptedServer server([&c](const wire::Request&) { return test::sendAndClose(c.reply); });
        connect(server);
        ASSERT_EQ(control->error(), 0);
        seen.clear();
        runCode(*control, "$h");
        EXPECT_EQ(control->error(), c.error) << c.reply;
        EXPECT_EQ(control->errorName(), "<COMMUNICATION> " + label(server) + ": " + c.text);
        EXPECT_EQ(control->result(), c.error == kSessionEndedAfterReply ? "a" : "");
        EXPECT_EQ(seen.size(), 1u);
        runCode(*control, "$h");
        EXPECT_EQ(control->errorName(), "<COMMUNICATION> not connected");
    }
}

TEST_F(SocketControl, ProtocolErrorOfThePeerEndsTheSession) {
    // The peer answers a request it cannot read with ERR 1 and closes; the next line finds
    // the connection gone.
    ScriptedServer server([](const wire::Request&) {
        return test::sendAndClose(wire::encodeErr(1, "<PROTOCOL>bad"));
    });
    connect(server);
    runCode(*control, "x");
    EXPECT_EQ(control->error(), 1);
    EXPECT_EQ(control->errorName(), "<PROTOCOL>bad");
    runCode(*control, "y");
    EXPECT_EQ(control->error(), kCommunicationError);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(SocketControl, BytesThePeerSendsUnaskedPutTheSessionOutOfStep) {
    // A second reply arrives after the first was read: it must not be taken as the
    // answer to the next line.
    ScriptedServer server([](const wire::Request& r) {
        PeerAction a = test::ok("first " + r.code);
        a.later = wire::encodeOk("stray");
        return a;
    });
    connect(server);
    EXPECT_EQ(evaluate(*control, "a"), "first a");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    evaluate(*control, "b");
    EXPECT_EQ(control->errorName(),
              "<COMMUNICATION> " + label(server) + ": unexpected bytes from the server");
    EXPECT_EQ(control->result(), "first a");
    EXPECT_EQ(server.requests().size(), 1u);  // "b" was never sent
}

TEST_F(SocketControl, LargestValuesGoThroughAndLargerOnesAreRefusedBeforeSending) {
    const std::string big(wire::kMaxPayload, 'q');
    ScriptedServer server([&big](const wire::Request& r) {
        return test::ok(r.params[0] == big ? big : std::string("wrong"));
    });
    connect(server);
    runCodeWithP0(*control, "P0", big);
    EXPECT_EQ(control->error(), 0);
    EXPECT_EQ(control->result(), big);

    runCodeWithP0(*control, "P0", big + "q");
    EXPECT_EQ(control->error(), kCommunicationError);
    // Nothing was sent, so the session is still in step.
    runCodeWithP0(*control, "P0", big);
    EXPECT_EQ(control->error(), 0);
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(SocketControl, SurvivesRandomAndTruncatedReplies) {
    std::mt19937 rng(20261207);
    const std::vector<std::string> valid = {"OK 11\n67911,54307", "ERR 8 8\n<SYNTAX>", "OK 0\n",
                                            "OK 13\n/srv/db/user/"};
    for (int round = 0; round < 60; ++round) {
        std::string reply;
        if (round % 2 == 0) {
            // A valid reply cut at a random byte.
            const std::string& v = valid[rng() % valid.size()];
            reply = v.substr(0, rng() % (v.size() + 1));
        } else {
            // Random bytes, often starting like a header.
            reply = round % 4 == 1 ? "OK " : "";
            const std::size_t len = rng() % 40;
            for (std::size_t i = 0; i < len; ++i) {
                reply += static_cast<char>(rng() % 256);
            }
        }
        ScriptedServer server([&reply](const wire::Request&) { return test::sendAndClose(reply); });
        connect(server);
        ASSERT_EQ(control->error(), 0);
        runCode(*control, "$h");
        // Either a reply was read whole or the control reports a failure; it never hangs.
        if (control->error() == 0) {
            const auto r = [&] {
                wire::ReplyReader rr;
                rr.feed(reply);
                return rr;
            }();
            EXPECT_EQ(r.status(), wire::Status::Complete);
            EXPECT_EQ(control->result(), r.frame().payload);
        } else {
            EXPECT_FALSE(control->errorName().empty());
        }
    }
}

TEST(Timeouts, FromTheEnvironmentWithSaneFallbacks) {
    ::setenv("TVL_TEST_WAIT", "2.5", 1);
    EXPECT_DOUBLE_EQ(timeoutFromEnv("TVL_TEST_WAIT", 10), 2.5);
    for (const char* bad : {"", "0", "-1", "abc", "1s", "nan", "inf"}) {
        ::setenv("TVL_TEST_WAIT", bad, 1);
        EXPECT_DOUBLE_EQ(timeoutFromEnv("TVL_TEST_WAIT", 10), 10) << bad;
    }
    ::setenv("TVL_TEST_WAIT", "1e12", 1);
    EXPECT_DOUBLE_EQ(timeoutFromEnv("TVL_TEST_WAIT", 10), 86400);
    ::unsetenv("TVL_TEST_WAIT");
    EXPECT_DOUBLE_EQ(timeoutFromEnv("TVL_TEST_WAIT", 60), 60);
}
