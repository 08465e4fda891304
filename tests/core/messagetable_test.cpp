#include "core/messagetable.h"

#include <gtest/gtest.h>

#include "util/tempdir.h"

using namespace tvl;

TEST(MessageTableTest, LookupRules) {
    MessageTable t;
    t.setText(
        "Connacc=Connected\r\n"
        "fieldreq=Fill a=b\n"
        "fieldreq=second\r"
        " ip=leading blank\n"
        "port =blank before\n"
        "no separator\n"
        "\n"
        "empty=");
    EXPECT_EQ(t.lookup("connacc"), "Connected");
    EXPECT_EQ(t.lookup("CONNACC"), "Connected");
    EXPECT_EQ(t.lookup("fieldreq"), "Fill a=b") << "first line wins, value keeps further =";
    EXPECT_EQ(t.lookup("ip"), "");
    EXPECT_EQ(t.lookup("port"), "");
    EXPECT_EQ(t.lookup(" ip"), "leading blank");
    EXPECT_EQ(t.lookup("missing"), "");
    EXPECT_EQ(t.lookup("no separator"), "");
    EXPECT_EQ(t.lookup(""), "");
    EXPECT_EQ(t.lookup("empty"), "");
}

TEST(MessageTableTest, CaseFoldingIsAsciiOnly) {
    MessageTable t;
    t.setText("\xd0\x9a=upper cyrillic\n");
    EXPECT_EQ(t.lookup("\xd0\xba"), "") << "non-ASCII bytes compare exactly";
    EXPECT_EQ(t.lookup("\xd0\x9a"), "upper cyrillic");
}

TEST(MessageTableTest, NulEndsTheTextAndReloadKeepsOldContentOnFailure) {
    test::TempDir dir;
    test::writeFile(dir.file("english.dat"), std::string("a=1\nb=2\0c=3\n", 12));
    MessageTable t;
    ASSERT_TRUE(t.load(dir.file("english.dat")));
    EXPECT_EQ(t.lookup("b"), "2");
    EXPECT_EQ(t.lookup("c"), "");

    EXPECT_FALSE(t.load(dir.file("russian.dat")));
    EXPECT_EQ(t.lookup("a"), "1") << "a file that cannot be read leaves the old table";

    test::writeFile(dir.file("russian.dat"), "x=9\n");
    ASSERT_TRUE(t.load(dir.file("russian.dat")));
    EXPECT_EQ(t.lookup("x"), "9");
    EXPECT_EQ(t.lookup("a"), "") << "nothing of the old table remains";
}

TEST(MessageTableTest, ShippedTablesHaveEveryKey) {
    const char* keys[] = {"freaderr",  "fwriterr", "stwork",  "endwork", "tskst",  "savtxt",
                          "remask",    "fieldreq", "tskname", "connacc", "bust",   "ipportreq",
                          "choosetsk", "ip",       "port",    "db",      "output", "butyp",
                          "period",    "runtime",  "dblst",   "mon",     "tue",    "wed",
                          "thu",       "fri",      "sat",     "sun",     "tip",    "srtyp",
                          "unread",    "othtvl",   "freadok"};
    for (const char* file : {"english.dat", "russian.dat"}) {
        MessageTable t;
        ASSERT_TRUE(t.load(std::string(TVL_SOURCE_DATA_DIR) + "/" + file)) << file;
        for (const char* key : keys) {
            EXPECT_FALSE(t.lookup(key).empty()) << file << ": " << key;
        }
    }
}
