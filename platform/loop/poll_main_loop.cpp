#include "platform/loop/poll_main_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace lumetra::platform {

PollMainLoop::PollMainLoop() : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PollMainLoop::~PollMainLoop()
{
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void PollMainLoop::Wake()
{
    uint64_t one = 1;
    // A full counter already means "wake up"; nothing is lost when the write fails.
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void PollMainLoop::Post(LoopTask task)
{
    {
        std::lock_guard<std::mutex> hold(m_postedLock);
        m_posted.push_back(std::move(task));
    }
    Wake();
}

MainLoop::Id PollMainLoop::StartTimer(int ms, bool repeat, LoopTask task)
{
    std::chrono::milliseconds interval(ms < 0 ? 0 : ms);
    Id id = m_nextId++;
    m_timers.emplace(id, Timer{Clock::now() + interval, interval, repeat, std::make_shared<LoopTask>(std::move(task))});
    return id;
}

void PollMainLoop::StopTimer(Id timer)
{
    m_timers.erase(timer);
}

MainLoop::Id PollMainLoop::AddWatch(int fd, short events, LoopTask task)
{
    Id id = m_nextId++;
    m_watches.emplace(id, Watch{fd, events, std::make_shared<LoopTask>(std::move(task))});
    return id;
}

MainLoop::Id PollMainLoop::WatchReadable(int fd, LoopTask onReadable)
{
    return AddWatch(fd, POLLIN, std::move(onReadable));
}

MainLoop::Id PollMainLoop::WatchWritable(int fd, LoopTask onWritable)
{
    return AddWatch(fd, POLLOUT, std::move(onWritable));
}

void PollMainLoop::Unwatch(Id watch)
{
    m_watches.erase(watch);
}

int PollMainLoop::Run()
{
    // A Quit that came before Run (from another thread, or a task run by
    // ProcessEvents) still ends it; the next Run starts afresh.
    ++m_level;
    while (!m_quit)
        Step(-1);
    --m_level;
    m_quit = false;
    return m_status.load();
}

void PollMainLoop::Quit(int status)
{
    // As a task: what was posted before it (a notice posted during shutdown) still runs.
    Post([this, status] {
        m_status = status;
        m_quit = true;
    });
}

void PollMainLoop::ProcessEvents(int maxWaitMs)
{
    ++m_level;
    Step(maxWaitMs < 0 ? 0 : maxWaitMs);
    --m_level;
}

void PollMainLoop::Step(int maxWaitMs)
{
    int timeout = maxWaitMs;
    if (!m_timers.empty()) {
        Clock::time_point next = Clock::time_point::max();
        for (const auto& [id, timer] : m_timers)
            if (!timer.running)
                next = std::min(next, timer.due);
        if (next != Clock::time_point::max()) {
            auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
            wait = std::clamp<decltype(wait)>(wait, 0, INT_MAX);
            if (timeout < 0 || wait < timeout)
                timeout = static_cast<int>(wait);
        }
    }

    std::vector<pollfd> fds;
    std::vector<Id> ids;
    fds.reserve(m_watches.size() + 1);
    fds.push_back({m_wakeFd, POLLIN, 0});
    for (const auto& [id, watch] : m_watches) {
        if (watch.running)
            continue;
        fds.push_back({watch.fd, watch.events, 0});
        ids.push_back(id);
    }
    if (::poll(fds.data(), fds.size(), timeout) <= 0) {
        for (pollfd& fd : fds)
            fd.revents = 0;
    }
    if (fds[0].revents) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
    }
    RunPosted();
    RunDueTimers();
    RunReadyWatches(fds, ids);
}

void PollMainLoop::RunPosted()
{
    // Only what was posted before this step, so a task that posts again cannot
    // starve the timers and files. One at a time: a task that waits inside
    // (ProcessEvents) sees the ones after it run first, in their order.
    std::size_t count;
    {
        std::lock_guard<std::mutex> hold(m_postedLock);
        count = m_posted.size();
    }
    for (; count > 0; --count) {
        LoopTask task;
        {
            std::lock_guard<std::mutex> hold(m_postedLock);
            if (m_posted.empty())
                return;
            task = std::move(m_posted.front());
            m_posted.pop_front();
        }
        if (task)
            task();
    }
}

void PollMainLoop::RunDueTimers()
{
    Clock::time_point now = Clock::now();
    std::vector<Id> due;
    for (const auto& [id, timer] : m_timers)
        if (timer.due <= now && !timer.running)
            due.push_back(id);
    for (Id id : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            continue;
        std::shared_ptr<LoopTask> task = it->second.task;
        if (!it->second.repeat) {
            m_timers.erase(it);
            (*task)();
            continue;
        }
        // Keeps its cadence; one that fell behind (a long handler) skips what it missed.
        Timer& timer = it->second;
        auto interval = std::max(timer.interval, std::chrono::milliseconds(1));
        timer.due += interval;
        if (timer.due <= now)
            timer.due = now + interval;
        timer.running = true;
        (*task)();
        // The task may have stopped it, or stopped it and started others.
        it = m_timers.find(id);
        if (it != m_timers.end())
            it->second.running = false;
    }
}

void PollMainLoop::RunReadyWatches(const std::vector<pollfd>& fds, const std::vector<Id>& ids)
{
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents)
            continue;
        // A handler run before may have removed this watch.
        auto it = m_watches.find(ids[i - 1]);
        if (it == m_watches.end() || it->second.running)
            continue;
        std::shared_ptr<LoopTask> task = it->second.task;
        it->second.running = true;
        (*task)();
        it = m_watches.find(ids[i - 1]);
        if (it != m_watches.end())
            it->second.running = false;
    }
}

} // namespace lumetra::platform
