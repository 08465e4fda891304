#include "vismclient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "vismwire.h"

namespace tvl {

double timeoutFromEnv(const char* name, double fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v <= 0) {
        return fallback;
    }
    // Longer than a day is taken as a day, so the millisecond count cannot overflow.
    return v > 86400.0 ? 86400.0 : v;
}

namespace {

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point deadlineAfter(double seconds) {
    return SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                    std::chrono::duration<double>(seconds));
}

// Milliseconds left until the deadline, at least 0; rounded up so a wait never ends early.
int msLeft(SteadyClock::time_point deadline) {
    const auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 86400000 ? 86400000 : static_cast<int>(ms);
}

std::string systemText(int err) {
    std::string text = std::strerror(err);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

// Waits until fd is ready for `events`; false on timeout (errno ETIMEDOUT) or failure.
bool waitFor(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, msLeft(deadline));
        if (n > 0) {
            return true;
        }
        if (n == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

struct Target {
    std::string host;
    std::string port;
};

// CN_IPTCP:<host>[<port>]:<host>[<port>]; the first host and port are used.
bool parseConnectionText(std::string_view text, Target& out) {
    constexpr std::string_view prefix = "CN_IPTCP:";
    if (text.substr(0, prefix.size()) != prefix) {
        return false;
    }
    text.remove_prefix(prefix.size());
    auto hostPort = [](std::string_view& rest, Target& t) {
        const std::size_t open = rest.find('[');
        const std::size_t close = rest.find(']');
        if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
            open == 0) {
            return false;
        }
        t.host = std::string(rest.substr(0, open));
        t.port = std::string(rest.substr(open + 1, close - open - 1));
        rest.remove_prefix(close + 1);
        if (t.port.empty() || t.port.size() > 5) {
            return false;
        }
        unsigned value = 0;
        for (char c : t.port) {
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        return value >= 1 && value <= 65535;
    };
    Target second;
    if (!hostPort(text, out) || text.empty() || text[0] != ':') {
        return false;
    }
    text.remove_prefix(1);
    return hostPort(text, second) && text.empty();
}

// A name lookup in the background, so the connect timeout bounds it too. An address
// literal needs no lookup and is answered at once.
bool resolve(const Target& target, SteadyClock::time_point deadline, addrinfo*& out,
             std::string& why) {
    addrinfo numeric{};
    numeric.ai_family = AF_UNSPEC;
    numeric.ai_socktype = SOCK_STREAM;
    numeric.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    if (::getaddrinfo(target.host.c_str(), target.port.c_str(), &numeric, &out) == 0) {
        return true;
    }
    // The request lives on the heap: a lookup that cannot be cancelled in time still
    // writes into it later, so it is then left to the resolver instead of freed.
    struct Lookup {
        std::string host;
        std::string port;
        addrinfo hints{};
        gaicb request{};
    };
    auto* lookup = new Lookup{target.host, target.port, {}, {}};
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->port.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[1] = {&lookup->request};
    int rc = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr);
    if (rc != 0) {
        why = ::gai_strerror(rc);
        delete lookup;
        return false;
    }
    for (;;) {
        const int ms = msLeft(deadline);
        const timespec wait{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
        const int waited = ::gai_suspend(requests, 1, &wait);
        if (waited == EAI_INTR) {
            continue;
        }
        rc = ::gai_error(&lookup->request);
        if (rc != EAI_INPROGRESS) {
            break;
        }
        if (waited == EAI_AGAIN || ms == 0) {
            if (::gai_cancel(&lookup->request) != EAI_CANCELED &&
                ::gai_error(&lookup->request) == EAI_INPROGRESS) {
                why = "name lookup timed out";
                return false;  // still in the resolver's hands: not freed
            }
            rc = ::gai_error(&lookup->request);
            if (rc == EAI_CANCELED) {
                why = "name lookup timed out";
                delete lookup;
                return false;
            }
            break;
        }
    }
    if (rc != 0) {
        why = ::gai_strerror(rc);
        delete lookup;
        return false;
    }
    out = lookup->request.ar_result;
    delete lookup;
    return true;
}

class SocketVismControl final : public VismControl {
public:
    ~SocketVismControl() override { closeConnection(); }

    std::string mServer() const override { return m_mserver; }
    void setMServer(std::string_view text) override {
        closeConnection();
        m_mserver = std::string(text);
        if (text.empty()) {
            return;  // Error, ErrorName and Result stay as they were
        }
        connectTo(text);
    }

    std::string code() const override { return m_code; }
    void setCode(std::string_view line) override { m_code = std::string(line); }

    std::int16_t execFlag() const override { return m_execFlag; }
    void setExecFlag(std::int16_t flag) override {
        m_execFlag = flag;
        if (flag == 1) {
            exec();
        }
    }

    std::int32_t error() const override { return m_error; }
    std::string errorName() const override { return m_errorName; }

    std::string p(int index) const override {
        return index >= 0 && index < 10 ? m_params[static_cast<std::size_t>(index)] : std::string();
    }
    void setP(int index, std::string_view value) override {
        if (index >= 0 && index < 10) {
            m_params[static_cast<std::size_t>(index)] = std::string(value);
        }
    }

    std::string result() const override { return m_result; }
    void setOnError(ErrorHandler handler) override { m_onError = std::move(handler); }

private:
    void succeed() {
        m_error = 0;
        m_errorName.clear();
    }

    void raise(std::int32_t code, std::string name) {
        m_error = code;
        m_errorName = std::move(name);
        // A copy, so a handler that replaces itself does not destroy the running function.
        if (ErrorHandler handler = m_onError) {
            handler();
        }
    }

    // A failure of the transport: the connection is closed and the error names the peer.
    void communicationError(const std::string& what) {
        closeConnection();
        raise(kCommunicationError, "<COMMUNICATION> " + m_label + ": " + what);
    }

    void closeConnection() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    void connectTo(std::string_view text) {
        Target target;
        if (!parseConnectionText(text, target)) {
            m_label = std::string(text);
            raise(kCommunicationError,
                  "<COMMUNICATION> " + m_label + ": not a connection text CN_IPTCP:host[port]");
            return;
        }
        m_label = target.host + "[" + target.port + "]";
        const auto deadline =
            deadlineAfter(timeoutFromEnv("TVL_VISM_CONNECT_TIMEOUT", kDefaultConnectTimeout));

        addrinfo* list = nullptr;
        std::string lookupError;
        if (!resolve(target, deadline, list, lookupError)) {
            raise(kCommunicationError, "<COMMUNICATION> " + m_label + ": " + lookupError);
            return;
        }
        std::string why = "connection failed";
        for (addrinfo* a = list; a != nullptr && m_fd < 0; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                    a->ai_protocol);
            if (fd < 0) {
                why = systemText(errno);
                continue;
            }
            int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
            if (rc != 0 && errno == EINPROGRESS) {
                if (waitFor(fd, POLLOUT, deadline)) {
                    int soError = 0;
                    socklen_t len = sizeof soError;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
                    rc = soError == 0 ? 0 : -1;
                    errno = soError;
                }
            }
            if (rc == 0) {
                m_fd = fd;
            } else {
                why = errno == ETIMEDOUT ? "connect timed out" : systemText(errno);
                ::close(fd);
            }
        }
        ::freeaddrinfo(list);
        if (m_fd < 0) {
            raise(kCommunicationError, "<COMMUNICATION> " + m_label + ": " + why);
            return;
        }
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

        // The greeting is read byte for byte up to its length, so nothing after it is
        // taken from the stream.
        std::string greeting;
        while (greeting.size() < wire::kGreeting.size()) {
            char buf[16];
            const std::size_t want = wire::kGreeting.size() - greeting.size();
            const ssize_t n = ::recv(m_fd, buf, want, 0);
            if (n > 0) {
                greeting.append(buf, static_cast<std::size_t>(n));
                if (greeting != wire::kGreeting.substr(0, greeting.size())) {
                    communicationError("wrong greeting");
                    return;
                }
                continue;
            }
            if (n == 0) {
                communicationError("connection closed before the greeting");
                return;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                communicationError(systemText(errno));
                return;
            }
            if (!waitFor(m_fd, POLLIN, deadline)) {
                communicationError(errno == ETIMEDOUT ? "no greeting in time" : systemText(errno));
                return;
            }
        }
        succeed();
    }

    void exec() {
        if (m_fd < 0) {
            m_label.clear();
            raise(kCommunicationError, "<COMMUNICATION> not connected");
            return;
        }
        const auto frame = wire::encodeExec(m_code, m_params);
        if (!frame) {
            // Nothing was sent, so the connection is still in step.
            raise(kCommunicationError,
                  "<COMMUNICATION> " + m_label + ": a code line or value is over 1 MiB");
            return;
        }
        // The peer speaks only when asked. Bytes waiting before the request would be read as
        // its reply; a closed connection is told as such rather than as a failed send.
        char peek;
        const ssize_t waiting = ::recv(m_fd, &peek, 1, MSG_PEEK | MSG_DONTWAIT);
        if (waiting > 0) {
            communicationError("unexpected bytes from the server");
            return;
        }
        if (waiting == 0) {
            communicationError("connection closed");
            return;
        }
        const auto deadline =
            deadlineAfter(timeoutFromEnv("TVL_VISM_REPLY_TIMEOUT", kDefaultReplyTimeout));
        wire::ReplyReader reader;
        if (!sendRequest(*frame, deadline) || !readReply(reader, deadline)) {
            return;
        }
        const wire::Reply& reply = reader.frame();
        if (!reader.rest().empty()) {
            // One reply per request: more bytes mean the two ends are out of step, and
            // every later reply would answer the wrong line, so the session ends. A line
            // answered OK has run all the same (a backup job has started), and says so.
            if (!reply.ok) {
                communicationError("unexpected bytes after the reply");
                return;
            }
            m_result = reply.payload;
            closeConnection();
            raise(kSessionEndedAfterReply,
                  "<COMMUNICATION> " + m_label +
                      ": unexpected bytes after the reply; the line ran, the connection was "
                      "closed");
            return;
        }
        if (reply.ok) {
            succeed();
            m_result = reply.payload;
        } else {
            raise(reply.code, reply.payload);
        }
    }

    // Sends the whole request; false, with the error raised, when it could not be sent.
    bool sendRequest(const std::string& frame, SteadyClock::time_point deadline) {
        std::size_t sent = 0;
        while (sent < frame.size()) {
            const ssize_t n = ::send(m_fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitFor(m_fd, POLLOUT, deadline)) {
                    communicationError(errno == ETIMEDOUT ? "request not taken in time"
                                                          : systemText(errno));
                    return false;
                }
                continue;
            }
            communicationError("connection lost: " + systemText(errno));
            return false;
        }
        return true;
    }

    // Reads one whole reply; false, with the error raised, when none came whole.
    bool readReply(wire::ReplyReader& reader, SteadyClock::time_point deadline) {
        while (reader.status() == wire::Status::NeedMore) {
            char buf[65536];
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n > 0) {
                reader.feed(std::string_view(buf, static_cast<std::size_t>(n)));
                continue;
            }
            if (n == 0) {
                communicationError(reader.cutOffText());
                return false;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                communicationError("connection lost: " + systemText(errno));
                return false;
            }
            if (!waitFor(m_fd, POLLIN, deadline)) {
                communicationError(errno == ETIMEDOUT ? "no reply in time" : systemText(errno));
                return false;
            }
        }
        if (reader.status() == wire::Status::Malformed) {
            communicationError(reader.problem());
            return false;
        }
        return true;
    }

    std::string m_mserver;
    std::string m_code;
    std::int16_t m_execFlag = 0;
    std::int32_t m_error = 0;
    std::string m_errorName;
    wire::Params m_params;
    std::string m_result;
    ErrorHandler m_onError;

    int m_fd = -1;
    std::string m_label;  // host[port] of the connection, for error texts
};

}  // namespace

std::unique_ptr<VismControl> makeSocketControl() {
    return std::make_unique<SocketVismControl>();
}

}  // namespace tvl
