#pragma once
// SIGTERM, SIGINT (Ctrl-C) and SIGHUP (the terminal went away) start the same
// orderly shutdown as `quit`, so the stream file goes, the playlist is saved and
// the single-instance socket is removed. A second one while that runs ends the
// program at once with status 128 + the signal's number: the user insists. A
// signal ignored when the program started (nohup, a background job) stays ignored.

#include "platform/loop/main_loop.h"

#include <csignal>
#include <functional>
#include <memory>

namespace lumetra::engine {
class Engine;
}

namespace lumetra::app {

class QuitSignals {
public:
    // onSignal runs on the main thread, from the installed loop's file watch. A
    // sound-device wait under way is abandoned at once, as a typed quit does.
    QuitSignals(engine::Engine& engine, std::function<void()> onSignal);
    // The actions from before come back.
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    int m_pipe[2] = {-1, -1};
    struct sigaction m_before[3] = {};
    std::function<void()> m_onSignal;
    std::unique_ptr<platform::FdWatch> m_watch;
};

} // namespace lumetra::app
