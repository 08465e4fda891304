#include "sim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

namespace tvl::sim {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Server::Connection {
    Connection(unsigned long id, int fd, Environment& env) : id(id), fd(fd), session(env) {}
    ~Connection() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    unsigned long id;
    int fd;
    Session session;
    RequestReader reader;
    std::string in;
    std::string out;
    bool closeAfterFlush = false;
    // After a last reply the sending side is shut and what the peer still sends is read and
    // dropped for a moment: closing with unread input would reset the connection and could
    // destroy that reply before the peer reads it.
    bool draining = false;
    Clock::time_point drainUntil;
    bool closed = false;
    // When the first byte of the frame now being received came; a trickle of bytes does
    // not move it.
    Clock::time_point frameStart;
    // When the last request was taken (or the connection came): the measure of idleness.
    Clock::time_point lastRequest = Clock::now();
    Clock::time_point lastOutput = Clock::now();
};

void parseListenAddress(const std::string& text, std::string& host, std::string& port) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw StartError("--listen wants HOST:PORT, not \"" + text + "\"");
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) > 65535) {
        throw StartError("--listen: bad port \"" + port + "\"");
    }
}

Server::Server(ServerOptions options) : m_options(std::move(options)) {
    std::error_code ec;
    fs::create_directories(m_options.data, ec);
    if (!fs::is_directory(m_options.data)) {
        throw StartError("cannot use data directory " + m_options.data.string() +
                         (ec ? ": " + ec.message() : ""));
    }
    // Two servers on one data directory would overwrite each other's globals.
    fs::path lock = m_options.data / "cachesim.lock";
    m_lockFd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        throw StartError("cannot create " + lock.string() + ": " + std::strerror(errno));
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        throw StartError("data directory " + m_options.data.string() +
                         " is in use by another cachesim");
    }
    try {
        m_sys = std::make_unique<GlobalStore>(m_options.data / "%SYS.globals");
        m_user = std::make_unique<GlobalStore>(m_options.data / "USER.globals");
        for (const auto& db : m_options.databases) {
            if (!fs::is_directory(db, ec)) {
                throw StartError("--database " + db + " is not a directory");
            }
            m_sys->set({"SYS", "UCI", canonicalDirectory(db)}, "");
        }
        m_sys->flush();
    } catch (const StoreError& e) {
        throw StartError(e.what());
    }
    if (!m_options.trace.empty()) {
        m_trace.open(m_options.trace, std::ios::app | std::ios::binary);
        if (!m_trace) {
            throw StartError("cannot open trace file " + m_options.trace.string());
        }
    }
    m_jobs = std::make_unique<BackupManager>(*m_sys,
                                             [this](const std::string& text) { diagnostic(text); });
    m_env.namespaces = {{"%SYS", m_sys.get()}, {"USER", m_user.get()}};
    m_env.startBackup = [this](const std::array<std::string, 10>& p) { m_jobs->start(p); };

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw StartError(std::string("pipe: ") + std::strerror(errno));
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
}

Server::~Server() {
    m_connections.clear();
    if (m_jobsAbandoned) {
        // Waiting for a job that does not stop would hang the end of the process; the
        // owner ends it without running this destructor (see jobsAbandoned()).
        (void)m_jobs.release();
    }
    m_jobs.reset();
    for (int fd : {m_listenFd, m_wakeRead, m_wakeWrite, m_lockFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string Server::listen() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(m_options.host.c_str(), m_options.port.c_str(), &hints, &res);
    if (rc != 0) {
        throw StartError("cannot resolve " + m_options.host + ": " + gai_strerror(rc));
    }
    std::string lastError = "no address";
    for (addrinfo* ai = res; ai; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          ai->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
            lastError = std::strerror(errno);
            ::close(fd);
            continue;
        }
        m_listenFd = fd;
        break;
    }
    ::freeaddrinfo(res);
    if (m_listenFd < 0) {
        throw StartError("cannot listen on " + m_options.host + ":" + m_options.port + ": " +
                         lastError);
    }
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    unsigned port = addr.ss_family == AF_INET6
                        ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                        : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    std::string host =
        m_options.host.find(':') != std::string::npos ? "[" + m_options.host + "]" : m_options.host;
    return host + ":" + std::to_string(port);
}

void Server::requestStop() {
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeWrite, &c, 1);
}

