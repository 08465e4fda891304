#include "core/language.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/profilefile.h"
#include "util/profilevalues.h"
#include "util/tempdir.h"

using namespace tvl;

TEST(LanguageTest, NamesAndIdentifiers) {
    struct Case {
        int value;
        const char* name;
        const char* identifier;
    };
    const Case cases[] = {
        {0, "Abkhazian", "Abkhazian"},
        {12, "Bengali (Bangla)", "Bengali"},
        {24, "Chinese (Simplified)", "Chinese_Simplified"},
        {33, "English", "English"},
        {46, "Gaelic (Manx)", "Gaelic_Manx"},
        {98, "Oromo (Afan, Galla)", "Oromo"},
        {105, "Rhaeto-Romance", "Rhaeto_Romance"},
        {107, "Russian", "Russian"},
        {113, "Serbo-Croatian", "Serbo_Croatian"},
        {148,
         "Volap\xc3\xbc"
         "k",
         "Volapuk"},
        {155, "Zulu", "Zulu"},
        {156, "Other", "Other"},
        {200, "Other", "Other"},
    };
    for (const Case& c : cases) {
        const auto language = static_cast<TLanguage>(c.value);
        EXPECT_EQ(LanguageName(language), c.name) << c.value;
        EXPECT_EQ(LanguageIdentifier(language), c.identifier) << c.value;
        if (c.value < kLanguageCount) {
            EXPECT_EQ(LanguageFromName(c.name), language) << c.name;
            EXPECT_EQ(LanguageFromIdentifier(c.identifier), language) << c.identifier;
        }
    }
    std::set<std::string_view> names;
    std::set<std::string_view> identifiers;
    for (int i = 0; i < kLanguageCount; ++i) {
        names.insert(LanguageName(static_cast<TLanguage>(i)));
        identifiers.insert(LanguageIdentifier(static_cast<TLanguage>(i)));
    }
    EXPECT_EQ(names.size(), 157u) << "every display name is a name of one language";
    EXPECT_EQ(identifiers.size(), 157u);
}

TEST(LanguageTest, StoredTextsThatAreNoLanguage) {
    EXPECT_EQ(LanguageFromName("russian"), TLanguage::Other) << "display names keep their case";
    EXPECT_EQ(LanguageFromName("Russian "), TLanguage::Other);
    EXPECT_EQ(LanguageFromName(""), TLanguage::Other);
    EXPECT_EQ(LanguageFromName("Volap\xfck"), TLanguage::Volapuk) << "the 8-bit spelling";
    EXPECT_EQ(LanguageFromIdentifier("  russian\t"), TLanguage::Russian);
    EXPECT_EQ(LanguageFromIdentifier("ENGLISH"), TLanguage::English);
    EXPECT_EQ(LanguageFromIdentifier("Klingon"), std::nullopt);
    EXPECT_EQ(LanguageFromIdentifier(""), std::nullopt);
    EXPECT_EQ(LanguageFromIdentifier("Bengali (Bangla)"), std::nullopt);
}

