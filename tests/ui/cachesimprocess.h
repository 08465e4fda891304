#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include "util/tempdir.h"

namespace tvl::test {

// The simulated database server on a free loopback port, with two small databases of its
// own, "alpha" and "Beta", in a folder of its own. Stopped with the object.
class CachesimProcess {
public:
    static std::string program() { return TVL_BIN_DIR "/cachesim"; }
    static bool built() { return std::filesystem::exists(program()); }

    CachesimProcess() {
        for (const char* name : {"alpha", "Beta"}) {
            std::filesystem::create_directories(m_dir.file(std::string("db/") + name));
            writeFile(m_dir.file(std::string("db/") + name + "/CACHE.DAT"),
                      std::string(name) + " data\n");
        }
        std::filesystem::create_directories(m_dir.file("backup"));
        m_process.start(QString::fromStdString(program()),
                        {QStringLiteral("--data"), QString::fromStdString(m_dir.file("data")),
                         QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                         QStringLiteral("--database"), QString::fromStdString(database("alpha")),
                         QStringLiteral("--database"), QString::fromStdString(database("Beta"))});
        QDeadlineTimer deadline(20000);
        while (!m_process.canReadLine() && !deadline.hasExpired() &&
               m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(100);
        }
        const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        if (line.startsWith(QStringLiteral("listening on "))) {
            m_port = line.section(QLatin1Char(':'), -1).toStdString();
        }
    }
    ~CachesimProcess() {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    CachesimProcess(const CachesimProcess&) = delete;
    CachesimProcess& operator=(const CachesimProcess&) = delete;

    bool running() const { return !m_port.empty(); }
    const std::string& port() const { return m_port; }
    // A database directory as the server lists it: absolute, ending with "/".
    std::string database(const char* name) const {
        return std::filesystem::canonical(m_dir.file(std::string("db/") + name)).string() + "/";
    }
    std::string backupDir() const { return m_dir.file("backup") + "/"; }

    // The job logs and archives in the backup folder.
    std::vector<std::string> backupFiles(const std::string& extension) const {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.file("backup"))) {
            if (e.path().extension() == extension) {
                files.push_back(e.path().string());
            }
        }
        return files;
    }
    // Waits for a job's log to say how the backup ended; its text, or empty.
    std::string waitForJobLog(int ms = 30000) const {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            for (const std::string& f : backupFiles(".log")) {
                std::string text = readFile(f);
                if (text.find("Backup completed") != std::string::npos ||
                    text.find("Backup failed") != std::string::npos) {
                    return text;
                }
            }
            QTest::qWait(100);
        }
        return {};
    }

private:
    TempDir m_dir;
    QProcess m_process;
    std::string m_port;
};

}  // namespace tvl::test
