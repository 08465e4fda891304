#include "core/runplan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/charset.h"
#include "core/expected.h"
#include "core/schedule.h"
#include "core/taskfile.h"
#include "util/tasklines.h"

using namespace tvl;

namespace {

std::string line(const std::string& name, const std::string& ip, const std::string& port,
                 const std::string& paths, const std::string& save, const std::string& rest) {
    return name + '\x01' + ip + '\x02' + port + '\x03' + paths + '\x04' + save + '\x05' + rest;
}

std::string task(const std::string& ip = "10.0.0.5", const std::string& paths = "/db/a;/db/b",
                 const std::string& save = "/bak",
                 const std::string& rest =
                     "1 9:05\x06"
                     "1") {
    return line("Nightly", ip, "1972", paths, save, rest);
}

// What the editor sends for a stored line: the controls show the line's text (read as
// Windows-1251 when it is not UTF-8), the type box has three entries, the run-mode buttons
// four, and normPaths tidies every field and closes the paths before the field check.
RunPlan editorRoad(std::string_view stored) {
    TaskFields f = splitTaskLine(fileTextToUtf8(stored));
    f.ip = tidyText(f.ip);
    f.port = tidyText(f.port);
    f.dbPaths = addPathEnd(tidyText(f.dbPaths));
    f.saveDir = addPathEnd(tidyText(f.saveDir));
    f.backupType = f.backupType <= 2 ? f.backupType : -1;
    f.runMode = std::min(f.runMode, static_cast<int>(kMonthly));
    return planRun(f);
}

}  // namespace

TEST(RunPlan, TidiesThenClosesPathsThenChecksEveryField) {
    struct Case {
        std::string line;
        std::string refusal;  // empty: starts with the inputs below
        RunInputs inputs;
    };
    const std::vector<Case> cases = {
        {task(), "", {"10.0.0.5", "1972", "/db/a;/db/b/", "/bak/", "Full", "Nightly"}},
        // A field of blanks is an empty field, not a path of its own.
        {task("10.0.0.5", "/db/a", "  "), "no save directory", {}},
        {task("10.0.0.5", " \t "), "no database paths", {}},
        {task(" 127.0.0.1 ", " /db/a\x1e/x \t", " d:\\bak "),
         "",
         {"127.0.0.1", "1972", "/db/a/x/", "d:\\bak\\", "Full", "Nightly"}},
        {task("  "), "no server IP", {}},
        // A path that already ends with either separator keeps its end.
        {task("h", "rel/", "bak\\"), "", {"h", "1972", "rel/", "bak\\", "Full", "Nightly"}},
        {line("T", "h", "", "", "",
              "3 9:05\x06"
              "7"),
         "no port, no database paths, no save directory, no backup type, no run mode",
         {}},
        {"no separators at all",
         "no task name, no server IP, no port, no database paths, no save directory, no backup "
         "type, no run mode",
         {}},
        {line("  ", "h", "1", "/d", "/b",
              "1 9:05\x06"
              "1"),
         "no task name",
         {}},
        {line("x)/../../elsewhere/y", "h", "1", "/d", "/b",
              "1 9:05\x06"
              "1"),
         "the task name holds a character a file name cannot hold",
         {}},
        {line("\xed\xee\xf7\xfc", "h", "1", "\xcf\xf3\xf2\xfc", "/b",
              "2 9:05\x06"
              "1"),
         "",
         {"h", "1", "\xd0\x9f\xd1\x83\xd1\x82\xd1\x8c\\", "/b/", "Incremental",
          "\xd0\xbd\xd0\xbe\xd1\x87\xd1\x8c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const RunPlan plan = planStoredLine(c.line);
        EXPECT_EQ(plan.refusal, c.refusal);
        if (c.refusal.empty()) {
            EXPECT_EQ(plan.inputs, c.inputs);
        }
    }
}

TEST(RunPlan, TaskNamesThatCannotBeFileNames) {
    for (const char* good : {"Nightly", " a b ", "x)(y", "\xd0\xbd\xd0\xbe\xd1\x87\xd1\x8c"}) {
        EXPECT_TRUE(isValidTaskName(good)) << good;
    }
    for (const char* bad : {"", "   ", "Daily/Full", "a\\b", "a:b", "a*", "a?", "a\"b", "a<b",
                            "a>b", "a|b", "esc\x1b", "tab\tname"}) {
        EXPECT_FALSE(isValidTaskName(bad)) << bad;
    }
}

// For every generated line and minute: the due list holds the task exactly when the run
// would start it at that minute, the preview has its row exactly then, and the inputs the
// run sends from the stored line are those the editor sends for it.
TEST(RunPlan, PropertyDueRunPreviewAndEditorAgreeOverGeneratedLines) {
    test::TaskLineGenerator generator(20261208);
    const std::array<std::string, 7> names = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    const std::vector<CivilDate> days = {{2026, 12, 7}, {2026, 12, 8}};
    std::size_t checkedLines = 0;
    std::size_t started = 0;
    for (int list = 0; list < 1000; ++list) {
        const std::vector<std::string> lines = generator.lines(10);
        const std::size_t saved = savedTaskCount(lines);
        checkedLines += lines.size();
        for (std::size_t i = 0; i < saved; ++i) {
            const RunPlan plan = planStoredLine(lines[i]);
            ASSERT_EQ(storedLineCanStart(lines[i]), plan.ok()) << lines[i];
            if (plan.ok()) {
                ++started;
                const RunPlan editor = editorRoad(lines[i]);
                ASSERT_TRUE(editor.ok()) << lines[i];
                EXPECT_EQ(plan.inputs, editor.inputs) << lines[i];
            }
        }
        for (const CivilDate& day : days) {
            std::set<std::size_t> rows;
            const ExpectedBackups preview = ExpectedBackups::compute(lines, day, day, names);
            for (std::size_t r = 0; r < preview.size(); ++r) {
                EXPECT_TRUE(rows.insert(preview.taskIndex(r)).second) << "two rows for one task";
            }
            std::set<int> minutes = {0, 9 * 60 + 5};
            for (const std::string& l : lines) {
                if (const auto start = parseStartTime(startRule(l).startTime)) {
                    minutes.insert(*start);
                }
            }
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (!parseStartTime(startRule(lines[i]).startTime)) {
                    EXPECT_EQ(rows.count(i), 0u) << "line " << lines[i];
                }
            }
            for (int minute : minutes) {
                const LocalDateTime t{day, minute / 60, minute % 60, 0};
                const std::vector<std::size_t> due = dueTasks(lines, t);
                for (std::size_t i = 0; i < lines.size(); ++i) {
                    const bool listed = std::find(due.begin(), due.end(), i) != due.end();
                    const bool runs = i < saved && dueTest(lines[i], t) == Due::Due &&
                                      planStoredLine(lines[i]).ok();
                    ASSERT_EQ(listed, runs) << "line " << lines[i];
                    const auto start = parseStartTime(startRule(lines[i]).startTime);
                    if (start == minute) {
                        ASSERT_EQ(rows.count(i) == 1, listed) << "line " << lines[i];
                    }
                }
            }
        }
    }
    EXPECT_GE(checkedLines, 10000u);
    EXPECT_GT(started, 100u) << "the generator must give startable tasks too";
}
