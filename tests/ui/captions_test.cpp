#include "ui/captionreader.h"

#include <memory>

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>

#include "core/profilefile.h"
#include "ui/named.h"
#include "util/profilevalues.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::ui::named;

namespace {

// Two small windows of the program's kinds: a main window with a menu, a tool button, a
// radio group, a list view and a status panel, and a dialog it is parent of.
struct Windows {
    Windows() {
        main.setObjectName(QStringLiteral("fmMain"));
        main.setWindowTitle(QStringLiteral("Tarvel Utility"));
        QMenu* file = named(main.menuBar()->addMenu(QStringLiteral("&File")), "miFile");
        named(file->addSeparator(), "N1");
        named(file->addAction(QStringLiteral("E&xit")), "miExit");
        auto* central = named(new QWidget(&main), "pnMain");
        main.setCentralWidget(central);
        named(new QToolButton(central), "tbNew")->setToolTip(QStringLiteral("New Task"));
        auto* rgRun = named(new QGroupBox(QStringLiteral("Run"), central), "rgRun");
        for (const char* mode : {"&Once", "&Daily", "&Weekly", "&Monthly"}) {
            auto* item = new QRadioButton(QString::fromLatin1(mode), rgRun);
            item->setObjectName(QStringLiteral("rgRun%1").arg(rgRun->children().size() - 1));
        }
        named(new QTreeWidget(central), "lwTask")
            ->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Time"),
                               QStringLiteral("Task"), QStringLiteral("Type"),
                               QStringLiteral("Server"), QStringLiteral("Rule")});
        main.statusBar()->addWidget(
            named(new QLabel(QStringLiteral("a message"), main.statusBar()), "sbDesc0"));

        auto* dialog = named(new QDialog(&main), "fmQueDlg");
        dialog->setWindowTitle(QStringLiteral("Date Interval"));
        named(new QLabel(QStringLiteral("From"), dialog), "Label1");
        named(new QPushButton(QStringLiteral("OK"), dialog), "bbOk");
    }

    template <class T>
    T* get(const char* name) {
        return main.findChild<T*>(QString::fromLatin1(name));
    }

    std::vector<QString> radioTexts() {
        std::vector<QString> texts;
        for (QRadioButton* b : get<QGroupBox>("rgRun")->findChildren<QRadioButton*>()) {
            texts.push_back(b->text());
        }
        return texts;
    }

    QMainWindow main;
};

class CaptionsTest : public ::testing::Test {
protected:
    std::unique_ptr<ui::TJKCaptionReader> reader(TLanguage language) {
        auto r = std::make_unique<ui::TJKCaptionReader>(&w.main, folders);
        r->setLanguage(language);
        r->addWindow(&w.main);
        r->addWindow(w.get<QDialog>("fmQueDlg"));
        return r;
    }

    test::TempDir dir;
    LanguageFolders folders{dir.path(), dir.file("data")};
    Windows w;
};

}  // namespace

TEST_F(CaptionsTest, TemplateForAMissingCaptionFile) {
    QAction programCommand(QStringLiteral("Check for updates"));
    programCommand.setObjectName(QStringLiteral("acUpdate"));
    programCommand.setParent(qApp);

    auto r = reader(TLanguage::German);
    r->LoadCaptions();
    programCommand.setParent(nullptr);
    const ProfileFile file(dir.file("German.lng"));
    test::expectValues(file, {
                                 {"fmMain", "Caption", "Tarvel Utility"},
                                 {"fmMain", "miFile", "&File"},
                                 {"fmMain", "miExit", "E&xit"},
                                 {"fmMain", "N1", std::nullopt},
                                 {"fmMain", "tbNewHint", "New Task"},
                                 {"fmMain", "tbNew", std::nullopt},
                                 {"fmMain", "rgRun", "Run"},
                                 {"fmMain", "rgRun0", "&Once"},
                                 {"fmMain", "rgRun3", "&Monthly"},
                                 {"fmMain", "lwTask0", "Date"},
                                 {"fmMain", "lwTask5", "Rule"},
                                 {"fmMain", "sbDesc0", std::nullopt},
                                 {"fmMain", "Label1", std::nullopt},
                                 {"fmQueDlg", "Caption", "Date Interval"},
                                 {"fmQueDlg", "Label1", "From"},
                                 {"fmQueDlg", "bbOk", "OK"},
                                 {"acUpdate", "acUpdate", "Check for updates"},
                             });
    EXPECT_EQ(test::readFile(dir.file("German.lng")).find("[fmMain]\r\nCaption=Tarvel Utility"), 0u)
        << "windows in their order, the title first";
}