void Server::run() {
    bool stopping = false;
    std::vector<pollfd> fds;
    std::vector<Connection*> polled;
    while (!stopping) {
        fds.clear();
        polled.clear();
        fds.push_back({m_wakeRead, POLLIN, 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        for (auto& c : m_connections) {
            short events = 0;
            // A connection is read only while it has no reply waiting: a client that does
            // not read its replies cannot make the server buffer without end.
            if ((c->out.empty() && !c->closeAfterFlush) || c->draining) {
                events |= POLLIN;
            }
            if (!c->out.empty()) {
                events |= POLLOUT;
            }
            fds.push_back({c->fd, events, 0});
            polled.push_back(c.get());
        }
        int n = ::poll(fds.data(), fds.size(), 1000);
        if (n < 0 && errno != EINTR) {
            diagnostic(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (n > 0) {
            if (fds[0].revents & POLLIN) {
                stopping = true;
            }
            if (fds[1].revents & POLLIN) {
                accept();
            }
            for (std::size_t i = 0; i < polled.size(); ++i) {
                Connection& c = *polled[i];
                short re = fds[i + 2].revents;
                if (c.closed) {
                    continue;
                }
                if (re & POLLNVAL) {
                    c.closed = true;
                    continue;
                }
                if (re & (POLLIN | POLLHUP | POLLERR)) {
                    readFrom(c);
                }
                // A hang-up or error with a reply waiting is settled by trying to send it.
                if (!c.closed && (re & (POLLOUT | POLLHUP | POLLERR)) && !c.out.empty()) {
                    writeTo(c);
                }
            }
        }
        checkTimeouts();
        m_connections.remove_if([this](const std::unique_ptr<Connection>& c) {
            if (c->closed) {
                trace(c.get(), "closed");
            }
            return c->closed;
        });
    }
    ::close(m_listenFd);
    m_listenFd = -1;
    m_connections.clear();
    m_jobs->cancel();
    if (!m_jobs->waitAll(kJobStopWait)) {
        diagnostic("a backup job did not stop when asked; ending without it");
        m_jobsAbandoned = true;
    }
    try {
        m_sys->flush();
        m_user->flush();
    } catch (const StoreError& e) {
        diagnostic(e.what());
    }
}

void Server::checkTimeouts() {
    auto now = Clock::now();
    for (auto& c : m_connections) {
        if (c->closed) {
            continue;
        }
        if (c->draining) {
            c->closed = now > c->drainUntil;
            continue;
        }
        bool midFrame = !c->in.empty() && c->out.empty();
        if (midFrame && now - c->frameStart > m_options.stallTimeout) {
            trace(c.get(), "dropped: frame not completed in time");
            c->closed = true;
        } else if (!c->out.empty() && now - c->lastOutput > m_options.stallTimeout) {
            trace(c.get(), "dropped: replies not read in time");
            c->closed = true;
        } else if (c->in.empty() && c->out.empty() &&
                   now - c->lastRequest > m_options.idleTimeout) {
            trace(c.get(), "closed: idle too long");
            c->closed = true;
        }
    }
}

void Server::accept() {
    while (true) {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                errno != ECONNABORTED) {
                diagnostic(std::string("accept: ") + std::strerror(errno));
            }
            return;
        }
        // Slots are taken back from connections already closed, then from the one that has
        // gone longest without a request: clients that hold slots without using them (or
        // trickle bytes that never make a frame) cannot lock everyone else out.
        // (The loop removes closed connections after this turn; they hold no slot now.)
        std::size_t live = 0;
        Connection* idlest = nullptr;
        for (auto& other : m_connections) {
            if (!other->closed) {
                ++live;
                if (!idlest || other->lastRequest < idlest->lastRequest) {
                    idlest = other.get();
                }
            }
        }
        if (live >= m_options.maxConnections && idlest) {
            trace(idlest, "closed: its slot is needed by a new connection");
            idlest->closed = true;
        }
        auto c = std::make_unique<Connection>(m_nextId++, fd, m_env);
        c->out = std::string(kGreeting);
        char host[INET6_ADDRSTRLEN] = "?";
        if (addr.ss_family == AF_INET) {
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr)->sin_addr, host,
                        sizeof host);
        } else if (addr.ss_family == AF_INET6) {
            ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr, host,
                        sizeof host);
        }
        trace(c.get(), std::string("connected from ") + host);
        Connection& ref = *c;
        m_connections.push_back(std::move(c));
        flushOut(ref);
    }
}

