#include "app/headless_front_end.h"
#include "app/command_line.h"
#include "app/decoder_table_check.h"
#include "app/front_end_view.h"
#include "app/hand_over.h"
#include "app/headless.h"
#include "app/headless_commands.h"
#include "app/headless_playlist.h"
#include "app/headless_radio.h"
#include "app/headless_registry.h"
#include "app/mpris_service.h"
#include "app/player_control.h"
#include "app/quit_signals.h"
#include "engine/cd_watcher.h"
#include "engine/mci_sources.h"
#include "engine/wave_device_choice.h"
#include "engine/window_message.h"
#include "platform/dialogs/message_box.h"
#include "platform/instance/hand_over_server.h"
#include "platform/registry/registry_store.h"
#include "platform/thread_priority.h"
#include "playlist/playlist_files.h"
#include "web/stream_playlist.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <strings.h>
#include <thread>

namespace lumetra::app {
namespace {

constexpr int kMsgOpenCommandLine = 1057;
constexpr const char* kProductCaption = "Lumetra Media Player (tm)";
// The hooks count ticks of 50 ms. A window animates on each; without one, the
// timer wakes once a second (as often as the position event comes) and runs the
// hooks for the ticks that passed, or four times a second while something is busy
// (a fetch, a stream, a media-control source, the receiver, the library).
constexpr int kTickMs = 50;
constexpr int kTicksPerWakeIdle = 20;
constexpr int kTicksPerWakeBusy = 5;
constexpr int kPanelPlaylist = 0;
constexpr int kPanelInfo = 1;
constexpr int kPanelLibrary = 2;
// How long an idle player at the end of input waits for an end-of-track message
// that is posted but not handled; ample for a queue that is moving.
constexpr std::chrono::seconds kEndWaitLimit{2};
// An input line is a command and a path or two: anything longer is refused whole
// rather than held in memory and echoed back.
constexpr std::size_t kMaxInputLineBytes = 64 * 1024;

// One line of standard input without its "\n"; a line past the limit comes back
// empty with tooLong set. False at the end of input.
bool ReadInputLine(std::string& line, bool& tooLong)
{
    line.clear();
    tooLong = false;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
        if (line.size() < kMaxInputLineBytes)
            line += static_cast<char>(c);
        else
            tooLong = true;
    }
    if (tooLong)
        line.clear();
    return c != EOF || !line.empty() || tooLong;
}

bool EndsWithNoCase(const std::string& text, const char* end)
{
    std::size_t n = std::strlen(end);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, end) == 0;
}

// A CD drive (a device, or an image standing in for one), with or without a
// trailing "/": the stand-in for a drive root such as "D:\".
bool IsCdDriveRoot(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    for (const std::string& drive : engine::WatchedCdDrives()) {
        if (drive == path)
            return true;
    }
    return false;
}

// The usual ways out of a prompt.
bool IsQuitLine(std::string line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line == "quit" || line == "q" || line == "exit";
}

} // namespace

HeadlessFrontEnd::HeadlessFrontEnd(engine::Engine& engine, platform::audio::AudioSystem& audio)
    : m_engine(engine), m_audio(audio)
{
}

HeadlessFrontEnd::~HeadlessFrontEnd()
{
    if (m_handOverFd >= 0)
        ::close(m_handOverFd);
}

void HeadlessFrontEnd::TakeHandOvers(int listenFd, std::string socketPath)
{
    m_handOverFd = listenFd;
    m_handOverSocket = std::move(socketPath);
}

