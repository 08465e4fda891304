#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QObject>

#include "server/controlsession.h"

namespace tvl {
class ActivityLog;
class Clock;
class MessageTable;
class VismControl;
}  // namespace tvl

namespace tvl::ui {

// Server work that may take long, done off the window thread so the window keeps
// answering and the minute timer keeps starting backups meanwhile.
//
// The worker has a control instance of its own, made by the factory on first use and
// kept for later jobs; the window's control stays with the window thread. Instances of
// the control library share nothing, so the two may work at the same time. A job gets
// that control and a context of its own: the reporter forwards what the job reports to
// this object's thread as statusReported/errorReported/infoReported, the message texts
// and the activity log are copies taken when the job starts, and the log's lines are
// stamped by the clock handed in while this object lives.
//
// One job at a time. Its end comes back to this object's thread as a queued call of the
// job's `done`, after everything it reported, and then finished(). Destroying the worker
// while a job runs never waits for it: the job is asked to stop, and a job still waiting
// for its server ends on its own within the control's time limits, with nobody left to
// tell.
class ControlWorker : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<VismControl>()>;
    // Runs on the worker thread. It may use the control, the context and what it captured
    // by value, nothing of the window thread; it should look at `cancelled` between steps
    // and end soon once it is set.
    using Job = std::function<void(VismControl& control, ControlContext& ctx,
                                   const std::atomic<bool>& cancelled)>;
    // Runs on this object's thread once the job has ended.
    using Done = std::function<void()>;

    // `clock`, `messages` and `log` must outlive this object; they are read when a job
    // starts (the clock also while it runs).
    ControlWorker(Factory factory, const Clock& clock, const MessageTable& messages,
                  const ActivityLog& log, QObject* parent = nullptr);
    ~ControlWorker() override;
    ControlWorker(const ControlWorker&) = delete;
    ControlWorker& operator=(const ControlWorker&) = delete;

    bool busy() const { return m_busy; }
    // Starts `job` with boxes allowed or not. False, with nothing started, while a job
    // runs or when no control can be made (the reason in *why).
    bool start(Job job, Done done, bool interactive, std::string* why = nullptr);
    // Asks the running job to stop at its next step.
    void cancel();

signals:
    void statusReported(const std::string& text);
    void errorReported(const std::string& text);
    void infoReported(const std::string& text);
    void busyChanged(bool busy);
    void finished();

private:
    struct State;
    void jobEnded();

    Factory m_factory;
    const MessageTable& m_messages;
    const ActivityLog& m_log;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
    Done m_done;
    bool m_busy = false;
};

}  // namespace tvl::ui