TEST_F(CaptionsTest, ApplyingAFile) {
    const std::string longValue(3000, 'L');
    test::writeFile(dir.file("russian.LNG"),
                    "[FMMAIN]\r\n"
                    "caption=  \xd0\xa2\xd0\xb0\xd1\x80\xd0\xb2\xd0\xb5\xd0\xbb  \r\n"
                    "MIEXIT=\xd0\x92\xd1\x8b\xd1\x85\xd0\xbe\xd0\xb4\r\n"
                    "N1=not a separator\r\n"
                    "rgRun0=Once-ru\r\nrgRun1=Daily-ru\r\nrgRun3=Monthly-ru\r\n"
                    "tbNewHint=" +
                        longValue +
                        "\r\n"
                        "lwTask2=\xc7\xe0\xe4\xe0\xf7\xe0\r\n"
                        "sbDesc0=never\r\n"
                        "[fmQueDlg]\r\n"
                        "Label1=From-ru\r\n");
    auto r = reader(TLanguage::Russian);
    r->LoadCaptions();

    EXPECT_EQ(w.main.windowTitle(), QStringLiteral("Тарвел")) << "blanks around dropped";
    EXPECT_EQ(w.get<QAction>("miExit")->text(), QStringLiteral("Выход"))
        << "keys in other letter case";
    EXPECT_EQ(w.radioTexts(),
              (std::vector<QString>{QStringLiteral("Once-ru"), QStringLiteral("Daily-ru"),
                                    QStringLiteral("&Weekly"), QStringLiteral("Monthly-ru")}))
        << "an item without its key keeps its text";
    EXPECT_EQ(w.get<QToolButton>("tbNew")->toolTip(), QString(2047, QLatin1Char('L')));
    EXPECT_EQ(w.get<QTreeWidget>("lwTask")->headerItem()->text(2), QStringLiteral("Задача"))
        << "an 8-bit file is read as Windows-1251";
    EXPECT_EQ(w.get<QTreeWidget>("lwTask")->headerItem()->text(0), QStringLiteral("Date"));
    EXPECT_EQ(w.main.statusBar()->findChild<QLabel*>()->text(), QStringLiteral("a message"));
    EXPECT_EQ(w.get<QLabel>("Label1")->text(), QStringLiteral("From-ru"));
    EXPECT_EQ(w.get<QDialog>("fmQueDlg")->windowTitle(), QStringLiteral("Date Interval"));
    const QList<QAction*> fileItems = w.main.menuBar()->actions().front()->menu()->actions();
    EXPECT_TRUE(fileItems.front()->isSeparator());
    EXPECT_FALSE(test::fileExists(dir.file("Russian.lng"))) << "nothing written";
}

TEST_F(CaptionsTest, WithoutAFileOrAnOwnerNothingChanges) {
    auto r = reader(TLanguage::English);
    r->ApplyCaptions();
    EXPECT_EQ(w.get<QAction>("miExit")->text(), QStringLiteral("E&xit"));

    test::writeFile(dir.file("English.lng"), "[fmMain]\nmiExit=Quit\n");
    ui::TJKCaptionReader orphan(nullptr, folders);
    orphan.setLanguage(TLanguage::English);
    orphan.addWindow(&w.main);
    orphan.ApplyCaptions();
    EXPECT_EQ(w.get<QAction>("miExit")->text(), QStringLiteral("E&xit"));
    r->setAutoload(true);
    r->Loaded();
    EXPECT_EQ(w.get<QAction>("miExit")->text(), QStringLiteral("Quit"));
}

TEST_F(CaptionsTest, LanguageFileKeepsTheLastLanguage) {
    struct Case {
        const char* stored;
        TLanguage expected;
    };
    const Case cases[] = {
        {nullptr, TLanguage::Abkhazian},
        {"[config]\nlanguage = Russian\n", TLanguage::Russian},
        {"[Config]\nLanguage=russian\n", TLanguage::Other},
        {"[Config]\nLanguage=Volap\xfck\n", TLanguage::Volapuk},
    };
    for (const Case& c : cases) {
        test::TempDir d;
        if (c.stored != nullptr) {
            test::writeFile(d.file("LngCnf.cfg"), c.stored);
        }
        {
            ui::TJKCaptionReader r(nullptr, LanguageFolders{d.path(), d.file("data")});
            EXPECT_EQ(r.Language(), c.expected) << (c.stored ? c.stored : "no file");
            r.setLanguage(TLanguage::English);
        }
        EXPECT_EQ(ProfileFile(d.file("LngCnf.cfg")).read("Config", "Language"), "English");
    }
}