int HeadlessFrontEnd::Run(const std::string& commandLineFile, FrontEndView* view, bool readInput)
{
    m_commandLineFile = commandLineFile;
    // Ended by a signal, as by quit (or, with a window, as by closing it).
    QuitSignals quitSignals(m_engine, [this] { Shutdown(); });

    // A window shows its boxes and dialogs itself.
    if (!view) {
        platform::SetMessageBoxPresenter([](const platform::MessageBoxRequest& request) {
            EmitEvent("message", request.caption + ": " + request.text);
            return platform::DefaultAnswer(request);
        });
        platform::SetDialogPresenter([](const std::string& title) {
            EmitEvent("dialog", title);
            return false;
        });
    }

    if (const auto status = ShowDecoderTableErrors())
        return *status;
    // A tray left open is closed before anything reads the disc, and the device
    // that closed it is let go again.
    if (engine::MciSources* mci = m_engine.Mci()) {
        mci->CdDoorClose();
        mci->CdClose();
    }
    int device = engine::ChooseWaveDevice(m_audio);
    if (device < 0)
        return 1;
    m_engine.SetDeviceNumber(device);
    m_ticksPerWake = view ? 1 : kTicksPerWakeBusy;
    m_timer.SetCallback([this] { Tick(); });
    m_timer.Start(kTickMs * m_ticksPerWake);

    PlayerControl player(m_engine);
    m_player = &player;
    m_window.SetHandler(engine::kMsgEndOfTrack, [this](intptr_t wParam, intptr_t) {
        // A media-control play aborted by a stop or another open is no end of track.
        if (wParam != 4)
            EmitEvent("end");
        m_endWaitStart = {};
        m_player->EndOfTrack(wParam);
        m_scope.Post([this] { ShutdownIfInputDone(); });
    });
    m_window.SetHandler(engine::kMsgEngineBox, [](intptr_t wParam, intptr_t) { engine::ShowEngineBox(wParam); });
    m_window.SetHandler(kMsgOpenCommandLine, [this](intptr_t, intptr_t) { OpenCommandLineFile(); });
    RegisterPlayerEvents(m_engine, player);
    RegisterAllHeadlessCommands(player, m_audio.LineMixer());
    m_view = view;
    if (m_view) {
        m_view->Attach(player, [this] { Shutdown(); });
        SetPanelShower([view = m_view](int panel) { view->ShowPanel(panel); });
    }
    MprisService mpris(player,
                       {m_view ? std::function<void()>([this] { m_view->Raise(); }) : nullptr, [this] { Shutdown(); }});
    m_handOver = std::make_unique<HandOverReceiver>(player, &m_window, m_view);
    m_window.SetHandler(kMsgHandOverOpen, [this](intptr_t wParam, intptr_t) { m_handOver->Open(wParam); });
    if (m_handOverFd >= 0) {
        m_handOverServer = std::make_unique<platform::HandOverServer>(
            m_handOverFd, m_handOverSocket, [this](const std::string& path) { return m_handOver->Offer(path); });
        m_handOverFd = -1;
    }

    m_engine.SetMainWindow(&m_window);
    platform::RaiseProcessPriority();
    m_engine.Start();
    engine::PostWindowMessage(&m_window, kMsgOpenCommandLine, 0, 0);
    if (readInput)
        StartReadingInput();

    platform::TheMainLoop().Run();
    m_timer.Stop();
    m_handOverServer.reset();
    m_window.SetHandler(kMsgHandOverOpen, nullptr);
    m_handOver.reset();
    m_player = nullptr;
    m_view = nullptr;
    return ArgumentStatus();
}

// Message 1057: the library loads (or, the first time, is built) and is shown,
// then the command-line file is opened by its kind; without one the last run's
// playlist comes back.
void HeadlessFrontEnd::OpenCommandLineFile()
{
    const std::string& path = m_commandLineFile;
    RunStartHooks(path);
    ShowPanel(kPanelLibrary);
    if (path.empty()) {
        if (m_player->RowCount() > 0)
            ShowPanel(kPanelPlaylist);
        return;
    }
    int errors = ErrorEventCount();
    OpenArgument(path);
    m_argumentFailed = ErrorEventCount() != errors;
}

void HeadlessFrontEnd::OpenArgument(const std::string& path)
{
    if (IsStationArgument(path)) {
        std::string error;
        std::optional<std::string> address = StationAddressText(path, &error);
        if (!address)
            EmitEvent("error", error);
        else if (!TuneStation(*address, ""))
            EmitEvent("error", "the receiver could not be opened");
        return;
    }
    if (IsCdDriveRoot(path)) {
        OpenCdDriveAtStart([](bool loaded) { ShowPanel(loaded ? kPanelPlaylist : kPanelLibrary); });
        return;
    }
    if (RefuseIfNotRegular(path))
        return;
    if (EndsWithNoCase(path, ".rdl")) {
        m_handOver->OpenStationFileAtStart(path);
        return;
    }
    if (OfferToOpenHandlers(path)) {
        if (EndsWithNoCase(path, ".lst")) {
            if (m_player->Playlist().State().fileName == path)
                ShowPanel(kPanelPlaylist);
        } else if (web::IsStreamPlaylistName(path)) {
            ShowPanel(kPanelInfo);
        }
        return;
    }
    m_player->ClearPlaylist();
    if (!m_player->AddEntry(path)) {
        EmitEvent("error", NotPlayableText(path));
        return;
    }
    m_player->SelectRow(0);
    ShowPanel(kPanelPlaylist);
    m_player->Play();
}

