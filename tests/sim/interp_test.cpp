#include "sim/interp.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "sim/mvalue.h"
#include "simtest.h"

using namespace tvl::sim;

namespace {

class Interp : public ::testing::Test {
protected:
    Interp() : sys(dir / "%SYS.globals"), user(dir / "USER.globals"), session(env) {
        env.namespaces = {{"%SYS", &sys}, {"USER", &user}};
        env.now = [this] { return now; };
        env.startBackup = [this](const std::array<std::string, 10>& p) { jobs.push_back(p); };
    }

    LineResult run(const std::string& line, const std::array<std::string, 10>& p = {}) {
        return session.execute(line, p);
    }
    std::string eval(const std::string& line, const std::array<std::string, 10>& p = {}) {
        LineResult r = run(line, p);
        EXPECT_TRUE(r.ok) << line << " -> " << r.text;
        return r.text;
    }
    void ok(const std::string& line, const std::array<std::string, 10>& p = {}) {
        LineResult r = run(line, p);
        EXPECT_TRUE(r.ok) << line << " -> " << r.text;
        EXPECT_EQ(r.text, "") << line;
    }
    void fails(const std::string& line, int code, const std::string& text) {
        LineResult r = run(line);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_EQ(r.code, code) << line;
        EXPECT_EQ(r.text, text) << line;
    }

    simtest::TempDir dir;
    GlobalStore sys;
    GlobalStore user;
    Environment env;
    Session session;
    std::time_t now = 0;
    std::vector<std::array<std::string, 10>> jobs;
};

}  // namespace

TEST_F(Interp, TheLinesOfABackupRunDoWhatTheSchedulerExpects) {
    ok("ZN \"%SYS\"");
    ok("k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")");
    sys.set({"SYS", "BACKUPCHUI", "DIRECTORIES", "/old/"}, "");
    ok("k ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\")");
    EXPECT_EQ(sys.data({"SYS", "BACKUPCHUI", "DIRECTORIES"}), 0);
    ok("s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/user/\")=\"\"");
    ok("s ^SYS(\"BACKUPCHUI\",\"DIRECTORIES\",\"/srv/db/my \"\"quoted\"\" db/\")=\"\"");
    EXPECT_EQ(sys.children({"SYS", "BACKUPCHUI", "DIRECTORIES"}),
              (std::vector<std::string>{"/srv/db/my \"quoted\" db/", "/srv/db/user/"}));

    setenv("TZ", "UTC", 1);
    tzset();
    now = 1796655907;  // 2026-12-07 15:05:07 UTC
    EXPECT_EQ(eval("$h"), "67911,54307");
    EXPECT_EQ(eval("$tr($zd($h,3),\"/\",\"-\")"), "2026-12-07");

    std::array<std::string, 10> p = {
        "", "F", "", "/b/Full_x(T).bcp", "Y", "/b/Full_x(T).log", "NOINPUT", "Y", "Y", ""};
    ok("J BACKUP^DBACK(P0,P1,P2,P3,P4,P5,P6,P7,P8,P9)", p);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0], p);
}

TEST_F(Interp, DatabaseListWalkEndsWithAnEmptyResultWithoutSwitchingNamespace) {
    sys.set({"SYS", "UCI", "/srv/db/b/"}, "");
    sys.set({"SYS", "UCI", "/srv/db/a/"}, "");
    std::vector<std::string> seen;
    std::string v;
    for (int pass = 0; pass < 10; ++pass) {
        v = eval("$o(^|\"%SYS\"|SYS(\"UCI\",P0))", {v});
        if (v.empty()) {
            break;
        }
        seen.push_back(v);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"/srv/db/a/", "/srv/db/b/"}));
    EXPECT_EQ(session.currentNamespace(), "USER");
    EXPECT_EQ(eval("$O(^SYS(\"UCI\",\"\"))"), "");  // USER has no ^SYS
}

TEST_F(Interp, CommandWordsInAnyCaseAbbreviatedAndSeveralPerLine) {
    ok("S ^A=1 SET ^B=2 set ^C=3 Set ^D(1)=4,^D(2)=5");
    EXPECT_EQ(eval("^A_^B_^C_^D(1)_^D(2)"), "12345");
    ok("K ^A kill ^B KILL ^D(1)");
    EXPECT_EQ(eval("$D(^A)_$D(^B)_$D(^D)_$D(^D(2))"), "00101");
    ok("zn \"%SYS\" ZNSPACE \"user\"  znspace \"%sys\"");
    EXPECT_EQ(session.currentNamespace(), "%SYS");
    ok("j BACKUP^DBACK JOB BACKUP^DBACK(\"x\")");
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[1][0], "x");
    EXPECT_EQ(jobs[1][1], "");
    ok("");
    ok("   ");
    ok("S ^E=1  ");  // trailing blanks
    // An argumentless KILL clears the locals and needs two blanks before the next command.
    ok("S X=1 K  S Y=2");
    fails("X", err::kUndefined, "<UNDEFINED>X");
    EXPECT_EQ(eval("Y"), "2");
}

