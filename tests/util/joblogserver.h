#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fakecontrol.h"

namespace tvl::test {

// Backup jobs' logs as a server holds them, read through fake controls with the
// sequential-file commands: open with a timeout ($T tells whether it opened), use, read a
// line into a local until the end-of-file error, close. A log is found by a piece of its
// file name (the task name in brackets, "(Nightly)"); a log not there does not open. The
// controls may be used on any thread while the test changes the logs.
class JobLogServer {
public:
    void setLog(const std::string& namePiece, std::vector<std::string> lines) {
        const std::lock_guard lock(m_state->mutex);
        m_state->logs[namePiece] = std::move(lines);
    }
    void setReachable(bool reachable) { m_state->reachable = reachable; }
    // While held, every line the server is sent waits: a slow server.
    void hold(bool on) { m_state->held = on; }
    // Lines sent to every control made so far, not counting connects.
    int linesSent() const { return m_state->lines; }

    std::unique_ptr<VismControl> control() const {
        auto fake = std::make_unique<FakeControl>();
        auto state = m_state;
        auto cursor = std::make_shared<Cursor>();
        fake->connectScript = [state](const std::string&) {
            return state->reachable ? FakeControl::Answer{}
                                    : FakeControl::Answer{1000, "<COMMUNICATION> refused", ""};
        };
        fake->script = [state, cursor](const std::string& code, const FakeControl::Params& p) {
            ++state->lines;
            while (state->held) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const std::lock_guard lock(state->mutex);
            if (code.rfind("O P0", 0) == 0) {
                cursor->open = false;
                for (const auto& [piece, lines] : state->logs) {
                    if (p[0].find(piece) != std::string::npos) {
                        cursor->open = true;
                        cursor->lines = lines;
                        cursor->next = 0;
                    }
                }
                return FakeControl::Answer{};
            }
            if (code == "$T") {
                return FakeControl::Answer{0, "", cursor->open ? "1" : "0"};
            }
            if (code.rfind("R ", 0) == 0) {
                if (!cursor->open || cursor->next >= cursor->lines.size()) {
                    return FakeControl::Answer{9, "<ENDOFFILE>", ""};
                }
                cursor->line = cursor->lines[cursor->next++];
                return FakeControl::Answer{};
            }
            if (code == "%TVLLINE") {
                return FakeControl::Answer{0, "", cursor->line};
            }
            return FakeControl::Answer{};
        };
        return fake;
    }

private:
    struct State {
        std::mutex mutex;
        std::map<std::string, std::vector<std::string>> logs;
        std::atomic<bool> reachable{true};
        std::atomic<bool> held{false};
        std::atomic<int> lines{0};
    };
    struct Cursor {
        bool open = false;
        std::vector<std::string> lines;
        std::size_t next = 0;
        std::string line;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

}  // namespace tvl::test
