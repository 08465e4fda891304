#include "core/textbytes.h"

#include <gtest/gtest.h>

using namespace tvl;

TEST(TextBytes, Utf8IsKeptAndAnythingElseIsReadAsWindows1251) {
    struct Case {
        std::string bytes;
        bool utf8;
        std::string asUtf8;
    };
    const Case cases[] = {
        {"plain", true, "plain"},
        {"Архив", true, "Архив"},
        {"\xF0\x9F\x92\xBE", true, "\xF0\x9F\x92\xBE"},  // four bytes, U+1F4BE
        {"\xC0\xF0\xF5\xE8\xE2", false, "Архив"},        // Windows-1251
        {"\xB9 \x88 \x98", false, "№ € \xEF\xBF\xBD"},   // 0x98 has no character
        {"\xC0\x80", false, "А\xD0\x82"},                // overlong NUL
        {"\xED\xA0\x80", false, "н\xC2\xA0\xD0\x82"},    // a UTF-16 surrogate
        {"\xD0", false, "Р"},                            // cut short
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isValidUtf8(c.bytes), c.utf8) << c.bytes;
        EXPECT_EQ(utf8FromFileBytes(c.bytes), c.asUtf8) << c.bytes;
    }
}
