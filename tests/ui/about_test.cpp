#include "ui/aboutwindow.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/versionrecord.h"
#include "guitest.h"

using namespace tvl;

namespace {

QString versionShown(ui::AboutWindow& about) {
    about.show();
    about.hide();
    return about.findChild<QLabel*>(QStringLiteral("lbVer"))->text();
}

}  // namespace

TEST(AboutTest, VersionLineFromTheProgramFile) {
    test::TempDir dir;
    const std::string copy = dir.file("tvl_ui_tests");
    const auto result =
        test::runCommand("cp /proc/" + std::to_string(::getpid()) + "/exe " + copy +
                         " && objcopy --remove-section " + kVersionSection + " " + copy);
    ASSERT_EQ(result.status, 0) << result.err;
    test::writeFile(dir.file("not-elf"),
                    "\x7f"
                    "ELF but nothing more");

    ui::AboutWindow about;
    EXPECT_EQ(versionShown(about), QStringLiteral("Version 2.0.0.0"));
    for (const std::string& without : {copy, dir.file("not-elf"), dir.file("missing")}) {
        ui::AboutWindow bare;
        bare.setProgramFile(QString::fromStdString(without));
        EXPECT_EQ(versionShown(bare), QString()) << without;
    }
}

TEST(AboutTest, OpensCentredOnTheMainWindowAndClosesWithEnterOrEsc) {
    QMainWindow main;
    main.resize(600, 400);
    ui::AboutWindow about(&main);
    EXPECT_EQ(about.size(), QSize(416, 294));
    EXPECT_TRUE(about.findChild<QPushButton*>(QStringLiteral("bbOk"))->isDefault());
    for (const auto& [place, key] :
         {std::pair{QPoint(40, 30), Qt::Key_Escape}, std::pair{QPoint(500, 260), Qt::Key_Return}}) {
        main.move(place);
        QPoint centre;
        QTimer::singleShot(0, &about, [&, key = key] {
            centre = about.frameGeometry().center();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(about.focusWidget() ? about.focusWidget() : &about, &press);
        });
        EXPECT_EQ(about.openCentredOn(&main), QDialog::Accepted) << key;
        // Within the window frame's margins, which the offscreen platform makes up.
        EXPECT_LE((centre - main.frameGeometry().center()).manhattanLength(), 8) << key;
    }
}

TEST(AboutTest, LinksLightUpUntilTheMouseCrossesThePanel) {
    ui::AboutWindow about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    auto* site = about.findChild<QLabel*>(QStringLiteral("lbSite"));
    auto* mail = about.findChild<QLabel*>(QStringLiteral("lbMail"));
    auto* panel = about.findChild<QWidget*>(QStringLiteral("Panel1"));
    auto lit = [](const QLabel* link) {
        return link->font().underline() &&
               link->palette().color(QPalette::WindowText) == QColor(0, 0, 255) &&
               link->cursor().shape() == Qt::PointingHandCursor;
    };
    auto plain = [](const QLabel* link) {
        return !link->font().underline() &&
               link->palette().color(QPalette::WindowText) ==
                   QApplication::palette().color(QPalette::WindowText) &&
               link->cursor().shape() == Qt::ArrowCursor;
    };
    // The mouse moved by the window system onto each widget in turn, with what both links
    // show afterwards.
    const struct {
        const char* over;
        bool siteLit;
        bool mailLit;
    } moves[] = {
        {"Panel1", false, false}, {"lbMail", false, true},  {"lbSite", true, true},
        {"Label1", true, true},   {"Label2", true, true},   {"Image1", true, true},
        {"lbVer", true, true},    {"Panel1", false, false}, {"lbSite", true, false},
    };
    for (const auto& move : moves) {
        auto* widget = about.findChild<QWidget*>(QString::fromLatin1(move.over));
        // The bare panel's corner, or the middle of a part of it.
        const QPoint at =
            widget == panel ? QPoint(6, panel->height() - 6) : widget->rect().center();
        QTest::mouseMove(widget, at);
        QApplication::processEvents();
        EXPECT_TRUE(move.siteLit ? lit(site) : plain(site)) << "site after " << move.over;
        EXPECT_TRUE(move.mailLit ? lit(mail) : plain(mail)) << "mail after " << move.over;
    }
}

TEST(AboutTest, WithoutASiteTheLinkOpensTheReadmeOfABuildOrTheHelpPageOfAnInstall) {
    const struct {
        std::vector<const char*> files;
        const char* opened;
    } layouts[] = {
        {{"bin/README.md", "share/tarvel/English.htm"}, "bin/README.md"},
        {{"share/tarvel/English.htm"}, "share/tarvel/English.htm"},
        {{}, "bin/README.md"},
    };
    for (const auto& layout : layouts) {
        test::TempDir dir;
        for (const char* file : layout.files) {
            std::filesystem::create_directories(
                std::filesystem::path(dir.file(file)).parent_path());
            test::writeFile(dir.file(file), "page");
        }
        EXPECT_EQ(ui::AboutWindow::localSite(QString::fromStdString(dir.file("bin"))),
                  QUrl::fromLocalFile(QString::fromStdString(dir.file(layout.opened))).toString())
            << layout.opened;
    }
}

TEST(AboutTest, LinksOpenTheSiteAndTheMailAddress) {
    ui::AboutWindow about;
    test::UrlCatcher files(QStringLiteral("file"));
    test::UrlCatcher https(QStringLiteral("https"));
    test::UrlCatcher mails(QStringLiteral("mailto"));
    for (const char* link : {"lbSite", "lbMail"}) {
        QWidget* label = about.findChild<QLabel*>(QString::fromLatin1(link));
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2),
                            label->mapToGlobal(QPointF(2, 2)), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(label, &release);
    }
    const QList<QUrl> sites = files.urls + https.urls;
    ASSERT_EQ(sites.size(), 1);
    EXPECT_EQ(sites.front().toString(), about.site());
    if (about.mail().isEmpty()) {
        EXPECT_TRUE(mails.urls.isEmpty()) << "no address, nothing to write to";
    } else {
        ASSERT_EQ(mails.urls.size(), 1);
        EXPECT_EQ(mails.urls.front().toString(), QStringLiteral("mailto:") + about.mail());
    }
}
