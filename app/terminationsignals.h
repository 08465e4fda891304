#pragma once

#include <QObject>

class QSocketNotifier;

namespace tvl::app {

// SIGTERM and SIGINT end the program the way Exit does, without the save question. The
// signal handler only writes a byte into a pipe; the event loop reads it and emits
// terminationRequested() on the user-interface thread.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool installed() const { return m_notifier != nullptr; }

signals:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace tvl::app
