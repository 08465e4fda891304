#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tvl {

// Runs the follower's passes on a thread of their own, so a slow or unreachable server
// never holds up a start or a window. A pass asked for while one runs is run once more
// after it; passes never overlap. The pass gets a flag that turns true when the thread
// is to end, and should return soon after.
class FollowerThread {
public:
    using Pass = std::function<void(const std::atomic<bool>& stop)>;
    explicit FollowerThread(Pass pass);
    // Asks the running pass to stop and waits for it: at most one network wait of the
    // control.
    ~FollowerThread();
    FollowerThread(const FollowerThread&) = delete;
    FollowerThread& operator=(const FollowerThread&) = delete;

    // Never blocks.
    void requestPass();
    // Until no pass is asked for or running (tests, an orderly end).
    void waitIdle();

private:
    void loop();

    Pass m_pass;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_asked = false;
    bool m_running = false;
    std::thread m_thread;
};

}  // namespace tvl
