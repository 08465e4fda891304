#include <gtest/gtest.h>

#include <random>

#include "sim/interp.h"
#include "simtest.h"

using namespace tvl::sim;
using namespace simtest;

namespace {

// Random code lines put together from the pieces of the language, so that many of them get
// deep into the parser and the evaluator rather than failing at the first byte.
std::string randomLine(std::mt19937& rng) {
    static const char* const kPieces[] = {
        "S ",          "K ",       "J ",    "ZN ",     "s ",       "SET ", "^",
        "^|\"%SYS\"|", "^|\"X\"|", "SYS",   "G",       "P0",       "P9",   "X",
        "(",           ")",        ",",     "=",       "_",        "-",    "+",
        "\"",          "\"\"",     "\"a\"", "\"\"",    "1",        "01",   ".5",
        "$H",          "$h",       "$O(",   "$ZD(",    "$TR(",     "$D(",  "$G(",
        "$ZZ(",        " ",        "  ",    "BACKUP",  "^DBACK",   "%SYS", "\"%SYS\"",
        "\"USER\"",    "|",        ":",     "\n",      "\x01",     "\xff", "$",
        "^^",          "((",       "))",    "\"UCI\"", "-1",       "-.5",  ".",
        "99999999999", "\"-\"",    "\".\"", "$ZD(1,",  "$O(^G(1),"};
    std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> count(0, 24);
    std::string line;
    for (int n = count(rng); n > 0; --n) {
        line += kPieces[piece(rng)];
    }
    return line;
}

// Random lines that follow the grammar, with odd values in every place a value can go, so the
// evaluator (not only the parser) meets them.
class GrammarLines {
public:
    explicit GrammarLines(std::mt19937& rng) : m_rng(rng) {}

