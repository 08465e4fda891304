#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "core/profilefile.h"
#include "guitest.h"
#include "ui/captionreader.h"
#include "ui/trayicon.h"

using namespace tvl;

namespace {

// "section/key" of every entry of a caption file, in lower case as they match.
std::set<std::string> captionKeys(const std::string& path) {
    std::set<std::string> keys;
    std::string section;
    const ProfileFile captions(path);
    for (const std::string& line : captions.lines()) {
        QString text = QString::fromStdString(line).trimmed().toLower();
        if (text.startsWith(QLatin1Char('['))) {
            section = text.mid(1, text.indexOf(QLatin1Char(']')) - 1).trimmed().toStdString();
        } else if (text.contains(QLatin1Char('='))) {
            keys.insert(section + "/" +
                        text.section(QLatin1Char('='), 0, 0).trimmed().toStdString());
        }
    }
    return keys;
}

std::string listed(const std::set<std::string>& keys) {
    std::string text;
    for (const std::string& k : keys) {
        text += " " + k;
    }
    return text;
}

// The letter Alt reaches a caption by, in lower case; empty when it has none.
QString altLetter(const QString& caption) {
    for (qsizetype i = caption.indexOf(QLatin1Char('&')); i >= 0 && i + 1 < caption.size();
         i = caption.indexOf(QLatin1Char('&'), i + 2)) {
        if (caption[i + 1] != QLatin1Char('&')) {
            return caption[i + 1].toLower();
        }
    }
    return {};
}

class LanguageTest : public test::GuiTest {
protected:
    void withCaptionFiles() {
        for (const char* name : {"English.lng", "Russian.lng"}) {
            test::copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + name, file(name));
        }
    }
    void storeLanguage(const char* value) {
        QSettings s(QString::fromStdString(file("tarvel.ini")), QSettings::IniFormat);
        s.setValue(QStringLiteral("Sys/crLng_Language"), QString::fromLatin1(value));
    }
    QString menuTitle(const char* name) { return find<QMenu>(name)->title(); }
    QString qtCancel() { return QCoreApplication::translate("QPlatformTheme", "Cancel"); }
};

}  // namespace

TEST_F(LanguageTest, CaptionFilesHaveEveryKeyOfTheWindowsAndNoOther) {
    start("");
    ui::TrayIcon tray(ui::TrayIcon::Availability::Missing);
    ui::connectTray(tray, main());
    ASSERT_TRUE(main().captionReader().WriteCaptionFile());
    // TVL_CAPTION_TEMPLATE=FILE keeps the template, to bring data/*.lng in step.
    if (const char* keep = std::getenv("TVL_CAPTION_TEMPLATE")) {
        test::copyFile(file("English.lng"), keep);
    }
    const std::set<std::string> windows = captionKeys(file("English.lng"));
    for (const char* section :
         {"fmmain/", "fmnewdlg/", "fmaboutdlg/", "fmquedlg/", "fmrepdlg/", "fmwait/"}) {
        EXPECT_TRUE(windows.count(std::string(section) + "caption")) << section;
    }
    for (const char* key : {"fmmain/rgrun3", "fmmain/tbnewhint", "fmmain/miopen"}) {
        EXPECT_TRUE(windows.count(key)) << key;
    }
    EXPECT_FALSE(windows.count("fmmain/n1")) << "no entry for a menu separator";

    for (const char* name : {"English.lng", "Russian.lng"}) {
        const std::set<std::string> shipped =
            captionKeys(std::string(TVL_SOURCE_DATA_DIR) + "/" + name);
        std::set<std::string> missing;
        std::set<std::string> over;
        for (const std::string& k : windows) {
            if (!shipped.count(k)) {
                missing.insert(k);
            }
        }
        for (const std::string& k : shipped) {
            if (!windows.count(k)) {
                over.insert(k);
            }
        }
        EXPECT_TRUE(missing.empty()) << name << " lacks" << listed(missing);
        EXPECT_TRUE(over.empty()) << name << " has keys of no window:" << listed(over);
    }
}

