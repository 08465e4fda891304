#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "controls/vismwire.h"

using namespace tvl::wire;

namespace {

Params params(std::initializer_list<std::string> first) {
    Params p;
    std::size_t i = 0;
    for (const auto& v : first) {
        p[i++] = v;
    }
    return p;
}

ReplyReader readAll(std::string_view bytes) {
    ReplyReader r;
    r.feed(bytes);
    return r;
}

}  // namespace

TEST(WireRequest, ExecCarriesCodeAndAllTenValuesWithTheirLengths) {
    const auto frame = encodeExec("ZN \"%SYS\"", Params{});
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, "EXEC 9 0 0 0 0 0 0 0 0 0 0\nZN \"%SYS\"");

    const auto job = encodeExec("J X(P0,P1)", params({"", "F", "", "/b/x.bcp"}));
    ASSERT_TRUE(job);
    EXPECT_EQ(*job, "EXEC 10 0 1 0 8 0 0 0 0 0 0\nJ X(P0,P1)F/b/x.bcp");

    // Payloads are raw: LF, NUL and high bytes go through unchanged.
    const std::string raw("a\nb\0\xff", 5);
    const auto rawFrame = encodeExec(raw, params({raw}));
    ASSERT_TRUE(rawFrame);
    EXPECT_EQ(*rawFrame, "EXEC 5 5 0 0 0 0 0 0 0 0 0\n" + raw + raw);
}

TEST(WireRequest, ValueOverOneMebibyteIsRefused) {
    const std::string limit(kMaxPayload, 'x');
    EXPECT_TRUE(encodeExec(limit, Params{}));
    EXPECT_FALSE(encodeExec(limit + "x", Params{}));
    EXPECT_FALSE(encodeExec("$h", params({"", "", limit + "x"})));
}

TEST(WireRequest, ReaderTakesBackWhatTheEncoderWrote) {
    const Params p = params({"v0", "", "v2\n", "", "", "", "", "", "", "nine"});
    const std::string frame = *encodeExec("$o(^X(P0))", p) + std::string(kQuit);
    // Fed one byte at a time, so every split point is crossed.
    RequestReader r;
    for (std::size_t i = 0; i < frame.size() && r.status() == Status::NeedMore; ++i) {
        r.feed(frame.substr(i, 1));
    }
    ASSERT_EQ(r.status(), Status::Complete);
    EXPECT_FALSE(r.frame().quit);
    EXPECT_EQ(r.frame().code, "$o(^X(P0))");
    EXPECT_EQ(r.frame().params, p);

    RequestReader q;
    EXPECT_EQ(q.feed(kQuit), Status::Complete);
    EXPECT_TRUE(q.frame().quit);
}

TEST(WireRequest, MalformedRequestHeaders) {
    for (const std::string& bad : std::vector<std::string>{
             "EXEC 1 0 0 0 0 0 0 0 0 0\n",      // ten lengths
             "EXEC 1 0 0 0 0 0 0 0 0 0 0 0\n",  // twelve
             "EXEC 01 0 0 0 0 0 0 0 0 0 0\n",   // leading zero
             "EXEC +1 0 0 0 0 0 0 0 0 0 0\n",   // sign
             "exec 1 0 0 0 0 0 0 0 0 0 0\n",    // words are case-sensitive
             "EXEC 1  0 0 0 0 0 0 0 0 0 0\n",   // double blank
             "EXEC 1 0 0 0 0 0 0 0 0 0 0\r\n",  // CR
             "EXEC 1048577 0 0 0 0 0 0 0 0 0 0\n",
             "QUIT now\n",
             "HELLO\n",
         }) {
        RequestReader r;
        EXPECT_EQ(r.feed(bad), Status::Malformed) << bad;
    }
}

TEST(WireReply, OkAndErrReplies) {
    auto ok = readAll("OK 11\n67911,54307");
    ASSERT_EQ(ok.status(), Status::Complete);
    EXPECT_TRUE(ok.frame().ok);
    EXPECT_EQ(ok.frame().payload, "67911,54307");
    EXPECT_TRUE(ok.rest().empty());

    auto empty = readAll("OK 0\n");
    ASSERT_EQ(empty.status(), Status::Complete);
    EXPECT_EQ(empty.frame().payload, "");

    auto err = readAll("ERR 8 10\n<SYNTAX>xy");
    ASSERT_EQ(err.status(), Status::Complete);
    EXPECT_FALSE(err.frame().ok);
    EXPECT_EQ(err.frame().code, 8);
    EXPECT_EQ(err.frame().payload, "<SYNTAX>xy");

    auto top = readAll("ERR 2147483647 0\n");
    ASSERT_EQ(top.status(), Status::Complete);
    EXPECT_EQ(top.frame().code, 2147483647);

    EXPECT_EQ(encodeOk("abc"), "OK 3\nabc");
    EXPECT_EQ(encodeErr(5, "<X>"), "ERR 5 3\n<X>");
}

