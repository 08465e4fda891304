// The task selector's names: New's duplicate check compares a name with them as the
// selector shows them, without making each into text, and the selector's list is as wide as
// the widest of them.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>

#include "core/taskfile.h"
#include "core/taskline.h"
#include "ui/tasknamemodel.h"
#include "util/tasklines.h"

namespace tvl::test {
namespace {

using ui::TaskNameModel;

// The selector's entries over these lines, then new tasks with no line yet.
struct Names {
    explicit Names(const std::vector<std::string>& lines, const QStringList& unsaved = {})
        : tasks(TaskLines(lines)), model(tasks, nullptr) {
        model.reload();
        for (const QString& name : unsaved) {
            model.appendNew(name);
        }
    }
    // The check as it always was: the first entry whose text equals the name ignoring case.
    int reference(const QString& name) const {
        for (int i = 0; i < model.rowCount(); ++i) {
            if (model.name(i).compare(name, Qt::CaseInsensitive) == 0) {
                return i;
            }
        }
        return -1;
    }
    int widestDrawn(const QFont& font) const {
        const QFontMetrics metrics(font);
        int widest = 0;
        for (int i = 0; i < model.rowCount(); ++i) {
            widest = std::max(widest, metrics.horizontalAdvance(model.name(i)));
        }
        return widest;
    }
    TaskList tasks;
    TaskNameModel model;
};

std::vector<std::string> linesNamed(const std::vector<std::string>& names) {
    std::vector<std::string> lines;
    for (const std::string& name : names) {
        lines.push_back(taskLine({.name = name}));
    }
    return lines;
}

QString ucs4(char32_t c) {
    return QString::fromUcs4(&c, 1);
}

TEST(TaskNames, NewNameIsTakenWhenTheSelectorShowsItIgnoringCase) {
    const Names names(
        {taskLine({.name = "Nightly"}), taskLine({.name = "ночь"}),
         taskLine({.name = "\xE4\xE5\xED\xFC"}),  // "день" in Windows-1251
         // UTF-8 for "А", but the line's save folder is Windows-1251, so the selector reads
         // the whole line, name too, as Windows-1251: "Рђ".
         taskLine({.name = "\xD0\x90", .saveDir = "/\xE1\xE0\xEA/"}), taskLine({.name = "Straße"}),
         taskLine({.name = "\xF0\x90\x90\x80"}),  // U+10400, a capital outside the BMP
         taskLine({.name = "Keys"}), "\x01 hidden", taskLine({.name = "Behind"})},
        {QStringLiteral("Draft")});
    struct Row {
        QString name;
        int entry;
    };
    const std::vector<Row> rows = {
        {QStringLiteral("Nightly"), 0},
        {QStringLiteral("NIGHTLY"), 0},
        {QStringLiteral("Night"), -1},
        {QStringLiteral("Nightly2"), -1},
        {QString::fromUtf8("НОЧЬ"), 1},
        {QString::fromUtf8("ДЕНЬ"), 2},
        {QString::fromUtf8("А"), -1},
        {QString::fromUtf8("рЂ"), 3},
        {QStringLiteral("STRASSE"), -1},
        {QString::fromUtf8("STRAẞE"), 4},
        {ucs4(0x10428), 5},
        {ucs4(0x212A) + QStringLiteral("EYS"), 6},  // the Kelvin sign folds to k
        {QStringLiteral("behind"), -1},             // after a hidden line: no entry
        {QStringLiteral("DRAFT"), 7},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(names.model.findName(row.name), row.entry) << row.name.toStdString();
        EXPECT_EQ(names.reference(row.name), row.entry) << row.name.toStdString();
    }

    // Damaged and mixed lines: every name, upper-cased and lower-cased, is found where the
    // check as it was finds it.
    TaskLineGenerator generator(16);
    const Names many(generator.lines(400));
    for (int i = 0; i < many.model.rowCount(); ++i) {
        const QString name = many.model.name(i);
        for (const QString& asked : {name, name.toUpper(), name.toLower()}) {
            ASSERT_EQ(many.model.findName(asked), many.reference(asked)) << asked.toStdString();
        }
    }

    // Every character that has a case, each against its other cases: one character's
    // folding agrees with QString's comparison ignoring case.
    for (char32_t c = 0x20; c < 0x20000; ++c) {
        if (c >= 0xD800 && c < 0xE000) {
            continue;
        }
        const QString name = ucs4(c);
        const std::string line = taskLine({.name = name.toStdString()});
        for (const char32_t other : {QChar::toUpper(c), QChar::toLower(c), QChar::toTitleCase(c),
                                     QChar::toCaseFolded(c)}) {
            const QString asked = ucs4(other);
            ASSERT_EQ(ui::FoldedName(asked).matches(lineTaskName(line), line),
                      name.compare(asked, Qt::CaseInsensitive) == 0)
                << std::hex << static_cast<std::uint32_t>(c) << " "
                << static_cast<std::uint32_t>(other);
        }
    }
}

TEST(TaskNames, ListIsAsWideAsTheWidestNameItDraws) {
    const QFont font = QApplication::font();
    const int slack = QFontMetrics(font).averageCharWidth();
    std::vector<std::string> narrowMany(40, std::string(30, 'i'));
    narrowMany.insert(narrowMany.begin() + 20, "WWWWWWWWWW");
    struct Case {
        const char* what;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"one", {"Nightly"}},
        {"kerning and ligatures", {"AVAVAVAVAV", "ffi ffl fi", "WAVE", "To Ty Yo"}},
        {"Windows-1251 and UTF-8", {"\xCD\xEE\xF7\xFC \xEA\xEE\xEF\xE8\xFF", "Ночь"}},
        {"the widest of many and not the longest", narrowMany},
    };
    for (const Case& c : cases) {
        Names names(linesNamed(c.names));
        const int widest = names.widestDrawn(font);
        EXPECT_GE(names.model.widestNameWidth(font), widest) << c.what;
        EXPECT_LE(names.model.widestNameWidth(font), widest + slack) << c.what;

        // The width follows the names as they change.
        const QString wider = QString(60, QLatin1Char('W'));
        names.model.appendNew(wider);
        EXPECT_GE(names.model.widestNameWidth(font), QFontMetrics(font).horizontalAdvance(wider))
            << c.what;
        names.model.removeEntry(names.model.rowCount() - 1);
        EXPECT_LE(names.model.widestNameWidth(font), widest + slack) << c.what;
    }
}

}  // namespace
}  // namespace tvl::test
