#include "ui/qt_main_loop.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

namespace lumetra::ui {

QtMainLoop::QtMainLoop() = default;

QtMainLoop::~QtMainLoop() = default;

void QtMainLoop::Post(platform::LoopTask task)
{
    QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

platform::MainLoop::Id QtMainLoop::StartTimer(int ms, bool repeat, platform::LoopTask task)
{
    Id id = m_nextId++;
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(!repeat);
    timer->setInterval(ms);
    QObject::connect(timer.get(), &QTimer::timeout, &m_context, [this, id, repeat, task = std::move(task)] {
        // The task may stop or restart timers, this one included: keep it alive through the call.
        platform::LoopTask run = task;
        if (!repeat)
            StopTimer(id);
        run();
    });
    timer->start();
    m_timers.emplace(id, std::move(timer));
    return id;
}

void QtMainLoop::StopTimer(Id timer)
{
    auto it = m_timers.find(timer);
    if (it == m_timers.end())
        return;
    // A timer may stop itself from its own timeout: delete it later.
    it->second->stop();
    it->second.release()->deleteLater();
    m_timers.erase(it);
}

platform::MainLoop::Id QtMainLoop::WatchReadable(int fd, platform::LoopTask onReadable)
{
    return Watch(fd, false, std::move(onReadable));
}

platform::MainLoop::Id QtMainLoop::WatchWritable(int fd, platform::LoopTask onWritable)
{
    return Watch(fd, true, std::move(onWritable));
}

platform::MainLoop::Id QtMainLoop::Watch(int fd, bool writable, platform::LoopTask task)
{
    Id id = m_nextId++;
    auto notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd),
                                                      writable ? QSocketNotifier::Write : QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &m_context, [task = std::move(task)] { task(); });
    m_watches.emplace(id, std::move(notifier));
    return id;
}

void QtMainLoop::Unwatch(Id watch)
{
    auto it = m_watches.find(watch);
    if (it == m_watches.end())
        return;
    it->second->setEnabled(false);
    it->second.release()->deleteLater();
    m_watches.erase(it);
}

int QtMainLoop::Run()
{
    return QCoreApplication::exec();
}

void QtMainLoop::Quit(int status)
{
    Post([status] { QCoreApplication::exit(status); });
}

void QtMainLoop::ProcessEvents(int maxWaitMs)
{
    // Qt's processEvents never waits by itself; a timer bounds the wait for more.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(maxWaitMs < 0 ? 0 : maxWaitMs);
    ++m_processing;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    --m_processing;
}

int QtMainLoop::Level() const
{
    // exec counts Qt's own loops (the main one, a dialog's); ProcessEvents is no loop to Qt.
    return QThread::currentThread()->loopLevel() + m_processing;
}

} // namespace lumetra::ui
