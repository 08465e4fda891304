#include "server/dblist.h"

#include <gtest/gtest.h>

#include "core/messagetable.h"
#include "fakes/fakecontrol.h"
#include "util/fakeclock.h"

using namespace tvl;
using test::FakeControl;
using test::RecordingReporter;

namespace {

const std::string kNext = "$o(^|\"%SYS\"|SYS(\"UCI\",P0))";

// A server whose ^SYS("UCI") holds the given subscripts, in collation order.
std::function<FakeControl::Answer(const std::string&, const FakeControl::Params&)> listing(
    std::vector<std::string> dirs) {
    return [dirs](const std::string& code, const FakeControl::Params& p) {
        if (code != kNext) {
            return FakeControl::Answer{8, "<SYNTAX>", ""};
        }
        for (const auto& d : dirs) {
            if (p[0] < d) {
                return FakeControl::Answer{0, "", d};
            }
        }
        return FakeControl::Answer{0, "", ""};
    };
}

class DatabaseWalk : public ::testing::Test, protected test::BoundControl {
protected:
    DatabaseWalk() : BoundControl("Connacc=Connected\nipportreq=IP and port, please\n") {}
};

}  // namespace

TEST_F(DatabaseWalk, ReadsEveryDirectoryInTheServersOrderThenDisconnects) {
    control.script = listing({"/srv/db/a/", "/srv/db/b/", "/srv/db/c/"});
    const WalkOutcome out = walkDatabases(control, "10.0.0.5", "1972", ctx);
    EXPECT_EQ(out.status, WalkStatus::Listed);
    EXPECT_EQ(out.entries, (std::vector<std::string>{"/srv/db/a/", "/srv/db/b/", "/srv/db/c/"}));
    // One pass per directory and one that finds the end; each asks after the last answer.
    ASSERT_EQ(control.sentParams.size(), 4u);
    EXPECT_EQ(control.sentParams[0][0], "");
    EXPECT_EQ(control.sentParams[3][0], "/srv/db/c/");
    EXPECT_EQ(control.codeLines(), std::vector<std::string>(4, kNext));
    EXPECT_EQ(control.events.front(), "connect CN_IPTCP:10.0.0.5[1972]:10.0.0.5[1972]");
    EXPECT_EQ(control.events.back(), "disconnect");
    EXPECT_EQ(reporter.seen, std::vector<std::string>{"status: Connected"});
}

TEST_F(DatabaseWalk, EmptyServerListGivesNoEntries) {
    control.script = listing({});
    const WalkOutcome out = walkDatabases(control, "h", "1", ctx);
    EXPECT_EQ(out.status, WalkStatus::Listed);
    EXPECT_TRUE(out.entries.empty());
}

TEST_F(DatabaseWalk, MissingAddressAsksForItWithoutConnecting) {
    for (const auto& [ip, port] :
         std::vector<std::pair<std::string, std::string>>{{"", "1972"}, {"h", ""}, {"", ""}}) {
        reporter.seen.clear();
        EXPECT_EQ(walkDatabases(control, ip, port, ctx).status, WalkStatus::MissingAddress);
        EXPECT_EQ(reporter.seen, std::vector<std::string>{"error: IP and port, please"});
    }
    EXPECT_TRUE(control.events.empty());
}

TEST_F(DatabaseWalk, FailedConnectionStopsWithNoEntriesAndNoDisconnect) {
    control.connectScript = [](const std::string&) {
        return FakeControl::Answer{1000, "<COMMUNICATION> h[1]: connection refused", ""};
    };
    const WalkOutcome out = walkDatabases(control, "h", "1", ctx);
    EXPECT_EQ(out.status, WalkStatus::ConnectFailed);
    EXPECT_TRUE(out.entries.empty());
    EXPECT_EQ(control.events.size(), 1u);
    EXPECT_EQ(reporter.seen.front(), "status: <COMMUNICATION> h[1]: connection refused");
}

TEST_F(DatabaseWalk, FailedPassEndsTheWalkOnceKeepingWhatWasRead) {
    // The failing pass leaves the last value in Result; asking again would go round for
    // ever.
    int passes = 0;
    auto inner = listing({"/a/", "/b/", "/c/"});
    control.script = [&](const std::string& code, const FakeControl::Params& p) {
        return ++passes == 3 ? FakeControl::Answer{5, "<PROTECT>", ""} : inner(code, p);
    };
    const WalkOutcome out = walkDatabases(control, "h", "1", ctx);
    EXPECT_EQ(out.status, WalkStatus::PassFailed);
    EXPECT_EQ(out.entries, (std::vector<std::string>{"/a/", "/b/"}));
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(control.events.back(), "disconnect");
    EXPECT_EQ(control.error(), 5);  // still visible after the disconnect
    EXPECT_TRUE(out.problem.empty());
    EXPECT_EQ(reporter.seen.back(), "error: <PROTECT>");
}

TEST_F(DatabaseWalk, ServerThatGoesRoundInCirclesIsStopped) {
    int passes = 0;
    control.script = [&](const std::string&, const FakeControl::Params& p) {
        ++passes;
        return FakeControl::Answer{0, "", p[0] == "/a\x1b/" ? "/b/" : "/a\x1b/"};
    };
    const WalkOutcome out = walkDatabases(control, "h", "1", ctx);
    EXPECT_EQ(out.status, WalkStatus::PassFailed);
    EXPECT_EQ(out.entries, (std::vector<std::string>{"/a\x1b/", "/b/"}));
    EXPECT_EQ(passes, 3);
    // The server's name is shown, never its control bytes.
    EXPECT_EQ(reporter.seen.back(), "error: the server named the database /a\\x1b/ twice");
    EXPECT_EQ(control.events.back(), "disconnect");
}