TEST_F(LanguageTest, SwitchingLanguages) {
    withCaptionFiles();
    start("");
    EXPECT_EQ(menuTitle("miFile"), QStringLiteral("&File"));
    const QString englishCancel = qtCancel();
    find<QLineEdit>("edIP")->setFocus();
    ASSERT_FALSE(main().fieldHint().isEmpty());

    find<QAction>("miRus")->trigger();
    EXPECT_EQ(main().message("remask").left(7), QString::fromUtf8("Удалить")) << "the next lookup";
    EXPECT_EQ(menuTitle("miFile"), QString::fromUtf8("&Файл"));
    EXPECT_EQ(find<QGroupBox>("gbTask")->title(), QString::fromUtf8("Параметры задачи"));
    EXPECT_TRUE(find<QAction>("miRus")->isChecked());
    EXPECT_FALSE(find<QAction>("miEng")->isChecked());
    EXPECT_TRUE(main().fieldHint().isEmpty());
    EXPECT_NE(qtCancel(), englishCancel) << "Qt's own buttons follow (qt6-translations-l10n)";

    // Russian again reloads the same files; the marks stay.
    find<QAction>("miRus")->trigger();
    EXPECT_TRUE(find<QAction>("miRus")->isChecked());
    EXPECT_FALSE(find<QAction>("miEng")->isChecked());

    // F1 opens the page of the language in force.
    {
        test::UrlCatcher pages(QStringLiteral("file"));
        shortcut(Qt::Key_F1);
        ASSERT_EQ(pages.urls.size(), 1);
        EXPECT_EQ(pages.urls[0].toLocalFile(), QString::fromStdString(file("Russian.htm")));
    }

    // Without english.lng the way back is refused, in Russian, and nothing changes.
    std::remove(file("English.lng").c_str());
    find<QAction>("miEng")->trigger();
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QString::fromUtf8("Не найдены файлы локализации"));
    EXPECT_TRUE(find<QAction>("miRus")->isChecked());
    EXPECT_FALSE(find<QAction>("miEng")->isChecked());
    EXPECT_EQ(menuTitle("miFile"), QString::fromUtf8("&Файл"));
    EXPECT_EQ(main().message("remask").left(7), QString::fromUtf8("Удалить"));

    // A caption file named in other letter case is the same file.
    withCaptionFiles();
    std::rename(file("English.lng").c_str(), file("english.LNG").c_str());
    find<QAction>("miEng")->trigger();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(menuTitle("miFile"), QStringLiteral("&File"));
    EXPECT_EQ(main().message("remask"), QStringLiteral("Remove the selected task?"));
    EXPECT_EQ(qtCancel(), englishCancel);

    // A switch writes nothing; the end keeps the language in LngCnf.cfg and the settings.
    EXPECT_FALSE(test::fileExists(file("LngCnf.cfg")));
    find<QAction>("miRus")->trigger();
    main().endWithoutQuestion();
    m_windows = ui::ProgramWindows();
    EXPECT_EQ(ProfileFile(file("LngCnf.cfg")).read("Config", "Language"), "Russian");
    QSettings stored(QString::fromStdString(file("tarvel.ini")), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("Sys/crLng_Language")).toString(),
              QStringLiteral("Russian"));
}

TEST_F(LanguageTest, EveryMenuGivesEachOfItsItemsALetterOfItsOwnInEitherLanguage) {
    withCaptionFiles();
    start("");
    for (const char* language : {"miEng", "miRus"}) {
        find<QAction>(language)->trigger();
        std::vector<std::pair<QString, QList<QAction*>>> menus{
            {QStringLiteral("menu bar"), main().menuBar()->actions()}};
        for (const QMenu* menu : main().findChildren<QMenu*>()) {
            menus.emplace_back(menu->objectName(), menu->actions());
        }
        for (const auto& [menu, items] : menus) {
            std::map<QString, QString> taken;
            for (const QAction* item : items) {
                const QString letter = altLetter(item->text());
                if (!letter.isEmpty() && !taken.emplace(letter, item->text()).second) {
                    ADD_FAILURE() << language << " " << menu.toStdString() << ": "
                                  << taken[letter].toStdString() << " and "
                                  << item->text().toStdString();
                }
            }
        }
    }
}

TEST_F(LanguageTest, RussianStoredWithoutItsCaptionFileWritesTheTemplate) {
    storeLanguage("Russian");
    start("");
    EXPECT_TRUE(find<QAction>("miRus")->isChecked());
    EXPECT_EQ(menuTitle("miFile"), QStringLiteral("&File")) << "the windows keep their texts";
    const ProfileFile written(file("Russian.lng"));
    EXPECT_EQ(written.read("fmMain", "miFile"), "&File");
    EXPECT_EQ(written.read("fmQueDlg", "Caption"), "Date Interval");
    EXPECT_EQ(written.read("fmMain", "rgRun1"), "&Daily");
}
