#include "sim/wire.h"

#include <gtest/gtest.h>

#include "simtest.h"

using namespace tvl::sim;

TEST(Wire, RequestsArriveWholeHoweverTheBytesAreCut) {
    std::array<std::string, 10> p;
    p[0] = "/srv/db/user/";
    p[3] = std::string("raw\n\0bytes", 10);
    p[9] = "last";
    std::string bytes = simtest::frame("$o(^|\"%SYS\"|SYS(\"UCI\",P0))", p) +
                        simtest::frame("ZN \"%SYS\"") + "QUIT\n";
    // Fed one byte at a time, then all at once: the same three requests come out.
    for (std::size_t step : {std::size_t{1}, bytes.size()}) {
        RequestReader reader;
        std::string buffer;
        std::vector<Request> got;
        for (std::size_t i = 0; i < bytes.size(); i += step) {
            buffer.append(bytes, i, step);
            Request r;
            RequestReader::Status st;
            while ((st = reader.next(buffer, r)) == RequestReader::Status::Ready) {
                got.push_back(r);
            }
            ASSERT_EQ(st, RequestReader::Status::NeedMore) << reader.problem();
        }
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].code, "$o(^|\"%SYS\"|SYS(\"UCI\",P0))");
        EXPECT_EQ(got[0].params, p);
        EXPECT_EQ(got[1].code, "ZN \"%SYS\"");
        EXPECT_EQ(got[1].params, (std::array<std::string, 10>{}));
        EXPECT_EQ(got[2].kind, Request::Kind::Quit);
        EXPECT_TRUE(buffer.empty());
    }
}

TEST(Wire, MalformedHeadersAreRefused) {
    const std::string zeros = " 0 0 0 0 0 0 0 0 0 0";
    const std::string bad[] = {
        "\n",
        "exec 0" + zeros + "\n",
        "EXEC 0" + zeros + " 0\n",  // twelve lengths
        "EXEC 0 0 0\n",             // too few
        "EXEC 01" + zeros + "\n",   // leading zero
        "EXEC -1" + zeros + "\n",   // sign
        "EXEC +1" + zeros + "\n",
        "EXEC  0" + zeros + "\n",       // double blank
        "EXEC 0" + zeros + " \n",       // trailing blank
        "EXEC 0" + zeros + "\r\n",      // CR
        "EXEC 1048577" + zeros + "\n",  // payload over the limit
        "EXEC 99999999" + zeros + "\n",
        "EXEC x" + zeros + "\n",
        "QUIT now\n",
        "HELLO\n",
        std::string(256, 'E'),       // no LF within the 256 bytes a header may have
        std::string("EXEC\x01", 5),  // control byte before any LF
    };
    for (const auto& b : bad) {
        RequestReader reader;
        std::string buffer = b;
        Request r;
        EXPECT_EQ(reader.next(buffer, r), RequestReader::Status::Malformed) << b;
        EXPECT_FALSE(reader.problem().empty());
    }
    // 255 bytes may still be followed by the LF.
    {
        RequestReader reader;
        std::string buffer(255, 'E');
        Request r;
        EXPECT_EQ(reader.next(buffer, r), RequestReader::Status::NeedMore);
    }
    // The largest allowed sizes are accepted (the payload is only awaited).
    RequestReader reader;
    std::string buffer = "EXEC 1048576 1048576 0 0 0 0 0 0 0 0 1048576\n";
    Request r;
    EXPECT_EQ(reader.next(buffer, r), RequestReader::Status::NeedMore);
}

TEST(Wire, RepliesAndTraceText) {
    EXPECT_EQ(okReply(""), "OK 0\n");
    EXPECT_EQ(okReply("67911,54307"), "OK 11\n67911,54307");
    EXPECT_EQ(errReply(8, "<SYNTAX>"), "ERR 8 8\n<SYNTAX>");
    EXPECT_EQ(readable(std::string("a\n\\\0", 4)), "a\\x0A\\\\\\x00");
    EXPECT_EQ(readable(std::string(10, 'x'), 4), "xxxx...(10 bytes)");
}
