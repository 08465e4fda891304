#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace tvl::app {

// Only one instance of the program runs per user. The first start holds a lock file and
// listens on a local socket of the same name in the user's runtime directory; a second
// start finds the lock held, sends the wake-up through the socket and ends.
//
// The lock decides, not the socket: a second listen() on the name would take the socket
// over from a live first instance.
class InstanceGuard : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kInstanceName = "VelmorQuistanFieldDataBaseProgramm";

    enum class Result {
        First,         // this start runs; wakeUpRequested() comes when another start asks
        Second,        // another instance runs; call wakeFirst() and end
        LockFailed,    // the lock file could not be made at all
        ListenFailed,  // the wake-up socket could not be opened
    };

    // The user's runtime directory: $XDG_RUNTIME_DIR, else a private folder of this user
    // in the temporary directory.
    static QString runtimeDirectory();

    explicit InstanceGuard(const QString& directory = runtimeDirectory(),
                           QObject* parent = nullptr);

    Result check();
    // Sends the wake-up to the first instance, trying for up to timeoutMs while it may
    // still be starting; true when it was delivered.
    bool wakeFirst(int timeoutMs = 5000);

    QString lockPath() const { return m_lock.fileName(); }
    QString socketPath() const { return m_socketPath; }

    // Texts of the two failures; they stand in the program since no table is read yet.
    static QString lockFailedText();
    static QString listenFailedText();

signals:
    void wakeUpRequested();

private:
    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer m_server;
};

}  // namespace tvl::app
