#pragma once
// The main thread's event loop: tasks posted from any thread, timers and file
// watches. One per process, installed by the front end: the window program runs it
// on Qt's loop (ui/qt_main_loop.h); the player without a window runs it on poll(2)
// (poll_main_loop.h), so it maps no Qt library at all.

#include <cstdint>
#include <functional>
#include <memory>

namespace lumetra::platform {

using LoopTask = std::function<void()>;

class MainLoop {
public:
    using Id = uint64_t; // 0 is never an id

    virtual ~MainLoop() = default;
    // Thread-safe: runs task on the main thread, after the tasks posted before it.
    virtual void Post(LoopTask task) = 0;
    // Main thread only. Runs task after ms (again every ms when repeating) until StopTimer.
    virtual Id StartTimer(int ms, bool repeat, LoopTask task) = 0;
    virtual void StopTimer(Id timer) = 0;
    // Main thread only. Runs onReadable whenever fd is readable (or hung up), until Unwatch.
    virtual Id WatchReadable(int fd, LoopTask onReadable) = 0;
    // The same for writable (or failed): a non-blocking connect's end.
    virtual Id WatchWritable(int fd, LoopTask onWritable) = 0;
    virtual void Unwatch(Id watch) = 0;
    // Runs until Quit; returns the status Quit gave.
    virtual int Run() = 0;
    // Thread-safe. Run returns once the tasks posted before the call have run.
    virtual void Quit(int status) = 0;
    // For the waits that keep the program alive inside a handler (a fetch, a
    // modal step): runs what is due, waiting at most maxWaitMs for something to arrive.
    // Tasks keep their order across such waits; a timer or watch whose task is
    // under way does not run again inside it.
    virtual void ProcessEvents(int maxWaitMs) = 0;
    // Main thread only: how many Run and ProcessEvents calls are under way; above 1
    // inside a handler's own wait.
    virtual int Level() const = 0;
};

// The installed loop; only valid between InstallMainLoop and its removal.
MainLoop& TheMainLoop();
bool HasMainLoop();
// Installs loop for the program (nullptr removes it); tests install fresh ones.
void InstallMainLoop(MainLoop* loop);

// Posts to the installed loop; thread-safe; dropped when none is installed.
void PostToMainLoop(LoopTask task);

// Tasks that die with their owner, as a Qt context object's do: a task posted or
// delayed through a scope never runs after the scope is gone. Main thread only,
// except Post, which any thread may call while the scope lives.
class LoopScope {
public:
    LoopScope();
    ~LoopScope();
    LoopScope(const LoopScope&) = delete;
    LoopScope& operator=(const LoopScope&) = delete;

    void Post(LoopTask task);
    // Once, after ms.
    void After(int ms, LoopTask task);

private:
    std::shared_ptr<bool> m_alive;
};

// A timer owned by its holder, as a QTimer member is.
class LoopTimer {
public:
    explicit LoopTimer(LoopTask onTimeout = {});
    ~LoopTimer();
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    void SetCallback(LoopTask onTimeout) { *m_onTimeout = std::move(onTimeout); }
    void SetSingleShot(bool singleShot) { m_singleShot = singleShot; }
    void SetInterval(int ms) { m_intervalMs = ms; }
    int Interval() const { return m_intervalMs; }
    // (Re)starts with the interval set, or with ms.
    void Start();
    void Start(int ms);
    void Stop();
    bool IsActive() const { return m_id != 0; }

private:
    // Shared with the running timer, so a callback may delete its holder.
    std::shared_ptr<LoopTask> m_onTimeout;
    int m_intervalMs = 0;
    bool m_singleShot = false;
    MainLoop::Id m_id = 0;
};

// A readable-file watch owned by its holder, as a QSocketNotifier is.
class FdWatch {
public:
    FdWatch(int fd, LoopTask onReadable);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;

    void SetEnabled(bool enabled);

private:
    int m_fd;
    // Shared with the loop's watch, so a callback may delete its holder.
    std::shared_ptr<LoopTask> m_onReadable;
    MainLoop::Id m_id = 0;
};

} // namespace lumetra::platform
