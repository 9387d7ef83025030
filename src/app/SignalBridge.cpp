#include "app/SignalBridge.h"

#include <QMetaObject>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <thread>

namespace kestrelon {

namespace {

sigset_t handledSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

// The thread that waits for the signals and hands them to the main thread.
class SignalBridge::Waiter {
public:
    explicit Waiter(SignalBridge* bridge)
        : m_thread([this, bridge] {
              sigset_t set = handledSignals();
              sigaddset(&set, SIGUSR2); // wakes the thread to end
              int signal = 0;
              while (sigwait(&set, &signal) == 0 && !m_stop) {
                  if (signal == SIGHUP) {
                      QMetaObject::invokeMethod(bridge, &SignalBridge::reloadRequested, Qt::QueuedConnection);
                  } else if (signal == SIGINT || signal == SIGTERM) {
                      QMetaObject::invokeMethod(bridge, &SignalBridge::terminateRequested,
                                                Qt::QueuedConnection);
                  }
              }
          })
    {
    }
    ~Waiter()
    {
        m_stop = true;
        pthread_kill(m_thread.native_handle(), SIGUSR2);
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void SignalBridge::block()
{
    sigset_t set = handledSignals();
    sigaddset(&set, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalBridge::SignalBridge(QObject* parent) : QObject(parent), m_waiter(new Waiter(this)) {}

SignalBridge::~SignalBridge()
{
    delete m_waiter;
}

} // namespace kestrelon