void Server::readFrom(Connection& c) {
    char buf[65536];
    if (c.draining) {
        ssize_t n = 0;
        for (int turn = 0; turn < 32 && (n = ::recv(c.fd, buf, sizeof buf, 0)) > 0; ++turn) {
        }
        if (n > 0) {
            return;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            c.closed = true;
        }
        return;
    }
    // A bounded number of reads per turn, so a client that floods cannot starve the others.
    for (int turn = 0; turn < 32 && c.out.empty() && !c.closeAfterFlush && !c.closed; ++turn) {
        ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
            if (c.in.empty()) {
                c.frameStart = Clock::now();
            }
            c.in.append(buf, static_cast<std::size_t>(n));
            process(c);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        // End of stream or a reset: what was not a whole frame is dropped with the peer.
        if (!c.in.empty()) {
            trace(&c, "peer left in the middle of a frame");
        }
        c.closed = true;
        return;
    }
}

void Server::process(Connection& c) {
    while (c.out.empty() && !c.closeAfterFlush && !c.closed) {
        Request req;
        RequestReader::Status st = c.reader.next(c.in, req);
        if (st == RequestReader::Status::NeedMore) {
            return;
        }
        if (st == RequestReader::Status::Malformed) {
            std::string text = "<PROTOCOL> " + c.reader.problem();
            trace(&c, "< ERR 1 " + readable(text) + " (closing)");
            c.out = errReply(err::kProtocol, text);
            c.in.clear();
            c.closeAfterFlush = true;
            flushOut(c);
            break;
        }
        auto now = Clock::now();
        c.lastRequest = now;
        // What follows the request already belongs to the next frame.
        c.frameStart = now;
        if (req.kind == Request::Kind::Quit) {
            trace(&c, "> QUIT");
            c.closeAfterFlush = true;
            flushOut(c);
            break;
        }
        std::string line = "> EXEC " + readable(req.code);
        for (std::size_t i = 0; i < req.params.size(); ++i) {
            if (!req.params[i].empty()) {
                line += " P" + std::to_string(i) + "=\"" + readable(req.params[i]) + "\"";
            }
        }
        trace(&c, line);
        UndoLog undo;
        LineResult r = c.session.execute(req.code, req.params, &undo);
        // A change that did not reach the disk must not be reported as done, nor stay in
        // memory to be read back, or written with a later change, as if it had been.
        // Only the namespaces the request changed are written: one whose disk is full must
        // not fail a request that changed only the other, or one that changed nothing.
        if (!undo.empty()) {
            std::vector<GlobalStore*> changed;
            for (GlobalStore* store : {m_sys.get(), m_user.get()}) {
                if (undo.touches(store)) {
                    changed.push_back(store);
                }
            }
            try {
                for (GlobalStore* store : changed) {
                    store->flush();
                }
            } catch (const StoreError& e) {
                undo.rollback();
                r.ok = false;
                r.code = err::kDiskHard;
                r.text = std::string("<DISKHARD>") + e.what();
                // The other namespace may have been written with the change; put it back.
                for (GlobalStore* store : changed) {
                    try {
                        store->flush();
                    } catch (const StoreError&) {
                    }
                }
            }
        }
        if (r.ok) {
            trace(&c, "< OK " + readable(r.text));
            c.out = okReply(r.text);
        } else {
            trace(&c, "< ERR " + std::to_string(r.code) + " " + readable(r.text));
            c.out = errReply(r.code, r.text);
        }
        c.lastOutput = Clock::now();
        flushOut(c);
    }
}

void Server::flushOut(Connection& c) {
    while (!c.out.empty()) {
        ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            c.out.erase(0, static_cast<std::size_t>(n));
            c.lastOutput = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        c.closed = true;
        return;
    }
    if (c.closeAfterFlush && !c.draining) {
        ::shutdown(c.fd, SHUT_WR);
        c.draining = true;
        c.drainUntil = Clock::now() + std::chrono::seconds(2);
    }
}

void Server::writeTo(Connection& c) {
    flushOut(c);
    // Requests that came in while the reply was waiting.
    if (!c.closed && c.out.empty() && !c.in.empty()) {
        process(c);
    }
}

void Server::trace(const Connection* c, const std::string& text) {
    if (!m_trace.is_open()) {
        return;
    }
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    m_trace << stamp << " #" << (c ? std::to_string(c->id) : std::string("-")) << " " << text
            << "\n";
    m_trace.flush();
}

void Server::diagnostic(const std::string& text) {
    std::lock_guard lock(m_diagMutex);
    std::cerr << "cachesim: " << text << std::endl;
}

}  // namespace tvl::sim