TEST_F(Interp, ALineIsParsedWhollyBeforeAnyOfItRuns) {
    fails("S ^A=1 S ^B=(", err::kSyntax, "<SYNTAX>");
    fails("S ^A=1 W 2", err::kSyntax, "<SYNTAX>");
    EXPECT_FALSE(user.get({"A"}));
    // A runtime error stops the line there, but what ran before stays done.
    fails("S ^A=1 S ^B=^NOPE S ^C=1", err::kUndefined, "<UNDEFINED>^NOPE");
    EXPECT_EQ(user.get({"A"}), "1");
    EXPECT_FALSE(user.get({"B"}));
    EXPECT_FALSE(user.get({"C"}));
}

TEST_F(Interp, StringsNumbersAndSubscriptsKeepTheirValues) {
    const std::string texts[] = {"",         "plain",     "a\"b",     "\"\"",      "\"",
                                 "C:\\db\\", "/srv/d b/", "x,y)(",    "tab\there", "01",
                                 "1.0",      "-0",        "\xff\x01", "^|\"ns\"|"};
    int i = 0;
    for (const std::string& t : texts) {
        // As a value, quoted the M way, and as a subscript that $ORDER gives back.
        ok("S ^R(" + std::to_string(++i) + ")=" + quoteString(t));
        EXPECT_EQ(user.get({"R", std::to_string(i)}), t);
        EXPECT_EQ(eval(quoteString(t)), t);
        if (!t.empty()) {
            ok("K ^Q S ^Q(" + quoteString(t) + ")=\"\"");
            EXPECT_EQ(eval("$O(^Q(\"\"))"), t);
        }
    }
    // Numeric literals are canonical subscripts and collate before strings.
    ok("S ^N(010)=1,^N(1.50)=2,^N(\"010\")=3,^N(-2)=4,^N(.5)=5");
    EXPECT_EQ(user.children({"N"}), (std::vector<std::string>{"-2", ".5", "1.5", "10", "010"}));
    EXPECT_EQ(eval("-\"3 apples\"_+\"007\"_-(-4)"), "-374");
}

TEST_F(Interp, ParametersAreTheValuesSentWithTheLine) {
    std::array<std::string, 10> p;
    for (int i = 0; i < 10; ++i) {
        p[static_cast<std::size_t>(i)] = "v" + std::to_string(i);
    }
    EXPECT_EQ(eval("P0_P1_P2_P3_P4_P5_P6_P7_P8_P9", p), "v0v1v2v3v4v5v6v7v8v9");
    EXPECT_EQ(eval("P3"), "");  // each line brings its own values
    ok("S ^X(P1)=P2", p);
    EXPECT_EQ(user.get({"X", "v1"}), "v2");
}

TEST_F(Interp, ExtendedReferencesNameTheirNamespace) {
    ok("S ^|\"%SYS\"|G(1)=\"sys\",^G(1)=\"user\"");
    EXPECT_EQ(sys.get({"G", "1"}), "sys");
    EXPECT_EQ(user.get({"G", "1"}), "user");
    EXPECT_EQ(eval("^|\"%sys\"|G(1)_^|\"USER\"|G(1)"), "sysuser");
    ok("K ^|\"%SYS\"|G");
    EXPECT_FALSE(sys.get({"G", "1"}));
    fails("^|\"NOPE\"|G(1)", err::kNamespace, "<NAMESPACE>NOPE");
}