TEST_F(DatabaseWalk, ServerThatNeverEndsIsStoppedAtTheFirstLimit) {
    struct Case {
        const char* what;
        WalkLimits limits;
        std::size_t nameSize;  // of each directory the server names
        std::size_t entries;   // kept when the walk stops
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"entries",
         {5, 60, 1 << 20, nullptr},
         10,
         5,
         "the server named more than 5 databases; the list was stopped"},
        {"bytes",
         {1000, 60, 1000, nullptr},
         300,
         3,
         "the server's database names came to more than 1000 bytes; the list was stopped"},
        {"seconds",
         {1000, 60, 1 << 20, nullptr},
         10,
         59,
         "the server's list of databases did not end within 60 seconds; the list was stopped"},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeClock clock;
        c.limits.clock = &clock;
        int passes = 0;
        // Each answer comes in time, a second after the last, and names a new directory.
        control.script = [&](const std::string&, const FakeControl::Params&) {
            clock.advanceSeconds(1);
            std::string name = "/d" + std::to_string(++passes) + "/";
            name.resize(c.nameSize, 'x');
            return FakeControl::Answer{0, "", name};
        };
        control.events.clear();
        reporter.seen.clear();
        ctx.interactive = true;
        const WalkOutcome out = walkDatabases(control, "h", "1", ctx, c.limits);
        EXPECT_EQ(out.status, WalkStatus::PassFailed);
        EXPECT_EQ(out.entries.size(), c.entries);
        EXPECT_EQ(out.problem, c.problem);
        EXPECT_EQ(reporter.seen.back(), "error: " + c.problem);
        EXPECT_EQ(control.events.back(), "disconnect");
    }
}

TEST(DatabaseChecks, FieldPiecesCheckTheFirstEntryThatMatchesIgnoringLetterCase) {
    const std::vector<std::string> list = {"/srv/DB/user/", "/srv/db/sales/", "/srv/db/x/"};
    EXPECT_EQ(checkMarks(list, "/srv/db/USER/;/srv/db/sales/"),
              (std::vector<bool>{true, true, false}));
    // A piece without the closing separator the server lists names that entry (the
    // program closes only the last path); unknown and empty pieces are passed over.
    EXPECT_EQ(checkMarks(list, "/srv/db/x;;/srv/db/gone/;"),
              (std::vector<bool>{false, false, true}));
    EXPECT_EQ(unlistedPaths(list, "/srv/db/x;;/srv/db/gone/;/srv/db/sales\\;/srv/db/sales//"),
              (std::vector<std::string>{"/srv/db/gone/", "/srv/db/sales\\"}));
    // An equal entry wins over one that differs by the separator.
    EXPECT_EQ(checkMarks({"/a", "/a/"}, "/a/"), (std::vector<bool>{false, true}));
    EXPECT_EQ(checkMarks({"C:\\db\\"}, "c:\\DB"), std::vector<bool>{true});
    EXPECT_EQ(checkMarks(list, ""), (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(checkMarks({}, "/a/").empty());
    // Only the first of two equal entries is checked.
    EXPECT_EQ(checkMarks({"/a/", "/A/"}, "/a/;/A/"), (std::vector<bool>{true, false}));
    // Letter case of bytes outside ASCII is not folded.
    EXPECT_EQ(checkMarks({"/Ä/"}, "/ä/"), std::vector<bool>{false});
}

TEST(DatabaseChecks, ClosingWritesCheckedEntriesInListOrderOnce) {
    const std::vector<std::string> list = {"/srv/DB/user/", "/srv/db/sales/", "/srv/db/x/"};
    const std::string field = "/srv/db/x/;/srv/db/user/;/srv/db/x/;/srv/db/gone/";
    const PathsRewrite r = rewritePaths(field, list, checkMarks(list, field));
    EXPECT_EQ(r.text, "/srv/DB/user/;/srv/db/x/");
    EXPECT_TRUE(r.changed);

    // Field already in list order and the server's case: opening and closing is no edit.
    const std::string same = "/srv/DB/user/;/srv/db/x/";
    const PathsRewrite again = rewritePaths(same, list, checkMarks(list, same));
    EXPECT_EQ(again.text, same);
    EXPECT_FALSE(again.changed);

    // Nothing checked, or nothing listed, empties the field.
    EXPECT_EQ(rewritePaths("/a/", list, {false, false, false}).text, "");
    EXPECT_TRUE(rewritePaths("/a/", {}, {}).changed);
    EXPECT_FALSE(rewritePaths("", {}, {}).changed);
}

TEST_F(DatabaseWalk, ACancelledWalkStopsBeforeItsNextRequestWithoutAWord) {
    std::atomic<bool> cancelled{false};
    WalkLimits limits;
    limits.cancelled = &cancelled;
    int passes = 0;
    control.script = [&](const std::string&, const FakeControl::Params&) {
        cancelled = ++passes == 2;
        return FakeControl::Answer{0, "", "/d" + std::to_string(passes) + "/"};
    };
    const WalkOutcome out = walkDatabases(control, "h", "1", ctx, limits);
    EXPECT_EQ(out.status, WalkStatus::Cancelled);
    EXPECT_EQ(out.entries, (std::vector<std::string>{"/d1/", "/d2/"}));
    EXPECT_EQ(control.codeLines().size(), 2u);
    EXPECT_EQ(control.events.back(), "disconnect");
    EXPECT_EQ(reporter.seen, std::vector<std::string>{"status: Connected"});
}
