#include "tools/station/signal_watcher.h"

#include <csignal>

namespace lumetra::station {

namespace {

volatile std::sig_atomic_t s_pause = 0; // 1 pause, 2 resume, 0 nothing new
volatile std::sig_atomic_t s_quit = 0;

extern "C" void OnSignal(int sig)
{
    if (sig == SIGUSR1)
        s_pause = 1;
    else if (sig == SIGUSR2)
        s_pause = 2;
    else
        s_quit = 1;
}

} // namespace

SignalWatcher::SignalWatcher(std::function<void(bool)> onPause, std::function<void()> onQuit)
    : m_onPause(std::move(onPause)), m_onQuit(std::move(onQuit))
{
    for (int sig : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM})
        std::signal(sig, OnSignal);
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (s_pause != 0) {
            const bool paused = s_pause == 1;
            s_pause = 0;
            m_onPause(paused);
        }
        if (s_quit != 0)
            m_onQuit();
    });
    m_poll.start();
}

} // namespace lumetra::station
