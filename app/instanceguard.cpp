#include "instanceguard.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

namespace tvl::app {

namespace {

constexpr char kWakeUp[] = "wake\n";

QString instanceFile(const QString& directory, const char* suffix) {
    return QDir(directory).filePath(QString::fromLatin1(InstanceGuard::kInstanceName) +
                                    QString::fromLatin1(suffix));
}

}  // namespace

QString InstanceGuard::runtimeDirectory() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists()) {
        return QString::fromLocal8Bit(runtime);
    }
    // The temporary directory is shared by every user: each gets a folder of their own,
    // so one user's instance never blocks another's.
    QString own = QDir(QDir::tempPath()).filePath(QStringLiteral("tarvel-%1").arg(getuid()));
    QDir().mkpath(own);
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return own;
}

InstanceGuard::InstanceGuard(const QString& directory, QObject* parent)
    : QObject(parent),
      m_socketPath(instanceFile(directory, "")),
      m_lock(instanceFile(directory, ".lock")) {
    // A running instance's lock never goes stale by age; a lock left by a dead process is
    // still recognised by its process id and taken over.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("wake")) {
                    emit wakeUpRequested();
                }
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

InstanceGuard::Result InstanceGuard::check() {
    if (!m_lock.tryLock(0)) {
        return m_lock.error() == QLockFile::LockFailedError ? Result::Second : Result::LockFailed;
    }
    // The socket of an instance that died is still there; the lock says it is ours now.
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath)) {
        return Result::ListenFailed;
    }
    return Result::First;
}

bool InstanceGuard::wakeFirst(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(500)) {
            socket.write(kWakeUp, sizeof kWakeUp - 1);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState) {
                socket.waitForDisconnected(1000);
            }
            return sent;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        // The first instance may hold the lock but not listen yet.
        QThread::msleep(100);
    }
}

QString InstanceGuard::lockFailedText() {
    return QString::fromUtf8("Ошибка создания Mutex.");
}

QString InstanceGuard::listenFailedText() {
    return QString::fromUtf8("Ошибка поиска стандартного обработчика сообщений приложения.");
}

}  // namespace tvl::app
