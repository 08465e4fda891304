#pragma once

#include <string>

#include <QApplication>
#include <QDir>
#include <QString>

#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "util/tempdir.h"

namespace tvl::bench {

// The desktop program's benchmarks run offscreen, in a working folder of their own that
// holds the message tables, with every box answered at once. One lives for the whole run.
class GuiBench {
public:
    GuiBench(int& argc, char** argv) : m_app(quiet(argc), argv) {
        for (const char* name : {"english.dat", "russian.dat"}) {
            test::copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/" + name, m_work.file(name));
        }
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(m_work.path()));
        ui::MessageBox::setTestMode(true);
    }
    ~GuiBench() { QDir::setCurrent(m_oldDir); }
    GuiBench(const GuiBench&) = delete;
    GuiBench& operator=(const GuiBench&) = delete;

    test::TempDir& work() { return m_work; }
    // The program's settings, language files and autostart entry in the working folder.
    ui::MainWindowOptions options() const {
        ui::MainWindowOptions options;
        options.settingsFile = QString::fromStdString(m_work.file("tarvel.ini"));
        options.languageFolder = QString::fromStdString(m_work.path());
        options.autostartFile = QString::fromStdString(m_work.file("autostart/tarvel.desktop"));
        return options;
    }

private:
    // Offscreen unless the caller chose a platform; the offscreen platform says for every
    // window shown that it cannot raise it, which is not worth a line.
    static int& quiet(int& argc) {
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (!text.startsWith(QStringLiteral("This plugin does not support"))) {
                    previous(type, context, text);
                }
            });
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        return argc;
    }

    QApplication m_app;
    test::TempDir m_work;
    QString m_oldDir;
};

}  // namespace tvl::bench