TEST(WireReply, BytesAfterTheReplyAreKeptApart) {
    auto r = readAll("OK 2\nabOK 0\n");
    ASSERT_EQ(r.status(), Status::Complete);
    EXPECT_EQ(r.frame().payload, "ab");
    EXPECT_EQ(r.rest(), "OK 0\n");
}

TEST(WireReply, IncompleteReplyWaitsAndNamesWhatIsMissing) {
    ReplyReader none;
    EXPECT_EQ(none.cutOffText(), "connection closed");

    ReplyReader header;
    EXPECT_EQ(header.feed("OK 1"), Status::NeedMore);
    EXPECT_EQ(header.cutOffText(), "reply cut off in its header");

    ReplyReader payload;
    EXPECT_EQ(payload.feed("OK 10\nabc"), Status::NeedMore);
    EXPECT_EQ(payload.cutOffText(), "reply cut off after 3 of 10 payload bytes");
    EXPECT_EQ(payload.feed("defghij"), Status::Complete);
}

TEST(WireReply, MalformedReplies) {
    const std::string longLine(kMaxHeaderLine, 'O');
    // Error numbers are positive and fit the 32-bit Error; the long line has 256 bytes and
    // still no LF.
    for (const std::string& bad : std::vector<std::string>{
             "OK\n", "OK -1\n", "OK 007\nabcdefg", "OK 1 2\nab", "ok 1\na", "OK  1\na", " OK 1\na",
             "OK 1 \na", "OK 1\r\na", "OK 1\t\na", "OK 1048577\n", "OK 99999999999999999999\n",
             "ERR 0 1\nx", "ERR 2147483648 1\nx", "ERR 5\n", "ERR x 1\nx", "VISM 1\n",
             "OK 1\xff\na", longLine}) {
        EXPECT_EQ(readAll(bad).status(), Status::Malformed) << bad;
    }
    // The limits themselves are allowed.
    EXPECT_EQ(readAll("OK " + std::to_string(kMaxPayload) + "\n").status(), Status::NeedMore);
    std::string longest = "OK 0";
    longest.resize(kMaxHeaderLine - 1, ' ');
    EXPECT_EQ(readAll(longest + "\n").status(), Status::Malformed);  // trailing blanks
}

TEST(WireReply, DecimalWords) {
    EXPECT_EQ(parseDecimal("0"), 0u);
    EXPECT_EQ(parseDecimal("1048576"), 1048576u);
    EXPECT_FALSE(parseDecimal(""));
    EXPECT_FALSE(parseDecimal("00"));
    EXPECT_FALSE(parseDecimal("1a"));
    EXPECT_FALSE(parseDecimal("-0"));
}

TEST(WireReply, RandomBytesGiveTheSameAnswerWhateverPiecesTheyArriveIn) {
    std::mt19937 rng(7);
    const std::string seeds[] = {"OK 3\nabc", "ERR 12 4\n<X>y", "OK 0\n", "ERR 1 10\n<PROTOCOL>"};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = seeds[rng() % 4];
        // Flip, cut or extend the seed at random.
        const int change = static_cast<int>(rng() % 4);
        if (change == 0 && !bytes.empty()) {
            bytes[rng() % bytes.size()] = static_cast<char>(rng() % 256);
        } else if (change == 1) {
            bytes.resize(rng() % (bytes.size() + 1));
        } else if (change == 2) {
            for (int i = static_cast<int>(rng() % 12); i > 0; --i) {
                bytes += static_cast<char>(rng() % 256);
            }
        }
        ReplyReader whole;
        whole.feed(bytes);
        ReplyReader pieces;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = 1 + rng() % 4;
            pieces.feed(std::string_view(bytes).substr(at, n));
            at += n;
        }
        ASSERT_EQ(whole.status(), pieces.status()) << bytes;
        if (whole.status() == Status::Complete) {
            EXPECT_EQ(whole.frame().payload, pieces.frame().payload);
            EXPECT_EQ(whole.frame().code, pieces.frame().code);
            EXPECT_EQ(whole.rest(), pieces.rest());
        }
    }
}