TEST_F(Interp, OrderDataGetAndTranslate) {
    ok("S ^O(1)=\"\",^O(2,1)=\"\",^O(\"b\")=\"\",^O(\"a\")=\"\"");
    ok("S L(\"x\")=1,L(\"y\")=2");
    const std::pair<const char*, const char*> cases[] = {
        {"$O(^O(\"\"))", "1"},
        {"$ORDER(^O(1))", "2"},
        {"$O(^O(2))", "a"},
        {"$O(^O(\"b\"))", ""},
        {"$O(^O(\"\"),-1)", "b"},
        {"$O(^O(\"a\"),-1)", "2"},
        {"$O(^O(1),-1)", ""},
        {"$O(L(\"x\"))", "y"},
        {"$D(^O(2))_$DATA(^O(1))_$D(^O(3))", "1010"},
        {"$G(^O(3),\"none\")_$GET(^O(1))", "none"},
        {"$tr(\"2026/12/07\",\"/\",\"-\")", "2026-12-07"},
        {"$TRANSLATE(\"a-b-c\",\"-\")", "abc"},
        {"$TR(\"abcabc\",\"abc\",\"x\")", "xx"},
        {"$ZD(67911)_\" \"_$ZDATE(\"67911,54307\",3)", "12/07/2026 2026-12-07"}};
    for (const auto& [code, value] : cases) {
        EXPECT_EQ(eval(code), value) << code;
    }
}

TEST_F(Interp, EachErrorHasItsNameAndNumber) {
    for (const char* line :
         {"S",     "S ^A",     "S ^A=",           "S ^A=1,",   "S ^A(1=1", "S  ^A=1",
          "J",     "ZN",       "\"open",          "1 2",       "^",        "^|\"USER\"G",
          "$H(1)", "$ZV",      "$TR(\"a\")",      "$O(\"a\")", "$D(1)",    "S ^A=1 junk",
          "X=1",   "S ^A=1+1", "J BACKUP^DBACK(", "(1",        "$ZD()"}) {
        fails(line, err::kSyntax, "<SYNTAX>");
    }
    fails("^NOPE(\"UCI\",1)", err::kUndefined, "<UNDEFINED>^NOPE(\"UCI\",1)");
    fails("X(\"a\"\"b\")", err::kUndefined, "<UNDEFINED>X(\"a\"\"b\")");
    fails("J FOO^DBACK", err::kNoRoutine, "<NOROUTINE>FOO^DBACK");
    fails("J BACKUP^OTHER", err::kNoRoutine, "<NOROUTINE>BACKUP^OTHER");
    // The backup routine is a system routine: not there from USER.
    fails("J BACKUP^DBACK", err::kNoRoutine, "<NOROUTINE>BACKUP^DBACK");
    EXPECT_TRUE(jobs.empty());
    fails("ZN \"NOPE\"", err::kNamespace, "<NAMESPACE>NOPE");
    EXPECT_EQ(session.currentNamespace(), "USER");
    fails("S ^G(\"\")=1", err::kSubscript, "<SUBSCRIPT>^G(\"\")");
    fails("S ^G(1,P0)=1", err::kSubscript, "<SUBSCRIPT>^G(1,\"\")");
    fails("K ^G(\"\")", err::kSubscript, "<SUBSCRIPT>^G(\"\")");
    fails("$O(^G(\"\",1))", err::kSubscript, "<SUBSCRIPT>^G(\"\",1)");
    fails("$FOO(1)", err::kFunction, "<FUNCTION>");
    fails("$O(^G)", err::kFunction, "<FUNCTION>");
    fails("$ZD(1,7)", err::kIllegalValue, "<ILLEGAL VALUE>");
    fails("$ZD(-1)", err::kIllegalValue, "<ILLEGAL VALUE>");
    fails("$ZD(1,.5)", err::kIllegalValue, "<ILLEGAL VALUE>");
    fails("$ZD(1,-.5)", err::kIllegalValue, "<ILLEGAL VALUE>");
    fails("$ZD(1,9999999)", err::kIllegalValue, "<ILLEGAL VALUE>");
    EXPECT_EQ(eval("$ZD(.5,3)_\" \"_$ZD(-.5,3)"), "1840-12-31 1840-12-31");
    ok("ZN \"%SYS\"");
    fails("J BACKUP^DBACK(1,2,3,4,5,6,7,8,9,10,11)", err::kParameter, "<PARAMETER>");
    EXPECT_TRUE(jobs.empty());
}

