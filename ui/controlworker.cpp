#include "controlworker.h"

#include <ctime>
#include <exception>
#include <mutex>
#include <utility>

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/messagetable.h"
#include "server/reporter.h"
#include "server/vismcontrol.h"

namespace tvl::ui {

// Everything the worker thread touches. The thread holds it as long as it runs, so a job
// that outlives its ControlWorker still finds its control, context, texts and log.
struct ControlWorker::State {
    // Reads the program's clock while the worker lives, the system's time afterwards: the
    // program's clock may be gone by then.
    class OwnerClock final : public Clock {
    public:
        OwnerClock(State& state, const Clock& clock) : m_state(state), m_clock(&clock) {}
        std::time_t now() const override {
            const std::lock_guard lock(m_state.mutex);
            return m_state.owner != nullptr ? m_clock->now() : std::time(nullptr);
        }

    private:
        State& m_state;
        const Clock* m_clock;
    };

    // Hands each report to the worker's thread, in order.
    class Forwarder final : public Reporter {
    public:
        explicit Forwarder(State& state) : m_state(state) {}
        void showStatus(const std::string& text) override {
            m_state.post([text](ControlWorker& w) { emit w.statusReported(text); });
        }
        void showError(const std::string& text) override {
            m_state.post([text](ControlWorker& w) { emit w.errorReported(text); });
        }
        void showInfo(const std::string& text) override {
            m_state.post([text](ControlWorker& w) { emit w.infoReported(text); });
        }

    private:
        State& m_state;
    };

    State(ControlWorker* worker, const Clock& ownerClock)
        : owner(worker), clock(*this, ownerClock), forwarder(*this) {}

    // Queues `call` on the owner's thread; nothing once the owner is gone.
    void post(std::function<void(ControlWorker&)> call) {
        const std::lock_guard lock(mutex);
        if (owner == nullptr) {
            return;
        }
        ControlWorker* target = owner;
        QMetaObject::invokeMethod(
            target, [target, call = std::move(call)] { call(*target); }, Qt::QueuedConnection);
    }

    mutable std::mutex mutex;
    ControlWorker* owner;  // guarded by mutex
    std::atomic<bool> cancelled{false};
    std::atomic<bool> ended{true};
    OwnerClock clock;
    Forwarder forwarder;
    MessageTable messages;
    ActivityLog log;
    ControlContext ctx;
    std::unique_ptr<VismControl> control;
};

ControlWorker::ControlWorker(Factory factory, const Clock& clock, const MessageTable& messages,
                             const ActivityLog& log, QObject* parent)
    : QObject(parent),
      m_factory(std::move(factory)),
      m_messages(messages),
      m_log(log),
      m_state(std::make_shared<State>(this, clock)) {}

ControlWorker::~ControlWorker() {
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->owner = nullptr;
    }
    m_state->cancelled = true;
    if (m_thread.joinable()) {
        // A job waiting for a slow server would hold the program's end for up to the
        // control's reply time; it keeps its state and ends on its own instead.
        if (m_state->ended) {
            m_thread.join();
        } else {
            m_thread.detach();
        }
    }
}

bool ControlWorker::start(Job job, Done done, bool interactive, std::string* why) {
    if (m_busy) {
        if (why != nullptr) {
            *why = "a server operation is already running";
        }
        return false;
    }
    State& s = *m_state;
    if (!s.control) {
        s.control = m_factory ? m_factory() : nullptr;
        if (!s.control) {
            if (why != nullptr) {
                *why = "no control could be made";
            }
            return false;
        }
        bindErrorHandler(*s.control, s.ctx);
    }
    // The thread of the last job has ended (its end was handled); nothing else reads the
    // state now.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    s.messages = m_messages;
    s.log = m_log;
    s.log.setClock(&s.clock);
    s.ctx = ControlContext{};
    s.ctx.reporter = &s.forwarder;
    s.ctx.messages = &s.messages;
    s.ctx.log = &s.log;
    s.ctx.interactive = interactive;
    s.cancelled = false;
    s.ended = false;
    m_done = std::move(done);
    m_busy = true;
    emit busyChanged(true);
    m_thread = std::thread([state = m_state, job = std::move(job)] {
        try {
            job(*state->control, state->ctx, state->cancelled);
        } catch (const std::exception& e) {
            state->forwarder.showStatus(e.what());
        } catch (...) {
            state->forwarder.showStatus("Unknown error");
        }
        state->ended = true;
        state->post([](ControlWorker& w) { w.jobEnded(); });
    });
    return true;
}

void ControlWorker::cancel() {
    m_state->cancelled = true;
}

void ControlWorker::jobEnded() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_busy = false;
    Done done = std::move(m_done);
    m_done = nullptr;
    emit busyChanged(false);
    if (done) {
        done();
    }
    emit finished();
}

}  // namespace tvl::ui
