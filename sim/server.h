#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/backup.h"
#include "sim/globalstore.h"
#include "sim/interp.h"
#include "sim/wire.h"

namespace tvl::sim {

struct ServerOptions {
    std::string host = "127.0.0.1";
    std::string port = "1972";
    std::filesystem::path data;
    std::vector<std::string> databases;
    std::filesystem::path trace;
    // A frame must arrive whole within this long of its first byte, and a reply must be
    // taken by the client within this long; otherwise the connection is dropped.
    std::chrono::milliseconds stallTimeout{60000};
    // A connection that sends no request for this long is closed.
    std::chrono::milliseconds idleTimeout{300000};
    // When every slot is taken, a new connection takes the slot of the one idle longest.
    std::size_t maxConnections = 128;
};

// Raised when the server cannot start: bad data directory, port in use, and so on.
class StartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits "HOST:PORT" (or "[v6-host]:PORT"); throws StartError.
void parseListenAddress(const std::string& text, std::string& host, std::string& port);

// The server: the stores of both namespaces, the backup jobs, the listening socket and one
// loop that serves every connection without blocking on any of them.
class Server {
public:
    explicit Server(ServerOptions options);
    ~Server();

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; returns "HOST:PORT" with the port actually taken.
    std::string listen();
    // Serves until requestStop(); then cancels running jobs and waits for them.
    void run();
    // Safe to call from a signal handler.
    void requestStop();
    // After run(): a backup job did not stop when asked (blocked in a call no cancel
    // reaches). The globals are written; the process should end without waiting for it.
    bool jobsAbandoned() const { return m_jobsAbandoned; }

    // How long shutdown waits for cancelled jobs to end.
    static constexpr std::chrono::seconds kJobStopWait{5};

private:
    struct Connection;

    void accept();
    void checkTimeouts();
    void readFrom(Connection& c);
    void process(Connection& c);
    void writeTo(Connection& c);
    void flushOut(Connection& c);
    void trace(const Connection* c, const std::string& text);
    void diagnostic(const std::string& text);

    ServerOptions m_options;
    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::unique_ptr<GlobalStore> m_sys;
    std::unique_ptr<GlobalStore> m_user;
    Environment m_env;
    std::unique_ptr<BackupManager> m_jobs;
    std::list<std::unique_ptr<Connection>> m_connections;
    std::ofstream m_trace;
    std::mutex m_diagMutex;
    unsigned long m_nextId = 1;
    bool m_jobsAbandoned = false;
};

}  // namespace tvl::sim