TEST(ProfileFileTest, ReadRules) {
    test::TempDir dir;
    const std::string longValue(3000, 'x');
    const std::string longUtf8 = [] {
        std::string s;
        for (int i = 0; i < 2100; ++i) {
            s += "\xd0\xaf";
        }
        return s;
    }();
    test::writeFile(dir.file("a.lng"),
                    "key=before any section\r\n"
                    "[fmMain]\r\n"
                    "Caption=  Tarvel Utility \t\r\n"
                    "  miFile = &File\n"
                    "miFile=second wins not\r"
                    "eq=a=b\n"
                    "empty=\n"
                    "long=" +
                        longValue + "\n" + "longutf8=" + longUtf8 + "\n" +
                        "[ FMNEWDLG ]\n"
                        "bbOk=OK\n"
                        "[fmMain]\n"
                        "late=a second section of the same name is not read\n");
    const ProfileFile ini(dir.file("a.lng"));
    test::expectValues(ini, {
                                {"fmMain", "Caption", "Tarvel Utility"},
                                {"FMMAIN", "CAPTION", "Tarvel Utility"},
                                {"fmMain", "miFile", "&File"},
                                {"fmMain", "eq", "a=b"},
                                {"fmMain", "empty", ""},
                                {"fmMain", "long", longValue.substr(0, 2047)},
                                {"fmMain", "longutf8", longUtf8.substr(0, std::size_t{2} * 2047)},
                                {"fmNewDlg", "bbok", "OK"},
                                {"fmMain", "bbOk", std::nullopt},
                                {"fmMain", "key", std::nullopt},
                                {"fmMain", "late", std::nullopt},
                                {"fmAboutDlg", "Caption", std::nullopt},
                            });
    EXPECT_EQ(ini.readString("fmMain", "none", "fallback"), "fallback");
    EXPECT_EQ(ProfileFile(dir.file("missing.lng")).read("fmMain", "Caption"), std::nullopt);
}

TEST(ProfileFileTest, WritingKeepsEveryOtherEntry) {
    test::TempDir dir;
    test::writeFile(dir.file("LngCnf.cfg"),
                    "; kept comment\r\n"
                    "[config]\r\n"
                    "LANGUAGE=English\r\n"
                    "Other=kept\r\n"
                    "\r\n"
                    "[Later]\r\n"
                    "x=1\r\n");
    ProfileFile ini(dir.file("LngCnf.cfg"));
    ini.writeString("Config", "Language", "Russian");
    ini.writeString("Config", "Added", "two\nlines");
    ini.writeString("New", "Key", "v");
    ASSERT_TRUE(ini.flush());
    EXPECT_EQ(test::readFile(dir.file("LngCnf.cfg")),
              "; kept comment\r\n"
              "[config]\r\n"
              "Language=Russian\r\n"
              "Other=kept\r\n"
              "Added=two lines\r\n"
              "\r\n"
              "[Later]\r\n"
              "x=1\r\n"
              "\r\n"
              "[New]\r\n"
              "Key=v\r\n");
    EXPECT_EQ(ProfileFile(dir.file("LngCnf.cfg")).read("CONFIG", "language"), "Russian");

    ProfileFile fresh(dir.file("fresh.lng"));
    fresh.writeString("fmMain", "Caption", "Tarvel Utility");
    ASSERT_TRUE(fresh.flush());
    EXPECT_EQ(test::readFile(dir.file("fresh.lng")), "[fmMain]\r\nCaption=Tarvel Utility\r\n");
    EXPECT_FALSE(ProfileFile(dir.file("no/such/folder.lng")).flush());
}

TEST(ProfileFileTest, FoldersForLanguageFiles) {
    test::TempDir dir;
    const std::string program = dir.path();
    const std::string data = dir.file("data/tarvel");
    test::writeFile(dir.file("russian.LNG"), "");
    const LanguageFolders folders{program, data};
    EXPECT_EQ(folders.find("Russian.lng"), dir.file("russian.LNG")) << "letter case of names";
    EXPECT_EQ(folders.find("English.lng"), std::nullopt);
    EXPECT_EQ(folders.writePath("English.lng"), dir.file("English.lng"))
        << "a writable program folder takes what is written";
    EXPECT_EQ(folders.writePath("Russian.lng"), dir.file("russian.LNG"));

    // No one may create files in /proc, whoever runs the test.
    const LanguageFolders installed{"/proc", data};
    EXPECT_EQ(installed.writePath("English.lng"), data + "/English.lng");
    test::writeFile(data + "/ENGLISH.lng", "");
    EXPECT_EQ(installed.find("English.lng"), data + "/ENGLISH.lng");
    EXPECT_EQ(installed.writePath("English.lng"), data + "/ENGLISH.lng");
    test::writeFile(dir.file("English.lng"), "");
    EXPECT_EQ(folders.find("English.lng"), data + "/ENGLISH.lng")
        << "the user's data folder is looked in first";
}
