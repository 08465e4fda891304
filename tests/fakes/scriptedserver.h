#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "controls/vismwire.h"

namespace tvl::test {

// What the peer does with one request.
struct PeerAction {
    std::string send;     // bytes written back, as they are
    bool close = false;   // close the connection after writing them
    bool silent = false;  // answer nothing more on this connection
    std::string later;    // bytes written a moment after the answer, unasked
};

PeerAction ok(std::string payload = {});
PeerAction err(int code, std::string name);
// Writes the bytes as they are and closes the connection.
PeerAction sendAndClose(std::string bytes);
// Never answers again on this connection.
PeerAction keepSilent();

// A protocol peer on a free loopback port, answering each request as the script says. It
// serves one connection at a time on its own thread and records everything it received.
class ScriptedServer {
public:
    using Script = std::function<PeerAction(const wire::Request&)>;

    explicit ScriptedServer(Script script, std::string greeting = std::string(wire::kGreeting));
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return m_port; }
    std::string portText() const { return std::to_string(m_port); }
    // The bytes each connection sent, one string per connection.
    std::vector<std::string> streams() const;
    std::vector<wire::Request> requests() const;
    std::vector<std::string> codeLines() const;
    int connections() const;

private:
    void serve();
    void serveClient(int fd);

    Script m_script;
    std::string m_greeting;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_streams;
    std::vector<wire::Request> m_requests;
    std::thread m_thread;
};

// A loopback port where nothing listens.
int closedPort();

}  // namespace tvl::test
