#include <gtest/gtest.h>

#include "ui/language.h"
#include "ui/textcodec.h"

namespace tvl::ui {
namespace {

TEST(TextCodec, ValidUtf8IsUtf8AndAnythingElseIsWindows1251) {
    EXPECT_EQ(fromFileBytes("\xD0\x9D\xD0\xBE\xD1\x87\xD1\x8C"), QString::fromUtf8("Ночь"));
    EXPECT_EQ(fromFileBytes("\xCD\xEE\xF7\xFC"), QString::fromUtf8("Ночь"));
    // Letters outside the basic block and the punctuation of the upper half.
    EXPECT_EQ(fromFileBytes("\xA8\xB8\xB9\x96\x88"), QString::fromUtf8("Ёё№–€"));
    // A cut UTF-8 sequence is not UTF-8.
    EXPECT_FALSE(isValidUtf8("abc\xD0"));
    EXPECT_TRUE(isValidUtf8("plain ASCII"));
    EXPECT_EQ(toFileBytes(QString::fromUtf8("Ночь")), "\xD0\x9D\xD0\xBE\xD1\x87\xD1\x8C");
}

TEST(Language, NamesAndIdentifiers) {
    EXPECT_EQ(languageName(kEnglish), QStringLiteral("English"));
    EXPECT_EQ(languageName(kRussian), QStringLiteral("Russian"));
    EXPECT_EQ(languageName(156), QStringLiteral("Other"));
    EXPECT_EQ(languageName(-1), QStringLiteral("Other"));
    EXPECT_EQ(languageName(148), QString::fromUtf8("Volapük"));
    EXPECT_EQ(languageIdentifier(148), QStringLiteral("Volapuk"));
    EXPECT_EQ(languageIdentifier(24), QStringLiteral("Chinese_Simplified"));
    EXPECT_EQ(languageFromIdentifier(QStringLiteral(" rUSSIAN ")), kRussian);
    EXPECT_EQ(languageFromIdentifier(QStringLiteral("Zulu")), 155);
    EXPECT_EQ(languageFromIdentifier(QStringLiteral("Chinese (Simplified)")), -1);
    EXPECT_EQ(languageFromIdentifier(QStringLiteral("Klingon")), -1);
}

}  // namespace
}  // namespace tvl::ui
