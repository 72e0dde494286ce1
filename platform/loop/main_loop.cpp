#include "platform/loop/main_loop.h"

#include <atomic>
#include <cassert>

namespace lumetra::platform {
namespace {

std::atomic<MainLoop*> g_loop{nullptr};

} // namespace

MainLoop& TheMainLoop()
{
    MainLoop* loop = g_loop.load();
    assert(loop && "no main loop installed");
    return *loop;
}

bool HasMainLoop()
{
    return g_loop.load() != nullptr;
}

void InstallMainLoop(MainLoop* loop)
{
    g_loop.store(loop);
}

void PostToMainLoop(LoopTask task)
{
    if (MainLoop* loop = g_loop.load())
        loop->Post(std::move(task));
}

LoopScope::LoopScope() : m_alive(std::make_shared<bool>(true)) {}

LoopScope::~LoopScope()
{
    // Tasks already queued hold the flag and see it cleared on the main thread.
    *m_alive = false;
}

void LoopScope::Post(LoopTask task)
{
    PostToMainLoop([alive = m_alive, task = std::move(task)] {
        if (*alive)
            task();
    });
}

void LoopScope::After(int ms, LoopTask task)
{
    if (!HasMainLoop())
        return;
    TheMainLoop().StartTimer(ms, false, [alive = m_alive, task = std::move(task)] {
        if (*alive)
            task();
    });
}

LoopTimer::LoopTimer(LoopTask onTimeout) : m_onTimeout(std::make_shared<LoopTask>(std::move(onTimeout))) {}

LoopTimer::~LoopTimer()
{
    Stop();
}

void LoopTimer::Start(int ms)
{
    m_intervalMs = ms;
    Start();
}

void LoopTimer::Start()
{
    Stop();
    if (!HasMainLoop())
        return;
    m_id = TheMainLoop().StartTimer(m_intervalMs, !m_singleShot, [this, callback = m_onTimeout] {
        if (m_singleShot)
            m_id = 0;
        if (*callback)
            (*callback)();
    });
}

void LoopTimer::Stop()
{
    if (m_id != 0 && HasMainLoop())
        TheMainLoop().StopTimer(m_id);
    m_id = 0;
}

FdWatch::FdWatch(int fd, LoopTask onReadable) : m_fd(fd), m_onReadable(std::make_shared<LoopTask>(std::move(onReadable)))
{
    SetEnabled(true);
}

FdWatch::~FdWatch()
{
    SetEnabled(false);
}

void FdWatch::SetEnabled(bool enabled)
{
    if (!HasMainLoop())
        return;
    if (enabled && m_id == 0)
        m_id = TheMainLoop().WatchReadable(m_fd, [callback = m_onReadable] { (*callback)(); });
    else if (!enabled && m_id != 0) {
        TheMainLoop().Unwatch(m_id);
        m_id = 0;
    }
}

} // namespace lumetra::platform
