#include "server/programsettings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "util/tempdir.h"

namespace tvl {
namespace {

using test::TempDir;

TEST(ProgramSettingsTest, OneFileGivesTheCatchUpAndTheJudging) {
    const JudgeSettings defaults;
    struct Case {
        const char* text;
        CivilMinute catchUp;
        const char* success;
        const char* failure;
        int bound;
    } cases[] = {
        {"", kMaxCatchUpMinutes, kDefaultSuccessPattern, kDefaultFailurePattern, 24},
        {"[Scheduler]\ncatchUpMinutes=0\n[Jobs]\nsuccessPattern=DONE OK\nfailurePattern=ERR\n"
         "boundHours=2\n",
         0, "DONE OK", "ERR", 2},
        // Names ignore letter case; blanks around a value go; out of range keeps the default.
        {"[jobs]\nSUCCESSPATTERN =  Sauvegarde terminée \nboundHours=745\n[Scheduler]\n"
         "catchUpMinutes=181\n",
         kMaxCatchUpMinutes, "Sauvegarde terminée", kDefaultFailurePattern, 24},
        {"[Jobs]\nfailurePattern=\nboundHours=0\n[Scheduler]\ncatchUpMinutes=-1\n",
         kMaxCatchUpMinutes, kDefaultSuccessPattern, kDefaultFailurePattern, 24},
        // A text with a comma stays whole; quotes as the desktop's settings code writes them.
        {"[Jobs]\nfailurePattern=Backup failed, code\nsuccessPattern=\"a \\\"b\\\" \\\\ c, \"\n",
         kMaxCatchUpMinutes, "a \"b\" \\ c, ", "Backup failed, code", 24},
        {"[Jobs]\nsuccessPattern=say \\\"done\\\"\n", kMaxCatchUpMinutes, "say \"done\"",
         kDefaultFailurePattern, 24},
        // The keys belong to their own group.
        {"[Scheduler]\nboundHours=3\n[Jobs]\ncatchUpMinutes=5\n", kMaxCatchUpMinutes,
         kDefaultSuccessPattern, kDefaultFailurePattern, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TempDir dir;
        test::writeFile(dir.file("tarvel.ini"), c.text);
        const ProgramSettings s = readProgramSettings(dir.file("tarvel.ini"));
        EXPECT_EQ(s.catchUpMinutes, c.catchUp);
        EXPECT_EQ(s.judge.successPattern, c.success);
        EXPECT_EQ(s.judge.failurePattern, c.failure);
        EXPECT_EQ(s.judge.boundHours, c.bound);
    }
    EXPECT_EQ(readProgramSettings("/no/such/dir/tarvel.ini").judge.boundHours, defaults.boundHours);
}

TEST(ProgramSettingsTest, TheDefaultFileIsTheDesktopProgramsOwn) {
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(userSettingsPath(), dir.path() + "/Tarvel/tarvel.ini");
    ::mkdir(dir.file("Tarvel").c_str(), 0700);
    test::writeFile(dir.file("Tarvel/tarvel.ini"), "[Jobs]\nboundHours=7\n");
    EXPECT_EQ(readProgramSettings().judge.boundHours, 7);
    if (old != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace tvl
