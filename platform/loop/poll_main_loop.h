#pragma once
// The main loop of the player without a window, on poll(2) and an eventfd: no
// toolkit, no thread of its own, and no wake-up unless a task, a timer or a file
// asks for one.

#include "platform/loop/main_loop.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

struct pollfd;

namespace lumetra::platform {

class PollMainLoop final : public MainLoop {
public:
    PollMainLoop();
    ~PollMainLoop() override;
    PollMainLoop(const PollMainLoop&) = delete;
    PollMainLoop& operator=(const PollMainLoop&) = delete;

    void Post(LoopTask task) override;
    Id StartTimer(int ms, bool repeat, LoopTask task) override;
    void StopTimer(Id timer) override;
    Id WatchReadable(int fd, LoopTask onReadable) override;
    Id WatchWritable(int fd, LoopTask onWritable) override;
    void Unwatch(Id watch) override;
    int Run() override;
    void Quit(int status) override;
    void ProcessEvents(int maxWaitMs) override;
    int Level() const override { return m_level; }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::time_point due;
        std::chrono::milliseconds interval;
        bool repeat;
        std::shared_ptr<LoopTask> task;
        bool running = false;
    };
    struct Watch {
        int fd;
        short events;
        std::shared_ptr<LoopTask> task;
        bool running = false;
    };

    // Waits at most maxWaitMs (-1: until something arrives), then runs what is due.
    void Step(int maxWaitMs);
    void Wake();
    Id AddWatch(int fd, short events, LoopTask task);
    void RunPosted();
    void RunDueTimers();
    void RunReadyWatches(const std::vector<pollfd>& fds, const std::vector<Id>& ids);

    int m_wakeFd = -1;
    std::mutex m_postedLock;
    std::deque<LoopTask> m_posted;
    std::map<Id, Timer> m_timers;
    std::map<Id, Watch> m_watches;
    Id m_nextId = 1;
    int m_level = 0;
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_status{0};
};

} // namespace lumetra::platform
