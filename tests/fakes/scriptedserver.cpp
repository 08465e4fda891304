#include "fakes/scriptedserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace tvl::test {

namespace {

PeerAction sendBytes(std::string bytes) {
    PeerAction a;
    a.send = std::move(bytes);
    return a;
}

}  // namespace

PeerAction ok(std::string payload) {
    return sendBytes(wire::encodeOk(payload));
}

PeerAction err(int code, std::string name) {
    return sendBytes(wire::encodeErr(code, name));
}

PeerAction sendAndClose(std::string bytes) {
    PeerAction a = sendBytes(std::move(bytes));
    a.close = true;
    return a;
}

PeerAction keepSilent() {
    PeerAction a;
    a.silent = true;
    return a;
}

namespace {

int listenLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("listen");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

int closedPort() {
    int port = 0;
    const int fd = listenLoopback(port);
    ::close(fd);
    return port;
}

ScriptedServer::ScriptedServer(Script script, std::string greeting)
    : m_script(std::move(script)), m_greeting(std::move(greeting)) {
    m_listen = listenLoopback(m_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    m_thread = std::thread([this] { serve(); });
}

ScriptedServer::~ScriptedServer() {
    const char c = 'x';
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
    m_thread.join();
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

std::vector<std::string> ScriptedServer::streams() const {
    std::lock_guard lock(m_mutex);
    return m_streams;
}

std::vector<wire::Request> ScriptedServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<std::string> ScriptedServer::codeLines() const {
    std::vector<std::string> lines;
    for (const auto& r : requests()) {
        lines.push_back(r.quit ? "QUIT" : r.code);
    }
    return lines;
}

int ScriptedServer::connections() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_streams.size());
}

namespace {

// Waits until fd can be read; false when the server is being stopped or polling fails.
bool readableBeforeWake(int fd, int wake) {
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        return p[1].revents == 0;
    }
}

}  // namespace

void ScriptedServer::serve() {
    for (;;) {
        if (!readableBeforeWake(m_listen, m_wake[0])) {
            return;
        }
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            m_streams.emplace_back();
        }
        serveClient(fd);
        ::close(fd);
    }
}

void ScriptedServer::serveClient(int fd) {
    sendAll(fd, m_greeting);
    wire::RequestReader reader;
    bool silent = false;
    for (;;) {
        if (!readableBeforeWake(fd, m_wake[0])) {
            return;
        }
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return;  // the client left
        }
        const std::string_view bytes(buf, static_cast<std::size_t>(n));
        {
            std::lock_guard lock(m_mutex);
            m_streams.back().append(bytes);
        }
        if (silent) {
            continue;
        }
        reader.feed(bytes);
        while (reader.status() == wire::Status::Complete) {
            const wire::Request request = reader.frame();
            const std::string rest(reader.rest());
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
            }
            if (request.quit) {
                return;
            }
            const PeerAction action = m_script(request);
            if (action.silent) {
                silent = true;
                break;
            }
            sendAll(fd, action.send);
            if (!action.later.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                sendAll(fd, action.later);
            }
            if (action.close) {
                return;
            }
            reader = wire::RequestReader();
            reader.feed(rest);
        }
        if (reader.status() == wire::Status::Malformed) {
            sendAll(fd, wire::encodeErr(1, "<PROTOCOL>" + reader.problem()));
            return;
        }
    }
}

}  // namespace tvl::test
