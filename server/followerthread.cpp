#include "followerthread.h"

#include <exception>

namespace tvl {

FollowerThread::FollowerThread(Pass pass) : m_pass(std::move(pass)), m_thread([this] { loop(); }) {}

FollowerThread::~FollowerThread() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void FollowerThread::requestPass() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_asked = true;
    }
    m_changed.notify_all();
}

void FollowerThread::waitIdle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_stop || (!m_asked && !m_running); });
}

void FollowerThread::loop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_asked; });
        if (m_stop) {
            return;
        }
        m_asked = false;
        m_running = true;
        lock.unlock();
        try {
            m_pass(m_stop);
        } catch (const std::exception&) {
            // A pass that failed is tried again at the next minute; the thread goes on.
        }
        lock.lock();
        m_running = false;
        m_changed.notify_all();
    }
}

}  // namespace tvl