    std::string line() {
        if (pick(3) == 0) {
            return expr(0);
        }
        std::string out;
        for (int n = 1 + pick(3); n > 0; --n) {
            out += out.empty() ? "" : " ";
            switch (pick(5)) {
                case 0:
                    out += "K " + ref(0);
                    break;
                case 1:
                    out += "ZN " + oneOf({"\"%SYS\"", "\"USER\"", "\"user\"", "P1", "\"\""});
                    break;
                case 2:
                    out += "J BACKUP^DBACK(" + expr(0) + "," + expr(0) + ")";
                    break;
                default:
                    out += "S " + ref(0) + "=" + expr(0);
                    break;
            }
        }
        return out;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::string oneOf(std::initializer_list<const char*> options) {
        return *(options.begin() + pick(static_cast<int>(options.size())));
    }
    std::string value() {
        return oneOf({"\"\"", "\"a\"\"b\"", "1", "0", ".5", "007", "1.50", "99999999999999999999",
                      "\"-\"", "\".\"", "\"-.5\"", "\"/srv/db/\"", "\"67911,54307\"", "2980014"});
    }
    std::string ref(int depth) {
        std::string r = oneOf({"^G", "^|\"%SYS\"|SYS", "^|P1|G", "L", "^|\"USER\"|G"});
        int subs = pick(4);
        for (int i = 0; i < subs; ++i) {
            r += (i == 0 ? "(" : ",") + expr(depth + 1);
        }
        return subs ? r + ")" : r;
    }
    std::string expr(int depth) {
        if (depth > 4) {
            return pick(2) ? value() : "P" + std::to_string(pick(10));
        }
        switch (pick(12)) {
            case 0:
                return "P" + std::to_string(pick(10));
            case 1:
                return ref(depth);
            case 2:
                return "$H";
            case 3:
                return "$ZD(" + expr(depth + 1) + (pick(2) ? "," + expr(depth + 1) : "") + ")";
            case 4:
                return "$TR(" + expr(depth + 1) + "," + expr(depth + 1) + ")";
            case 5:
                return "$O(" + ref(depth + 1) + (pick(2) ? "," + expr(depth + 1) : "") + ")";
            case 6:
                return "$D(" + ref(depth + 1) + ")";
            case 7:
                return "$G(" + ref(depth + 1) + ")";
            case 8:
                return expr(depth + 1) + "_" + expr(depth + 1);
            case 9:
                return "-" + expr(depth + 1);
            case 10:
                return "(" + expr(depth + 1) + ")";
            default:
                return value();
        }
    }
    std::mt19937& m_rng;
};

}  // namespace

TEST(Fuzz, RandomCodeLinesGiveAnAnswerOrAnMErrorNeverACrash) {
    TempDir dir;
    GlobalStore sys(dir / "%SYS.globals"), user(dir / "USER.globals");
    Environment env;
    env.namespaces = {{"%SYS", &sys}, {"USER", &user}};
    int jobsStarted = 0;
    env.startBackup = [&](const std::array<std::string, 10>&) { ++jobsStarted; };
    Session session(env);
    std::mt19937 rng(20261207);
    std::array<std::string, 10> p = {"", "F", "x", "", "\"", "1", "-", "/srv/", "", "9"};
    int ok = 0, errors = 0;
    GrammarLines grammar(rng);
    for (int i = 0; i < 30000; ++i) {
        std::string line = i % 2 ? randomLine(rng) : grammar.line();
        LineResult r = session.execute(line, p);
        if (r.ok) {
            ++ok;
        } else {
            ++errors;
            ASSERT_GT(r.code, 1) << line;
            ASSERT_EQ(r.text.front(), '<') << line;
            ASSERT_NE(r.text.find('>'), std::string::npos) << line;
        }
    }
    // Both outcomes must have come up, or the generator tests nothing.
    EXPECT_GT(ok, 100);
    EXPECT_GT(errors, 100);
}

TEST(Fuzz, RandomFramesNeverBringTheServerDown) {
    TempDir dir;
    SimProcess sim({"--data", (dir / "data").string(), "--listen", "127.0.0.1:0"});
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> byte(0, 255), len(0, 400), kind(0, 3);
    for (int round = 0; round < 150; ++round) {
        WireClient c(sim.port());
        std::string bytes;
        switch (kind(rng)) {
            case 0:  // raw noise
                for (int n = len(rng); n > 0; --n) {
                    bytes += static_cast<char>(byte(rng));
                }
                break;
            case 1:  // a plausible header with random lengths and a short body
                bytes = "EXEC";
                for (int i = 0; i < 11; ++i) {
                    bytes += " " + std::to_string(len(rng) % 7);
                }
                bytes += "\n";
                for (int n = len(rng) % 40; n > 0; --n) {
                    bytes += static_cast<char>(byte(rng));
                }
                break;
            case 2: {  // a well-formed frame with random code bytes
                std::string code;
                for (int n = len(rng) % 60; n > 0; --n) {
                    code += static_cast<char>(byte(rng));
                }
                bytes = frame(code);
                break;
            }
            default:  // a well-formed frame with a random line of the language
                bytes = frame(randomLine(rng));
                break;
        }
        c.sendRaw(bytes);
    }
    // Huge literals and deep nesting over the wire.
    WireClient c(sim.port());
    std::string big(1048576 - 16, 'x');
    Reply r = c.exec("S ^BIG=\"" + big + "\"");
    EXPECT_TRUE(r.ok) << r.payload;
    EXPECT_EQ(c.exec("^BIG").payload.size(), big.size());
    r = c.exec(std::string(500000, '(') + "1" + std::string(500000, ')'));
    EXPECT_EQ(r.code, err::kSyntax);
    r = c.exec("\"" + std::string(1048574, '"'));  // doubled quotes, never closed
    EXPECT_EQ(r.code, err::kSyntax);
    EXPECT_TRUE(sim.running());
    WireClient after(sim.port());
    EXPECT_EQ(after.exec("\"alive\"").payload, "alive");
}
