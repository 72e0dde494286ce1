#include "app/quit_signals.h"
#include "engine/engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace lumetra::app {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: lock-free atomics and write(2).
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_received{0};
std::atomic<engine::Engine*> g_engine{nullptr};

extern "C" void OnQuitSignal(int number)
{
    if (g_received.fetch_add(1) > 0)
        ::_exit(128 + number);
    if (engine::Engine* engine = g_engine.load())
        engine->AbandonDeviceWaits();
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_writeFd.load(), &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(engine::Engine& engine, std::function<void()> onSignal) : m_onSignal(std::move(onSignal))
{
    static_assert(std::atomic<int>::is_always_lock_free && std::atomic<engine::Engine*>::is_always_lock_free);
    static_assert(std::size(kSignals) == std::size(decltype(m_before){}));
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return; // the signals keep their default action
    }
    m_watch = std::make_unique<platform::FdWatch>(m_pipe[0], [this] {
        char bytes[16];
        while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
        }
        m_onSignal();
    });
    g_engine.store(&engine);
    g_received.store(0);
    g_writeFd.store(m_pipe[1]);
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    // Threads blocked in a read (standard input) go on reading rather than see an error.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], nullptr, &m_before[i]);
        if (m_before[i].sa_handler != SIG_IGN)
            ::sigaction(kSignals[i], &action, nullptr);
    }
}

QuitSignals::~QuitSignals()
{
    if (m_pipe[0] < 0)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_before[i], nullptr);
    g_writeFd.store(-1);
    g_engine.store(nullptr);
    m_watch.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

} // namespace lumetra::app