// The argument did its job when it played, was received or (a playlist) loaded
// without an error.
int HeadlessFrontEnd::ArgumentStatus() const
{
    const std::string& path = m_commandLineFile;
    if (path.empty())
        return kExitOk;
    if (m_argumentFailed)
        return kExitNotPlayable;
    auto endsWith = [&path](const char* suffix) {
        std::size_t n = std::strlen(suffix);
        return path.size() >= n && strcasecmp(path.c_str() + path.size() - n, suffix) == 0;
    };
    if (IsStationArgument(path) || endsWith(".rdl"))
        return StationReceived() ? kExitOk : kExitNotPlayable;
    if (endsWith(".lst"))
        return kExitOk;
    return PlaybackStarted() || StationReceived() ? kExitOk : kExitNotPlayable;
}

// Lines are read on their own thread and handed to the main thread in order; the
// end of input follows the last line.
void HeadlessFrontEnd::StartReadingInput()
{
    std::thread([this] {
        pthread_setname_np(pthread_self(), "lumetra-input");
        std::string line;
        bool tooLong = false;
        while (ReadInputLine(line, tooLong)) {
            if (tooLong) {
                m_scope.Post([] { EmitEvent("error", "line too long (over 65536 bytes)"); });
                continue;
            }
            // The main thread may be inside a wait for a busy sound device.
            if (IsQuitLine(line))
                m_engine.AbandonDeviceWaits();
            m_scope.Post([this, line] { HandleLine(line); });
        }
        m_scope.Post([this] {
            m_inputEnded = true;
            m_scope.Post([this] { ShutdownIfInputDone(); });
        });
    }).detach();
}

void HeadlessFrontEnd::HandleLine(std::string line)
{
    if (m_closing)
        return;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return;
    if (IsQuitLine(line)) {
        Shutdown();
        return;
    }
    if (!DispatchHeadlessLine(line))
        EmitEvent("error", "unknown command: " + line);
}

void HeadlessFrontEnd::Tick()
{
    if (m_closing)
        return;
    ReportSettingsNotices();
    for (int i = 0; i < m_ticksPerWake && !m_closing; ++i)
        RunTimerHooks();
    if (m_view)
        m_view->Tick();
    ShutdownIfInputDone();
    if (m_view || m_closing)
        return;
    int ticks = AnyBusy() ? kTicksPerWakeBusy : kTicksPerWakeIdle;
    if (ticks != m_ticksPerWake) {
        m_ticksPerWake = ticks;
        m_timer.Start(kTickMs * ticks);
    }
}

void HeadlessFrontEnd::ShutdownIfInputDone()
{
    if (m_closing || !m_inputEnded || m_view || AnyBusy())
        return;
    // The engine posts an item's end-of-track message before it lets go of its lock,
    // so an idle player has posted the message of what just ended. Until that is
    // handled its "end" is not out and the next row not started (a fast device may
    // even have played that row through already): the handler looks again. A
    // message that never comes through is waited for only so long.
    if (engine::PendingEndOfTrackMessages() > 0) {
        auto now = std::chrono::steady_clock::now();
        if (m_endWaitStart == std::chrono::steady_clock::time_point{})
            m_endWaitStart = now;
        if (now - m_endWaitStart < kEndWaitLimit)
            return;
    }
    Shutdown();
}

void HeadlessFrontEnd::ReportSettingsNotices()
{
    for (auto& notice : platform::Registry().TakeNotices()) {
        if (notice.error)
            EmitEvent("error", "settings not saved: " + notice.text);
        else
            platform::ShowMessageBox(kProductCaption, notice.text);
    }
}

void HeadlessFrontEnd::Shutdown()
{
    if (m_closing)
        return;
    ReportSettingsNotices();
    m_closing = true;
    // Later starts find no listener from here on and wait for the lock instead.
    m_handOverServer.reset();
    m_timer.Stop();
    SetPanelShower(nullptr);
    if (m_view)
        m_view->Detach();
    m_engine.Decoder().Close();
    RunShutdownSteps();
    // Waits for the device to close and the buffer thread to end, not a fixed time.
    m_engine.Shutdown();
    if (platform::TheMainLoop().Level() > 1) {
        // Quit arrived inside a fetch's or a wait's own loop: everything is shut
        // down, so end here rather than let that command run on.
        std::fflush(stdout);
        std::_Exit(0);
    }
    platform::TheMainLoop().Quit(0);
}

} // namespace lumetra::app
