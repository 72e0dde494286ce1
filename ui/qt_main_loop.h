#pragma once
// The main loop on Qt's event loop, for the window program: the window's events,
// the player's tasks, timers and file watches share the one GUI thread.

#include "platform/loop/main_loop.h"

#include <QObject>

#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace lumetra::ui {

class QtMainLoop final : public platform::MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;

    void Post(platform::LoopTask task) override;
    Id StartTimer(int ms, bool repeat, platform::LoopTask task) override;
    void StopTimer(Id timer) override;
    Id WatchReadable(int fd, platform::LoopTask onReadable) override;
    Id WatchWritable(int fd, platform::LoopTask onWritable) override;
    void Unwatch(Id watch) override;
    int Run() override;
    void Quit(int status) override;
    void ProcessEvents(int maxWaitMs) override;
    int Level() const override;

private:
    Id Watch(int fd, bool writable, platform::LoopTask task);

    QObject m_context;
    std::map<Id, std::unique_ptr<QTimer>> m_timers;
    std::map<Id, std::unique_ptr<QSocketNotifier>> m_watches;
    Id m_nextId = 1;
    int m_processing = 0;
};

} // namespace lumetra::ui
