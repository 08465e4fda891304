// Draws the program's real windows under a display (Xvfb in docs/screenshots/take.sh) and
// saves pictures of the main window in each run mode and of the New Task Name dialog.

#include <cstdio>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include "ui/application.h"
#include "ui/mainwindow.h"
#include "ui/programwindows.h"
#include "util/tasklines.h"
#include "util/tempdir.h"

namespace {

bool save(QWidget* window, const QString& path) {
    QTest::qWait(200);
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", path.toLocal8Bit().constData());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tvl_screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    tvl::ui::Application app(argc, argv);

    tvl::test::TempDir work;
    for (const char* name : {"english.dat", "russian.dat", "English.lng", "Russian.lng"}) {
        tvl::test::copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + name, work.file(name));
    }
    const tvl::test::TaskDraft sample{.dbPaths = "/data/user/;/data/test/", .saveDir = "/backup/"};
    auto task = [&](const char* name, char type, const char* time, const char* rule) {
        tvl::test::TaskDraft draft = sample;
        draft.name = name;
        draft.type = type;
        draft.startTime = time;
        draft.rule = rule;
        return tvl::test::taskLine(draft);
    };
    tvl::test::writeFile(
        work.file("task.txt"),
        tvl::test::taskFileText({task("Year end", '1', "23:30", "012/31/2026"),
                                 task("Nightly", '0', " 2:00", "1"),
                                 task("Working days", '1', "23:30", "21111100"),
                                 task("Monthly", '2', " 4:15", "311111110111115")}));
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(work.path()));

    bool ok = true;
    {
        tvl::ui::MainWindowOptions options;
        options.settingsFile = QString::fromStdString(work.file("tarvel.ini"));
        options.languageFolder = QString::fromStdString(work.path());
        tvl::ui::ProgramWindows windows = tvl::ui::createProgramWindows(options);
        tvl::ui::MainWindow& main = *windows.main;
        main.show();
        if (!QTest::qWaitForWindowExposed(&main)) {
            std::fprintf(stderr, "the main window was never shown\n");
            return 1;
        }

        auto* cbName = main.findChild<QComboBox*>(QStringLiteral("cbName"));
        const std::pair<int, const char*> shots[] = {
            {0, "main-once.png"}, {2, "main-weekly.png"}, {3, "main-monthly.png"}};
        for (const auto& [index, file] : shots) {
            cbName->setCurrentIndex(index);
            main.cbNameChange();
            // Without a window manager nobody activates the window; the focused field
            // shows its hint only in the active one.
            QApplication::setActiveWindow(&main);
            cbName->setFocus();
            main.findChild<QLineEdit*>(QStringLiteral("edIP"))->setFocus();
            ok = save(&main, out + QLatin1Char('/') + QString::fromLatin1(file)) && ok;
        }

        QTimer::singleShot(300, &main, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                dialog->findChild<QLineEdit*>(QStringLiteral("edNew"))
                    ->setText(QStringLiteral("Weekend"));
                ok = save(dialog, out + QStringLiteral("/new-task-name.png")) && ok;
                QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
            } else {
                ok = false;
            }
        });
        main.NewClick();

        main.endWithoutQuestion();
    }
    QDir::setCurrent(oldDir);
    return ok ? 0 : 1;
}
