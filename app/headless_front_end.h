#pragma once
// The player without windows: commands from standard input, events on standard
// output, the same start-up and shutdown order as the window.

#include "app/main_window.h"
#include "engine/engine.h"
#include "platform/audio/wave_out.h"
#include "platform/loop/main_loop.h"

#include <chrono>
#include <memory>
#include <string>

namespace lumetra::platform {
class HandOverServer;
}

namespace lumetra::app {

class FrontEndView;
class HandOverReceiver;
class PlayerControl;

class HeadlessFrontEnd {
public:
    HeadlessFrontEnd(engine::Engine& engine, platform::audio::AudioSystem& audio);
    ~HeadlessFrontEnd();
    HeadlessFrontEnd(const HeadlessFrontEnd&) = delete;
    HeadlessFrontEnd& operator=(const HeadlessFrontEnd&) = delete;
    // Paths handed over by later starts arrive on listenFd (ListenForHandOvers)
    // once Run has set up the player; the socket file goes when the player ends.
    void TakeHandOvers(int listenFd, std::string socketPath);
    // Runs until quit or the end of input; returns the exit status (command_line.h).
    // With a view, the end of input (or no input at all) leaves the window open
    // until it closes.
    int Run(const std::string& commandLineFile, FrontEndView* view = nullptr, bool readInput = true);

private:
    void HandleLine(std::string line);
    void OpenCommandLineFile();
    void OpenArgument(const std::string& path);
    int ArgumentStatus() const;
    void Tick();
    // At the end of input, once nothing plays or loads any more.
    void ShutdownIfInputDone();
    void Shutdown();
    // A damaged settings file kept aside, a settings save that failed.
    void ReportSettingsNotices();
    void StartReadingInput();

    engine::Engine& m_engine;
    platform::audio::AudioSystem& m_audio;
    MainWindow m_window;
    platform::LoopTimer m_timer;
    PlayerControl* m_player = nullptr;
    FrontEndView* m_view = nullptr;
    std::string m_commandLineFile;
    int m_handOverFd = -1;
    std::string m_handOverSocket;
    std::unique_ptr<HandOverReceiver> m_handOver;
    std::unique_ptr<platform::HandOverServer> m_handOverServer;
    bool m_argumentFailed = false;
    int m_ticksPerWake = 1;
    bool m_inputEnded = false;
    bool m_closing = false;
    // When the player, idle at the end of input, began to wait for an end-of-track
    // message still in the queue; zero while not waiting.
    std::chrono::steady_clock::time_point m_endWaitStart{};
    platform::LoopScope m_scope;
};

} // namespace lumetra::app