TEST_F(Interp, LimitsAreErrorsNotCrashes) {
    std::string deep(10000, '(');
    fails(deep + "1" + std::string(10000, ')'), err::kSyntax, "<SYNTAX>");
    fails(std::string(10000, '-') + "1", err::kSyntax, "<SYNTAX>");
    std::string nested = "1";
    for (int i = 0; i < 5000; ++i) {
        nested = "$TR(" + nested + ",\"a\")";
    }
    fails(nested, err::kSyntax, "<SYNTAX>");
    // A long but flat line is fine.
    std::string chain = "\"a\"";
    for (int i = 0; i < 50000; ++i) {
        chain += "_\"a\"";
    }
    EXPECT_EQ(eval(chain).size(), 50001u);
    std::array<std::string, 10> big;
    big.fill(std::string(kMaxStringLength, 'x'));
    EXPECT_EQ(eval("P0", big).size(), kMaxStringLength);
    LineResult r = run("P0_P1", big);
    EXPECT_EQ(r.code, err::kMaxString);
    // Thousands of operations on megabyte values end with <STORE> instead of holding the
    // server for seconds; a few such operations are ordinary work.
    std::string heavy = "$TR(P0,P1)";
    for (int i = 0; i < 3000; ++i) {
        heavy += "_$TR(P0,P1)";
    }
    r = run(heavy, big);
    EXPECT_EQ(r.code, err::kStore);
    EXPECT_EQ(r.text, "<STORE>");
    EXPECT_EQ(eval("$TR(P0,\"x\",\"y\")_$TR(P1,\"x\")", big), std::string(kMaxStringLength, 'y'));
    fails("S ^G(\"" + std::string(kMaxSubscriptBytes + 1, 's') + "\")=1", err::kSubscript,
          "<SUBSCRIPT>");
}

TEST(CommandLine, DecidedByTheFirstWord) {
    for (const char* yes :
         {"S ^A=1", "s", "SET ^A=1", "k ^A", "KILL", "J X^Y", "job x^y", "ZN \"%SYS\"",
          "znspace \"USER\"", "", "  S ^A=1", "O P0:\"R\":5", "use P0", "R X", "close P0"}) {
        EXPECT_TRUE(isCommandLine(yes)) << yes;
    }
    for (const char* no : {"$h", "SX", "S=1", "P0", "^SYS(1)", "ZNS \"x\"", "\"S\"", "Sx ^A"}) {
        EXPECT_FALSE(isCommandLine(no)) << no;
    }
}

TEST_F(Interp, HostFilesAreReadLineByLineToTheirEndAndNeverWritten) {
    const std::string log = (dir / "job.log").string();
    simtest::writeFile(dir / "job.log", "one\r\ntwo\n\nlast");
    ::mkfifo((dir / "fifo").c_str(), 0600);
    std::filesystem::create_symlink(log, dir / "link");
    std::filesystem::create_directory(dir / "sub");
    std::array<std::string, 10> p;
    p[0] = log;
    auto fails = [&](const std::string& line, int code, const std::string& text) {
        const LineResult r = run(line, p);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_EQ(r.code, code) << line;
        EXPECT_EQ(r.text, text) << line;
    };
    fails("R X", err::kNotOpen, "<NOTOPEN>");
    fails("U P0", err::kNotOpen, "<NOTOPEN>" + log);
    ok("O P0:(\"R\"):5", p);
    EXPECT_EQ(eval("$T"), "1");
    ok("U P0", p);
    for (const char* line : {"one", "two", "", "last"}) {
        ok("R X");
        EXPECT_EQ(eval("X"), line);
    }
    fails("R X", err::kEndOfFile, "<ENDOFFILE>");
    fails("READ X:1", err::kEndOfFile, "<ENDOFFILE>");
    ok("C P0", p);
    ok("CLOSE P0", p);
    fails("R X", err::kNotOpen, "<NOTOPEN>");

    // With a timeout a file that cannot be read says so in $TEST; without one it is an error.
    for (const std::string name : {"missing", "fifo", "link", "sub", ""}) {
        p[1] = name.empty() ? "" : (dir / name).string();
        ok("O P1:\"R\":5", p);
        EXPECT_EQ(eval("$TEST"), "0") << name;
        fails("OPEN P1", err::kNotOpen, "<NOTOPEN>" + p[1]);
    }
    fails("O P0:(\"W\"):5", err::kNotOpen,
          "<NOTOPEN>" + log + " (files are opened for reading only)");
    fails("O P0:(\"R\":\"A\")", err::kNotOpen,
          "<NOTOPEN>" + log + " (files are opened for reading only)");
    EXPECT_EQ(simtest::readFile(dir / "job.log"), "one\r\ntwo\n\nlast");
    for (std::size_t i = 0; i < kMaxOpenFiles; ++i) {
        p[1] = (dir / ("f" + std::to_string(i))).string();
        simtest::writeFile(p[1], "x");
        ok("O P1::1", p);
        ASSERT_EQ(eval("$T"), "1");
    }
    ok("O P0::1", p);
    EXPECT_EQ(eval("$T"), "0") << "one file more than a connection may hold";
}
