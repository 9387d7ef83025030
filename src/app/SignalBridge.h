#pragma once

#include <QObject>

namespace kestrelon {

// Turns SIGINT, SIGTERM and SIGHUP into signals on the main thread. block() must run in main()
// before any thread starts, so that every thread inherits the blocked mask and only the bridge's
// own thread takes these signals.
class SignalBridge : public QObject {
    Q_OBJECT
public:
    static void block();
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

Q_SIGNALS:
    void terminateRequested(); // SIGINT, SIGTERM
    void reloadRequested();    // SIGHUP

private:
    class Waiter;
    Waiter* m_waiter;
};

} // namespace kestrelon
