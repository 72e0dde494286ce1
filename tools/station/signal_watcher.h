#pragma once
// Turns SIGUSR1 (pause audio), SIGUSR2 (resume), SIGINT and SIGTERM (quit) into
// calls on the event loop's thread.

#include <QObject>
#include <QTimer>

#include <functional>

namespace lumetra::station {

class SignalWatcher : public QObject {
public:
    SignalWatcher(std::function<void(bool paused)> onPause, std::function<void()> onQuit);

private:
    QTimer m_poll;
    std::function<void(bool)> m_onPause;
    std::function<void()> m_onQuit;
};

} // namespace lumetra::station
