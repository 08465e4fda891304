#pragma once

#include <string>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include "util/tempdir.h"

namespace tvl::test {

// The folders the built desktop program works in: a working folder with the message table,
// and folders of its own for runtime files and settings. Its boxes are answered and written
// to stderr instead of waiting for a person.
struct ProgramFolders {
    ProgramFolders() {
        copyFile(std::string(TVL_SOURCE_DATA_DIR) + "/english.dat", work.file("english.dat"));
    }

    QProcessEnvironment environment(
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
        const QString& platform = QStringLiteral("offscreen")) const {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config.path()));
        env.insert(QStringLiteral("TVL_TEST_ANSWER"), QStringLiteral("ok"));
        return env;
    }

    // Starts the desktop program in the working folder.
    void launch(QProcess& process, const QProcessEnvironment& env) const {
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(work.path()));
        process.start(QStringLiteral(TVL_BIN_DIR "/tarvel"), {});
    }

    TempDir work;
    TempDir runtime;
    TempDir config;
};

}  // namespace tvl::test
